// The attendance clock on the real window (offscreen) and a real MariaDB
// server: cards typed into Text1, the server's clock set per session.

#include "gui/velmar_form.h"
#include "gui/widget_context.h"
#include "test_support.h"

#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QTest>
#include <memory>

using namespace velmar;
using namespace velmar::test;

namespace {

const QString kError = QStringLiteral("Error en el sistema, revise la última operación ");
const QString kNoEncontrado = QStringLiteral("0|velmar|No se encontró el usuario");
const QString kPregunta = QStringLiteral("4|velmar|El usuario desea salir a los %1 minutos de "
                                         "haber ingresado ?");
const QString kMaria = QStringLiteral("MARIA JOSE GUAMAN");
const QString kLuis = QStringLiteral("LUIS PAZ");

QString ingreso(const QString& quien, const QString& hora) {
    return "Ingreso del usuario " + quien + " a las " + hora + "\r\n";
}
QString yaIngreso(const QString& quien, const QString& hora) {
    return "EL USUARIO " + quien + " YA FUE INGRESADO A LAS " + hora + "\r\n";
}
QString noEncontrada(const QString& cedula) {
    return "No se encontró la cédula " + cedula + "\r\n";
}
// A control_asistencia row as filas() shows it.
QString fila(int id, const QString& hora, const QString& salida = "NULL|NULL",
             const QString& dia = "2024-03-07") {
    return QString::number(id) + "|" + dia + "|" + hora + "|" + dia + "|" + salida;
}
QStringList filas() {
    return TestDb::get().filas("select personal_id, fecha_entrada, hora_entrada, fecha_salida, "
                               "hora_salida, horas_dif from control_asistencia order by "
                               "asistencia_id");
}

// The server-wide lock of a person's scans on this database.
QString candado(const QString& id) {
    return "CONCAT('velmar-asistencia-', MD5(CONCAT(DATABASE(), '/', " + id + ")))";
}

// A box that runs the event loop until it is answered, as a modal box does.
class PromptsModales : public RecordingPrompts {
protected:
    int mostrar(const QString& texto, int estilo, const QString& titulo) override {
        QCoreApplication::processEvents();
        return RecordingPrompts::mostrar(texto, estilo, titulo);
    }
};

// One station window on the data source, its boxes recorded.
struct Puesto {
    Puesto() {
        db.abrir();
        form = std::make_unique<VelmarForm>(db, &prompts, &printer);
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }
    CardBox* text1() const { return form->text1(); }
    const History& history() const { return form->station().history; }
    const QString& historia() const { return history().texto(); }
    QStringList& eventos() { return prompts.eventos; }

    Conexion db;
    PromptsModales prompts;
    RecordingPrinter printer;
    std::unique_ptr<VelmarForm> form;
};

} // namespace

class TestAttendance : public QObject {
    Q_OBJECT

private slots:
    // Every entry in this file must be inserted by the session that holds the
    // person's lock: the trigger refuses any other.
    void init() {
        TestDb& db = TestDb::get();
        db.recrear();
        db.sql("insert into personal (personal_id, cedula, nombres, apellidos) values "
               "(7, '1712345678', 'MARIA JOSE', 'GUAMAN'), (8, '0923456781', 'LUIS', 'PAZ')");
        db.sql("create trigger candado_tomado before insert on control_asistencia for each row "
               "if coalesce(IS_USED_LOCK(" +
               candado("NEW.personal_id") +
               ") <> CONNECTION_ID(), 1) then signal sqlstate '45000' set message_text = "
               "'entrada sin candado'; end if");
    }

