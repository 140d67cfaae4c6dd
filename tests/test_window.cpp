// The station's widgets, offscreen, over a real server: the main window, its
// operations menu and the administrator login.

#include "gui/frm_login.h"
#include "gui/operations_menu.h"
#include "gui/velmar_form.h"
#include "gui/widget_context.h"
#include "station/velmo.h"
#include "test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace velmar;
using namespace velmar::test;

namespace {

QWidget* modal() {
    return QApplication::activeModalWidget();
}

// Chooses menu entry `op`; each dialog it brings up gets the next list of
// values typed into its boxes, then Aceptar (none left: cancelled). Gives
// the dialogs seen.
QStringList elegir(VelmarForm& f, const char* op, QList<QStringList> valores) {
    QStringList vistos;
    QPointer<QDialog> ultimo; // a new dialog may be built where the last one was
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* d = qobject_cast<QDialog*>(modal());
        if (!d || d == ultimo)
            return;
        vistos << (ultimo = d)->objectName();
        const QList<QLineEdit*> cajas = d->findChildren<QLineEdit*>();
        for (qsizetype i = 0; !valores.isEmpty() && i < valores[0].size(); ++i)
            cajas[i]->setText(valores[0][i]);
        if (valores.isEmpty())
            return d->reject();
        d->findChild<QPushButton*>("cmdAceptar")->click();
        valores.removeFirst();
    });
    timer.start(5);
    f.findChild<QAction*>(op)->trigger();
    return vistos;
}

