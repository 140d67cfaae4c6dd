// The station's window offscreen over a real server: attendance clock and menu.

#include "clock/attendance_clock.h"
#include "gui/label_preview.h"
#include "gui/operations_menu.h"
#include "gui/velmar_form.h"
#include "gui/widget_context.h"
#include "labels/box_labels.h"
#include "station/velmo.h"
#include "test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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
QString candado(const QString& id) { // of a person's scans on this database
    return attendanceLockNameOf(id);
}

// Boxes run the event loop until answered, as a modal box does.
struct PromptsModales : RecordingPrompts {
    int mostrar(const QString& texto, int estilo, const QString& titulo) override {
        QCoreApplication::processEvents();
        return RecordingPrompts::mostrar(texto, estilo, titulo);
    }
};

struct Ventana {
    Ventana() {
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
    }
    TestStation t;
    PromptsModales prompts;
    VelmarForm form{t.db, &prompts, &t.printer};
};

QWidget* modal() {
    return QApplication::activeModalWidget();
}
// Chooses menu entry `op`, filling each dialog with the next values (none: cancel).
QStringList elegir(VelmarForm& f, const char* op, QList<QStringList> valores) {
    QStringList vistos;
    QPointer<QDialog> ultimo; // a new dialog may be built where the last one was
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* d = qobject_cast<QDialog*>(modal());
        if (!d || d == ultimo)
            return;
        vistos << (ultimo = d)->objectName();
        if (valores.isEmpty())
            return d->reject();
        for (qsizetype i = 0; i < valores[0].size(); ++i)
            d->findChildren<QLineEdit*>()[i]->setText(valores[0][i]);
        d->findChild<QPushButton*>("cmdAceptar")->click();
        valores.removeFirst();
    });
    timer.start(5);
    f.findChild<QAction*>(op)->trigger();
    return vistos;
}

} // namespace

