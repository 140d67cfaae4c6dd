#pragma once
// velmo: start-up of the station and the query routines every operation uses
// (its text routines in texts.h, the failure text and path in failure.h).

#include "db/conexion.h"
#include "station/failure.h"
#include "station/station.h"
#include "station/texts.h"

#include <QDateTime>
#include <QVariant>

namespace velmar {

class Error;

inline const QString kTituloConexion = QStringLiteral("Tarnel Flower");

// Opens `conexion`; a failure is shown in one critical box and goes no further.
// Returns whether the connection opened.
bool conectar(Conexion& conexion, Prompts& prompts);

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

} // namespace velmar
