// The attendance clock on the real window (offscreen) and a real server:
// cards typed into Text1, the server's clock frozen per session.

#include "gui/velmar_form.h"
#include "gui/widget_context.h"
#include "test_support.h"

#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QTest>

using namespace velmar;
using namespace velmar::test;

namespace {

// One step of a session: a card typed key by key, pasted whole, or a burst
// of cards whose keys are all queued first; or a statement on the tests' own
// connection.
struct Paso {
    enum Modo { Teclear, Pegar, Rafaga, Sql } modo;
    QString hora;       // "hh:mm:ss" on 2024-03-07, or date and time; empty: unchanged
    QStringList textos; // the cards, or the statement
    int respuesta;      // kSi or kNo for the question the scan brings up
};
Paso en(const QString& hora, const QString& tarjeta, int respuesta = 0) {
    return {Paso::Teclear, hora, {tarjeta}, respuesta};
}
Paso sql(const QString& s) {
    return {Paso::Sql, {}, {s}, 0};
}
Paso pegar(const QString& t) {
    return {Paso::Pegar, {}, {t}, 0};
}

struct Caso {
    QList<Paso> pasos;
    QString historia;
    QStringList eventos; // boxes and beeps; the database's name shown as DB
    QStringList filas;   // control_asistencia after
};

const QString kError = "Error en el sistema, revise la última operación ";
const QString kNoEncontrado = "0|velmar|No se encontró el usuario";
const QString kPregunta = "4|velmar|El usuario desea salir a los %1 minutos de haber ingresado ?";
const QString kMaria = "MARIA JOSE GUAMAN", kLuis = "LUIS PAZ";
const QString kInsertar = "insert into personal (personal_id, cedula, nombres, apellidos) values ";

QString ingreso(const QString& quien, const QString& hora) {
    return "Ingreso del usuario " + quien + " a las " + hora + "\r\n";
}
QString yaIngreso(const QString& quien, const QString& hora) {
    return "EL USUARIO " + quien + " YA FUE INGRESADO A LAS " + hora + "\r\n";
}
QString noEncontrada(const QString& cedula) {
    return "No se encontró la cédula " + cedula + "\r\n";
}
QString fila(int id, const QString& hora, const QString& salida = "NULL|NULL",
             const QString& dia = "2024-03-07") {
    return QString::number(id) + "|" + dia + "|" + hora + "|" + dia + "|" + salida;
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

struct Puesto {
    Puesto() {
        db.abrir();
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
    }
    const QString& historia() { return form.station().history.texto(); }
    Conexion db;
    PromptsModales prompts;
    RecordingPrinter printer;
    VelmarForm form{db, &prompts, &printer};
};

} // namespace

Q_DECLARE_METATYPE(Caso)

class TestAttendance : public QObject {
    Q_OBJECT

private slots:
    // Every entry must be inserted by the session that holds the person's
    // lock: the trigger refuses any other.
    void init() {
        TestDb& db = TestDb::get();
        db.recrear();
        db.sql(kInsertar + "(7, '1712345678', 'MARIA JOSE', 'GUAMAN'), (8, '0923456781', "
                           "'LUIS', 'PAZ')");
        db.sql("create trigger candado_tomado before insert on control_asistencia for each row "
               "if coalesce(IS_USED_LOCK(" +
               candado("NEW.personal_id") +
               ") <> CONNECTION_ID(), 1) then signal sqlstate '45000' set message_text = "
               "'entrada sin candado'; end if");
    }

