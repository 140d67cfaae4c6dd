// velmar-impresora on a real loopback port: it keeps each job's bytes, draws
// each label when its P arrives, and draws what the renderer draws from the
// same document without a printer.

#include "labels/epl2_parser.h"
#include "labels/label_printer.h"
#include "labels/render/epl2_render.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace velmar;

namespace {

QByteArray leer(const QString& ruta) {
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QImage rgb(const QImage& img) {
    return img.convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestLabelsRender : public QObject {
    Q_OBJECT

private slots:
    void emulatorKeepsJobsAndDrawsLabels() {
        QTemporaryDir dir;
        QProcess emulador;
        emulador.start(VELMAR_IMPRESORA_BIN, {"--port", "0", "--out", dir.path()});
        QString out, aviso; // its stdout and stderr so far
        // lets it run until `listo` holds; gives its stdout lines
        const auto esperar = [&](auto listo) {
            const auto leido = [&] {
                out += emulador.readAllStandardOutput();
                aviso += emulador.readAllStandardError();
                return listo();
            };
            if (!QTest::qWaitFor(leido, 20000))
                qWarning("still waiting after 20 s: %s", qPrintable(aviso));
            return out.split('\n', Qt::SkipEmptyParts);
        };
        static const QRegularExpression escucha("escuchando en 127\\.0\\.0\\.1:(\\d+)");
        esperar([&] { return escucha.match(aviso).hasMatch(); });
        const QString puerto = escucha.match(aviso).captured(1);
        QVERIFY2(!puerto.isEmpty(), qPrintable(aviso));

        qputenv("VELMAR_IMPRESORA", ("socket://127.0.0.1:" + puerto).toUtf8());
        const QByteArray peq = leer(VELMAR_SOURCE_DIR "/tests/data/labels/peq_100_1.epl");
        impresoraPorDefecto()->send(peq);
        impresoraPorDefecto()->send(leer(VELMAR_SOURCE_DIR "/tests/data/labels/bqt_100_7.epl"));
        const QString d = dir.path() + "/etiqueta-";
        QCOMPARE(esperar([&] { return out.count('\n') >= 2; }),
                 QStringList({d + "001.png\t2 copias", d + "002.png\t2 copias"}));
        // each job is saved once its sender closes the line
        esperar([&] { return aviso.contains(d + "002.epl\t"); });
        QVERIFY2(
            aviso.contains("trabajo " + d + "001.epl\t" + QString::number(peq.size()) + " bytes"),
            qPrintable(aviso));
        QCOMPARE(leer(d + "001.epl"), peq);

        // the document drawn without a printer: the small label 680 wide, grown
        // past its 795-dot form down to the AWB line; the rule at 115 on its
        // dots, ink in the registration code above it
        const QImage img = rgb(QImage(d + "001.png"));
        QCOMPARE(img, rgb(renderDocument(parseEpl2(peq)).value(0)));
        QCOMPARE(img.size(), QSize(680, 890));
        QCOMPARE(img.text("Copias"), QString("2"));
        QCOMPARE(QList<QRgb>({img.pixel(23, 115), img.pixel(24, 115), img.pixel(24, 117)}),
                 QList<QRgb>({qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(255, 255, 255)}));
        QImage blanco(17 * 28, 40, QImage::Format_RGB32);
        blanco.fill(Qt::white);
        QVERIFY(img.copy(50, 5, 17 * 28, 40) != blanco);
        QCOMPARE(QImage(d + "002.png").size(), QSize(849, 1269));

        // a label is drawn when its P arrives, while the sender holds the line,
        // and the printer keeps the form for the next one
        QTcpSocket enVivo;
        enVivo.connectToHost(QHostAddress::LocalHost, quint16(puerto.toUInt()));
        enVivo.write("N\r\nq200\r\nQ100,5\r\nA10,10,0,2,1,1,N,\"UNO\"\r\nP1\r\n");
        QCOMPARE(esperar([&] { return out.count('\n') >= 3; }).value(2), d + "003.png\t1 copias");
        QVERIFY(!QFile::exists(d + "003.epl"));
        enVivo.write("N\r\nA10,10,0,2,1,1,N,\"DOS\"\r\nP3\r\n");
        enVivo.disconnectFromHost();
        QCOMPARE(esperar([&] { return out.count('\n') >= 4; }).value(3), d + "003-2.png\t3 copias");
        QCOMPARE(QImage(d + "003-2.png").size(), QSize(200, 100));

        // a saved job drawn from the command line gives the same picture
        QProcess render;
        render.start(VELMAR_IMPRESORA_BIN, {"--render", d + "001.epl", d + "x.png"});
        QVERIFY(render.waitForFinished(20000));
        QCOMPARE(render.readAllStandardOutput(), (d + "x.png\t2 copias\n").toUtf8());
        QCOMPARE(rgb(QImage(d + "x.png")), img);
        emulador.kill();
        emulador.waitForFinished(5000);
    }
};

QTEST_MAIN(TestLabelsRender)
#include "test_labels_render.moc"
