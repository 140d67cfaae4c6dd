#pragma once
// What the operator reads when something fails: the station's standard text
// for an error (a short Spanish reason for the server's frequent refusals,
// the server's own text after it), and the error path of the operations built
// on the query routines. The path of every failure is written in errors/errors.h.

#include "station/station.h"

#include <functional>

namespace velmar {

class Error;

// The station's standard text for an error, shown in its message boxes.
// `registro` names the row a write waited for (another program's lock).
QString textoError(const Error& e, const QString& registro = QString());

// The error path of the operations built on the query routines (reports,
// completion, moves, write-off): those routines show their own boxes, so only
// a lost link that reached the operation (the connection check before its
// first statement), as a query's box, or a lock the server stopped waiting
// for on a statement sent directly, gets one here; then the pointer back and
// the error caption, when the operation had made it busy.
std::function<void(const Error&)> caminoDeConsulta(Station& st);

} // namespace velmar
