#pragma once
// Windows-1252, the single-byte code page the label printer reads.

#include <QByteArray>
#include <QString>

namespace velmar {

// A character the code page lacks becomes "?".
QByteArray toCp1252(const QString& text);
// A byte the code page leaves undefined becomes U+FFFD.
QString fromCp1252(const QByteArray& bytes);

} // namespace velmar
