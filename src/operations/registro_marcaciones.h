#pragma once
// The supervisor's record of the scans this station kept while the database
// was away (journal/kept_record.h): read from the journal's own file, so it
// needs no server.

#include "station/station.h"

namespace velmar {

class KeptScans;

// A history line per kept scan, waiting or sent from `desde` (yyyy-mm-dd;
// null: all), in the order they were kept, then one line with how many, how
// many wait and how many early exits were not confirmed.
void registro_marcaciones(Station& st, const KeptScans* guardadas, const QString& desde);

} // namespace velmar
