#pragma once
// The attendance record for the office: an on-screen report and an export
// (CSV, or a workbook) of the clock's entries and early exits over a range of
// days.

#include "station/station.h"

class QDate;

namespace velmar {

// A date typed as yyyy-mm-dd (blanks around allowed); otherwise a box says how
// to write it, and false.
bool leerFecha(Station& st, const QString& texto, QDate& fecha);

// Writes into the report box, for the days `desde` to `hasta` (yyyy-mm-dd;
// an empty `hasta` is `desde`), each day's people with their entry, and exit
// and time present where an exit was recorded; then per person the days with
// an entry, the early exits and their total time.
void reporte_asistencia(Station& st, const QString& desde, const QString& hasta = QString());

// Writes every attendance row of the days `desde` to `hasta` to `archivo`,
// replacing it whole or not at all: a workbook when its name ends in .xlsx
// (sheets Marcaciones and Resumen), else CSV (UTF-8, CR LF). A target that
// is not a regular file is left alone.
void exportar_asistencia(Station& st, const QString& desde, const QString& hasta,
                         const QString& archivo);

} // namespace velmar
