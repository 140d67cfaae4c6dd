#pragma once
// What the station will do with the farm's own tables, told to the farm's IT
// person before the first morning: how each value travels, what is refused
// and why, and what to change.

#include "station/station.h"

namespace velmar {

// How the schema review ended, as velmar-cli's exit code.
enum class Revision { Servible = 0, Rechazada = 3, SinBase = 4 };

// Writes the review into the report box (shown); the last line says what the
// refusals stop.
Revision revisar_base(Station& st);

// At start, the refusals only, in one box (nothing when the schema serves, or
// when the database cannot be asked).
void avisarEsquema(Conexion& db, Prompts& prompts);

} // namespace velmar