    // Steps "time|card|answer" (time kept when empty, s/n answers the
    // question) or "sql:statement" on the tests' own connection, with the
    // report box shown first: the scans hide it. The database's name in a box
    // is shown as DB.
    void scans_data() {
        QTest::addColumn<QStringList>("pasos");
        QTest::addColumn<QString>("historia");
        QTest::addColumn<QStringList>("eventos");
        QTest::addColumn<QStringList>("filas");
        const QString insertar = "sql:insert into personal (personal_id, cedula, nombres, "
                                 "apellidos) values ";
        // entry, re-scan, early exit with Yes, 240 minutes, exit already recorded
        QTest::newRow("worked example")
            << QStringList{"07:00:00|1712345678",   "|0923456781",         "07:01:30|1712345678",
                           "09:15:40|1712345678|s", "11:00:00|0923456781", "|1712345678",
                           "07:01:59|1712345678"}
            << ingreso(kMaria, "07:00:00") + ingreso(kLuis, "07:00:00") +
                   yaIngreso(kMaria, "07:00:00") + "Salida del usuario " + kMaria +
                   " a las 09:15:40\r\nEL USUARIO " + kMaria +
                   " YA REGISTRO SU SALIDA A LAS 09:15:40\r\n" + yaIngreso(kMaria, "07:00:00")
            << QStringList{kPregunta.arg(135)}
            << QStringList{fila(7, "07:00:00", "09:15:40|8140"), fila(8, "07:00:00")};
        // answered No, or nothing asked: no row changes, no line
        const auto umbral = [&](const char* nombre, const QString& hora, const QString& linea,
                                const QString& pregunta) {
            QTest::newRow(nombre) << QStringList{"07:00:00|0923456781",
                                                 hora + "|0923456781" +
                                                     (pregunta.isEmpty() ? "" : "|n")}
                                  << ingreso(kLuis, "07:00:00") + linea
                                  << (pregunta.isEmpty() ? QStringList() : QStringList{pregunta})
                                  << QStringList{fila(8, "07:00:00")};
        };
        umbral("1:59", "07:01:59", yaIngreso(kLuis, "07:00:00"), "");
        umbral("2:00", "07:02:00", "", kPregunta.arg(2));
        umbral("239:59", "10:59:59", "", kPregunta.arg(239));
        umbral("240:00", "11:00:00", "", "");
        umbral("23:59:59", "23:59:59", "", "");
        QTest::newRow("null names leave two blanks")
            << QStringList{insertar + "(9, 'N1', NULL, 'MORA'), (10, 'N2', 'ANA', NULL)",
                           "07:00:00|N1",
                           "|n2",
                           "08:00:00|N1|s",
                           "|N2|s",
                           "09:00:00|N1"}
            << ingreso(" MORA", "07:00:00") + ingreso("ANA ", "07:00:00") +
                   "Salida del usuario  MORA a las 08:00:00\r\nSalida del usuario ANA  a las "
                   "08:00:00\r\nEL USUARIO  MORA YA REGISTRO SU SALIDA A LAS 08:00:00\r\n"
            << QStringList(2, kPregunta.arg(60))
            << QStringList{fila(9, "07:00:00", "08:00:00|3600"),
                           fila(10, "07:00:00", "08:00:00|3600")};
        // yesterday's row, even one without an exit a minute before midnight
        QTest::newRow("new server day")
            << QStringList{"2024-03-07 23:59:00|1712345678", "2024-03-08 00:00:30|1712345678",
                           "2024-03-08 00:01:00|1712345678"}
            << ingreso(kMaria, "23:59:00") + ingreso(kMaria, "00:00:30") +
                   yaIngreso(kMaria, "00:00:30")
            << QStringList()
            << QStringList{fila(7, "23:59:00"), fila(7, "00:00:30", "NULL|NULL", "2024-03-08")};
        // blanks around and apostrophes off, upper case
        QTest::newRow("input cleaning")
            << QStringList{insertar + "(11, 'ABC', 'ROSA', 'VERA')", "07:00:00| ab'c ", "|",
                           "|x'y "}
            << ingreso("ROSA VERA", "07:00:00") + noEncontrada("") + noEncontrada("XY")
            << QStringList(2, kNoEncontrado) << QStringList{fila(11, "07:00:00")};
        // cards holding what SQL treats specially are found exactly
        const auto esc = [](const QString& v) { return TestDb::get().admin().esc(v); };
        QTest::newRow("special cards found exactly")
            << QStringList{insertar + "(20, '" + esc("A\\B") + "', 'BARRA', 'INVERTIDA'), (21, '" +
                               esc("ÑANDÚ-Ж😀") + "', 'NO', 'LATINO'), (22, '" + esc("A\\\\B") +
                               "', 'DOBLE', 'BARRA')",
                           "07:00:00|a\\b", "|ñandú-ж😀", "|a\\\\b"}
            << ingreso("BARRA INVERTIDA", "07:00:00") + ingreso("NO LATINO", "07:00:00") +
                   ingreso("DOBLE BARRA", "07:00:00")
            << QStringList()
            << QStringList{fila(20, "07:00:00"), fila(21, "07:00:00"), fila(22, "07:00:00")};
        // a farm database with a latin1 cedula column: text it cannot hold is
        // simply not found (the server would call the comparison an error)
        QTest::newRow("non-Latin against a latin1 column")
            << QStringList{"sql:alter table personal modify cedula varchar(20) character set "
                           "latin1 not null",
                           insertar + "(23, 'ÑANDÚ', 'PEDRO', 'ÑAUPA')", "07:00:00|Жук", "|ñandú",
                           "|😀"}
            << noEncontrada("ЖУК") + ingreso("PEDRO ÑAUPA", "07:00:00") + noEncontrada("😀")
            << QStringList(2, kNoEncontrado) << QStringList{fila(23, "07:00:00")};

        // a station stuck while holding a person's lock delays the others a
        // little, it does not stop them (they go on without the lock)
        QTest::newRow("stuck station")
            << QStringList{"sql:drop trigger candado_tomado",
                           "sql:do GET_LOCK(" + candado("7") + ", 0)", "07:00:00|1712345678",
                           "sql:do RELEASE_LOCK(" + candado("7") + ")"}
            << ingreso(kMaria, "07:00:00") << QStringList() << QStringList{fila(7, "07:00:00")};
        // a scanner's burst: every key of several cards queued before any is
        // handled; boxes run the event loop, so later cards arrive while an
        // earlier one is still being submitted: they must wait, not mix into it
        QTest::newRow("burst of queued cards")
            << QStringList{insertar + "(12, '555', 'ROSA', 'VERA')", "07:00:00|999",
                           "rafaga:1712345678,0923456781,888,1712345678,555,777"}
            << noEncontrada("999") + ingreso(kMaria, "07:00:00") + ingreso(kLuis, "07:00:00") +
                   noEncontrada("888") + yaIngreso(kMaria, "07:00:00") +
                   ingreso("ROSA VERA", "07:00:00") + noEncontrada("777")
            << QStringList(3, kNoEncontrado)
            << QStringList{fila(7, "07:00:00"), fila(8, "07:00:00"), fila(12, "07:00:00")};
        // pasted whole (control characters, a NUL inside a real card, 1 MB):
        // nobody is found, no SQL error
        QString mega;
        while (mega.size() < 1024 * 1024)
            mega += "1234567890abcdefghij";
        const QString control("\x01\x02\t\x1b\x1a\x7f\r\n1712345678");
        const QString nul = QString("17123") + QChar(0) + QString("45678");
        QTest::newRow("pasted cards")
            << QStringList{"pegar:" + control, "pegar:" + nul, "pegar:" + mega}
            << noEncontrada(control) + noEncontrada(nul) + noEncontrada(mega.toUpper())
            << QStringList(3, kNoEncontrado) << QStringList();

        // A failing statement: its own box, then the handler's beep, box and a
        // TAB line the next line continues; no entry or exit is reported.
        const auto falla =
            [](const char* nombre, const QStringList& pasos, const QString& antes,
               const QStringList& cajas, const QStringList& filas) {
                QTest::newRow(nombre)
                    << pasos + QStringList{"|X"} << antes + "\t" + kError + noEncontrada("X")
                    << cajas + QStringList{"beep", "0|velmar|" + kError, kNoEncontrado} << filas;
            };
        falla("person query fails",
              {"sql:rename table personal to personal_x", "07:00:00|1712345678",
               "sql:rename table personal_x to personal"},
              "", {"0|velmar|Consulta Sql Table 'DB.personal' doesn't exist"}, {});
        falla("attendance query fails",
              {"sql:rename table control_asistencia to control_x", "07:00:00|1712345678",
               "sql:rename table control_x to control_asistencia"},
              "", {"0|velmar|Consulta Sql Table 'DB.control_asistencia' doesn't exist"}, {});
        const QString bloqueo = "sql:create trigger bloqueo before %1 on control_asistencia for "
                                "each row signal sqlstate '45000' set message_text = '%2'";
        falla("refused entry", {bloqueo.arg("insert", "entrada bloqueada"), "07:00:00|1712345678"},
              "", {"0|velmar|entrada bloqueada"}, {});
        falla("refused exit",
              {"07:00:00|1712345678", bloqueo.arg("update", "salida bloqueada"),
               "09:15:40|1712345678|s"},
              ingreso(kMaria, "07:00:00"), {kPregunta.arg(135), "0|velmar|salida bloqueada"},
              {fila(7, "07:00:00")});
        // a Null entry time cannot be compared; nothing is asked
        falla("null entry time",
              {"07:00:00|1712345678", "sql:update control_asistencia set hora_entrada = NULL",
               "09:15:40|1712345678"},
              ingreso(kMaria, "07:00:00"), {}, {"7|2024-03-07|NULL|2024-03-07|NULL|NULL"});
    }
    void scans() {
        QFETCH(QStringList, pasos);
        QFETCH(QString, historia);
        QFETCH(QStringList, eventos);
        QFETCH(QStringList, filas);
        Puesto p;
        p.form->station().report.set("REPORTE");
        p.form->station().report.show();
        for (const QString& paso : pasos) {
            if (paso.startsWith("sql:")) {
                TestDb::get().sql(paso.mid(4));
                continue;
            }
            if (paso.startsWith("rafaga:")) { // all keys queued, then handled
                for (const QString& t : paso.mid(7).split(','))
                    for (const QChar c : t + "\r")
                        QCoreApplication::postEvent(
                            p.text1(),
                            new QKeyEvent(QEvent::KeyPress,
                                          c == '\r' ? Qt::Key_Return : Qt::Key_0 + c.digitValue(),
                                          Qt::NoModifier, QString(c)));
                QCoreApplication::sendPostedEvents(p.text1(), QEvent::KeyPress);
                continue;
            }
            const bool pegar = paso.startsWith("pegar:");
            const QStringList partes = pegar ? QStringList{"", paso.mid(6)} : paso.split('|');
            if (!partes[0].isEmpty()) // "hh:mm:ss" on 2024-03-07, or a date and time
                p.db.ejecutar("SET timestamp = UNIX_TIMESTAMP('" +
                              (partes[0].size() == 8 ? "2024-03-07 " + partes[0] : partes[0]) +
                              "')");
            if (partes.size() > 2)
                p.prompts.respuestas = {partes[2] == "s" ? kSi : kNo};
            const QString antes = p.historia();
            if (pegar) {
                QGuiApplication::clipboard()->setText(partes[1]);
                QTest::keyClick(p.text1(), Qt::Key_V, Qt::ControlModifier);
                QVERIFY(p.text1()->text() == partes[1]);
            } else { // every character as the keyboard would type it (any script)
                for (char32_t c : partes[1].toUcs4())
                    QTest::sendKeyEvent(QTest::Click, p.text1(), Qt::Key_unknown,
                                        QString::fromUcs4(&c, 1), Qt::NoModifier);
            }
            QTest::keyClick(p.text1(), Qt::Key_Return);
            // whatever way the scan ended, the station holds none of the locks
            const QString yo = p.db.consulta("select connection_id()").text(0);
            QCOMPARE(TestDb::get().valor("select coalesce(IS_USED_LOCK(" + candado("7") +
                                         ") = " + yo + ", 0) + coalesce(IS_USED_LOCK(" +
                                         candado("8") + ") = " + yo + ", 0)"),
                     QString("0"));
            // the keys put the history's caret at the end (the error path's
            // TAB text leaves it there); a line appended puts it at the start
            const bool linea = p.historia() != antes && p.historia().endsWith("\r\n");
            QCOMPARE(p.history().caret(), linea ? 0 : p.historia().size());
            // Text1 emptied and focused; the window shows the history, CR LF as line ends
            QCOMPARE(p.text1()->text(), QString());
            QVERIFY(p.text1()->hasFocus());
            QCOMPARE(p.form->text2()->toPlainText(), paraVista(p.historia()));
        }
        QVERIFY(!p.form->txtReporte()->isVisible());
        QVERIFY2(p.historia() == historia, qPrintable(p.historia().left(2000)));
        QCOMPARE(p.eventos().replaceInStrings(TestDb::get().nombre() + ".", "DB."), eventos);
        QCOMPARE(::filas(), filas);
        QVERIFY(p.prompts.respuestas.isEmpty()); // every answer was asked for
    }

