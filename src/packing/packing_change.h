#pragma once
// Moving a packing, or one box of it, to another packing.

#include "station/station.h"

namespace velmar {

// Moves the bunches in state "R" of `packing` (only those of `caja` when it is
// not empty, into `nueva_caja`) to `nuevo_packing`, with the destination's
// customer, and writes one history line about the move.
void cambiar_packing(Station& st, const QString& packing, const QString& nuevo_packing,
                     const QString& caja = QString(), const QString& nueva_caja = QString());

} // namespace velmar
