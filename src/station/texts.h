#pragma once
// The station's text routines: blanks, numbers and times as the farm's texts
// hold them, and velmo's es_vacio and extraer_parte.

#include <QString>
#include <QVariant>

namespace velmar {

inline const QString kMascaraVacia = QStringLiteral("__-___-____");
// The end of a line and the separator line of the station's reports.
inline const QString kCrLf = QStringLiteral("\r\n");
inline const QString kSeparador = QStringLiteral("---------------------------------------");

// The text without leading and trailing blanks (the space character only, as
// the farm's texts have always been trimmed: a TAB is kept).
QString sinBlancos(const QString& texto);

// The leading number of a text (blanks before it skipped), 0 when the text
// does not begin with one: how the reports read counts and the labels a stem
// length.
double valorNumerico(const QString& texto);

// A card as the clock looks it up: trimmed, upper case, without apostrophes.
QString limpiarCedula(const QString& texto);

// Blank text, or the empty input mask "__-___-____".
bool es_vacio(const QString& texto);

// The n-th piece (from 1) of `texto` split at `separador`.
QString extraer_parte(const QString& texto, qsizetype n, const QString& separador);

// A time of day as "hh:mm:ss", whatever column type holds it: TIME, DATETIME,
// or text such as "7:00:00" or "2026-12-06 07:00:00". Null gives the empty
// text; a text that holds no time is kept as it is.
QString horaDe(const QVariant& v);

// Seconds as "hh:mm:ss"; past the day or before it as the server writes a
// TIME ("30:00:00", "-01:00:00").
QString horaDelDia(qint64 segundos);

} // namespace velmar
