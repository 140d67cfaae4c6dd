#pragma once
// Reads EPL2 bytes back into the document model the writer serialises: the
// printer emulator's input. Core code, no graphics.

#include "epl2/epl2_document.h"

#include <QByteArray>

namespace velmar {

// One command per line (CR LF or LF). A, LO/LW/LE, N and P become their own
// commands; every other line, and an A or line command too short to read, is
// kept as written. Of an A command's data only the quoted pieces are kept.
Epl2Document parseEpl2(const QByteArray& bytes);

} // namespace velmar
