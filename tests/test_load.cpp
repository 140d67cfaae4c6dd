// Several stations at once on one database, each with its own connection and
// thread: cards scanned by many stations at the same moment, and labels of
// different boxes printed at the same moment to different printers.

#include "finca.h"
#include "labels/box_labels.h"
#include "labels/label_printer.h"
#include "printer_peer.h"
#include "station/attendance_clock.h"
#include "test_support.h"

#include <QElapsedTimer>
#include <QTest>

#include <barrier>
#include <thread>

using namespace velmar;
using namespace velmar::test;

namespace {

constexpr int kEstaciones = 10;
constexpr int kPasos = 200;
constexpr int kPersonas = 400;

// The card that station `s` scans at step `k`: at each step the stations form
// two groups of five that scan one card each, the groups changing with the
// step, so every card is scanned by five stations at the same moment.
int tarjeta(int s, int k) {
    return 2 * k + (k % 2 == 0 ? s % 2 : s / 5);
}

QString cedula(int i) {
    return QStringLiteral("17%1").arg(i, 8, 10, QLatin1Char('0'));
}

QString usuario(int i) {
    return QStringLiteral("NOMBRE%1 APELLIDO%1").arg(i);
}

using Etiqueta = void (*)(Station&, const QString&, const QString&, const QString&);
const Etiqueta kEtiquetas[] = {imprimir_detalle_peq, imprimir_detalle, imprimir_detalle_bqt};

// A station whose label printer is the one VELMAR_IMPRESORA names when it is
// made.
struct Puesto {
    TestStation t;
    std::unique_ptr<LabelPrinter> impresora = impresoraPorDefecto();
    Station st{t.db, t.history, t.report, t.busy, t.prompts, *impresora, t.input, {}, {}, {}};
};

} // namespace

