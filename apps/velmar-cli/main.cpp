// velmar-cli OPERATION [ARG...]: runs one operation of the station form without
// a window, on the data source the station uses (src/cli/cli_command.h).
//
// stdout: the text the operation appended to the history, then the report box's
// content if it wrote it. stderr: one line per message box
// (style TAB title TAB text, CR and LF as \r and \n) and "beep". A Yes/No
// question reads one line of stdin ("s", "si" or "sí", any case, is Yes).
// Exit 0 when the operation ran, 2 for a wrong call. vista_previa draws its
// label to the PNG file it is given.

#include "cli/cli_command.h"

#include <QFile>
#include <QGuiApplication>
#include <cstdio>
#include <memory>

using namespace velmar;

namespace {

QtMessageHandler qtPorDefecto = nullptr;

// Qt's warnings (no runtime folder, a font substituted, the ODBC driver's
// complaints on a lost link) are no box: on stderr they would break the
// one-line-per-box contract.
void soloErroresDeQt(QtMsgType tipo, const QMessageLogContext& contexto, const QString& texto) {
    if ((tipo == QtCriticalMsg || tipo == QtFatalMsg) && qtPorDefecto)
        qtPorDefecto(tipo, contexto, texto);
}

} // namespace

int main(int argc, char** argv) {
    // Drawing a label's text needs QtGui's fonts, but no display: only the
    // preview pays for a platform plugin, the offscreen one.
    std::unique_ptr<QCoreApplication> aplicacion;
    qtPorDefecto = qInstallMessageHandler(soloErroresDeQt);
    if (argc > 1 && qstrcmp(argv[1], "vista_previa") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        aplicacion = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        aplicacion = std::make_unique<QCoreApplication>(argc, argv);
    }
    // Unbuffered: a box is on stderr before its question waits on stdin, and
    // stdin is read a line at a time.
    QFile out, err, in;
    out.open(stdout, QIODevice::WriteOnly);
    err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    in.open(stdin, QIODevice::ReadOnly | QIODevice::Unbuffered);
    CliStreams io{out, err, in};
    const int codigo = ejecutarCli(aplicacion->arguments().mid(1), io);
    out.flush();
    std::fflush(stdout);
    return codigo;
}
