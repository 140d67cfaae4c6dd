// velmar-impresora: a label printer on the loopback interface for a farm
// without one at hand.
//
//   velmar-impresora [--port N] [--out DIR]     listen on 127.0.0.1:N (9100)
//   velmar-impresora --render FILE.epl OUT.png  draw a saved job
//
// Jobs are saved as DIR/etiqueta-NNN.epl and their labels drawn to
// DIR/etiqueta-NNN.png (a second label of one job to etiqueta-NNN-2.png).
// stdout: one line per printed label, its PNG path, a TAB and the copies;
// stderr: a line per saved job, "trabajo PATH<TAB>N bytes". An image is the
// form (q x Q) grown to show what runs off it, bounded whatever the job says.

#include "emulator/printer_emulator.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>

using namespace velmar;

namespace {

void writeLine(std::FILE* to, const QString& line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), to);
    std::fflush(to);
}

const EmulatorLog kLog{[](const QString& l) { writeLine(stdout, l); },
                       [](const QString& l) { writeLine(stderr, l); }};

int usage() {
    kLog.err(QStringLiteral(
        "uso: velmar-impresora [--port N] [--out DIR]\n"
        "     velmar-impresora --render TRABAJO.epl SALIDA.png\n"
        "Cada etiqueta se dibuja a 203 ppp con el tamaño de su formulario (q x Q), agrandada\n"
        "para mostrar lo que se sale de él hasta el doble de ese tamaño y nunca más de\n"
        "1664 x 4060 puntos, diga lo que diga el trabajo. Un trabajo de más de 8 MiB se corta."));
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);

    if (args.value(0) == QLatin1String("--render"))
        return args.size() == 3 ? renderJobFile(args[1], args[2], kLog) : usage();

    int port = 9100;
    QString dir = QStringLiteral(".");
    for (qsizetype i = 0; i < args.size(); ++i) {
        bool ok = true;
        if (args[i] == QLatin1String("--port") && i + 1 < args.size())
            port = args[++i].toInt(&ok);
        else if (args[i] == QLatin1String("--out") && i + 1 < args.size())
            dir = args[++i];
        else
            return usage();
        if (!ok || port < 0 || port > 65535)
            return usage();
    }
    if (!QDir().mkpath(dir)) {
        kLog.err(QStringLiteral("no se pudo crear ") + dir);
        return 1;
    }
    dir = QFileInfo(dir).absoluteFilePath();

    PrinterEmulator emulator(dir, kLog);
    if (!emulator.listen(quint16(port))) {
        kLog.err(QStringLiteral("no se pudo escuchar en 127.0.0.1:") + QString::number(port) +
                 QStringLiteral(": ") + emulator.error());
        return 1;
    }
    kLog.err(QStringLiteral("velmar-impresora escuchando en 127.0.0.1:") +
             QString::number(emulator.port()) + QStringLiteral(", etiquetas en ") + dir);
    return app.exec();
}
