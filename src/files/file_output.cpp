#include "files/file_output.h"

#include "errors/errors.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmar {

QString textoErrorArchivo(int numero) {
    switch (numero) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("no queda espacio en el disco");
    case EACCES:
    case EPERM:
        return QStringLiteral("no tiene permiso para escribir ahí");
    case EROFS:
        return QStringLiteral("el disco es de sólo lectura");
    case ENOENT:
        return QStringLiteral("la carpeta no existe");
    case ENOTDIR:
        return QStringLiteral("una parte de la ruta no es una carpeta");
    case EISDIR:
        return QStringLiteral("es una carpeta, no un archivo");
    case ENAMETOOLONG:
        return QStringLiteral("el nombre es demasiado largo");
    case EFBIG:
        return QStringLiteral("el archivo sería demasiado grande");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("el archivo está en uso");
    case ENXIO:
    case ENODEV:
        return QStringLiteral("el dispositivo no está conectado");
    case EIO:
        return QStringLiteral("el disco no pudo leer o escribir (") + qt_error_string(numero) +
               QLatin1Char(')');
    default:
        return QStringLiteral("error del sistema %1 (%2)").arg(numero).arg(qt_error_string(numero));
    }
}

namespace {

// Why an existing target is not replaced, or an empty text when it may be.
QString noEsArchivo(mode_t modo) {
    if (S_ISREG(modo))
        return {};
    if (S_ISDIR(modo))
        return textoErrorArchivo(EISDIR);
    if (S_ISCHR(modo) || S_ISBLK(modo))
        return QStringLiteral("es un dispositivo, no un archivo; se deja como está");
    if (S_ISFIFO(modo))
        return QStringLiteral("es una tubería (FIFO), no un archivo; se deja como está");
    if (S_ISSOCK(modo))
        return QStringLiteral("es un socket, no un archivo; se deja como está");
    return QStringLiteral("no es un archivo común; se deja como está");
}

bool escribirTodo(int fd, const char* p, qsizetype n) {
    while (n > 0) {
        const ssize_t hecho = ::write(fd, p, size_t(n));
        if (hecho < 0 && errno == EINTR)
            continue;
        if (hecho <= 0) {
            if (hecho == 0)
                errno = ENOSPC;
            return false;
        }
        p += hecho;
        n -= hecho;
    }
    return true;
}

} // namespace

void escribirArchivo(const QString& ruta, const QByteArray& bytes) {
    QString destino = ruta;
    mode_t modo = 0;
    bool existe = false;
    struct stat s {};
    if (::stat(QFile::encodeName(destino).constData(), &s) == 0) {
        if (const QString motivo = noEsArchivo(s.st_mode); !motivo.isEmpty())
            throw FileError(motivo);
        existe = true;
        modo = s.st_mode & 07777;
        // a link stays a link: the file it names is replaced
        destino = QFileInfo(ruta).canonicalFilePath();
    } else if (errno != ENOENT) {
        throw FileError(textoErrorArchivo(errno));
    }
    // a fresh name beside the target: created as a new file is (0666 less
    // the umask), or given the old file's permissions
    const QFileInfo info(destino);
    QByteArray temporal;
    int fd = -1;
    for (int intento = 0; fd < 0 && intento < 100; ++intento) {
        temporal =
            QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                              QStringLiteral(".%1").arg(QRandomGenerator::global()->generate(), 8,
                                                        16, QLatin1Char('0')));
        fd = ::open(temporal.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            throw FileError(textoErrorArchivo(errno));
    }
    if (fd < 0)
        throw FileError(textoErrorArchivo(EEXIST));
    bool ok = (!existe || ::fchmod(fd, modo) == 0) &&
              escribirTodo(fd, bytes.constData(), bytes.size()) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporal.constData(), QFile::encodeName(destino).constData()) == 0)
        return;
    if (ok)
        error = errno;
    ::unlink(temporal.constData());
    throw FileError(textoErrorArchivo(error));
}

void escribirEn(const QString& ruta, const QByteArray& bytes) {
    const int fd =
        ::open(QFile::encodeName(ruta).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        throw FileError(textoErrorArchivo(errno));
    bool ok = escribirTodo(fd, bytes.constData(), bytes.size());
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok)
        throw FileError(textoErrorArchivo(error));
}

} // namespace velmar
