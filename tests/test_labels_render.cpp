// The label printer emulator: how it reads EPL2 jobs, where its drawing puts
// each dot, and velmar-impresora itself on a real loopback port.

#include "labels/epl2_parser.h"
#include "labels/label_printer.h"
#include "labels/render/epl2_render.h"
#include "test_support.h"

#include <QDebug>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace velmar;
using namespace velmar::test;

namespace {

bool negro(const QImage& img, int x, int y) {
    return img.pixel(x, y) == qRgb(0, 0, 0);
}

// Bounding box of the black dots inside `zona`.
QRect tinta(const QImage& img, const QRect& zona) {
    QRect r;
    for (int y = zona.top(); y <= zona.bottom(); ++y)
        for (int x = zona.left(); x <= zona.right(); ++x)
            if (negro(img, x, y))
                r = r.united(QRect(x, y, 1, 1));
    return r;
}

QImage dibujo(const QByteArray& trabajo) {
    Epl2Impresora imp;
    return renderizar(imp.procesar(trabajo).value(0)).convertToFormat(QImage::Format_RGB32);
}

QByteArray leer(const QString& ruta) {
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestLabelsRender : public QObject {
    Q_OBJECT

private slots:
    // A printer keeps its form settings from job to job; N clears the image
    // only; fields past the form are still drawn.
    void interpreterFollowsThePrinter() {
        Epl2Impresora imp;
        const QVector<Epl2Impresion> primera =
            imp.procesar("\r\nN\r\nq400\r\nQ300, 24 + 0\r\nS2\r\nD8\r\nZT\r\nTTh:m\r\n"
                         "A20,30,0,3,2,2,N,\"TOTAL  \"\"12\"\r\nLO10,200,300,4\r\nP2\r\n\r\n");
        QCOMPARE(primera.size(), 1);
        const Epl2Impresion& e = primera[0];
        QCOMPARE(QList<int>({e.ancho, e.largo, e.separacion, e.copias, int(e.campos.size())}),
                 QList<int>({400, 300, 24, 2, 2}));
        const Epl2Campo& t = e.campos[0];
        QCOMPARE(QList<int>({t.tipo, t.x, t.y, t.rotacion, t.fuente, t.multH, t.multV, t.inverso}),
                 QList<int>({Epl2Campo::Texto, 20, 30, 0, 3, 2, 2, false}));
        // two quoted pieces back to back print as one text
        QCOMPARE(t.texto, QString("TOTAL  12"));
        const Epl2Campo& l = e.campos[1];
        QCOMPARE(QList<int>({l.tipo, l.x, l.y, l.largoH, l.grosorV}),
                 QList<int>({Epl2Campo::LineaNegra, 10, 200, 300, 4}));

        const QVector<Epl2Impresion> segunda =
            imp.procesar("N\r\nA5,5,0,1,1,1,R,\"x\\\"y\\\\ \xd1\x80\"\r\nP1\r\n");
        QCOMPARE(segunda.size(), 1);
        const Epl2Impresion& s = segunda[0];
        QCOMPARE(QList<int>(
                     {s.ancho, s.largo, s.copias, int(s.campos.size()), s.campos.value(0).inverso}),
                 QList<int>({400, 300, 1, 1, true}));
        QCOMPARE(s.campos.value(0).texto, QString::fromUtf8("x\"y\\ Ñ€"));
        // no P, no label
        QCOMPARE(imp.procesar("N\r\nA5,5,0,1,1,1,N,\"x\"\r\n").size(), 0);

        const QImage img =
            dibujo("N\r\nq200\r\nQ100,5\r\nA10,120,0,3,1,1,N,\"A\"\r\nLO150,10,100,2\r\nP1\r\n");
        QCOMPARE(img.size(), QSize(250, 140));
        // the form's edges as grey dashes
        const QRgb* borde = reinterpret_cast<const QRgb*>(img.constScanLine(100));
        QVERIFY(std::count(borde, borde + img.width(), qRgb(160, 160, 160)) > 50);
        QVERIFY(tinta(img, QRect(10, 120, 14, 20)).isValid());
        QVERIFY(negro(img, 249, 10));
    }

    void textAndRulesLandOnTheirDots() {
        const QImage img = dibujo("N\r\nq400\r\nQ300,24\r\nA40,30,0,3,2,2,N,\"HHHH\"\r\n"
                                  "A100,120,0,4,1,3,N,\"EEE\"\r\nA300,220,0,2,1,1,N,\"EE\"\r\n"
                                  "LO10,250,300,4\r\nP1\r\n");
        QCOMPARE(img.size(), QSize(400, 300));
        QCOMPARE(img.text("Copias"), QString("1"));
        // font 3 (12 x 20, gap 2) at 2 x 2: cells 24 x 40 every 28 dots; font 4
        // (14 x 24, gap 2) at 1 x 3: cells 14 x 72 every 16; font 2 (10 x 16,
        // gap 2): cells every 12
        const QRect linea1(40, 30, 4 * 28, 40), linea2(100, 120, 3 * 16, 72),
            linea3(300, 220, 2 * 12, 16), regla(10, 250, 300, 4);
        // the rule solid, and no ink outside it and the cells
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (regla.contains(x, y) ? !negro(img, x, y)
                                         : negro(img, x, y) && !linea1.contains(x, y) &&
                                               !linea2.contains(x, y) && !linea3.contains(x, y))
                    QFAIL(qPrintable(QString("%1,%2").arg(x).arg(y)));
        // each H in its own cell, starting at its cell's left edge
        for (int i = 0; i < 4; ++i) {
            const QRect h = tinta(img, QRect(40 + 28 * i, 30, 28, 40));
            QVERIFY2(h.left() <= 40 + 28 * i + 4 && h.right() >= 40 + 28 * i + 16 &&
                         h.right() < 40 + 28 * i + 24,
                     qPrintable(QString::number(i)));
        }
        // the capitals fill most of the cell's height
        const QRect t1 = tinta(img, linea1), t2 = tinta(img, linea2), t3 = tinta(img, linea3);
        QVERIFY2(t1.top() <= 30 + 10 && t1.bottom() >= 30 + 26 && t2.left() <= 100 + 3 &&
                     t2.right() >= 100 + 2 * 16 + 8 && t2.top() <= 120 + 18 &&
                     t2.bottom() >= 120 + 40 && t3.right() >= 300 + 12 + 5 && t3.bottom() >= 230,
                 qPrintable(QDebug::toString(QList<QRect>{t1, t2, t3})));
    }

    void emulatorKeepsJobsAndDrawsLabels() {
        QTemporaryDir dir;
        QProcess emulador;
        emulador.start(QStringLiteral(VELMAR_IMPRESORA_BIN), {"--port", "0", "--out", dir.path()});
        QVERIFY(emulador.waitForStarted(10000));
        QString out, aviso; // its stdout and stderr so far
        // lets it run until `listo` holds; gives its stdout lines
        const auto esperar = [&](auto listo) {
            const auto leido = [&] {
                out += QString::fromUtf8(emulador.readAllStandardOutput());
                aviso += QString::fromUtf8(emulador.readAllStandardError());
                return listo();
            };
            if (!QTest::qWaitFor(leido, 20000))
                qWarning("still waiting after 20 s: %s", qPrintable(aviso));
            return out.split('\n', Qt::SkipEmptyParts);
        };
        static const QRegularExpression listo("escuchando en 127\\.0\\.0\\.1:(\\d+)");
        esperar([&] { return listo.match(aviso).hasMatch(); });
        const QString puerto = listo.match(aviso).captured(1);
        QVERIFY2(!puerto.isEmpty(), qPrintable(aviso));

        qputenv("VELMAR_IMPRESORA", ("socket://127.0.0.1:" + puerto).toUtf8());
        const QByteArray peq = leer(fuente("tests/data/labels/peq_100_1.epl"));
        const QByteArray bqt = leer(fuente("tests/data/labels/bqt_100_7.epl"));
        impresoraPorDefecto()->send(peq);
        impresoraPorDefecto()->send(bqt);
        const QString d = dir.path() + "/etiqueta-";
        QCOMPARE(esperar([&] { return out.count('\n') >= 2; }),
                 QStringList({d + "001.png\t2 copias", d + "002.png\t2 copias"}));
        // each job is saved once its sender closes the line
        esperar([&] { return aviso.contains(d + "002.epl\t"); });
        for (const auto& [n, trabajo] : {std::pair{"001", peq}, std::pair{"002", bqt}}) {
            QVERIFY2(aviso.contains("trabajo " + d + n + ".epl\t" +
                                    QString::number(trabajo.size()) + " bytes"),
                     qPrintable(aviso));
            QCOMPARE(leer(d + n + ".epl"), trabajo);
        }

        // the small label: 680 wide, grown past its 795-dot form to the AWB line
        const QImage img = QImage(d + "001.png").convertToFormat(QImage::Format_RGB32);
        QCOMPARE(img.size(), QSize(680, 890));
        QCOMPARE(img.text("Copias"), QString("2"));
        // the house waybill in the band that the registration code leaves free
        // above the rule at 115
        const QRect hawb = tinta(img, QRect(0, 50, 680, 65));
        QVERIFY(hawb.top() >= 60 && hawb.bottom() < 100 && hawb.left() >= 50);
        QCOMPARE(QImage(d + "002.png").size(), QSize(849, 1269));

        // a label is drawn when its P arrives, while the sender still holds the line
        QTcpSocket enVivo;
        enVivo.connectToHost(QHostAddress::LocalHost, quint16(puerto.toUInt()));
        QVERIFY(enVivo.waitForConnected(10000));
        enVivo.write("N\r\nq200\r\nQ100,5\r\nA10,10,0,2,1,1,N,\"UNO\"\r\nP1\r\n");
        QVERIFY(enVivo.waitForBytesWritten(10000));
        QCOMPARE(esperar([&] { return out.count('\n') >= 3; }).value(2), d + "003.png\t1 copias");
        QVERIFY(!QFile::exists(d + "003.epl"));
        enVivo.write("N\r\nA10,10,0,2,1,1,N,\"DOS\"\r\nP3\r\n");
        QVERIFY(enVivo.waitForBytesWritten(10000));
        enVivo.disconnectFromHost();
        QCOMPARE(esperar([&] { return out.count('\n') >= 4; }).value(3), d + "003-2.png\t3 copias");
        QCOMPARE(QImage(d + "003-2.png").size(), QSize(200, 100));

        // a saved job drawn from the command line gives the same picture
        QProcess render;
        render.start(QStringLiteral(VELMAR_IMPRESORA_BIN),
                     {"--render", d + "001.epl", d + "x.png"});
        QVERIFY(render.waitForFinished(20000));
        QCOMPARE(render.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(render.readAllStandardOutput()), d + "x.png\t2 copias\n");
        QCOMPARE(QImage(d + "x.png").convertToFormat(QImage::Format_RGB32), img);
        emulador.kill();
        emulador.waitForFinished(5000);
    }
};

QTEST_MAIN(TestLabelsRender)
#include "test_labels_render.moc"
