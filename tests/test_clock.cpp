// The attendance clock over a real server: cards typed into Text1 of the
// window, and the rules its locks keep.

#include "attendance/attendance_report.h"
#include "clock/attendance_clock.h"
#include "clock/clock_sql.h"
#include "station/velmo.h"
#include "window_support.h"

#include <QPlainTextEdit>
#include <QTest>

using namespace velmar;
using namespace velmar::test;

namespace {

// A card at a server time (empty: unchanged) with its answer, several cards
// (a burst), or a statement.
struct Paso {
    QString hora, tarjetas;
    int respuesta = 0;
    QString sql = {};
};
Paso sql(const QString& s) {
    return {{}, {}, 0, s};
}
const QString maria = "1712345678", luis = "0923456781";
const QString kMaria = "MARIA JOSE GUAMAN", kLuis = "LUIS PAZ";
const QString kPregunta = "4|velmar|El usuario desea salir a los %1 minutos de haber ingresado ?";

QString ingreso(const QString& quien, const QString& hora, const QString& ya = "") {
    return ya.isEmpty() ? "Ingreso del usuario " + quien + " a las " + hora + "\r\n"
                        : "EL USUARIO " + quien + " YA " + ya + " A LAS " + hora + "\r\n";
}
QString fila(int id, const QString& hora, const QString& salida = "NULL|NULL",
             const QString& dia = "2024-03-07") { // of control_asistencia
    return QString::number(id) + "|" + dia + "|" + hora + "|" + dia + "|" + salida;
}

} // namespace

Q_DECLARE_METATYPE(Paso)

class TestClock : public QObject {
    Q_OBJECT

private slots:
    // The trigger refuses an entry from a session not holding the person's lock.
    void init() {
        TestDb::get().recrear();
        TestDb::get().sql("insert into personal (personal_id, cedula, nombres, apellidos) values "
                          "(7, '1712345678', 'MARIA JOSE', 'GUAMAN'), (8, '0923456781', 'LUIS', "
                          "'PAZ')");
        TestDb::get().sql(
            QString("create trigger candado before insert on control_asistencia for each row if "
                    "coalesce(IS_USED_LOCK(%1) <> CONNECTION_ID(), 1) then signal sqlstate "
                    "'45000' set message_text = 'sin candado'; end if")
                .arg(attendanceLockNameOf("NEW.personal_id")));
    }

