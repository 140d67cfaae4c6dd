// Two stations, each with its own connection, scanning the same card at the
// same moment: one entry per day, never two.

#include "station/attendance_clock.h"
#include "test_support.h"

#include <QDate>
#include <QTest>
#include <barrier>
#include <thread>

using namespace velmar;
using namespace velmar::test;

class TestAttendanceRace : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestDb::get(); }
    void init() {
        TestDb::get().reset();
        TestDb::get().sql("insert into personal (personal_id, cedula, nombres, apellidos) "
                          "values (7, '1712345678', 'MARIA JOSE', 'GUAMAN')");
    }

    void sameCardOnTwoStationsGivesOneEntry() {
        constexpr int kRondas = 60;
        const QDate primero(2024, 1, 1);
        std::barrier juntos(2);
        QString historia[2];
        QStringList eventos[2];

        const auto puesto = [&](int i) {
            TestStation t;
            for (int r = 0; r < kRondas; ++r) {
                t.reloj(primero.addDays(r).toString("yyyy-MM-dd") + " 07:00:00");
                juntos.arrive_and_wait();
                asistencia(t.st, "1712345678");
                juntos.arrive_and_wait();
            }
            historia[i] = t.history.texto();
            eventos[i] = t.prompts.eventos;
        };
        std::thread a(puesto, 0);
        std::thread b(puesto, 1);
        a.join();
        b.join();

        QCOMPARE(eventos[0], QStringList());
        QCOMPARE(eventos[1], QStringList());
        QCOMPARE(TestDb::get().valor("select count(*) from control_asistencia"),
                 QString::number(kRondas));
        QCOMPARE(TestDb::get().valor("select count(distinct fecha_entrada) from "
                                     "control_asistencia"),
                 QString::number(kRondas));
        QCOMPARE(TestDb::get().filas("select distinct personal_id, hora_entrada, hora_salida, "
                                     "horas_dif from control_asistencia"),
                 QStringList{"7|07:00:00|NULL|NULL"});

        // each round: one station recorded the entry, the other reported it
        const QString ingreso = "Ingreso del usuario MARIA JOSE GUAMAN a las 07:00:00\r\n";
        const QString reporte = "EL USUARIO MARIA JOSE GUAMAN YA FUE INGRESADO A LAS 07:00:00\r\n";
        QCOMPARE(historia[0].count(ingreso) + historia[1].count(ingreso), kRondas);
        for (const QString& h : historia) {
            QCOMPARE(h.count(ingreso) + h.count(reporte), kRondas);
            QCOMPARE(h.size(),
                     h.count(ingreso) * ingreso.size() + h.count(reporte) * reporte.size());
        }
    }
};

QTEST_GUILESS_MAIN(TestAttendanceRace)
#include "test_attendance_race.moc"
