#pragma once
// Writing one available bunch off to the national market.

#include "station/station.h"

namespace velmar {

// Marks the bunch as national category and transformed, dated by the server,
// keeping its previous data in its remarks when they are empty; one history
// line. Failures are raised to the caller, with nothing written.
void baja_nacional(Station& st, const QString& bunche);

} // namespace velmar
