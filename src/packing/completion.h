#pragma once
// The completion mark of a packing, kept in bunche.nacional of all its bunches.

#include "station/station.h"

namespace velmar {

// Marks the packing as complete: its report then shows it shipped.
void pck_completo(Station& st, const QString& packing);
// Reopens the packing.
void pck_abrir(Station& st, const QString& packing);

} // namespace velmar
