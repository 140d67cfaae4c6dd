// The station's window offscreen over a real server: its boxes, titles, menu,
// dialogs and label preview.

#include "gui/label_preview.h"
#include "gui/operations_menu.h"
#include "gui/widget_context.h"
#include "labels/box_labels.h"
#include "window_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

using namespace velmar;
using namespace velmar::test;

class TestWindow : public QObject {
    Q_OBJECT

    static QWidget* modal() { return QApplication::activeModalWidget(); }
    // Chooses menu entry `op`, filling each dialog with the next values (none: cancel).
    static QStringList elegir(VelmarForm& f, const char* op, QList<QStringList> valores) {
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

private slots:
    void init() {
        TestDb& db = TestDb::get();
        db.recrear();
        db.script("insert into personal (personal_id, cedula, nombres, apellidos) values "
                  "(7, '1712345678', 'MARIA JOSE', 'GUAMAN');\n"
                  "INSERT INTO usuario (usu_nombre, usu_permiso, usu_login, usu_password) VALUES "
                  "('Ana', '  ADMIN TOTAL ', 'ana', PASSWORD('secreto'));\n"
                  "INSERT INTO bunche (num_bunch, num_pack, caja, estado) VALUES "
                  "('B1', 850, 1, 'R'), ('B2', 850, 1, 'R');\n");
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

    // The titles the window system shows, on a real X server with the real
    // program: no application name appended to them.
    void titlesOnARealXServer() {
        QTemporaryDir sinDsn; // no data source: the connection box comes first
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ODBCSYSINI", sinDsn.path());
        env.insert("ODBCINI", sinDsn.path() + "/odbc.ini");
        env.remove("QT_QPA_PLATFORM");
        QProcess xvfb, velmar; // killed when done, velmar first
        xvfb.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        velmar.setProcessChannelMode(QProcess::ForwardedChannels);
        // a free display, which Xvfb names once it is up; a server still dying
        // on it (an earlier run's) can refuse clients, so one must get in first
        for (int intento = 0; intento < 3 && !env.contains("DISPLAY"); ++intento) {
            xvfb.start("Xvfb",
                       {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
            QVERIFY(QTest::qWaitFor([&] { return xvfb.canReadLine(); }, 10000));
            const QString pantalla = ":" + xvfb.readLine().trimmed();
            if (correr("xdpyinfo", {"-display", pantalla}).codigo == 0)
                env.insert("DISPLAY", pantalla);
            else
                xvfb.kill(), xvfb.waitForFinished();
        }
        QVERIFY(env.contains("DISPLAY"));
        const auto xdo = [&](const QStringList& args) {
            return QString::fromUtf8(correr("xdotool", args, env).out).trimmed();
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
        QVERIFY(velmar.waitForStarted());
        QVERIFY(QTest::qWaitFor(
            [&] { return velmar.state() != QProcess::Running || !titulos().isEmpty(); }, 30000));
        QCOMPARE(velmar.state(), QProcess::Running); // its reason is on stderr
        QCOMPARE(titulos(), QStringList{"Tarnel Flower"});
        teclas("Tarnel Flower", {"key", "Return"});
        QTRY_COMPARE_WITH_TIMEOUT(titulos(), QStringList{"VELMAR"}, 30000);
        teclas("VELMAR", {"type", "123"});
        xdo({"key", "Return"});
        QTRY_COMPARE_WITH_TIMEOUT(titulos(), (QStringList{"VELMAR", "velmar"}), 30000);
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
            if (auto* a = qobject_cast<ArgumentsDialog*>(modal())) {
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
        ArgumentsDialog a(*buscarOperacion("exportar_asistencia"));
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