    void scans_data() {
        QTest::addColumn<QList<Paso>>("pasos");
        QTest::addColumn<QString>("historia");
        QTest::addColumn<QStringList>("eventos");
        QTest::addColumn<QStringList>("filas"); // control_asistencia after
        // entry, re-scan, early exit with Yes, 240 minutes, exit already recorded
        QTest::newRow("worked example")
            << QList<Paso>{{"07:00:00", maria},      {"", luis},         {"07:01:30", maria},
                           {"09:15:40", maria, kSi}, {"11:00:00", luis}, {"", maria}}
            << ingreso(kMaria, "07:00:00") + ingreso(kLuis, "07:00:00") +
                   ingreso(kMaria, "07:00:00", "FUE INGRESADO") + "Salida del usuario " + kMaria +
                   " a las 09:15:40\r\n" + ingreso(kMaria, "09:15:40", "REGISTRO SU SALIDA")
            << QStringList{kPregunta.arg(135)}
            << QStringList{fila(7, "07:00:00", "09:15:40|8140"), fila(8, "07:00:00")};
        // the edges of the re-scan guard and of the early-exit window; No changes nothing
        for (const auto& [hora, minutos] : {std::pair{"07:02:00", 2}, {"10:59:59", 239}})
            QTest::newRow(hora) << QList<Paso>{{"07:00:00", luis}, {hora, luis, kNo}}
                                << ingreso(kLuis, "07:00:00") << QStringList{kPregunta.arg(minutos)}
                                << QStringList{fila(8, "07:00:00")};
        // yesterday's row, even one without an exit a minute before midnight
        QTest::newRow("new server day")
            << QList<Paso>{{"2024-03-07 23:59:00", maria}, {"2024-03-08 00:00:30", maria}}
            << ingreso(kMaria, "23:59:00") + ingreso(kMaria, "00:00:30") << QStringList()
            << QStringList{fila(7, "23:59:00"), fila(7, "00:00:30", "NULL|NULL", "2024-03-08")};
        // later cards arrive while a box is up: they must wait, not mix in
        QTest::newRow("burst of queued cards")
            << QList<Paso>{{"07:00:00", QStringList{maria, "888", luis, maria}.join(' ')}}
            << ingreso(kMaria, "07:00:00") + "No se encontró la cédula 888\r\n" +
                   ingreso(kLuis, "07:00:00") + ingreso(kMaria, "07:00:00", "FUE INGRESADO")
            << QStringList{"0|velmar|No se encontró el usuario"}
            << QStringList{fila(7, "07:00:00"), fila(8, "07:00:00")};
        // a farm database keeping the times as text or DATETIME: still hh:mm:ss
        const QString ca = "alter table control_asistencia modify ";
        const QString fija = "update control_asistencia set hora_%1='%2'";
        for (const auto& [tipo, entrada, salida] :
             {std::tuple{"varchar(20)", "7:00:00", "9:30:00"},
              {"datetime", "2024-03-07 07:00:00", "2024-03-07 09:30:00"}})
            QTest::newRow(tipo)
                << QList<Paso>{{"07:00:00", maria},
                               sql(ca + "hora_entrada " + tipo + ", modify hora_salida " + tipo),
                               sql(fija.arg("entrada", entrada)),
                               {"07:01:00", maria},
                               sql(fija.arg("salida", salida)),
                               {"10:00:00", maria}}
                << ingreso(kMaria, "07:00:00") + ingreso(kMaria, "07:00:00", "FUE INGRESADO") +
                       ingreso(kMaria, "09:30:00", "REGISTRO SU SALIDA")
                << QStringList() << QStringList{fila(7, entrada, QString(salida) + "|NULL")};
        // a refused exit: its box, the handler's beep, box and TAB line; no exit
        QTest::newRow("refused exit")
            << QList<Paso>{{"07:00:00", maria},
                           sql("create trigger no before update on control_asistencia for each "
                               "row signal sqlstate '45000' set message_text = 'bloqueada'"),
                           {"09:15:40", maria, kSi}}
            << ingreso(kMaria, "07:00:00") + "\t" + kErrorSistema
            << QStringList{kPregunta.arg(135), "0|velmar|bloqueada", "beep",
                           "0|velmar|" + kErrorSistema}
            << QStringList{fila(7, "07:00:00")};
        // The farm's own columns: the same rows as on the station's types,
        // written in each column's type, or the scan refused with its reason.
        const QList<Paso> dia{{"07:00:00", maria}, {"09:15:40", maria, kSi}, {"09:20:00", maria}};
        const QString linea = ingreso(kMaria, "07:00:00") + "Salida del usuario " + kMaria +
                              " a las 09:15:40\r\n" +
                              ingreso(kMaria, "09:15:40", "REGISTRO SU SALIDA");
        const QStringList pregunta{kPregunta.arg(135)}, hecha{fila(7, "07:00:00", "09:15:40|8140")};
        const QString deOtro =
            "drop trigger candado;\ninsert into control_asistencia (personal_id, fecha_entrada, "
            "hora_entrada, fecha_salida) values (%1, '2024-03-07%2', '07:00:00', '2024-03-07')";
        const QList<Paso> salida{dia[1], dia[2]};
        const QString lineaSalida = linea.section("\r\n", 1);
        const auto conCambios = [](const QStringList& cambios, QList<Paso> pasos) {
            for (auto c = cambios.rbegin(); c != cambios.rend(); ++c)
                pasos.prepend(sql(*c));
            return pasos;
        };
        QTest::newRow("personal's own fecha, hora and photo")
            << conCambios({"alter table personal add fecha date default '2019-05-02', add hora "
                           "time default '06:00:00', add foto longblob"},
                          dia)
            << linea << pregunta << hecha;
        QTest::newRow("no exit kept as 00:00:00")
            << conCambios({ca + "hora_salida time not null default '00:00:00', modify horas_dif "
                                "int not null default 0"},
                          dia)
            << linea << pregunta << hecha;
        QTest::newRow("seconds as TIME")
            << conCambios({ca + "horas_dif time"}, dia) << linea << pregunta
            << QStringList{fila(7, "07:00:00", "09:15:40|02:15:40")};
        QTest::newRow("day as DATETIME, entered by another program")
            << conCambios({ca + "fecha_entrada datetime", deOtro.arg("7", " 07:00:00")}, salida)
            << lineaSalida << pregunta
            << QStringList{"7|2024-03-07 07:00:00|07:00:00|2024-03-07|09:15:40|8140"};
        QTest::newRow("day as TIMESTAMP on update")
            << conCambios({ca + "fecha_entrada timestamp not null default current_timestamp on "
                                "update current_timestamp"},
                          dia)
            << linea << pregunta
            << QStringList{"7|2024-03-07 00:00:00|07:00:00|2024-03-07|09:15:40|8140"};
        QTest::newRow("text key zero-padded")
            << conCambios({ca + "personal_id varchar(10) not null", deOtro.arg("'0007'", "")},
                          salida)
            << lineaSalida << pregunta
            << QStringList{"0007|2024-03-07|07:00:00|2024-03-07|09:15:40|8140"};
        QTest::newRow("ZEROFILL key")
            << conCambios({"drop trigger candado", "alter table personal modify personal_id "
                                                   "int(10) unsigned zerofill not null"},
                          dia)
            << linea << pregunta << hecha;
        const QString avisa = "No se registró la marca: la base de datos no es como la estación "
                              "la necesita. Avise al encargado de sistemas (velmar-cli "
                              "revisar_base).\n";
        for (const auto& [cambios, porque] : std::initializer_list<std::pair<QStringList, QString>>{
                 {{"alter table personal modify personal_id varchar(10) not null",
                   "update personal set personal_id = 'EMP007' where personal_id = '7'",
                   "set sql_mode = ''"},
                  "la clave 'EMP007' de la persona no cabe en control_asistencia.personal_id "
                  "(int(11)), que sólo guarda números enteros"},
                 {{ca + "asistencia_id int not null", "set sql_mode = ''"},
                  "control_asistencia.asistencia_id: no es AUTO_INCREMENT ni tiene valor por "
                  "omisión: la base no puede numerar los ingresos. Cámbiela: ALTER TABLE "
                  "control_asistencia MODIFY asistencia_id INT NOT NULL AUTO_INCREMENT."},
                 {{"alter table control_asistencia add turno int not null"},
                  "control_asistencia.turno: no admite Null y no tiene valor por omisión, y la "
                  "estación no la escribe: la base rechaza cada ingreso. Permita Null o agregue "
                  "un DEFAULT."},
                 {{ca + "hora_entrada varchar(5)"},
                  "control_asistencia.hora_entrada: es varchar(5): guarda 5 caracteres y una "
                  "hora hh:mm:ss necesita 8. Cámbiela a TIME."}})
            QTest::newRow(qPrintable(cambios[0].section(' ', -4)))
                << conCambios(cambios, {dia[0]}) << "\tNo se registró la marca: " + porque + "\r\n"
                << QStringList{"beep", "48|velmar|" + avisa + porque} << QStringList();
    }
    void scans() {
        QFETCH(QList<Paso>, pasos);
        Ventana v;
        CardBox* text1 = v.form.text1();
        const History& h = v.form.station().history;
        v.form.station().report.show(); // a scan hides it
        for (const Paso& paso : pasos) {
            if (!paso.sql.isEmpty()) { // "set ...": on the station's session
                paso.sql.startsWith("set") ? void(v.t.db.ejecutar(paso.sql))
                                           : TestDb::get().script(paso.sql + ";\n");
                continue;
            }
            if (!paso.hora.isEmpty()) {
                v.t.db.ejecutar("SET timestamp = UNIX_TIMESTAMP('" +
                                (paso.hora.size() == 8 ? "2024-03-07 " + paso.hora : paso.hora) +
                                "')");
                v.form.station().sesion.reloj = {}; // the station sees that time first
            }
            if (paso.respuesta)
                v.prompts.respuestas = {paso.respuesta};
            const QString antes = h.texto();
            for (const QString& t : paso.tarjetas.split(' ')) // all keys queued, then handled
                for (const QChar c : t + "\r")
                    QCoreApplication::postEvent(
                        text1,
                        new QKeyEvent(QEvent::KeyPress,
                                      c == '\r' ? Qt::Key_Return : Qt::Key_0 + c.digitValue(),
                                      Qt::NoModifier, QString(c)));
            QCoreApplication::sendPostedEvents(text1, QEvent::KeyPress);
            // whatever way the scan ended, no person's lock is held, under the
            // name it was taken with
            QCOMPARE(TestDb::get().valor("select count(IS_USED_LOCK(" +
                                         attendanceLockNameOf("personal_id") + ")) from personal"),
                     "0");
            // a line appended puts the caret at the start; the error's TAB text at the end
            QCOMPARE(h.caret(),
                     h.texto() != antes && h.texto().endsWith("\r\n") ? 0 : h.texto().size());
            QCOMPARE(text1->text(), QString());
            QVERIFY(!text1->isUndoAvailable()); // no card kept for weeks in its undo history
            QVERIFY(text1->hasFocus());
            QCOMPARE(v.form.text2()->toPlainText(), paraVista(h.texto()));
        }
        QVERIFY(!v.form.txtReporte()->isVisible());
        QTEST(h.texto(), "historia");
        QTEST(v.prompts.eventos, "eventos");
        QTEST(TestDb::get().filas("select personal_id, fecha_entrada, hora_entrada, fecha_salida, "
                                  "hora_salida, horas_dif from control_asistencia order by 1, 2"),
              "filas");
        QVERIFY(v.prompts.respuestas.isEmpty()); // every answer was asked for
    }

