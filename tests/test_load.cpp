// Several stations at once on one database, each with its own connection and
// thread: cards scanned by many stations at the same moment, and labels of
// different boxes printed at the same moment to different printers.

#include "finca.h"
#include "printer_peer.h"
#include "station/attendance_clock.h"

#include <QElapsedTimer>
#include <QTest>

#include <barrier>
#include <functional>
#include <thread>

using namespace velmar;
using namespace velmar::test;

namespace {

// Runs `n` stations, each with its own connection on a thread of its own (a
// connection lives on the thread that made it) and printer `impresoras[s]`
// (none: scans at a frozen hour), every step starting on all at once. No
// station may show a box.
void juntos(int n, int pasos, const char* que, QString* historias,
            std::unique_ptr<LabelPrinter>* impresoras,
            const std::function<void(Station&, int, int)>& paso) {
    std::barrier barrera(n);
    QList<QStringList> eventos(n);
    QElapsedTimer reloj;
    reloj.start();
    std::vector<std::thread> hilos;
    for (int s = 0; s < n; ++s)
        hilos.emplace_back([&, s] {
            TestStation t;
            if (!impresoras)
                t.reloj("2024-03-07 07:00:00");
            LabelPrinter& impresora = impresoras ? *impresoras[s] : t.printer;
            Station st{t.db,      t.history, t.report, t.busy, t.prompts,
                       impresora, t.input,   {},       {},     {}};
            for (int k = 0; k < pasos; ++k) {
                barrera.arrive_and_wait();
                paso(st, s, k);
            }
            if (historias)
                historias[s] = t.history.texto();
            eventos[s] = t.prompts.eventos;
        });
    for (std::thread& h : hilos)
        h.join();
    qDebug("%d %s on %d stations in %lld ms", n * pasos, que, n, reloj.elapsed());
    QCOMPARE(eventos, QList<QStringList>(n));
}

} // namespace

class TestLoad : public QObject {
    Q_OBJECT

private slots:
    // Ten stations scan 2 000 cards, each card by five stations at the same
    // moment: one entry per person, and each station's line for each of its
    // scans says either the entry or that it was already recorded.
    void tenStationsScanningTheSameCardsRecordEachEntryOnce() {
        constexpr int kEstaciones = 10, kPasos = 200, kPersonas = 400;
        // at each step the stations form two groups of five that scan one card
        // each, the groups changing with the step
        const auto tarjeta = [](int s, int k) { return 2 * k + (k % 2 == 0 ? s % 2 : s / 5); };
        TestDb& db = TestDb::get();
        db.reset();
        // person i: id and card 1000 + i
        db.sql("insert into personal (personal_id, cedula, nombres, apellidos) select 1000 + seq, "
               "1000 + seq, concat('NOMBRE', seq), concat('APELLIDO', seq) from seq_0_to_399");

        QString historia[kEstaciones];
        juntos(kEstaciones, kPasos, "scans", historia, nullptr, [&](Station& st, int s, int k) {
            asistencia(st, QString::number(1000 + tarjeta(s, k)));
        });

        QCOMPARE(db.filas("select count(*), count(distinct personal_id), min(personal_id), "
                          "max(personal_id) from control_asistencia"),
                 QStringList{"400|400|1000|1399"});
        int ingresos[kPersonas] = {};
        for (int s = 0; s < kEstaciones; ++s) {
            const QStringList lineas = historia[s].split("\r\n");
            QCOMPARE(lineas.mid(kPasos), QStringList{QString()}); // each line ends
            for (int k = 0; k < kPasos; ++k) {
                const QString usuario = QStringLiteral("NOMBRE%1 APELLIDO%1").arg(tarjeta(s, k));
                const bool entro =
                    lineas[k] == "Ingreso del usuario " + usuario + " a las 07:00:00";
                QVERIFY2(entro || lineas[k] ==
                                      "EL USUARIO " + usuario + " YA FUE INGRESADO A LAS 07:00:00",
                         qPrintable(lineas[k]));
                ingresos[tarjeta(s, k)] += entro;
            }
        }
        for (int i = 0; i < kPersonas; ++i)
            QCOMPARE(ingresos[i], 1);
    }

    // Five stations print labels of five different boxes of different
    // packings at the same moment, each to its own printer: every label is
    // the one that box gives when it is printed alone.
    void fiveStationsPrintingAtOnceGiveTheLabelsPrintedAlone() {
        constexpr int kPuestos = 5, kRondas = 20;
        TestDb::get().reset();
        cargarFinca(TestDb::get().admin());
        // station i prints label kind i % 3 of packing i's box, to printer i
        const auto imprimir = [](Station& st, int i) {
            kEtiquetas[i % 3](st, kPackingsFinca[i], kCajasFinca[i % 2], QString());
        };
        PrinterPeer impresoras[kPuestos];
        std::unique_ptr<LabelPrinter> destinos[kPuestos];
        QByteArray sola[kPuestos];
        for (int i = 0; i < kPuestos; ++i) {
            impresoras[i].usar();
            destinos[i] = impresoraPorDefecto();
            Puesto p; // alone first, on a fresh station
            imprimir(p.st, i);
            sola[i] = impresoras[i].trabajos(1).value(0);
            QVERIFY(sola[i].startsWith("N\r\n") && sola[i].endsWith("P2\r\n\r\n"));
            for (int j = 0; j < i; ++j)
                QVERIFY(sola[i] != sola[j]);
        }

        juntos(kPuestos, kRondas, "labels", nullptr, destinos,
               [&](Station& st, int i, int) { imprimir(st, i); });

        for (int i = 0; i < kPuestos; ++i)
            QCOMPARE(impresoras[i].trabajos(2 + kRondas, 1000),
                     QList<QByteArray>(1 + kRondas, sola[i]));
    }
};

QTEST_GUILESS_MAIN(TestLoad)
#include "test_load.moc"
