// The label printer emulator: how it reads EPL2 jobs, where its drawing puts
// each dot, and velmar-impresora itself on a real loopback port.

#include "labels/epl2_parser.h"
#include "labels/label_printer.h"
#include "labels/render/epl2_render.h"
#include "test_support.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

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

// Black dots outside all the given areas.
int fuera(const QImage& img, const QList<QRect>& areas) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            if (!negro(img, x, y))
                continue;
            bool dentro = false;
            for (const QRect& a : areas)
                dentro = dentro || a.contains(x, y);
            n += dentro ? 0 : 1;
        }
    return n;
}

// Columns holding ink in a row band, as runs [first, last].
QList<QPair<int, int>> tramos(const QImage& img, int x0, int x1, int y0, int y1) {
    QList<QPair<int, int>> out;
    int inicio = -1;
    for (int x = x0; x <= x1 + 1; ++x) {
        bool hay = false;
        for (int y = y0; x <= x1 && y <= y1 && !hay; ++y)
            hay = negro(img, x, y);
        if (hay && inicio < 0)
            inicio = x;
        if (!hay && inicio >= 0) {
            out.append({inicio, x - 1});
            inicio = -1;
        }
    }
    return out;
}

// What a running program has written so far on stdout and stderr.
struct Salidas {
    QProcess& p;
    QString out;
    QString err;
    // Lets the program run until `listo` holds (or 20 s have passed).
    bool esperar(const std::function<bool()>& listo) {
        return QTest::qWaitFor(
            [&] {
                out += QString::fromUtf8(p.readAllStandardOutput());
                err += QString::fromUtf8(p.readAllStandardError());
                return listo();
            },
            20000);
    }
    QStringList lineas() const { return out.split('\n', Qt::SkipEmptyParts); }
};

