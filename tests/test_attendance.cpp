// The attendance clock on the real window (offscreen) over a real server:
// cards typed into Text1, the server's clock frozen per session.

#include "gui/velmar_form.h"
#include "gui/widget_context.h"
#include "test_support.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>

using namespace velmar;
using namespace velmar::test;

namespace {

// A card typed at a time ("hh:mm:ss" on 2024-03-07, or date and time; empty:
// unchanged) and the answer to its question; or a statement on the tests' own
// connection; or a burst of cards whose keys are all queued first.
struct Paso {
    QString hora, tarjeta;
    int respuesta = 0;
    QString sql = {};
    QStringList rafaga = {};
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
// A control_asistencia row.
QString fila(int id, const QString& hora, const QString& salida = "NULL|NULL",
             const QString& dia = "2024-03-07") {
    return QString::number(id) + "|" + dia + "|" + hora + "|" + dia + "|" + salida;
}
// The server-wide lock of a person's scans on this database.
QString candado(const QString& id) {
    return "CONCAT('velmar-asistencia-', MD5(CONCAT(DATABASE(), '/', " + id + ")))";
}

// Boxes run the event loop until answered, as a modal box does.
struct PromptsModales : RecordingPrompts {
    int mostrar(const QString& texto, int estilo, const QString& titulo) override {
        QCoreApplication::processEvents();
        return RecordingPrompts::mostrar(texto, estilo, titulo);
    }
};

} // namespace

Q_DECLARE_METATYPE(Paso)

class TestAttendance : public QObject {
    Q_OBJECT

