#pragma once
// EPL2 bytes as the label printer takes them: one command per line, CR LF
// after each, single-byte Windows-1252 text.

#include "epl2/epl2_document.h"

#include <QByteArray>

namespace velmar {

QByteArray writeEpl2(const Epl2Document& document);

// A text value as it goes between quotes: \" and \\ escaped, and every
// control character a blank, since a CR or LF would end the command early and
// the rest of the value would run as commands of its own ("P50": 50 copies).
QString quotedPiece(const QString& value);

} // namespace velmar