    // A GET_LOCK that fails (interrupted by the session's time limit while
    // another station holds the person's lock) is a lock not had: no entry.
    void lockErrorInsertsNothing() {
        TestDb::get().sql("drop trigger candado");
        TestStation otra, t;
        QVERIFY(otra.db.consulta("select get_lock(" + attendanceLockNameOf("7") + ", 0)").text(0) ==
                "1");
        t.reloj("2024-03-07 07:00:00");
        t.db.ejecutar("SET SESSION max_statement_time = 0.5");
        asistencia(t.st, maria);
        const QString aviso = "El usuario " + kMaria +
                              " se está registrando en otra estación. Pase la tarjeta de nuevo.";
        QCOMPARE(t.history.texto(), aviso + "\r\n");
        QCOMPARE(t.prompts.eventos, QStringList{"0|velmar|" + aviso});
        QCOMPARE(TestDb::get().valor("select count(*) from control_asistencia"), QString("0"));
    }

    // A server clock jump: nothing recorded, the box names it, the next scan
    // reconnects; seen on two fresh connections in a row, it is taken.
    void serverClockJumps() {
        TestStation t;
        const QString antes = "select date_format(now() - interval 3615 second, '%Y-%m-%dT%T')";
        t.sesion.reloj.ver(QDateTime::fromString(t.db.consulta(antes).text(0) + "Z", Qt::ISODate),
                           ServerClock::ahoraLocal()); // the server seen an hour earlier
        const QString filas = "select count(*) from control_asistencia";
        for (const char* n : {"0", "0", "1"}) { // seen, fresh once, fresh twice: taken
            asistencia(t.st, maria);
            QCOMPARE(TestDb::get().valor(filas), QString(n));
        }
        QVERIFY(t.history.texto().contains("cambió 1 h 00 min 1"));
        t.db.ejecutar("SET timestamp = UNIX_TIMESTAMP() - 7215"); // one node's clock
        for (const char* n : {"1", "2"}) { // refused, then a right clock over a fresh connection
            asistencia(t.st, luis);
            QCOMPARE(TestDb::get().valor(filas), QString(n));
        }
        QCOMPARE(t.prompts.eventos
                     .filter(QRegularExpression(
                         "^48\\|velmar\\|No se registró la marca de .*: la hora del servidor .* "
                         "saltó (1 h 00 min 1. s adelante|2 h 00 min 1. s atrás) .*Revise que los"))
                     .size(),
                 3);
    }

