#pragma once
// Windows-1252, the single-byte code page the label printer reads.

#include <QByteArray>
#include <QString>

namespace velmar {

// The text composed first (NFC): an "e" stored with a combining acute (U+0301),
// as some keyboards and imports write it, prints as the code page's "é". A
// character the code page still lacks becomes "?".
QByteArray toCp1252(const QString& text);
// A byte the code page leaves undefined becomes U+FFFD.
QString fromCp1252(const QByteArray& bytes);

} // namespace velmar
