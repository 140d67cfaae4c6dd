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

namespace {

// The name of a person's attendance lock on this database.
const QString kCandado =
    QStringLiteral("CONCAT('velmar-asistencia-', MD5(CONCAT(DATABASE(), '/', %1)))");
const QString kError = QStringLiteral("Error en el sistema, revise la última operación ");

} // namespace

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

    // The person's lock is held by the session that inserts the entry (a
    // trigger looks), and is free again after every way a scan can end.
    void lockHeldForTheInsertAndReleasedAfterEveryPath() {
        TestDb& db = TestDb::get();
        db.sql("create table candado_visto (tomado int)");
        db.sql("create trigger ver_candado before insert on control_asistencia for each row "
               "insert into candado_visto values (IS_USED_LOCK(" +
               kCandado.arg("NEW.personal_id") + ") = CONNECTION_ID())");
        const QString libre = "select IS_FREE_LOCK(" + kCandado.arg("7") + ")";
        TestStation t;
        const auto escanear = [&](const QString& hora) {
            t.reloj("2024-03-07 " + hora);
            asistencia(t.st, "1712345678");
            QCOMPARE(db.valor(libre), QString("1"));
        };
        escanear("07:00:00"); // entry
        QCOMPARE(db.filas("select tomado from candado_visto"), QStringList{"1"});
        escanear("07:01:00"); // already entered
        t.prompts.respuestas = {kNo};
        escanear("08:00:00"); // early exit declined
        t.prompts.respuestas = {kSi};
        escanear("08:00:00"); // early exit
        escanear("09:00:00"); // exit already recorded
        db.sql("update control_asistencia set hora_entrada = null");
        escanear("09:00:00"); // error path
        db.sql("rename table control_asistencia to control_x");
        escanear("09:00:00"); // attendance query fails
        db.sql("rename table control_x to control_asistencia");
        QCOMPARE(t.history.texto(),
                 "Ingreso del usuario MARIA JOSE GUAMAN a las 07:00:00\r\n"
                 "EL USUARIO MARIA JOSE GUAMAN YA FUE INGRESADO A LAS 07:00:00\r\n"
                 "Salida del usuario MARIA JOSE GUAMAN a las 08:00:00\r\n"
                 "EL USUARIO MARIA JOSE GUAMAN YA REGISTRO SU SALIDA A LAS 08:00:00\r\n"
                 "\t" +
                     kError + "\t" + kError);
        db.sql("drop table candado_visto");
        db.recrear();
    }

    // A station stuck while holding a person's lock delays the others a little,
    // it does not stop them.
    void stuckStationDoesNotBlockOthers() {
        TestDb& db = TestDb::get();
        QCOMPARE(db.valor("select GET_LOCK(" + kCandado.arg("7") + ", 0)"), QString("1"));
        TestStation t;
        t.reloj("2024-03-07 07:00:00");
        asistencia(t.st, "1712345678");
        QCOMPARE(db.valor("select RELEASE_LOCK(" + kCandado.arg("7") + ")"), QString("1"));
        QCOMPARE(t.history.texto(),
                 QString("Ingreso del usuario MARIA JOSE GUAMAN a las 07:00:00\r\n"));
        QVERIFY(t.prompts.eventos.isEmpty());
        QCOMPARE(db.filas("select personal_id, hora_entrada from control_asistencia"),
                 QStringList{"7|07:00:00"});
    }
};

QTEST_GUILESS_MAIN(TestAttendanceRace)
#include "test_attendance_race.moc"
