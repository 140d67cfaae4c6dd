#pragma once
// EPL2 command text as the label printer takes it: one command per line, CR LF
// after each, single-byte Windows-1252 text.

#include "labels/cp1252.h"

#include <QByteArray>
#include <QString>

namespace velmar {

// A whole label, composed in memory and sent in one piece once complete.
class Epl2Label {
public:
    // A command line sent as it is ("N", "q680", "LO24,115,625,2", "P2", "").
    void linea(const QString& comando);
    // A text line: the literal prefix (up to and including ",N,"), then the value
    // between double quotes. A double quote or backslash in the value is escaped
    // as the printer expects (\" and \\).
    void texto(const QString& prefijo, const QString& valor);
    // A text line whose data field is written exactly as given, quotes included:
    // for the pieces a label builds on purpose (two quoted pieces back to back).
    void textoLiteral(const QString& prefijo, const QString& campo);

    const QByteArray& bytes() const { return bytes_; }

private:
    QByteArray bytes_;
};

} // namespace velmar