    // Behind another program's row lock or LOCK TABLES the server gives up
    // first: the box names what waited, then the server's text; nothing changed.
    void lockWaitNamesWhatWaited_data() {
        QTest::addColumn<bool>("reporte");
        QTest::addColumn<QStringList>("eventos");
        const QString espera = " y la base de datos dejó de esperar: ",
                      servidor = "Intente de nuevo: Lock wait timeout exceeded; try restarting "
                                 "transaction";
        QTest::newRow("exit behind a row lock")
            << false
            << QStringList{kPregunta.arg(60),
                           "0|velmar|El registro de asistencia de " + kMaria +
                               " está ocupado por otro programa o estación" + espera +
                               "no se guardó el cambio. " + servidor,
                           "beep", "0|velmar|" + kErrorSistema};
        QTest::newRow("month report behind LOCK TABLES")
            << true
            << QStringList{"0|velmar|Consulta Sql La base de datos dejó de esperar para leer: "
                           "un servidor del clúster no se pudo poner al día con los otros, o un "
                           "programa que no es una estación tiene tomada la tabla. No se leyó "
                           "nada y no se cambió nada. " +
                           servidor};
    }
    void lockWaitNamesWhatWaited() {
        QFETCH(bool, reporte);
        TestStation t;
        t.reloj("2024-03-07 07:00:00");
        asistencia(t.st, maria);
        Conexion otra(TestDb::get().cadena(TestDb::get().nombre()));
        otra.abrir();
        if (reporte) {
            otra.ejecutar("LOCK TABLES control_asistencia WRITE");
            reporte_asistencia(t.st, "2024-03-07", "");
        } else {
            otra.ejecutar("SET autocommit = 0");
            otra.consulta("select * from control_asistencia for update");
            t.reloj("2024-03-07 08:00:00");
            t.prompts.respuestas = {kSi};
            asistencia(t.st, maria);
        }
        otra.ejecutar(reporte ? "UNLOCK TABLES" : "ROLLBACK");
        QTEST(t.prompts.eventos, "eventos");
        QCOMPARE(TestDb::get().filas("select hora_salida from control_asistencia"),
                 QStringList{"NULL"});
    }
};

QTEST_MAIN(TestClock)
#include "test_clock.moc"
