// The attendance clock on the real window (offscreen) and a real MariaDB
// server: cards typed into Text1, the server's clock set per session.

#include "station/station_widgets.h"
#include "station/velmar_form.h"
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
    // "hh:mm:ss" on 2024-03-07, or a whole date and time.
    void reloj(const QString& hora) {
        db.ejecutar("SET timestamp = UNIX_TIMESTAMP('" +
                    (hora.size() == 8 ? "2024-03-07 " + hora : hora) + "')");
    }
    CardBox* text1() const { return form->text1(); }
    const History& history() const { return form->station().history; }
    const QString& historia() const { return history().texto(); }
    QStringList& eventos() { return prompts.eventos; }

    // Types every character as the keyboard would (any script), then Enter.
    void teclear(const QString& texto) {
        for (char32_t p : texto.toUcs4())
            QTest::sendKeyEvent(QTest::Click, text1(), Qt::Key_unknown, QString::fromUcs4(&p, 1),
                                Qt::NoModifier);
        QTest::keyClick(text1(), Qt::Key_Return);
    }
    // A card; whatever way the scan ended, the persons' locks are free again.
    void tarjeta(const QString& texto) {
        teclear(texto);
        QCOMPARE(TestDb::get().valor("select IS_FREE_LOCK(" + candado("7") + ") + IS_FREE_LOCK(" +
                                     candado("8") + ")"),
                 QString("2"));
    }
    // Text1 emptied and focused; the window shows the history, CR LF as line ends.
    void listo() {
        QCOMPARE(text1()->text(), QString());
        QVERIFY(text1()->hasFocus());
        QCOMPARE(form->text2()->toPlainText(), paraVista(historia()));
    }
    bool caretAlFinal() const {
        return history().caret() == historia().size() && form->text2()->textCursor().atEnd();
    }

    Conexion db;
    PromptsModales prompts;
    RecordingPrinter printer;
    std::unique_ptr<VelmarForm> form;
};

} // namespace

