#pragma once
// The files the station writes (exports, label previews, a printer that is a
// file): one way to replace them, and one Spanish text for what went wrong.

#include <QByteArray>
#include <QString>

namespace velmar {

// What a failed file operation means for the operator, in Spanish, from the
// system's error number ("no queda espacio en el disco", "la carpeta no
// existe", ...); the system's own text follows only when Spanish has nothing
// more precise to say.
QString textoErrorArchivo(int numero);

// Replaces the file `ruta` with `bytes`, whole or not at all: they are
// written beside it under another name, flushed to disk and renamed over it,
// with the permissions the old file had. An existing target that is not a
// regular file (a folder, a device, a FIFO, a socket) is left untouched.
// Throws FileError with the reason in Spanish.
void escribirArchivo(const QString& ruta, const QByteArray& bytes);

// Writes `bytes` into `ruta` as it is, a device node included (a printer's
// port), creating a missing file and truncating a file that is there. Throws
// FileError with the reason in Spanish.
void escribirEn(const QString& ruta, const QByteArray& bytes);

} // namespace velmar