struct Ventana {
    Ventana() {
        TestDb::get().reset();
        TestDb::get().sql("INSERT INTO usuario (usu_nombre, usu_permiso, usu_login, usu_password) "
                          "VALUES ('Ana', '  ADMIN TOTAL ', 'ana', PASSWORD('secreto')), "
                          "('Luis', NULL, 'luis', PASSWORD('clave')), ('Max', 'MAX', "
                          "'abcdefghijklmno', PASSWORD('clave'))");
        TestDb::get().sql("INSERT INTO variedad VALUES ('V', 'VARIETY')");
        TestDb::get().sql("INSERT INTO bunche (num_bunch, num_pack, caja, estado, cod_varie, "
                          "num_tallos) VALUES ('B1', 850, 1, 'R', 'V', 25), ('B2', 850, 1, 'R', "
                          "'V', 25)");
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
    }
    TestStation t;
    VelmarForm form{t.db, &t.prompts, &t.printer};
};

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    // Typing goes to Text1 from the start; the frame and the history follow
    // a resize, down to nothing; busy shows on the form.
    void layoutAndBusy() {
        Ventana v;
        VelmarForm& f = v.form;
        QTest::keyClicks(QApplication::focusWidget(), "17");
        QCOMPARE(f.text1()->text(), QString("17"));
        const QRect marco = f.frame1()->geometry(), texto1 = f.text1()->geometry();
        f.client()->resize(f.client()->size() + QSize(67, 40));
        QCOMPARE(f.frame1()->geometry(), marco.adjusted(0, 0, 67, 40));
        QCOMPARE(f.text1()->geometry(), texto1);
        f.client()->resize(20, 40); // smaller than the margins
        QCOMPARE(f.text2()->size(), QSize(0, 0));
        f.station().busy.setPuntero(Busy::kReloj);
        f.station().busy.setCaption("Buscando ...");
        QCOMPARE(f.frame1()->title(), QString("Buscando ..."));
        QCOMPARE(f.cursor().shape(), Qt::WaitCursor);
    }

    // Main's path with the server down: one real critical box titled
    // "Tarnel Flower", then the window still shows.
    void startWithoutServer() {
        Conexion conexion(TestDb::get().cadena() + ";PORT=1");
        WidgetPrompts prompts;
        QStringList cajas;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(modal())) {
                cajas << box->windowTitle() + "|" + QString::number(box->icon()) + "|" +
                             box->text();
                box->accept();
            }
        });
        closer.start(50);
        QVERIFY(!conectar(conexion, prompts));
        QCOMPARE(cajas.size(), 1);
        QVERIFY2(cajas[0].startsWith("Tarnel Flower|" + QString::number(QMessageBox::Critical) +
                                     "|No hay conexión con el servidor de base de datos"),
                 qPrintable(cajas[0]));
        VelmarForm form(conexion, &prompts);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }

    // The next card's keys, typed while a question is up, must not answer it:
    // early keys are dropped, a later Enter means No; a click on Sí counts.
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
        QTimer::singleShot(WidgetPrompts::kGuardaMs + 100, [] {
            for (QAbstractButton* b : qobject_cast<QMessageBox*>(modal())->buttons())
                if (b->text() == "&Sí")
                    b->click();
        });
        QCOMPARE(prompts.msgbox("¿Salir?", kSiNo), int(kSi));
    }

    // A report through the arguments dialog (blanks are no packing), then the
    // keyboard back in Text1; no menu key a scanner could type.
    void reportFromTheMenu() {
        Ventana v;
        VelmarForm& f = v.form;
        for (QAction* a : f.findChildren<QAction*>())
            QVERIFY2(a->shortcut().isEmpty(), qPrintable(a->objectName()));
        f.text2()->setFocus();
        QList<bool> aceptar;
        QTimer::singleShot(50, [&] {
            auto* a = qobject_cast<ArgumentosDialog*>(modal());
            for (const char* valor : {"", "   ", "850"})
                a->campo(0)->setText(valor), aceptar << a->cmdAceptar()->isEnabled();
            a->cmdAceptar()->click();
        });
        f.findChild<QAction*>("reporte_pck")->trigger();
        QCOMPARE(aceptar, QList<bool>({false, false, true}));
        QVERIFY(f.txtReporte()->toPlainText().startsWith("PACKING: 850 EN PROCESO \n"));
        QVERIFY(f.txtReporte()->isVisible());
        QCOMPARE(f.focusWidget(), f.text1());
    }

    // Every data-changing choice asks for the login first, every time.
    void loginComesFirstEveryTime() {
        Ventana v;
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
        QCOMPARE(v.t.prompts.eventos, QStringList());
    }

    // Enter logs in (the permission trimmed, Null as empty), Escape cancels;
    // a refusal keeps the dialog open with the password selected; without a
    // login Aceptar is off; at most 15 characters; a database failure leaves
    // the dialog open for the next try.
    void loginDialog() {
        Ventana v;
        const auto intento = [&](const QString& login, const QString& clave, Qt::Key tecla,
                                 int resultado, const QString& permiso) {
            v.t.st.permiso_usuario = "previo";
            v.t.prompts.limpiar();
            FrmLogin d(v.t.st);
            d.show();
            for (auto [caja, texto] : {std::pair{d.txtLogin(), login}, {d.txtPassword(), clave}})
                QTest::keyClicks(caja, texto);
            QTest::keyClick(d.txtPassword(), tecla);
            QCOMPARE(d.isVisible() ? -1 : d.result(), resultado);
            QCOMPARE(v.t.st.permiso_usuario, permiso);
            QCOMPARE(v.t.prompts.eventos.size(), resultado < 0 && !login.isEmpty() ? 1 : 0);
            if (resultado < 0 && !login.isEmpty())
                QCOMPARE(d.txtPassword()->selectedText(), clave);
        };
        intento("ana", "secreto", Qt::Key_Return, QDialog::Accepted, "ADMIN TOTAL");
        intento("luis", "clave", Qt::Key_Return, QDialog::Accepted, "");
        intento("ana", "secreto", Qt::Key_Escape, QDialog::Rejected, "previo");
        intento("ana", "Secreto1", Qt::Key_Return, -1, "previo");
        intento("", "secreto", Qt::Key_Return, -1, "previo");
        intento("abcdefghijklmnop", "clave", Qt::Key_Return, QDialog::Accepted, "MAX");

        FrmLogin d(v.t.st);
        QTest::keyClicks(d.txtLogin(), "ana");
        QTest::keyClicks(d.txtPassword(), "secreto");
        TestDb::get().sql("RENAME TABLE usuario TO usuario_x");
        d.show();
        QTest::mouseClick(d.cmdAceptar(), Qt::LeftButton);
        TestDb::get().sql("RENAME TABLE usuario_x TO usuario");
        QVERIFY(d.isVisible());
        QTest::mouseClick(d.cmdAceptar(), Qt::LeftButton);
        QCOMPARE(v.t.st.permiso_usuario, QString("ADMIN TOTAL"));
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
