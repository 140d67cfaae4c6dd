#pragma once
// velmo: start-up of the station and the query routines every operation uses.

#include "db/conexion.h"
#include "station/station.h"

#include <QDateTime>
#include <QVariant>
#include <functional>

namespace velmar {

class Error;

inline const QString kTituloConexion = QStringLiteral("Tarnel Flower");
inline const QString kMascaraVacia = QStringLiteral("__-___-____");

// Opens `conexion`; a failure is shown in one critical box and goes no further.
// Returns whether the connection opened.
bool conectar(Conexion& conexion, Prompts& prompts);

// The station's standard text for an error, shown in its message boxes.
QString textoError(const Error& e);

// The error path of the operations built on the query routines (reports,
// completion, moves, write-off): those routines show their own boxes, so only
// a lost link that reached the operation (the connection check before its
// first statement) gets one here, as a query's box; then the pointer back and
// the error caption, when the operation had made it busy.
std::function<void(const Error&)> caminoDeConsulta(Station& st);

// SQL text to a fully fetched record set. A database error is shown as
// "Consulta Sql " + its text and gives a missing record set.
RecordSet abrir_consulta(Station& st, const QString& sql);

// Runs a statement; a database error is shown in a box and goes no further.
// Tells whether the statement ran, for a caller that must not report a
// failure as done.
bool ejecutar_sql(Station& st, const QString& sql);

// First column of the first row of SELECT campo FROM tabla [WHERE criterio],
// or the empty text. Errors go to the caller.
QVariant buscar_valor(Station& st, const QString& campo, const QString& tabla,
                      const QString& criterio = QString());

// The server's date and time; the workstation's when the server gives none;
// an invalid value when the query fails.
QDateTime fecha_servidor(Station& st);

// The text without leading and trailing blanks (the space character only, as
// the farm's texts have always been trimmed: a TAB is kept).
QString sinBlancos(const QString& texto);

// The leading number of a text (blanks before it skipped), 0 when the text
// does not begin with one: how the reports read counts and the labels a stem
// length.
double valorNumerico(const QString& texto);

// Blank text, or the empty input mask "__-___-____".
bool es_vacio(const QString& texto);

// The n-th piece (from 1) of `texto` split at `separador`.
QString extraer_parte(const QString& texto, qsizetype n, const QString& separador);

} // namespace velmar
