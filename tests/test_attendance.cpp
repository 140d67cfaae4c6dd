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
const QString kFilas = QStringLiteral("select personal_id, fecha_entrada, hora_entrada, "
                                      "fecha_salida, hora_salida, horas_dif from "
                                      "control_asistencia order by asistencia_id");

QStringList filas() {
    return TestDb::get().filas(kFilas);
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
    explicit Puesto(RecordingPrompts* propios = nullptr)
        : prompts(propios ? propios : &recording) {
        db.abrir();
        form = std::make_unique<VelmarForm>(db, prompts, &printer);
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    void reloj(const QString& fechaHora) {
        db.ejecutar(QStringLiteral("SET timestamp = UNIX_TIMESTAMP('") + fechaHora +
                    QStringLiteral("')"));
    }
    CardBox* text1() const { return form->text1(); }
    const History& history() const { return form->station().history; }
    const QString& historia() const { return history().texto(); }
    QStringList& eventos() { return prompts->eventos; }

    // Types every character as the keyboard would (any script), then Enter.
    void teclear(const QString& texto) {
        const QList<uint> puntos = texto.toUcs4();
        for (uint p : puntos)
            QTest::sendKeyEvent(QTest::Click, text1(), Qt::Key_unknown,
                                QString::fromUcs4(reinterpret_cast<const char32_t*>(&p), 1),
                                Qt::NoModifier);
    }
    void tarjeta(const QString& texto) {
        teclear(texto);
        QTest::keyClick(text1(), Qt::Key_Return);
    }
    void pegar(const QString& texto) {
        QGuiApplication::clipboard()->setText(texto);
        QTest::keyClick(text1(), Qt::Key_V, Qt::ControlModifier);
    }
    // The window shows what the station holds, CR LF as line ends.
    void vistaIgual() { QCOMPARE(form->text2()->toPlainText(), paraVista(historia())); }
    bool caretAlFinal() const {
        return history().caret() == historia().size() && form->text2()->textCursor().atEnd();
    }

    Conexion db;
    RecordingPrompts recording;
    RecordingPrompts* prompts;
    RecordingPrinter printer;
    std::unique_ptr<VelmarForm> form;
};

void persona(int id, const QString& cedula, const QString& nombres, const QString& apellidos) {
    const auto lit = [](const QString& v) {
        return v.isNull() ? QStringLiteral("NULL")
                          : QLatin1Char('\'') + TestDb::get().admin().esc(v) + QLatin1Char('\'');
    };
    TestDb::get().sql(
        QStringLiteral("insert into personal (personal_id, cedula, nombres, apellidos) values (") +
        QString::number(id) + QStringLiteral(", ") + lit(cedula) + QStringLiteral(", ") +
        lit(nombres) + QStringLiteral(", ") + lit(apellidos) + QStringLiteral(")"));
}

} // namespace

