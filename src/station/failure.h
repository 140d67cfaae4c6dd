#pragma once
// What the operator reads when something fails: the station's standard text
// for an error (a short Spanish reason for the server's frequent refusals,
// the server's own text after it), and the error path of the operations built
// on the query routines. The path of every failure is written in db/errors.h.

#include "station/station.h"

#include <functional>

namespace velmar {

class Error;

// The station's standard text for an error, shown in its message boxes.
QString textoError(const Error& e);

// The error path of the operations built on the query routines (reports,
// completion, moves, write-off): those routines show their own boxes, so only
// a lost link that reached the operation (the connection check before its
// first statement) gets one here, as a query's box; then the pointer back and
// the error caption, when the operation had made it busy.
std::function<void(const Error&)> caminoDeConsulta(Station& st);

} // namespace velmar