QByteArray leer(const QString& ruta) {
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestLabelsRender : public QObject {
    Q_OBJECT

private slots:
    void interpreterFollowsThePrinter() {
        Epl2Impresora imp;
        const QVector<Epl2Impresion> primera =
            imp.procesar("\r\nN\r\nq400\r\nQ300, 24 + 0\r\nS2\r\nD8\r\nZT\r\nTTh:m\r\n"
                         "A20,30,0,3,2,2,N,\"TOTAL  \"\"12\"\r\nLO10,200,300,4\r\nP2\r\n\r\n");
        QCOMPARE(primera.size(), 1);
        QCOMPARE(primera[0].ancho, 400);
        QCOMPARE(primera[0].largo, 300);
        QCOMPARE(primera[0].separacion, 24);
        QCOMPARE(primera[0].copias, 2);
        QCOMPARE(primera[0].campos.size(), 2);
        const Epl2Campo& t = primera[0].campos[0];
        QCOMPARE(t.tipo, Epl2Campo::Texto);
        QCOMPARE(QList<int>({t.x, t.y, t.rotacion, t.fuente, t.multH, t.multV}),
                 QList<int>({20, 30, 0, 3, 2, 2}));
        QCOMPARE(t.inverso, false);
        // two quoted pieces back to back print as one text
        QCOMPARE(t.texto, QString("TOTAL  12"));
        const Epl2Campo& l = primera[0].campos[1];
        QCOMPARE(l.tipo, Epl2Campo::LineaNegra);
        QCOMPARE(QList<int>({l.x, l.y, l.largoH, l.grosorV}), QList<int>({10, 200, 300, 4}));

        // the form settings stay in the printer; N clears the image only
        const QVector<Epl2Impresion> segunda =
            imp.procesar("N\r\nA5,5,0,1,1,1,R,\"x\\\"y\\\\ \xd1\x80\"\r\nP1\r\n");
        QCOMPARE(segunda.size(), 1);
        QCOMPARE(segunda[0].ancho, 400);
        QCOMPARE(segunda[0].largo, 300);
        QCOMPARE(segunda[0].copias, 1);
        QCOMPARE(segunda[0].campos.size(), 1);
        QCOMPARE(segunda[0].campos[0].inverso, true);
        QCOMPARE(segunda[0].campos[0].texto, QString::fromUtf8("x\"y\\ Ñ€"));

        // no P, no label
        QCOMPARE(imp.procesar("N\r\nA5,5,0,1,1,1,N,\"x\"\r\n").size(), 0);
    }

    void residentFontCells() {
        const QList<QList<int>> celdas = {
            {8, 12, 2}, {10, 16, 2}, {12, 20, 2}, {14, 24, 2}, {32, 48, 4}};
        for (int f = 1; f <= 5; ++f) {
            const Epl2Fuente c = fuenteResidente(f);
            QCOMPARE(QList<int>({c.ancho, c.alto, c.espacio}), celdas[f - 1]);
        }
    }

    void textAndRulesLandOnTheirDots() {
        Epl2Impresora imp;
        const QVector<Epl2Impresion> e =
            imp.procesar("N\r\nq400\r\nQ300,24\r\nA40,30,0,3,2,2,N,\"HHHH\"\r\n"
                         "A100,120,0,4,1,3,N,\"EEE\"\r\nLO10,250,300,4\r\nP1\r\n");
        QCOMPARE(e.size(), 1);
        const QImage img = renderizar(e[0]).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(img.size(), QSize(400, 300));

        // font 3 (12 x 20, gap 2) at 2 x 2: cells 24 x 40 every 28 dots
        const QRect linea1(40, 30, 4 * 28, 40);
        // font 4 (14 x 24, gap 2) at 1 x 3: cells 14 x 72 every 16 dots
        const QRect linea2(100, 120, 3 * 16, 72);
        const QRect regla(10, 250, 300, 4);
        QCOMPARE(fuera(img, {linea1, linea2, regla}), 0);

        for (int y = 250; y < 254; ++y)
            for (int x = 10; x < 310; ++x)
                QVERIFY2(negro(img, x, y), qPrintable(QString("%1,%2").arg(x).arg(y)));

        // each H in its own cell, starting at its cell's left edge
        const auto h = tramos(img, 40, 40 + 4 * 28 - 1, 30, 69);
        QCOMPARE(h.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const int celda = 40 + 28 * i;
            QVERIFY2(h[i].first >= celda && h[i].first <= celda + 4,
                     qPrintable(QString::number(h[i].first)));
            QVERIFY2(h[i].second >= celda + 16 && h[i].second < celda + 24,
                     qPrintable(QString::number(h[i].second)));
        }
        // the capitals fill most of the cell's height
        const QRect t1 = tinta(img, linea1);
        QVERIFY2(t1.top() <= 30 + 10 && t1.bottom() >= 30 + 26,
                 qPrintable(QString::number(t1.top())));
        const QRect t2 = tinta(img, linea2);
        QVERIFY2(t2.left() <= 100 + 3 && t2.right() >= 100 + 2 * 16 + 8,
                 qPrintable(QString::number(t2.right())));
        QVERIFY2(t2.top() <= 120 + 18 && t2.bottom() >= 120 + 40,
                 qPrintable(QString::number(t2.bottom())));
        QCOMPARE(img.text("Copias"), QString("1"));
    }

    void fieldsPastTheFormAreShownAndMarked() {
        Epl2Impresora imp;
        const QVector<Epl2Impresion> e = imp.procesar(
            "N\r\nq200\r\nQ100,5\r\nA10,120,0,3,1,1,N,\"A\"\r\nLO150,10,100,2\r\nP1\r\n");
        const QImage img = renderizar(e[0]).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(img.size(), QSize(250, 140));
        // the form's edges as grey dashes; the fields beyond them still drawn
        const QRgb gris = qRgb(160, 160, 160);
        int grises = 0;
        for (int x = 0; x < img.width(); ++x)
            grises += img.pixel(x, 100) == gris ? 1 : 0;
        QVERIFY(grises > 50);
        QVERIFY(tinta(img, QRect(10, 120, 14, 20)).isValid());
        QVERIFY(negro(img, 249, 10));
    }

    void emulatorKeepsJobsAndDrawsLabels() {
        QTemporaryDir dir;
        QProcess emulador;
        emulador.start(QStringLiteral(VELMAR_IMPRESORA_BIN), {"--port", "0", "--out", dir.path()});
        QVERIFY(emulador.waitForStarted(10000));
        Salidas salidas{emulador, {}, {}};
        static const QRegularExpression listo("escuchando en 127\\.0\\.0\\.1:(\\d+)");
        salidas.esperar([&] { return listo.match(salidas.err).hasMatch(); });
        const QString& aviso = salidas.err;
        const auto m = listo.match(aviso);
        QVERIFY2(m.hasMatch(), qPrintable(aviso));

        qputenv("VELMAR_IMPRESORA", ("socket://127.0.0.1:" + m.captured(1)).toUtf8());
        auto impresora = impresoraPorDefecto();
        const QByteArray peq = leer(fuente("tests/data/labels/peq_100_1.epl"));
        const QByteArray bqt = leer(fuente("tests/data/labels/bqt_100_7.epl"));
        impresora->send(peq);
        impresora->send(bqt);

        salidas.esperar([&] { return salidas.lineas().size() >= 2; });
        const QStringList lineas = salidas.lineas();
        const QString png1 = dir.path() + "/etiqueta-001.png";
        const QString png2 = dir.path() + "/etiqueta-002.png";
        QCOMPARE(lineas, QStringList({png1 + "\t2 copias", png2 + "\t2 copias"}));
        // each job is saved once its sender closes the line
        const QString epl1 = dir.path() + "/etiqueta-001.epl";
        const QString epl2 = dir.path() + "/etiqueta-002.epl";
        salidas.esperar([&] { return aviso.contains(epl2 + "\t"); });
        QVERIFY2(aviso.contains("trabajo " + epl1 + "\t" + QString::number(peq.size()) + " bytes"),
                 qPrintable(aviso));
        QVERIFY2(aviso.contains("trabajo " + epl2 + "\t" + QString::number(bqt.size()) + " bytes"),
                 qPrintable(aviso));
        QCOMPARE(leer(dir.path() + "/etiqueta-001.epl"), peq);
        QCOMPARE(leer(dir.path() + "/etiqueta-002.epl"), bqt);

        // the small label: 680 wide, grown past its 795-dot form to the AWB line
        const QImage img = QImage(png1).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(img.size(), QSize(680, 890));
        QCOMPARE(img.text("Copias"), QString("2"));
        for (int x = 24; x < 649; ++x) {
            QVERIFY(negro(img, x, 115) && negro(img, x, 116));
            QVERIFY(!negro(img, x, 114) && !negro(img, x, 117));
        }
        // "EC42-QMBR-07-3316" at 50,5 in font 3, 2 x 2: 17 cells of 28 dots
        const QRect registro = tinta(img, QRect(0, 0, 680, 50));
        QVERIFY2(registro.left() >= 50 && registro.left() <= 54,
                 qPrintable(QString::number(registro.left())));
        QVERIFY2(registro.right() < 50 + 17 * 28 && registro.right() > 50 + 16 * 28,
                 qPrintable(QString::number(registro.right())));
        QVERIFY2(registro.top() >= 5 && registro.bottom() < 45,
                 qPrintable(QString::number(registro.bottom())));
        // the house waybill in the band left free under it, clear of the rule at 115
        const QRect hawb = tinta(img, QRect(0, 50, 680, 65));
        QVERIFY(hawb.top() >= 60 && hawb.bottom() < 100 && hawb.left() >= 50);

        const QImage bouquet(png2);
        QCOMPARE(bouquet.size(), QSize(849, 1269));

        // a label is drawn when its P arrives, while the sender still holds the line
        QTcpSocket enVivo;
        enVivo.connectToHost(QHostAddress::LocalHost, quint16(m.captured(1).toUInt()));
        QVERIFY(enVivo.waitForConnected(10000));
        enVivo.write("N\r\nq200\r\nQ100,5\r\nA10,10,0,2,1,1,N,\"UNO\"\r\nP1\r\n");
        QVERIFY(enVivo.waitForBytesWritten(10000));
        salidas.esperar([&] { return salidas.lineas().size() >= 3; });
        QCOMPARE(salidas.lineas().value(2), dir.path() + "/etiqueta-003.png\t1 copias");
        QVERIFY(!QFile::exists(dir.path() + "/etiqueta-003.epl"));
        enVivo.write("N\r\nA10,10,0,2,1,1,N,\"DOS\"\r\nP3\r\n");
        QVERIFY(enVivo.waitForBytesWritten(10000));
        enVivo.disconnectFromHost();
        if (enVivo.state() != QAbstractSocket::UnconnectedState)
            QVERIFY(enVivo.waitForDisconnected(10000));
        salidas.esperar([&] { return salidas.lineas().size() >= 4; });
        QCOMPARE(salidas.lineas().value(3), dir.path() + "/etiqueta-003-2.png\t3 copias");
        QCOMPARE(QImage(dir.path() + "/etiqueta-003-2.png").size(), QSize(200, 100));

        // a saved job drawn from the command line gives the same picture
        const QString otra = dir.path() + "/otra.png";
        QProcess render;
        render.start(QStringLiteral(VELMAR_IMPRESORA_BIN),
                     {"--render", dir.path() + "/etiqueta-001.epl", otra});
        QVERIFY(render.waitForFinished(20000));
        QCOMPARE(render.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(render.readAllStandardOutput()), otra + "\t2 copias\n");
        QCOMPARE(QImage(otra).convertToFormat(QImage::Format_RGB32), img);

        emulador.kill();
        emulador.waitForFinished(5000);
    }
};

QTEST_MAIN(TestLabelsRender)
#include "test_labels_render.moc"