class TestAttendance : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestDb::get(); }
    void init() {
        TestDb::get().reset();
        persona(7, "1712345678", "MARIA JOSE", "GUAMAN");
        persona(8, "0923456781", "LUIS", "PAZ");
    }

    // Entry, re-scan, early exit with Yes, 240 minutes, exit already recorded.
    void workedExample() {
        Puesto p;
        p.reloj("2024-03-07 07:00:00");
        p.tarjeta("1712345678");
        QCOMPARE(p.text1()->text(), QString());
        QVERIFY(p.text1()->hasFocus());
        QCOMPARE(filas(), QStringList{"7|2024-03-07|07:00:00|2024-03-07|NULL|NULL"});
        p.tarjeta("0923456781");

        p.reloj("2024-03-07 07:01:30");
        p.tarjeta("1712345678");
        QVERIFY(p.eventos().isEmpty());

        p.reloj("2024-03-07 09:15:40");
        p.prompts->respuestas = {kSi};
        p.tarjeta("1712345678");
        QCOMPARE(p.eventos(),
                 QStringList{"4|velmar|El usuario desea salir a los 135 minutos de haber "
                             "ingresado ?"});
        QCOMPARE(filas(), QStringList({"7|2024-03-07|07:00:00|2024-03-07|09:15:40|8140",
                                       "8|2024-03-07|07:00:00|2024-03-07|NULL|NULL"}));

        // 240 minutes without an exit: nothing, not even a box
        p.reloj("2024-03-07 11:00:00");
        p.tarjeta("0923456781");
        // after the exit, from 2 minutes on: the exit is reported
        p.tarjeta("1712345678");
        // within 2 minutes of the entry the entry wins over the recorded exit
        p.reloj("2024-03-07 07:01:59");
        p.tarjeta("1712345678");

        QCOMPARE(p.eventos().size(), 1);
        QCOMPARE(filas(), QStringList({"7|2024-03-07|07:00:00|2024-03-07|09:15:40|8140",
                                       "8|2024-03-07|07:00:00|2024-03-07|NULL|NULL"}));
        QCOMPARE(p.historia(),
                 QString("Ingreso del usuario MARIA JOSE GUAMAN a las 07:00:00\r\n"
                         "Ingreso del usuario LUIS PAZ a las 07:00:00\r\n"
                         "EL USUARIO MARIA JOSE GUAMAN YA FUE INGRESADO A LAS 07:00:00\r\n"
                         "Salida del usuario MARIA JOSE GUAMAN a las 09:15:40\r\n"
                         "EL USUARIO MARIA JOSE GUAMAN YA REGISTRO SU SALIDA A LAS 09:15:40\r\n"
                         "EL USUARIO MARIA JOSE GUAMAN YA FUE INGRESADO A LAS 07:00:00\r\n"));
        p.vistaIgual();
        QCOMPARE(p.text1()->text(), QString());
        QVERIFY(p.text1()->hasFocus());
        // Enter leaves the history's caret where an append puts it: at the start
        QCOMPARE(p.history().caret(), 0);
    }

    void thresholds_data() {
        QTest::addColumn<QString>("hora");
        QTest::addColumn<QStringList>("eventos");
        QTest::addColumn<QString>("historia");
        QTest::newRow("1:59") << "07:01:59" << QStringList()
                              << "EL USUARIO LUIS PAZ YA FUE INGRESADO A LAS 07:00:00\r\n";
        QTest::newRow("2:00") << "07:02:00"
                              << QStringList{"4|velmar|El usuario desea salir a los 2 minutos de "
                                             "haber ingresado ?"}
                              << "";
        QTest::newRow("239:59") << "10:59:59"
                                << QStringList{"4|velmar|El usuario desea salir a los 239 minutos "
                                               "de haber ingresado ?"}
                                << "";
        QTest::newRow("240:00") << "11:00:00" << QStringList() << "";
        QTest::newRow("23:59:59") << "23:59:59" << QStringList() << "";
    }
    // Answer No (or nothing asked): no row changes, no history line.
    void thresholds() {
        QFETCH(QString, hora);
        QFETCH(QStringList, eventos);
        QFETCH(QString, historia);
        Puesto p;
        p.reloj("2024-03-07 07:00:00");
        p.tarjeta("0923456781");
        const QString entrada = "Ingreso del usuario LUIS PAZ a las 07:00:00\r\n";
        QCOMPARE(p.historia(), entrada);

        p.reloj("2024-03-07 " + hora);
        p.prompts->respuestas = {kNo};
        p.teclear("0923456781");
        QCOMPARE(p.text1()->text(), QString("0923456781"));
        QTest::keyClick(p.text1(), Qt::Key_Return);
        QCOMPARE(p.eventos(), eventos);
        QCOMPARE(p.historia(), entrada + historia);
        QCOMPARE(filas(), QStringList{"8|2024-03-07|07:00:00|2024-03-07|NULL|NULL"});
        QCOMPARE(p.text1()->text(), QString());
        QVERIFY(p.text1()->hasFocus());
    }

    void nullNamesLeaveTwoBlanks() {
        persona(9, "N1", QString(), "MORA");
        persona(10, "N2", "ANA", QString());
        Puesto p;
        p.reloj("2024-03-07 07:00:00");
        p.tarjeta("N1");
        p.tarjeta("n2");
        p.reloj("2024-03-07 08:00:00");
        p.prompts->respuestas = {kSi, kSi};
        p.tarjeta("N1");
        p.tarjeta("N2");
        p.reloj("2024-03-07 09:00:00");
        p.tarjeta("N1");
        QCOMPARE(p.historia(),
                 QString("Ingreso del usuario  MORA a las 07:00:00\r\n"
                         "Ingreso del usuario ANA  a las 07:00:00\r\n"
                         "Salida del usuario  MORA a las 08:00:00\r\n"
                         "Salida del usuario ANA  a las 08:00:00\r\n"
                         "EL USUARIO  MORA YA REGISTRO SU SALIDA A LAS 08:00:00\r\n"));
        QCOMPARE(filas(), QStringList({"9|2024-03-07|07:00:00|2024-03-07|08:00:00|3600",
                                       "10|2024-03-07|07:00:00|2024-03-07|08:00:00|3600"}));
    }

    // A Null entry time cannot be compared: beep, box, a TAB line without CR LF
    // that the next line continues, Text1 emptied, history caret at the end.
    void nullEntryTimeGoesToTheErrorPath() {
        Puesto p;
        p.reloj("2024-03-07 06:00:00");
        p.tarjeta("0923456781");
        TestDb::get().sql("insert into control_asistencia (personal_id, fecha_entrada, "
                          "hora_entrada, fecha_salida) values (7, '2024-03-07', NULL, "
                          "'2024-03-07')");
        p.reloj("2024-03-07 08:00:00");
        p.prompts->respuestas = {kSi};
        p.tarjeta("1712345678");
        QCOMPARE(p.eventos(), QStringList({"beep", "0|velmar|" + kError}));
        const QString antes = "Ingreso del usuario LUIS PAZ a las 06:00:00\r\n\t" + kError;
        QCOMPARE(p.historia(), antes);
        QVERIFY(p.caretAlFinal());
        QCOMPARE(p.text1()->text(), QString());
        QVERIFY(p.text1()->hasFocus());
        QCOMPARE(filas(), QStringList({"8|2024-03-07|06:00:00|2024-03-07|NULL|NULL",
                                       "7|2024-03-07|NULL|2024-03-07|NULL|NULL"}));
        QCOMPARE(p.prompts->respuestas, QList<int>{kSi}); // never asked

        p.tarjeta("X");
        QCOMPARE(p.historia(), antes + "No se encontró la cédula X\r\n");
        p.vistaIgual();
    }

    // The person query fails: its own box first, then the handler's.
    // The attendance query fails: the same, and no entry is written.
    // A failing INSERT: its box, then the handler's; no entry line.
    void databaseFailures() {
        Puesto p;
        p.reloj("2024-03-07 07:00:00");
        TestDb::get().sql("rename table personal to personal_x");
        p.tarjeta("1712345678");
        TestDb::get().sql("rename table personal_x to personal");
        QCOMPARE(p.eventos().size(), 3);
        QVERIFY2(p.eventos()[0].startsWith("0|velmar|Consulta Sql "), qPrintable(p.eventos()[0]));
        QVERIFY2(p.eventos()[0].contains("personal' doesn't exist"), qPrintable(p.eventos()[0]));
        QCOMPARE(p.eventos().mid(1), QStringList({"beep", "0|velmar|" + kError}));
        QCOMPARE(p.historia(), "\t" + kError);
        p.prompts->limpiar();

        TestDb::get().sql("rename table control_asistencia to control_x");
        p.tarjeta("1712345678");
        TestDb::get().sql("rename table control_x to control_asistencia");
        QCOMPARE(p.eventos().size(), 3);
        QVERIFY2(p.eventos()[0].startsWith("0|velmar|Consulta Sql "), qPrintable(p.eventos()[0]));
        QVERIFY2(p.eventos()[0].contains("control_asistencia' doesn't exist"),
                 qPrintable(p.eventos()[0]));
        QCOMPARE(p.eventos().mid(1), QStringList({"beep", "0|velmar|" + kError}));
        QCOMPARE(p.historia(), "\t" + kError + "\t" + kError);
        QCOMPARE(filas(), QStringList());
        p.prompts->limpiar();

        TestDb::get().sql("alter table control_asistencia add obligatorio int not null");
        p.tarjeta("1712345678");
        TestDb::get().recrear();
        QCOMPARE(p.eventos().size(), 3);
        QVERIFY2(p.eventos()[0].startsWith("0|velmar|") && p.eventos()[0].contains("obligatorio"),
                 qPrintable(p.eventos()[0]));
        QCOMPARE(p.eventos().mid(1), QStringList({"beep", "0|velmar|" + kError}));
        QCOMPARE(p.historia(), "\t" + kError + "\t" + kError + "\t" + kError);
        QCOMPARE(p.text1()->text(), QString());
    }

    // A refused exit: its box, then the handler's; the exit is not reported.
    void refusedExitIsNotReported() {
        Puesto p;
        p.reloj("2024-03-07 07:00:00");
        p.tarjeta("1712345678");
        TestDb::get().sql("create trigger sin_salida before update on control_asistencia for each "
                          "row signal sqlstate '45000' set message_text = 'salida bloqueada'");
        p.prompts->limpiar();
        p.reloj("2024-03-07 09:15:40");
        p.prompts->respuestas = {kSi};
        p.tarjeta("1712345678");
        TestDb::get().sql("drop trigger sin_salida");
        QCOMPARE(p.eventos().size(), 4);
        QCOMPARE(p.eventos()[0],
                 QString("4|velmar|El usuario desea salir a los 135 minutos de haber ingresado ?"));
        QCOMPARE(p.eventos()[1], QString("0|velmar|salida bloqueada"));
        QCOMPARE(p.eventos().mid(2), QStringList({"beep", "0|velmar|" + kError}));
        QCOMPARE(p.historia(),
                 "Ingreso del usuario MARIA JOSE GUAMAN a las 07:00:00\r\n\t" + kError);
        QCOMPARE(filas().first(), QString("7|2024-03-07|07:00:00|2024-03-07|NULL|NULL"));
    }

    void inputCleaning() {
        Puesto p;
        p.form->station().report.set("REPORTE");
        p.form->station().report.show();
        QVERIFY(p.form->txtReporte()->isVisible());
        p.tarjeta(" ab'c ");
        QVERIFY(!p.form->txtReporte()->isVisible());
        QTest::keyClick(p.text1(), Qt::Key_Return);
        QCOMPARE(p.eventos(), QStringList({kNoEncontrado, kNoEncontrado}));
        QCOMPARE(p.historia(),
                 QString("No se encontró la cédula ABC\r\nNo se encontró la cédula \r\n"));

        persona(11, "ABC", "ROSA", "VERA");
        p.reloj("2024-03-07 07:00:00");
        p.tarjeta(" ab'c ");
        QCOMPARE(p.eventos().size(), 2);
        QVERIFY(p.historia().endsWith("Ingreso del usuario ROSA VERA a las 07:00:00\r\n"));
        QCOMPARE(filas(), QStringList{"11|2024-03-07|07:00:00|2024-03-07|NULL|NULL"});
        p.vistaIgual();
    }

    // Yesterday's row, even one without an exit a minute before midnight, does
    // not count today.
    void newServerDay() {
        Puesto p;
        p.reloj("2024-03-07 23:59:00");
        p.tarjeta("1712345678");
        p.reloj("2024-03-08 00:00:30");
        p.tarjeta("1712345678");
        p.reloj("2024-03-08 00:01:00");
        p.tarjeta("1712345678");
        QCOMPARE(p.historia(),
                 QString("Ingreso del usuario MARIA JOSE GUAMAN a las 23:59:00\r\n"
                         "Ingreso del usuario MARIA JOSE GUAMAN a las 00:00:30\r\n"
                         "EL USUARIO MARIA JOSE GUAMAN YA FUE INGRESADO A LAS 00:00:30\r\n"));
        QCOMPARE(filas(), QStringList({"7|2024-03-07|23:59:00|2024-03-07|NULL|NULL",
                                       "7|2024-03-08|00:00:30|2024-03-08|NULL|NULL"}));
        QVERIFY(p.eventos().isEmpty());
    }

    // A scanner's burst: every key of several cards queued before any is
    // handled. Boxes run the event loop, so later cards arrive while an earlier
    // one is still being submitted; they must wait, not mix into it.
    void burstOfCardsInOrder() {
        persona(12, "555", "ROSA", "VERA");
        PromptsModales modales;
        Puesto p(&modales);
        p.reloj("2024-03-07 07:00:00");
        const QStringList tarjetas = {"999",        "1712345678", "0923456781", "888",
                                      "1712345678", "555",        "777"};
        for (const QString& t : tarjetas) {
            for (const QChar c : t)
                QCoreApplication::postEvent(p.text1(), new QKeyEvent(QEvent::KeyPress,
                                                                     Qt::Key_0 + c.digitValue(),
                                                                     Qt::NoModifier, QString(c)));
            QCoreApplication::postEvent(
                p.text1(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r"));
        }
        QCoreApplication::sendPostedEvents(p.text1(), QEvent::KeyPress);
        QCOMPARE(p.historia(),
                 QString("No se encontró la cédula 999\r\n"
                         "Ingreso del usuario MARIA JOSE GUAMAN a las 07:00:00\r\n"
                         "Ingreso del usuario LUIS PAZ a las 07:00:00\r\n"
                         "No se encontró la cédula 888\r\n"
                         "EL USUARIO MARIA JOSE GUAMAN YA FUE INGRESADO A LAS 07:00:00\r\n"
                         "Ingreso del usuario ROSA VERA a las 07:00:00\r\n"
                         "No se encontró la cédula 777\r\n"));
        QCOMPARE(p.eventos(), QStringList({kNoEncontrado, kNoEncontrado, kNoEncontrado}));
        QCOMPARE(filas(), QStringList({"7|2024-03-07|07:00:00|2024-03-07|NULL|NULL",
                                       "8|2024-03-07|07:00:00|2024-03-07|NULL|NULL",
                                       "12|2024-03-07|07:00:00|2024-03-07|NULL|NULL"}));
        QCOMPARE(p.text1()->text(), QString());
        p.vistaIgual();
    }

    void hostileInput_data() {
        QTest::addColumn<QString>("entrada");
        QTest::addColumn<QString>("cedula");
        QString mega;
        while (mega.size() < 1024 * 1024)
            mega += "1234567890abcdefghij";
        QTest::newRow("1 MB paste") << mega << mega.toUpper();
        QTest::newRow("control characters") << QString("\x01\x02\t\x1b\x1a\x7f\r\n1712345678")
                                            << QString("\x01\x02\t\x1b\x1a\x7f\r\n1712345678");
        const QString nul = QString("17123") + QChar(0) + QString("45678");
        QTest::newRow("NUL") << nul << nul;
        QTest::newRow("non-Latin") << "ñandú Жук 漢字 😀 ﷺ"
                                   << "ÑANDÚ ЖУК 漢字 😀 ﷺ";
        QTest::newRow("backslashes") << "\\\\'; drop table personal; -- \\"
                                     << "\\\\; DROP TABLE PERSONAL; -- \\";
        QTest::newRow("quote injection") << "' or '1'='1"
                                         << " OR 1=1";
        QTest::newRow("like wildcards") << "%_%"
                                        << "%_%";
    }
    // Pasted into Text1: nobody is found, no SQL error, no crash.
    void hostileInput() {
        QFETCH(QString, entrada);
        QFETCH(QString, cedula);
        Puesto p;
        p.reloj("2024-03-07 07:00:00");
        p.pegar(entrada);
        QCOMPARE(p.text1()->text(), entrada);
        QTest::keyClick(p.text1(), Qt::Key_Return);
        QCOMPARE(p.eventos(), QStringList{kNoEncontrado});
        QVERIFY(p.historia() == "No se encontró la cédula " + cedula + "\r\n");
        QCOMPARE(p.text1()->text(), QString());
        QCOMPARE(filas(), QStringList());
        QCOMPARE(TestDb::get().valor("select count(*) from personal"), QString("2"));
    }

    // Cards holding what SQL treats specially are found exactly.
    void specialCardsAreFoundExactly() {
        persona(20, "A\\B", "BARRA", "INVERTIDA");
        persona(21, "ÑANDÚ-Ж😀", "NO", "LATINO");
        persona(22, "A\\\\B", "DOBLE", "BARRA");
        Puesto p;
        p.reloj("2024-03-07 07:00:00");
        p.tarjeta("a\\b");
        p.tarjeta("ñandú-ж😀");
        p.tarjeta("a\\\\b");
        QCOMPARE(p.historia(), QString("Ingreso del usuario BARRA INVERTIDA a las 07:00:00\r\n"
                                       "Ingreso del usuario NO LATINO a las 07:00:00\r\n"
                                       "Ingreso del usuario DOBLE BARRA a las 07:00:00\r\n"));
        QVERIFY(p.eventos().isEmpty());
    }

    // A farm database with a latin1 cedula column: text it cannot hold is
    // simply not found (the server would call the comparison an error).
    void nonLatinAgainstLatin1Column() {
        TestDb::get().sql("alter table personal modify cedula varchar(20) character set latin1 "
                          "not null");
        persona(23, "ÑANDÚ", "PEDRO", "ÑAUPA");
        Puesto p;
        p.reloj("2024-03-07 07:00:00");
        p.tarjeta("Жук");
        p.tarjeta("ñandú");
        p.tarjeta("😀");
        TestDb::get().recrear();
        QCOMPARE(p.eventos(), QStringList({kNoEncontrado, kNoEncontrado}));
        QCOMPARE(p.historia(), QString("No se encontró la cédula ЖУК\r\n"
                                       "Ingreso del usuario PEDRO ÑAUPA a las 07:00:00\r\n"
                                       "No se encontró la cédula 😀\r\n"));
    }

    // Any key but Enter: the history is trimmed past 20480 characters, its
    // caret goes to the end, and the key is typed.
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
        QString texto;
        for (int i = 0; texto.size() < largo; ++i)
            texto += QString("linea %1 de la historia\r\n").arg(i);
        texto.truncate(largo - 2);
        p.form->station().history.agregar_historia(texto);
        QCOMPARE(p.historia().size(), largo);
        QCOMPARE(p.history().caret(), 0);
        p.text1()->setText("17");

        QTest::keyClick(p.text1(), Qt::Key_3);
        QCOMPARE(p.historia(), (texto + "\r\n").right(queda));
        QVERIFY(p.caretAlFinal());
        p.vistaIgual();
        QCOMPARE(p.text1()->text(), QString("173"));
        QCOMPARE(p.text1()->cursorPosition(), 3);
        QVERIFY(p.text1()->hasFocus());
    }

    // Keys that type nothing visible still do the upkeep and reach the box.
    void editingKeysStillWork() {
        Puesto p;
        p.form->station().history.agregar_historia("a");
        p.teclear("1712");
        QVERIFY(p.caretAlFinal());
        QTest::keyClick(p.text1(), Qt::Key_Backspace);
        QTest::keyClick(p.text1(), Qt::Key_Home);
        QTest::keyClick(p.text1(), Qt::Key_Delete);
        QCOMPARE(p.text1()->text(), QString("71"));
        p.form->text2()->setFocus();
        QTest::keyClick(p.text1(), Qt::Key_Escape);
        QVERIFY(p.text1()->hasFocus());
        QCOMPARE(p.historia(), QString("a\r\n"));
    }
};

QTEST_MAIN(TestAttendance)
#include "test_attendance.moc"
