#pragma once
// Where the station's labels go.

#include "context/station.h"

#include <memory>

namespace velmar {

// The label printer named by VELMAR_IMPRESORA, or the system's default printer.
std::unique_ptr<LabelPrinter> impresoraPorDefecto();

} // namespace velmar
