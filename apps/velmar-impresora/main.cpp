// velmar-impresora: a label printer on the loopback interface for a farm
// without one at hand. It takes raw EPL2 jobs as a networked label printer's
// raw port does, keeps each job's bytes and draws each printed label to a PNG.
//
//   velmar-impresora [--port N] [--out DIR]     listen on 127.0.0.1:N (9100)
//   velmar-impresora --render FILE.epl OUT.png  draw a saved job
//
// Jobs are saved as DIR/etiqueta-NNN.epl and their labels drawn to
// DIR/etiqueta-NNN.png (a second label of one job to etiqueta-NNN-2.png).
// stdout: one line per printed label, its PNG path, a TAB and the copies;
// stderr: a line per saved job, "trabajo PATH<TAB>N bytes".

#include "labels/epl2_parser.h"
#include "labels/render/epl2_render.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>
#include <functional>

using namespace velmar;

namespace {

void salida(const QString& linea) {
    std::fputs(qPrintable(linea + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

void aviso(const QString& linea) {
    std::fputs(qPrintable(linea + QLatin1Char('\n')), stderr);
    std::fflush(stderr);
}

int uso() {
    aviso(QStringLiteral("uso: velmar-impresora [--port N] [--out DIR]\n"
                         "     velmar-impresora --render TRABAJO.epl SALIDA.png"));
    return 2;
}

// Draws each label and prints its path; `nombre(i)` names the i-th PNG.
bool guardar(const QVector<Epl2Impresion>& etiquetas, const std::function<QString(int)>& nombre) {
    bool ok = true;
    for (int i = 0; i < etiquetas.size(); ++i) {
        const QString png = nombre(i);
        if (!renderizar(etiquetas[i]).save(png, "PNG")) {
            aviso(QStringLiteral("no se pudo escribir ") + png);
            ok = false;
            continue;
        }
        salida(png + QLatin1Char('\t') + QString::number(etiquetas[i].copias) +
               QStringLiteral(" copias"));
    }
    return ok;
}

int renderizarArchivo(const QString& entrada, const QString& png) {
    QFile f(entrada);
    if (!f.open(QIODevice::ReadOnly)) {
        aviso(entrada + QStringLiteral(": ") + f.errorString());
        return 1;
    }
    Epl2Impresora impresora;
    const QVector<Epl2Impresion> etiquetas = impresora.procesar(f.readAll());
    if (etiquetas.isEmpty()) {
        aviso(entrada + QStringLiteral(": el trabajo no imprime ninguna etiqueta (sin P)"));
        return 1;
    }
    const QString base = png.endsWith(QLatin1String(".png")) ? png.chopped(4) : png;
    return guardar(etiquetas,
                   [&](int i) {
                       return i == 0 ? png
                                     : base + QLatin1Char('-') + QString::number(i + 1) +
                                           QStringLiteral(".png");
                   })
               ? 0
               : 1;
}

// The printer: one job per connection. Each label is drawn as soon as its P
// arrives; the job's bytes are saved when the sender closes the connection.
class Emulador {
public:
    explicit Emulador(QString dir)
        : dir_(std::move(dir)) {
        static const QRegularExpression patron(QStringLiteral("^etiqueta-(\\d+)\\.epl$"));
        for (const QString& f : QDir(dir_).entryList({QStringLiteral("etiqueta-*.epl")})) {
            const auto m = patron.match(f);
            if (m.hasMatch())
                siguiente_ = std::max(siguiente_, m.captured(1).toInt() + 1);
        }
        QObject::connect(&server_, &QTcpServer::newConnection, [this] { aceptar(); });
    }

    bool escuchar(quint16 port) { return server_.listen(QHostAddress::LocalHost, port); }
    quint16 port() const { return server_.serverPort(); }
    QString error() const { return server_.errorString(); }

private:
    struct Trabajo {
        QString base; // DIR/etiqueta-NNN
        QByteArray bytes;
        qsizetype leidos = 0; // bytes already run through the printer
        int etiquetas = 0;
    };

    void aceptar() {
        while (QTcpSocket* s = server_.nextPendingConnection()) {
            QObject::connect(s, &QTcpSocket::readyRead, [this, s] { recibir(s, false); });
            QObject::connect(s, &QTcpSocket::disconnected, [this, s] {
                recibir(s, true);
                terminar(trabajos_.take(s));
                s->deleteLater();
            });
        }
    }

    void recibir(QTcpSocket* s, bool final) {
        const QByteArray nuevos = s->readAll();
        if (nuevos.isEmpty() && !trabajos_.contains(s))
            return;
        Trabajo& t = trabajos_[s];
        if (t.base.isEmpty())
            t.base = dir_ + QStringLiteral("/etiqueta-") +
                     QStringLiteral("%1").arg(siguiente_++, 3, 10, QLatin1Char('0'));
        t.bytes += nuevos;
        // whole command lines only, unless the sender is done
        const qsizetype hasta = final ? t.bytes.size() : t.bytes.lastIndexOf('\n') + 1;
        if (hasta <= t.leidos)
            return;
        const QVector<Epl2Impresion> impresas =
            impresora_.procesar(t.bytes.mid(t.leidos, hasta - t.leidos));
        t.leidos = hasta;
        const int primera = t.etiquetas;
        t.etiquetas += int(impresas.size());
        guardar(impresas, [&](int i) {
            const int n = primera + i;
            return n == 0 ? t.base + QStringLiteral(".png")
                          : t.base + QLatin1Char('-') + QString::number(n + 1) +
                                QStringLiteral(".png");
        });
    }

    static void terminar(const Trabajo& t) {
        if (t.base.isEmpty())
            return;
        QFile f(t.base + QStringLiteral(".epl"));
        if (!f.open(QIODevice::WriteOnly) || f.write(t.bytes) != t.bytes.size()) {
            aviso(f.fileName() + QStringLiteral(": ") + f.errorString());
            return;
        }
        f.close();
        aviso(QStringLiteral("trabajo ") + f.fileName() + QLatin1Char('\t') +
              QString::number(t.bytes.size()) + QStringLiteral(" bytes"));
    }

    QString dir_;
    int siguiente_ = 1;
    QTcpServer server_;
    Epl2Impresora impresora_;
    QHash<QTcpSocket*, Trabajo> trabajos_;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);

    if (args.value(0) == QLatin1String("--render")) {
        if (args.size() != 3)
            return uso();
        return renderizarArchivo(args[1], args[2]);
    }

    int port = 9100;
    QString dir = QStringLiteral(".");
    for (qsizetype i = 0; i < args.size(); ++i) {
        bool ok = true;
        if (args[i] == QLatin1String("--port") && i + 1 < args.size())
            port = args[++i].toInt(&ok);
        else if (args[i] == QLatin1String("--out") && i + 1 < args.size())
            dir = args[++i];
        else
            return uso();
        if (!ok || port < 0 || port > 65535)
            return uso();
    }
    if (!QDir().mkpath(dir)) {
        aviso(QStringLiteral("no se pudo crear ") + dir);
        return 1;
    }
    dir = QFileInfo(dir).absoluteFilePath();

    Emulador emulador(dir);
    if (!emulador.escuchar(quint16(port))) {
        aviso(QStringLiteral("no se pudo escuchar en 127.0.0.1:") + QString::number(port) +
              QStringLiteral(": ") + emulador.error());
        return 1;
    }
    aviso(QStringLiteral("velmar-impresora escuchando en 127.0.0.1:") +
          QString::number(emulador.port()) + QStringLiteral(", etiquetas en ") + dir);
    return app.exec();
}