    Conexion db_;
    PromptsModales prompts_;
    std::unique_ptr<VelmarForm> form_;

private slots:
    // A new window each time; every entry must be inserted by the session
    // holding the person's lock: the trigger refuses any other.
    void init() {
        TestDb& db = TestDb::get();
        db.recrear();
        db.sql("insert into personal (personal_id, cedula, nombres, apellidos) values (7, '" +
               maria + "', 'MARIA JOSE', 'GUAMAN'), (8, '" + luis + "', 'LUIS', 'PAZ')");
        db.sql("create trigger candado before insert on control_asistencia for each row if "
               "coalesce(IS_USED_LOCK(" +
               candado("NEW.personal_id") +
               ") <> CONNECTION_ID(), 1) "
               "then signal sqlstate '45000' set message_text = 'sin candado'; end if");
        prompts_.limpiar();
        db_.cerrar();
        db_.abrir();
        form_ = std::make_unique<VelmarForm>(db_, &prompts_);
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
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
        QTest::newRow("1:59") << QList<Paso>{{"07:00:00", luis}, {"07:01:59", luis}}
                              << ingreso(kLuis, "07:00:00") +
                                     ingreso(kLuis, "07:00:00", "FUE INGRESADO")
                              << QStringList() << QStringList{fila(8, "07:00:00")};
        for (const auto& [hora, minutos] : {std::pair{"07:02:00", 2}, {"10:59:59", 239}})
            QTest::newRow(hora) << QList<Paso>{{"07:00:00", luis}, {hora, luis, kNo}}
                                << ingreso(kLuis, "07:00:00") << QStringList{kPregunta.arg(minutos)}
                                << QStringList{fila(8, "07:00:00")};
        // yesterday's row, even one without an exit a minute before midnight
        QTest::newRow("new server day")
            << QList<Paso>{{"2024-03-07 23:59:00", maria}, {"2024-03-08 00:00:30", maria}}
            << ingreso(kMaria, "23:59:00") + ingreso(kMaria, "00:00:30") << QStringList()
            << QStringList{fila(7, "23:59:00"), fila(7, "00:00:30", "NULL|NULL", "2024-03-08")};
        // a station stuck holding a person's lock delays the others, does not stop them
        QTest::newRow("stuck station")
            << QList<Paso>{sql("drop trigger candado"),
                           sql("do GET_LOCK(" + candado("7") + ", 0)"),
                           {"07:00:00", maria},
                           sql("do RELEASE_LOCK(" + candado("7") + ")")}
            << ingreso(kMaria, "07:00:00") << QStringList() << QStringList{fila(7, "07:00:00")};
        // boxes run the event loop, so later cards of a burst arrive while an
        // earlier one is being submitted: they wait, not mix into it
        QTest::newRow("burst of queued cards")
            << QList<Paso>{{"07:00:00", "", 0, "", {maria, "888", luis, maria}}}
            << ingreso(kMaria, "07:00:00") + "No se encontró la cédula 888\r\n" +
                   ingreso(kLuis, "07:00:00") + ingreso(kMaria, "07:00:00", "FUE INGRESADO")
            << QStringList{"0|velmar|No se encontró el usuario"}
            << QStringList{fila(7, "07:00:00"), fila(8, "07:00:00")};
        // a refused statement: its box, the handler's beep, box and TAB line
        const QString bloqueo = "create trigger bloqueo before %1 on control_asistencia for each "
                                "row signal sqlstate '45000' set message_text = 'bloqueada'";
        const QString error = "Error en el sistema, revise la última operación ";
        const QStringList cajas = {"0|velmar|bloqueada", "beep", "0|velmar|" + error};
        QTest::newRow("refused entry")
            << QList<Paso>{sql(bloqueo.arg("insert")), {"07:00:00", maria}} << "\t" + error << cajas
            << QStringList();
        QTest::newRow("refused exit")
            << QList<Paso>{{"07:00:00", maria},
                           sql(bloqueo.arg("update")),
                           {"09:15:40", maria, kSi}}
            << ingreso(kMaria, "07:00:00") + "\t" + error << QStringList{kPregunta.arg(135)} + cajas
            << QStringList{fila(7, "07:00:00")};
    }
    void scans() {
        QFETCH(QList<Paso>, pasos);
        CardBox* text1 = form_->text1();
        const History& h = form_->station().history;
        form_->station().report.show(); // a scan hides it
        for (const Paso& paso : pasos) {
            if (!paso.sql.isEmpty()) {
                TestDb::get().sql(paso.sql);
                continue;
            }
            if (!paso.hora.isEmpty())
                db_.ejecutar("SET timestamp = UNIX_TIMESTAMP('" +
                             (paso.hora.size() == 8 ? "2024-03-07 " + paso.hora : paso.hora) +
                             "')");
            if (paso.respuesta)
                prompts_.respuestas = {paso.respuesta};
            const QString antes = h.texto();
            for (const QString& t : paso.rafaga) // all keys queued, then handled
                for (const QChar c : t + "\r")
                    QCoreApplication::postEvent(
                        text1,
                        new QKeyEvent(QEvent::KeyPress,
                                      c == '\r' ? Qt::Key_Return : Qt::Key_0 + c.digitValue(),
                                      Qt::NoModifier, QString(c)));
            QCoreApplication::sendPostedEvents(text1, QEvent::KeyPress);
            if (paso.rafaga.isEmpty()) {
                QTest::keyClicks(text1, paso.tarjeta);
                QTest::keyClick(text1, Qt::Key_Return);
            }
            // whatever way the scan ended, the station holds none of the locks
            const QString yo = db_.consulta("select connection_id()").text(0);
            QCOMPARE(TestDb::get().valor("select (IS_USED_LOCK(" + candado("7") + ") <=> " + yo +
                                         ") + (IS_USED_LOCK(" + candado("8") + ") <=> " + yo + ")"),
                     "0");
            // a line appended puts the caret at the start; the error's TAB text at the end
            QCOMPARE(h.caret(),
                     h.texto() != antes && h.texto().endsWith("\r\n") ? 0 : h.texto().size());
            QCOMPARE(text1->text(), QString());
            QVERIFY(text1->hasFocus());
            QCOMPARE(form_->text2()->toPlainText(), paraVista(h.texto()));
        }
        QVERIFY(!form_->txtReporte()->isVisible());
        QTEST(h.texto(), "historia");
        QTEST(prompts_.eventos, "eventos");
        QTEST(TestDb::get().filas("select personal_id, fecha_entrada, hora_entrada, fecha_salida, "
                                  "hora_salida, horas_dif from control_asistencia order by 1, 2"),
              "filas");
        QVERIFY(prompts_.respuestas.isEmpty()); // every answer was asked for
    }

    // Any other key bounds the history, shown whole, and still reaches Text1.
    void otherKeysTrimTheHistory() {
        form_->station().history.agregar_historia(QString(History::kLimite, 'x'));
        QTest::keyClick(form_->text1(), Qt::Key_3);
        QCOMPARE(form_->station().history.texto().size(), History::kConserva);
        QCOMPARE(form_->text2()->toPlainText(), paraVista(form_->station().history.texto()));
        QVERIFY(form_->text2()->textCursor().atEnd());
        QCOMPARE(form_->text1()->text(), QString("3"));
    }
};

QTEST_MAIN(TestAttendance)
#include "test_attendance.moc"