class TestAttendance : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestDb::get(); }
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

    // Scans "time|card|answer" (time kept when empty, s/n answers the
    // question), with the report box shown first: the scans hide it.
    void scans_data() {
        QTest::addColumn<QStringList>("antes");
        QTest::addColumn<QStringList>("pasos");
        QTest::addColumn<QString>("historia");
        QTest::addColumn<QStringList>("eventos");
        QTest::addColumn<QStringList>("filas");
        const QString insertar = "insert into personal (personal_id, cedula, nombres, apellidos) "
                                 "values ";
        // entry, re-scan, early exit with Yes, 240 minutes, exit already recorded
        QTest::newRow("worked example")
            << QStringList()
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
            QTest::newRow(nombre) << QStringList()
                                  << QStringList{"07:00:00|0923456781",
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
            << QStringList{insertar + "(9, 'N1', NULL, 'MORA'), (10, 'N2', 'ANA', NULL)"}
            << QStringList{"07:00:00|N1", "|n2", "08:00:00|N1|s", "|N2|s", "09:00:00|N1"}
            << ingreso(" MORA", "07:00:00") + ingreso("ANA ", "07:00:00") +
                   "Salida del usuario  MORA a las 08:00:00\r\nSalida del usuario ANA  a las "
                   "08:00:00\r\nEL USUARIO  MORA YA REGISTRO SU SALIDA A LAS 08:00:00\r\n"
            << QStringList(2, kPregunta.arg(60))
            << QStringList{fila(9, "07:00:00", "08:00:00|3600"),
                           fila(10, "07:00:00", "08:00:00|3600")};
        // yesterday's row, even one without an exit a minute before midnight
        QTest::newRow("new server day")
            << QStringList()
            << QStringList{"2024-03-07 23:59:00|1712345678", "2024-03-08 00:00:30|1712345678",
                           "2024-03-08 00:01:00|1712345678"}
            << ingreso(kMaria, "23:59:00") + ingreso(kMaria, "00:00:30") +
                   yaIngreso(kMaria, "00:00:30")
            << QStringList()
            << QStringList{fila(7, "23:59:00"), fila(7, "00:00:30", "NULL|NULL", "2024-03-08")};
        // blanks around and apostrophes off, upper case
        QTest::newRow("input cleaning")
            << QStringList{insertar + "(11, 'ABC', 'ROSA', 'VERA')"}
            << QStringList{"07:00:00| ab'c ", "|", "|x'y "}
            << ingreso("ROSA VERA", "07:00:00") + noEncontrada("") + noEncontrada("XY")
            << QStringList{kNoEncontrado, kNoEncontrado} << QStringList{fila(11, "07:00:00")};
        // a farm database with a latin1 cedula column: text it cannot hold is
        // simply not found (the server would call the comparison an error)
        QTest::newRow("non-Latin against a latin1 column")
            << QStringList{"alter table personal modify cedula varchar(20) character set latin1 "
                           "not null",
                           insertar + "(23, 'ÑANDÚ', 'PEDRO', 'ÑAUPA')"}
            << QStringList{"07:00:00|Жук", "|ñandú", "|😀"}
            << noEncontrada("ЖУК") + ingreso("PEDRO ÑAUPA", "07:00:00") + noEncontrada("😀")
            << QStringList{kNoEncontrado, kNoEncontrado} << QStringList{fila(23, "07:00:00")};
    }
    void scans() {
        QFETCH(QStringList, antes);
        QFETCH(QStringList, pasos);
        QFETCH(QString, historia);
        QFETCH(QStringList, eventos);
        QFETCH(QStringList, filas);
        for (const QString& s : antes)
            TestDb::get().sql(s);
        Puesto p;
        p.form->station().report.set("REPORTE");
        p.form->station().report.show();
        QString antesUltimo;
        for (const QString& paso : pasos) {
            const QStringList partes = paso.split('|');
            if (!partes[0].isEmpty())
                p.reloj(partes[0]);
            if (partes.size() > 2)
                p.prompts.respuestas = {partes[2] == "s" ? kSi : kNo};
            antesUltimo = p.historia();
            p.tarjeta(partes[1]);
        }
        QVERIFY(!p.form->txtReporte()->isVisible());
        QCOMPARE(p.historia(), historia);
        QCOMPARE(p.eventos(), eventos);
        QCOMPARE(::filas(), filas);
        QVERIFY(p.prompts.respuestas.isEmpty()); // every answer was asked for
        p.listo();
        // the keys put the history's caret at the end; a line appended by the
        // scan puts it at the start
        QCOMPARE(p.history().caret(), p.historia() == antesUltimo ? p.historia().size() : 0);
    }

    // The failing statement's own box (if any), then the handler's beep, box
    // and a TAB line the next line continues; the history caret goes to the
    // end, no row changes, no entry or exit is reported.
    void databaseFailures_data() {
        QTest::addColumn<bool>("entrada"); // an entry at 07:00, the exit asked at 09:15:40
        QTest::addColumn<QString>("rotura");
        QTest::addColumn<QString>("arreglo");
        QTest::addColumn<QStringList>("cajas"); // before the beep; the database as DB
        const QString bloqueo = "create trigger bloqueo before %1 on control_asistencia for each "
                                "row signal sqlstate '45000' set message_text = '%2'";
        QTest::newRow("person query")
            << false << "rename table personal to personal_x"
            << "rename table personal_x to personal"
            << QStringList{"0|velmar|Consulta Sql Table 'DB.personal' doesn't exist"};
        QTest::newRow("attendance query")
            << false << "rename table control_asistencia to control_x"
            << "rename table control_x to control_asistencia"
            << QStringList{"0|velmar|Consulta Sql Table 'DB.control_asistencia' doesn't exist"};
        QTest::newRow("refused entry")
            << false << bloqueo.arg("insert", "entrada bloqueada") << "drop trigger bloqueo"
            << QStringList{"0|velmar|entrada bloqueada"};
        QTest::newRow("refused exit")
            << true << bloqueo.arg("update", "salida bloqueada") << "drop trigger bloqueo"
            << QStringList{kPregunta.arg(135), "0|velmar|salida bloqueada"};
        // a Null entry time cannot be compared; nothing is asked
        QTest::newRow("null entry time")
            << true << "update control_asistencia set hora_entrada = NULL"
            << "update control_asistencia set hora_entrada = '07:00:00'" << QStringList();
    }
    void databaseFailures() {
        QFETCH(bool, entrada);
        QFETCH(QString, rotura);
        QFETCH(QString, arreglo);
        QFETCH(QStringList, cajas);
        Puesto p;
        p.reloj("07:00:00");
        if (entrada) {
            p.tarjeta("1712345678");
            p.reloj("09:15:40");
            p.prompts.respuestas = {kSi};
        }
        const QString antes = entrada ? ingreso(kMaria, "07:00:00") : QString();
        const QStringList filasAntes = filas();
        TestDb::get().sql(rotura);
        p.teclear("1712345678");
        TestDb::get().sql(arreglo);
        p.eventos().replaceInStrings(TestDb::get().nombre() + ".", "DB.");
        QCOMPARE(p.eventos(), cajas + QStringList({"beep", "0|velmar|" + kError}));
        QCOMPARE(p.historia(), antes + "\t" + kError);
        QVERIFY(p.caretAlFinal());
        QCOMPARE(filas(), filasAntes);
        p.listo();
        p.tarjeta("X");
        QCOMPARE(p.historia(), antes + "\t" + kError + noEncontrada("X"));
        p.listo();
    }

    // A station stuck while holding a person's lock delays the others a
    // little, it does not stop them (they go on without the lock).
    void stuckStationDoesNotBlockOthers() {
        TestDb& db = TestDb::get();
        db.sql("drop trigger candado_tomado");
        QCOMPARE(db.valor("select GET_LOCK(" + candado("7") + ", 0)"), QString("1"));
        Puesto p;
        p.reloj("07:00:00");
        p.teclear("1712345678");
        QCOMPARE(db.valor("select RELEASE_LOCK(" + candado("7") + ")"), QString("1"));
        QCOMPARE(p.historia(), ingreso(kMaria, "07:00:00"));
        QVERIFY(p.eventos().isEmpty());
        QCOMPARE(filas(), QStringList{fila(7, "07:00:00")});
    }

    // A scanner's burst: every key of several cards queued before any is
    // handled. Boxes run the event loop, so later cards arrive while an earlier
    // one is still being submitted; they must wait, not mix into it.
    void burstOfCardsInOrder() {
        TestDb::get().sql("insert into personal (personal_id, cedula, nombres, apellidos) values "
                          "(12, '555', 'ROSA', 'VERA')");
        Puesto p;
        p.reloj("07:00:00");
        for (const QString t :
             {"999", "1712345678", "0923456781", "888", "1712345678", "555", "777"}) {
            for (const QChar c : t + "\r")
                QCoreApplication::postEvent(
                    p.text1(),
                    new QKeyEvent(QEvent::KeyPress,
                                  c == '\r' ? Qt::Key_Return : Qt::Key_0 + c.digitValue(),
                                  Qt::NoModifier, QString(c)));
        }
        QCoreApplication::sendPostedEvents(p.text1(), QEvent::KeyPress);
        QCOMPARE(p.historia(), noEncontrada("999") + ingreso(kMaria, "07:00:00") +
                                   ingreso(kLuis, "07:00:00") + noEncontrada("888") +
                                   yaIngreso(kMaria, "07:00:00") +
                                   ingreso("ROSA VERA", "07:00:00") + noEncontrada("777"));
        QCOMPARE(p.eventos(), QStringList(3, kNoEncontrado));
        QCOMPARE(filas(),
                 QStringList({fila(7, "07:00:00"), fila(8, "07:00:00"), fila(12, "07:00:00")}));
        p.listo();
    }

    // Pasted into Text1 whole (1 MB, control characters, a NUL inside a real
    // card): nobody is found, no SQL error.
    void pastedCardsAreTakenWhole() {
        QString mega;
        while (mega.size() < 1024 * 1024)
            mega += "1234567890abcdefghij";
        const QString control("\x01\x02\t\x1b\x1a\x7f\r\n1712345678");
        const QString nul = QString("17123") + QChar(0) + QString("45678");
        Puesto p;
        p.reloj("07:00:00");
        QString historia;
        for (const QString& c : {control, nul, mega}) { // the long line last: keys trim
            QGuiApplication::clipboard()->setText(c);
            QTest::keyClick(p.text1(), Qt::Key_V, Qt::ControlModifier);
            QVERIFY(p.text1()->text() == c);
            QTest::keyClick(p.text1(), Qt::Key_Return);
            historia += noEncontrada(c.toUpper());
        }
        QCOMPARE(p.eventos(), QStringList(3, kNoEncontrado));
        QVERIFY(p.historia() == historia);
        QCOMPARE(filas(), QStringList());
    }

    // Any key but Enter: the history is trimmed past 20480 characters, its
    // caret goes to the end, and the key reaches the box (editing keys too).
    void otherKeysTrimTheHistory_data() {
        QTest::addColumn<int>("largo");
        QTest::addColumn<int>("queda");
        QTest::newRow("20480 kept") << 20480 << 20480;
        QTest::newRow("20481 cut") << 20481 << 16384;
    }
    void otherKeysTrimTheHistory() {
        QFETCH(int, largo);
        QFETCH(int, queda);
        Puesto p;
        const QString texto =
            QString("linea\r\n").repeated(largo / 7).leftJustified(largo - 2, 'x');
        p.form->station().history.agregar_historia(texto);
        QCOMPARE(p.historia().size(), largo);
        QCOMPARE(p.history().caret(), 0);
        p.text1()->setText("17");
        QTest::keyClick(p.text1(), Qt::Key_3);
        QCOMPARE(p.historia(), (texto + "\r\n").right(queda));
        QVERIFY(p.caretAlFinal());
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
};

QTEST_MAIN(TestAttendance)
#include "test_attendance.moc"