class TestLoad : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestDb::get(); }

    // Ten stations scan 2 000 cards, each card by five stations at the same
    // moment: one entry per person, and each station's line for each of its
    // scans says either the entry or that it was already recorded.
    void tenStationsScanningTheSameCardsRecordEachEntryOnce() {
        TestDb& db = TestDb::get();
        db.reset();
        QStringList personas;
        for (int i = 0; i < kPersonas; ++i)
            personas << QStringLiteral("(%1,'%2','NOMBRE%3','APELLIDO%3')")
                            .arg(1000 + i)
                            .arg(cedula(i))
                            .arg(i);
        db.sql("insert into personal (personal_id, cedula, nombres, apellidos) values " +
               personas.join(','));

        std::barrier juntos(kEstaciones);
        QString historia[kEstaciones];
        QStringList eventos[kEstaciones];
        QElapsedTimer reloj;
        reloj.start();
        const auto estacion = [&](int s) {
            TestStation t;
            t.reloj("2024-03-07 07:00:00");
            for (int k = 0; k < kPasos; ++k) {
                juntos.arrive_and_wait();
                asistencia(t.st, cedula(tarjeta(s, k)));
            }
            historia[s] = t.history.texto();
            eventos[s] = t.prompts.eventos;
        };
        std::vector<std::thread> hilos;
        for (int s = 0; s < kEstaciones; ++s)
            hilos.emplace_back(estacion, s);
        for (std::thread& h : hilos)
            h.join();
        qDebug("%d scans on %d stations in %lld ms", kEstaciones * kPasos, kEstaciones,
               reloj.elapsed());

        QCOMPARE(db.filas("select personal_id from control_asistencia group by personal_id "
                          "having count(*) > 1"),
                 QStringList());
        QCOMPARE(db.valor("select count(*) from control_asistencia"), QString::number(kPersonas));
        QCOMPARE(db.valor("select count(distinct personal_id) from control_asistencia where "
                          "personal_id between 1000 and 1399"),
                 QString::number(kPersonas));
        QCOMPARE(db.filas("select distinct fecha_entrada, hora_entrada, fecha_salida, hora_salida "
                          "from control_asistencia"),
                 QStringList{"2024-03-07|07:00:00|2024-03-07|NULL"});

        int ingresos[kPersonas] = {};
        for (int s = 0; s < kEstaciones; ++s) {
            QCOMPARE(eventos[s], QStringList());
            const QStringList lineas = historia[s].split("\r\n");
            QCOMPARE(lineas.size(), kPasos + 1);
            QCOMPARE(lineas.last(), QString());
            for (int k = 0; k < kPasos; ++k) {
                const int i = tarjeta(s, k);
                const QString ingreso = "Ingreso del usuario " + usuario(i) + " a las 07:00:00";
                const QString ya = "EL USUARIO " + usuario(i) + " YA FUE INGRESADO A LAS 07:00:00";
                QVERIFY2(lineas[k] == ingreso || lineas[k] == ya, qPrintable(lineas[k]));
                if (lineas[k] == ingreso)
                    ++ingresos[i];
            }
        }
        for (int i = 0; i < kPersonas; ++i)
            QCOMPARE(ingresos[i], 1);
    }

    // Five stations print labels of five different boxes of different
    // packings at the same moment, each to its own printer: every label is
    // the one that box gives when it is printed alone.
    void fiveStationsPrintingAtOnceGiveTheLabelsPrintedAlone() {
        constexpr int kPuestos = 5;
        constexpr int kRondas = 20;
        TestDb& db = TestDb::get();
        db.reset();
        cargarFinca(db.admin());

        PrinterPeer impresoras[kPuestos];
        std::unique_ptr<LabelPrinter> destinos[kPuestos];
        QString packing[kPuestos], caja[kPuestos];
        QByteArray sola[kPuestos];
        for (int i = 0; i < kPuestos; ++i) {
            qputenv("VELMAR_IMPRESORA", impresoras[i].destino().toUtf8());
            packing[i] = kPackingsFinca[i];
            caja[i] = kCajasFinca[i % 2];
            // alone first, each on a fresh station
            {
                Puesto p;
                kEtiquetas[i % 3](p.st, packing[i], caja[i], QString());
                QCOMPARE(p.t.prompts.eventos, QStringList());
            }
            const QList<QByteArray> t = impresoras[i].trabajos(1);
            QCOMPARE(t.size(), 1);
            sola[i] = t[0];
            QVERIFY(sola[i].startsWith("N\r\n"));
            QVERIFY(sola[i].endsWith("P2\r\n\r\n"));
            for (int j = 0; j < i; ++j)
                QVERIFY(sola[i] != sola[j]);
        }
        // the printers are chosen here; each connection lives on its own thread
        for (int i = 0; i < kPuestos; ++i) {
            qputenv("VELMAR_IMPRESORA", impresoras[i].destino().toUtf8());
            destinos[i] = impresoraPorDefecto();
        }

        std::barrier juntos(kPuestos);
        QStringList eventos[kPuestos];
        QElapsedTimer reloj;
        reloj.start();
        const auto imprimir = [&](int i) {
            TestStation t;
            Station st{t.db,         t.history, t.report, t.busy, t.prompts,
                       *destinos[i], t.input,   {},       {},     {}};
            for (int r = 0; r < kRondas; ++r) {
                juntos.arrive_and_wait();
                kEtiquetas[i % 3](st, packing[i], caja[i], QString());
            }
            eventos[i] = t.prompts.eventos;
        };
        std::vector<std::thread> hilos;
        for (int i = 0; i < kPuestos; ++i)
            hilos.emplace_back(imprimir, i);
        for (std::thread& h : hilos)
            h.join();
        qDebug("%d labels on %d stations in %lld ms", kPuestos * kRondas, kPuestos,
               reloj.elapsed());

        for (int i = 0; i < kPuestos; ++i) {
            QCOMPARE(eventos[i], QStringList());
            const QList<QByteArray> t = impresoras[i].trabajos(1 + kRondas);
            QCOMPARE(t.size(), 1 + kRondas);
            for (const QByteArray& e : t)
                QCOMPARE(e, sola[i]);
        }
    }
};

QTEST_GUILESS_MAIN(TestLoad)
#include "test_load.moc"