    void scans_data() {
        QTest::addColumn<Caso>("caso");
        const QString maria = "1712345678", luis = "0923456781";
        // entry, re-scan, early exit with Yes, 240 minutes, exit already recorded
        QTest::newRow("worked example") << Caso{
            {en("07:00:00", maria), en("", luis), en("07:01:30", maria), en("09:15:40", maria, kSi),
             en("11:00:00", luis), en("", maria), en("07:01:59", maria)},
            ingreso(kMaria, "07:00:00") + ingreso(kLuis, "07:00:00") +
                yaIngreso(kMaria, "07:00:00") + "Salida del usuario " + kMaria +
                " a las 09:15:40\r\nEL USUARIO " + kMaria +
                " YA REGISTRO SU SALIDA A LAS 09:15:40\r\n" + yaIngreso(kMaria, "07:00:00"),
            {kPregunta.arg(135)},
            {fila(7, "07:00:00", "09:15:40|8140"), fila(8, "07:00:00")}};
        // both edges of the re-scan guard and of the early-exit window; No changes nothing
        const auto umbral =
            [&](const char* nombre, const QString& hora, const QString& linea, int minutos) {
                QTest::newRow(nombre)
                    << Caso{{en("07:00:00", luis), en(hora, luis, minutos ? kNo : 0)},
                            ingreso(kLuis, "07:00:00") + linea,
                            minutos ? QStringList{kPregunta.arg(minutos)} : QStringList(),
                            {fila(8, "07:00:00")}};
            };
        umbral("1:59", "07:01:59", yaIngreso(kLuis, "07:00:00"), 0);
        umbral("2:00", "07:02:00", "", 2);
        umbral("239:59", "10:59:59", "", 239);
        QTest::newRow("null names leave two blanks")
            << Caso{{sql(kInsertar + "(9, 'N1', NULL, 'MORA'), (10, 'N2', 'ANA', NULL)"),
                     en("07:00:00", "N1"), en("", "n2"), en("08:00:00", "N1", kSi),
                     en("", "N2", kSi), en("09:00:00", "N1")},
                    ingreso(" MORA", "07:00:00") + ingreso("ANA ", "07:00:00") +
                        "Salida del usuario  MORA a las 08:00:00\r\nSalida del usuario ANA  a "
                        "las 08:00:00\r\nEL USUARIO  MORA YA REGISTRO SU SALIDA A LAS 08:00:00\r\n",
                    QStringList(2, kPregunta.arg(60)),
                    {fila(9, "07:00:00", "08:00:00|3600"), fila(10, "07:00:00", "08:00:00|3600")}};
        // yesterday's row, even one without an exit a minute before midnight
        QTest::newRow("new server day")
            << Caso{{en("2024-03-07 23:59:00", maria), en("2024-03-08 00:00:30", maria),
                     en("2024-03-08 00:01:00", maria)},
                    ingreso(kMaria, "23:59:00") + ingreso(kMaria, "00:00:30") +
                        yaIngreso(kMaria, "00:00:30"),
                    {},
                    {fila(7, "23:59:00"), fila(7, "00:00:30", "NULL|NULL", "2024-03-08")}};
        // blanks around and apostrophes off, upper case
        QTest::newRow("input cleaning")
            << Caso{{sql(kInsertar + "(11, 'ABC', 'ROSA', 'VERA')"), en("07:00:00", " ab'c "),
                     en("", ""), en("", "x'y ")},
                    ingreso("ROSA VERA", "07:00:00") + noEncontrada("") + noEncontrada("XY"),
                    QStringList(2, kNoEncontrado),
                    {fila(11, "07:00:00")}};
        // a latin1 cedula column: text it cannot hold is simply not found
        // (the server would call the comparison an error)
        QTest::newRow("non-Latin against a latin1 column")
            << Caso{{sql("alter table personal modify cedula varchar(20) character set latin1 "
                         "not null"),
                     sql(kInsertar + "(23, 'ÑANDÚ', 'PEDRO', 'ÑAUPA')"), en("07:00:00", "Жук"),
                     en("", "ñandú"), en("", "😀")},
                    noEncontrada("ЖУК") + ingreso("PEDRO ÑAUPA", "07:00:00") + noEncontrada("😀"),
                    QStringList(2, kNoEncontrado),
                    {fila(23, "07:00:00")}};
        // a station stuck holding a person's lock delays the others a little,
        // it does not stop them (they go on without the lock)
        QTest::newRow("stuck station") << Caso{
            {sql("drop trigger candado_tomado"), sql("do GET_LOCK(" + candado("7") + ", 0)"),
             en("07:00:00", maria), sql("do RELEASE_LOCK(" + candado("7") + ")")},
            ingreso(kMaria, "07:00:00"),
            {},
            {fila(7, "07:00:00")}};
        // a scanner's burst: boxes run the event loop, so later cards arrive
        // while an earlier one is being submitted: they wait, not mix into it
        QTest::newRow("burst of queued cards")
            << Caso{{sql(kInsertar + "(12, '555', 'ROSA', 'VERA')"),
                     en("07:00:00", "999"),
                     {Paso::Rafaga, {}, {maria, luis, "888", maria, "555", "777"}, 0}},
                    noEncontrada("999") + ingreso(kMaria, "07:00:00") + ingreso(kLuis, "07:00:00") +
                        noEncontrada("888") + yaIngreso(kMaria, "07:00:00") +
                        ingreso("ROSA VERA", "07:00:00") + noEncontrada("777"),
                    QStringList(3, kNoEncontrado),
                    {fila(7, "07:00:00"), fila(8, "07:00:00"), fila(12, "07:00:00")}};
        // pasted whole (control characters, a NUL inside a real card, 1 MB):
        // nobody is found, no SQL error
        const QString control("\x01\x02\t\x1b\x1a\x7f\r\n1712345678");
        const QString nul = QString("17123") + QChar(0) + "45678";
        const QString mega = QString("1234567890abcdefghij").repeated(52429);
        QTest::newRow("pasted cards")
            << Caso{{pegar(control), pegar(nul), pegar(mega)},
                    noEncontrada(control) + noEncontrada(nul) + noEncontrada(mega.toUpper()),
                    QStringList(3, kNoEncontrado),
                    {}};

        // A failing statement: its own box, then the handler's beep, box and
        // a TAB line the next line continues; no entry or exit is reported.
        const auto falla = [](const char* nombre, QList<Paso> pasos, const QString& antes,
                              const QStringList& cajas, const QStringList& filas) {
            QTest::newRow(nombre) << Caso{
                pasos << en("", "X"), antes + "\t" + kError + noEncontrada("X"),
                cajas + QStringList{"beep", "0|velmar|" + kError, kNoEncontrado}, filas};
        };
        falla("attendance query fails",
              {sql("rename table control_asistencia to control_x"), en("07:00:00", maria),
               sql("rename table control_x to control_asistencia")},
              "", {"0|velmar|Consulta Sql Table 'DB.control_asistencia' doesn't exist"}, {});
        const QString bloqueo = "create trigger bloqueo before %1 on control_asistencia for "
                                "each row signal sqlstate '45000' set message_text = '%2'";
        falla("refused entry",
              {sql(bloqueo.arg("insert", "entrada bloqueada")), en("07:00:00", maria)}, "",
              {"0|velmar|entrada bloqueada"}, {});
        falla("refused exit",
              {en("07:00:00", maria), sql(bloqueo.arg("update", "salida bloqueada")),
               en("09:15:40", maria, kSi)},
              ingreso(kMaria, "07:00:00"), {kPregunta.arg(135), "0|velmar|salida bloqueada"},
              {fila(7, "07:00:00")});
        // a Null entry time cannot be compared; nothing is asked
        falla("null entry time",
              {en("07:00:00", maria), sql("update control_asistencia set hora_entrada = NULL"),
               en("09:15:40", maria)},
              ingreso(kMaria, "07:00:00"), {}, {"7|2024-03-07|NULL|2024-03-07|NULL|NULL"});
    }
    void scans() {
        QFETCH(Caso, caso);
        Puesto p;
        CardBox* text1 = p.form.text1();
        p.form.station().report.set("REPORTE");
        p.form.station().report.show(); // a scan hides it
        for (const Paso& paso : caso.pasos) {
            if (paso.modo == Paso::Sql) {
                TestDb::get().sql(paso.textos[0]);
                continue;
            }
            if (!paso.hora.isEmpty())
                p.db.ejecutar("SET timestamp = UNIX_TIMESTAMP('" +
                              (paso.hora.size() == 8 ? "2024-03-07 " + paso.hora : paso.hora) +
                              "')");
            if (paso.respuesta)
                p.prompts.respuestas = {paso.respuesta};
            const QString antes = p.historia();
            if (paso.modo == Paso::Rafaga) { // all keys queued, then handled
                for (const QString& t : paso.textos)
                    for (const QChar c : t + "\r")
                        QCoreApplication::postEvent(
                            text1,
                            new QKeyEvent(QEvent::KeyPress,
                                          c == '\r' ? Qt::Key_Return : Qt::Key_0 + c.digitValue(),
                                          Qt::NoModifier, QString(c)));
                QCoreApplication::sendPostedEvents(text1, QEvent::KeyPress);
            } else {
                if (paso.modo == Paso::Pegar) {
                    QGuiApplication::clipboard()->setText(paso.textos[0]);
                    QTest::keyClick(text1, Qt::Key_V, Qt::ControlModifier);
                    QVERIFY(text1->text() == paso.textos[0]);
                } else { // each character as a keyboard types it, any script
                    for (char32_t c : paso.textos[0].toUcs4())
                        QTest::sendKeyEvent(QTest::Click, text1, Qt::Key_unknown,
                                            QString::fromUcs4(&c, 1), Qt::NoModifier);
                }
                QTest::keyClick(text1, Qt::Key_Return);
            }
            // whatever way the scan ended, the station holds none of the locks
            const QString yo = p.db.consulta("select connection_id()").text(0);
            QCOMPARE(TestDb::get().valor("select coalesce(IS_USED_LOCK(" + candado("7") +
                                         ") = " + yo + ", 0) + coalesce(IS_USED_LOCK(" +
                                         candado("8") + ") = " + yo + ", 0)"),
                     QString("0"));
            // a line appended puts the caret at the start; keys (and the error
            // path's TAB text) leave it at the end
            const bool linea = p.historia() != antes && p.historia().endsWith("\r\n");
            QCOMPARE(p.form.station().history.caret(), linea ? 0 : p.historia().size());
            QCOMPARE(text1->text(), QString());
            QVERIFY(text1->hasFocus());
            QCOMPARE(p.form.text2()->toPlainText(), paraVista(p.historia()));
        }
        QVERIFY(!p.form.txtReporte()->isVisible());
        QVERIFY2(p.historia() == caso.historia, qPrintable(p.historia().left(2000)));
        QCOMPARE(p.prompts.eventos.replaceInStrings(TestDb::get().nombre() + ".", "DB."),
                 caso.eventos);
        QCOMPARE(TestDb::get().filas("select personal_id, fecha_entrada, hora_entrada, "
                                     "fecha_salida, hora_salida, horas_dif from "
                                     "control_asistencia order by asistencia_id"),
                 caso.filas);
        QVERIFY(p.prompts.respuestas.isEmpty()); // every answer was asked for
    }

    // Any key but Enter bounds the history, puts its caret at the end, and
    // still reaches the box (editing keys too).
    void otherKeysTrimTheHistory() {
        Puesto p;
        History& h = p.form.station().history;
        h.agregar_historia(QString(History::kLimite - 1, 'x'));
        p.form.text1()->setText("17");
        QTest::keyClick(p.form.text1(), Qt::Key_3);
        QCOMPARE(p.historia().size(), History::kConserva);
        QCOMPARE(h.caret(), History::kConserva);
        QVERIFY(p.form.text2()->textCursor().atEnd());
        QCOMPARE(p.form.text2()->toPlainText(), paraVista(p.historia()));
        for (Qt::Key k : {Qt::Key_Backspace, Qt::Key_Home, Qt::Key_Delete})
            QTest::keyClick(p.form.text1(), k);
        QCOMPARE(p.form.text1()->text(), QString("7"));
        p.form.text2()->setFocus();
        QTest::keyClick(p.form.text1(), Qt::Key_Escape);
        QVERIFY(p.form.text1()->hasFocus());
    }
};

QTEST_MAIN(TestAttendance)
#include "test_attendance.moc"