Q_DECLARE_METATYPE(Paso)

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    // The trigger refuses an entry from a session not holding the person's lock.
    void init() {
        TestDb& db = TestDb::get();
        db.recrear();
        db.script("insert into personal (personal_id, cedula, nombres, apellidos) values "
                  "(7, '1712345678', 'MARIA JOSE', 'GUAMAN'), (8, '0923456781', 'LUIS', 'PAZ');\n"
                  "INSERT INTO usuario (usu_nombre, usu_permiso, usu_login, usu_password) VALUES "
                  "('Ana', '  ADMIN TOTAL ', 'ana', PASSWORD('secreto'));\n"
                  "INSERT INTO bunche (num_bunch, num_pack, caja, estado) VALUES "
                  "('B1', 850, 1, 'R'), ('B2', 850, 1, 'R');\n");
        db.sql(QString("create trigger candado before insert on control_asistencia for each row if "
                       "coalesce(IS_USED_LOCK(%1) <> CONNECTION_ID(), 1) then signal sqlstate "
                       "'45000' set message_text = 'sin candado'; end if")
                   .arg(candado("NEW.personal_id")));
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
        const QString comoTexto = "alter table control_asistencia modify hora_entrada "
                                  "varchar(20), modify hora_salida varchar(20)";
        const QString comoFecha = "alter table control_asistencia modify hora_entrada datetime, "
                                  "modify hora_salida datetime";
        for (const auto& [tipo, entrada, salida] :
             {std::tuple{comoTexto, "7:00:00", "9:30:00"},
              {comoFecha, "2024-03-07 07:00:00", "2024-03-07 09:30:00"}})
            QTest::newRow(qPrintable(tipo.section(' ', -1)))
                << QList<Paso>{{"07:00:00", maria},
                               sql(tipo),
                               sql(QString("update control_asistencia set hora_entrada='%1'")
                                       .arg(entrada)),
                               {"07:01:00", maria},
                               sql(QString("update control_asistencia set hora_salida='%1'")
                                       .arg(salida)),
                               {"10:00:00", maria}}
                << ingreso(kMaria, "07:00:00") + ingreso(kMaria, "07:00:00", "FUE INGRESADO") +
                       ingreso(kMaria, "09:30:00", "REGISTRO SU SALIDA")
                << QStringList() << QStringList{fila(7, entrada, QString(salida) + "|NULL")};
        // a farm's own column on personal holding a time past the day
        QTest::newRow("jornada_semanal")
            << QList<Paso>{sql("alter table personal add jornada_semanal time default '40:00:00'"),
                           {"07:00:00", maria}}
            << ingreso(kMaria, "07:00:00") << QStringList() << QStringList{fila(7, "07:00:00")};
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
    }
    void scans() {
        QFETCH(QList<Paso>, pasos);
        Ventana v;
        CardBox* text1 = v.form.text1();
        const History& h = v.form.station().history;
        v.form.station().report.show(); // a scan hides it
        for (const Paso& paso : pasos) {
            if (!paso.sql.isEmpty()) {
                TestDb::get().sql(paso.sql);
                continue;
            }
            if (!paso.hora.isEmpty())
                v.t.db.ejecutar("SET timestamp = UNIX_TIMESTAMP('" +
                                (paso.hora.size() == 8 ? "2024-03-07 " + paso.hora : paso.hora) +
                                "')");
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
            // whatever way the scan ended, the station holds none of the locks
            const QString yo = v.t.db.consulta("select connection_id()").text(0);
            QCOMPARE(TestDb::get().valor("select (IS_USED_LOCK(" + candado("7") + ") <=> " + yo +
                                         ") + (IS_USED_LOCK(" + candado("8") + ") <=> " + yo + ")"),
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

    // The next card's keys must not answer a question; a later Enter means No.
    void questionIsNotAnsweredByAScan() {
        WidgetPrompts prompts;
        bool abierta = false;
        QTimer::singleShot(100, [&] {
            QTest::keyClicks(modal()->focusWidget(), "1712345678");
            QTest::keyClick(modal()->focusWidget(), Qt::Key_Return);
            abierta = modal() != nullptr;
            QTimer::singleShot(WidgetPrompts::kGuardaMs,
                               [] { QTest::keyClick(modal()->focusWidget(), Qt::Key_Return); });
        });
        QCOMPARE(prompts.msgbox("¿Salir?", kSiNo), int(kNo));
        QVERIFY(abierta);
        // a text that looks like HTML (a server message, an argument) is shown as it is
        QString visto;
        QTimer::singleShot(WidgetPrompts::kGuardaMs + 100, [&] {
            auto* label = modal()->findChild<QLabel*>("qt_msgbox_label");
            visto = label->textFormat() == Qt::PlainText ? label->text() : "rich text";
            for (QAbstractButton* b : qobject_cast<QMessageBox*>(modal())->buttons())
                if (b->text() == "&Sí")
                    b->click();
        });
        QCOMPARE(prompts.msgbox("caja: <b>12</b><img src=x>\r\nfin", kSiNo), int(kSi));
        QCOMPARE(visto, "caja: <b>12</b><img src=x>\nfin");
    }

    // A GET_LOCK that fails (interrupted by the session's time limit while
    // another station holds the person's lock) is a lock not had: the scan goes on.
    void lockErrorGoesOnWithoutTheLock() {
        TestDb::get().sql("drop trigger candado");
        TestStation otra, t;
        QVERIFY(otra.db.consulta("select get_lock(" + candado("7") + ", 0)").text(0) == "1");
        t.reloj("2024-03-07 07:00:00");
        t.db.ejecutar("SET SESSION max_statement_time = 0.5");
        asistencia(t.st, maria);
        QCOMPARE(t.history.texto(), ingreso(kMaria, "07:00:00"));
        QCOMPARE(t.prompts.eventos, QStringList());
    }

    // An exit stuck behind another station's row lock: the server gives up
    // before the station does, rolls it back, and the operator is told so.
    void exitBehindARowLockIsReportedAndNotStored() {
        TestStation t;
        t.reloj("2024-03-07 07:00:00");
        asistencia(t.st, maria);
        Conexion otra(TestDb::get().cadena(TestDb::get().nombre()));
        otra.abrir();
        otra.ejecutar("SET autocommit = 0");
        otra.consulta("select * from control_asistencia for update");
        t.reloj("2024-03-07 08:00:00");
        t.prompts.respuestas = {kSi};
        asistencia(t.st, maria);
        otra.ejecutar("ROLLBACK");
        QCOMPARE(t.prompts.eventos,
                 (QStringList{kPregunta.arg(60),
                              "0|velmar|Otra estación tiene ocupado el registro y la base de "
                              "datos dejó de esperar: no se guardó el cambio. Intente de nuevo.",
                              "beep", "0|velmar|" + kErrorSistema}));
        QCOMPARE(TestDb::get().filas("select hora_salida from control_asistencia"),
                 QStringList{"NULL"});
    }

    // The titles the window system shows, on a real X server with the real
    // program: no application name appended to them.
    void titlesOnARealXServer() {
        QTemporaryDir sinDsn; // no data source: the connection box comes first
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ODBCSYSINI", sinDsn.path());
        env.insert("ODBCINI", sinDsn.path() + "/odbc.ini");
        env.remove("QT_QPA_PLATFORM");
        QProcess xvfb, velmar; // killed when done, velmar first
        // a display no other X server holds, which Xvfb names once it is ready
        xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        QVERIFY(QTest::qWaitFor([&] { return xvfb.canReadLine(); }, 10000));
        env.insert("DISPLAY", ":" + xvfb.readLine().trimmed());
        const auto xdo = [&](const QStringList& args) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.start("xdotool", args);
            p.waitForFinished(5000);
            return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        };
        const auto titulos = [&] {
            return xdo({"search", "--onlyvisible", "--name", ".", "getwindowname", "%@"})
                .split('\n', Qt::SkipEmptyParts);
        };
        // no window manager: keys go to the window under the pointer, once
        // the box's guard time is over
        const auto teclas = [&](const QString& titulo, const QStringList& pasos) {
            QTest::qWait(WidgetPrompts::kGuardaMs + 200);
            const QString id = xdo({"search", "--onlyvisible", "--name", "^" + titulo + "$"});
            xdo(QStringList{"mousemove", "--window", id, "400", "40", "click", "1"} + pasos);
        };
        velmar.setProcessEnvironment(env);
        velmar.start(VELMAR_BINARY_DIR "/apps/velmar");
        QTRY_COMPARE_WITH_TIMEOUT(titulos(), QStringList{"Tarnel Flower"}, 10000);
        teclas("Tarnel Flower", {"key", "Return"});
        QTRY_COMPARE_WITH_TIMEOUT(titulos(), QStringList{"VELMAR"}, 10000);
        teclas("VELMAR", {"type", "123"});
        xdo({"key", "Return"});
        QTRY_COMPARE_WITH_TIMEOUT(titulos(), (QStringList{"VELMAR", "velmar"}), 10000);
    }

    // The label chosen by its menu title is shown before any is printed;
    // Imprimir sends exactly those bytes, and only then is it the reprint's.
    void previewThenPrint() {
        TestDb& db = TestDb::get();
        db.sql("INSERT INTO clientes (cod_client, cnombre) VALUES ('C1', 'ROSAS')");
        db.sql("INSERT INTO variedad VALUES ('FREFREEDOM50', 'FREEDOM 50 CM')");
        db.sql("UPDATE bunche SET cod_client = 'C1', cod_varie = 'FREFREEDOM50'");
        Ventana v;
        QByteArray vista, guardada = "?";
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (auto* a = qobject_cast<ArgumentosDialog*>(modal())) {
                a->opcion(0)->setCurrentText("Etiqueta de caja");
                a->campo(1)->setText("850");
                a->campo(2)->setText("1");
                a->cmdAceptar()->click();
            } else if (auto* d = qobject_cast<DialogoVistaPrevia*>(modal())) {
                QVERIFY(!d->imagen()->pixmap().isNull());
                vista = d->etiqueta().bytes;
                guardada = v.form.station().sesion.ultima_compuesta.bytes;
                d->cmdImprimir()->click();
            }
        });
        timer.start(5);
        v.form.findChild<QAction*>("vista_previa")->trigger();
        QCOMPARE(guardada, QByteArray()); // a preview is not a print
        QVERIFY(vista.contains("\"ROSAS\""));
        QCOMPARE(v.t.printer.etiquetas, QList<QByteArray>{vista});
        QCOMPARE(v.form.station().sesion.ultima_compuesta.bytes, vista);
        imprimir_detalle(v.form.station(), "850", "1");
        QCOMPARE(v.t.printer.etiquetas, QList<QByteArray>({vista, vista}));
    }

    // The export's file is chosen in a dialog that offers the workbook first
    // and CSV; the type chosen gives a bare name its extension.
    void exportFileDialogOffersBothTypes() {
        QTemporaryDir dir;
        ArgumentosDialog a(*buscarOperacion("exportar_asistencia"));
        a.show();
        for (const auto& [tipo, archivo] : {std::pair{0, "x.xlsx"}, std::pair{1, "x.csv"}}) {
            QStringList tipos;
            QTimer::singleShot(0, [&, tipo = tipo] {
                auto* d = qobject_cast<QFileDialog*>(modal());
                QVERIFY(d);
                tipos = d->nameFilters();
                d->selectNameFilter(tipos.value(tipo));
                d->selectFile(dir.filePath("x"));
                static_cast<QDialog*>(d)->accept(); // as Guardar does
            });
            a.findChild<QPushButton*>("archivo_elegir")->click();
            QCOMPARE(tipos,
                     QStringList({"Libro de Excel (*.xlsx)", "CSV separado por comas (*.csv)"}));
            QCOMPARE(a.campo(2)->text(), dir.filePath(archivo));
        }
    }

    // Every data-changing choice asks for the login, every time; no menu key.
    void loginComesFirstEveryTime() {
        Ventana v;
        // centred with its menu bar
        const QPoint desvio =
            v.form.frameGeometry().center() - v.form.screen()->availableGeometry().center();
        QVERIFY2(qAbs(desvio.x()) <= 2 && qAbs(desvio.y()) <= 2,
                 qPrintable(QString::number(desvio.y())));
        for (QAction* a : v.form.findChildren<QAction*>())
            QVERIFY2(a->shortcut().isEmpty(), qPrintable(a->objectName()));
        const auto elige = [&](const char* op, const QList<QStringList>& valores, int dialogos,
                               const char* marcados) {
            QCOMPARE(elegir(v.form, op, valores),
                     QStringList({"frmLogin", "dlgArgumentos"}).mid(0, dialogos));
            QCOMPARE(TestDb::get().valor("select count(*) from bunche where nacional='C'"),
                     QString(marcados));
            QCOMPARE(v.form.focusWidget(), v.form.text1());
        };
        elige("pck_completo", {}, 1, "0");                   // cancelled at the login
        elige("pck_completo", {{"ana", "secreto"}}, 2, "0"); // at the arguments
        elige("pck_completo", {{"ana", "secreto"}, {"850"}}, 2, "2");
        elige("pck_abrir", {}, 1, "2"); // an earlier login does not carry over
        // the optional boxes left empty: the whole packing moves
        elige("cambiar_packing", {{"ana", "secreto"}, {"850", "900", "", ""}}, 2, "2");
        QCOMPARE(TestDb::get().filas("select distinct num_pack, caja from bunche"),
                 QStringList{"900|1"});
        QCOMPARE(v.prompts.eventos, QStringList());
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