    // Any key but Enter: the history is trimmed past 20480 characters, its
    // caret goes to the end, and the key reaches the box (editing keys too).
    void otherKeysTrimTheHistory() {
        for (const auto& [largo, queda] : {std::pair{20480, 20480}, std::pair{20481, 16384}}) {
            Puesto p;
            const QString texto =
                QString("linea\r\n").repeated(largo / 7).leftJustified(largo - 2, 'x');
            p.form->station().history.agregar_historia(texto);
            QCOMPARE(p.historia().size(), largo);
            QCOMPARE(p.history().caret(), 0);
            p.text1()->setText("17");
            QTest::keyClick(p.text1(), Qt::Key_3);
            QCOMPARE(p.historia(), (texto + "\r\n").right(queda));
            QCOMPARE(p.history().caret(), p.historia().size());
            QVERIFY(p.form->text2()->textCursor().atEnd());
            QCOMPARE(p.text1()->text(), QString("173"));
            QCOMPARE(p.text1()->cursorPosition(), 3);
            for (Qt::Key k : {Qt::Key_Backspace, Qt::Key_Home, Qt::Key_Delete})
                QTest::keyClick(p.text1(), k);
            QCOMPARE(p.text1()->text(), QString("7"));
            p.form->text2()->setFocus();
            QTest::keyClick(p.text1(), Qt::Key_Escape);
            QVERIFY(p.text1()->hasFocus());
            QCOMPARE(p.form->text2()->toPlainText(), paraVista(p.historia()));
        }
    }
};

QTEST_MAIN(TestAttendance)
#include "test_attendance.moc"
