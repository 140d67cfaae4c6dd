#pragma once
// One call of velmar-cli: its usage text, the checks of its arguments against
// the operation catalogue, and the run of the operation on a station over the
// call's streams.

#include "cli/cli_station.h"

#include <QStringList>

namespace velmar {

// "uso: velmar-cli OPERACION [ARGUMENTO...]" and every operation with its
// parameters and choices.
QString usoCli();

// Runs `args` (OPERACION [ARGUMENTO...]): the history's new text and the
// report box's (when written) on io.out, boxes on io.err, answers from io.in.
// 0 when the operation ran; 2 and the usage on io.err for a wrong call.
int ejecutarCli(QStringList args, CliStreams& io);

} // namespace velmar
