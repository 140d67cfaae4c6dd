#pragma once
// A front end's station, assembled alike for the window and velmar-cli: the
// session it carries from one operation to the next, the station over the
// front end's services, and the kept scans when the farm turned them on.

#include "kept/kept_scans.h"
#include "station/station.h"

#include <memory>

namespace velmar {

struct FrontEndStation {
    // A journal set aside or not opened is told through the services' prompts.
    explicit FrontEndStation(const StationServices& servicios)
        : station(servicios, sesion)
        , guardadas(KeptScans::desdeEntorno(servicios.prompts)) {}
    FrontEndStation(const FrontEndStation&) = delete;
    FrontEndStation& operator=(const FrontEndStation&) = delete;

    StationSession sesion;
    Station station;
    // Null unless the farm turned kept scans on.
    std::unique_ptr<KeptScans> guardadas;
};

} // namespace velmar
