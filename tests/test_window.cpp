// The station's widgets, offscreen, over a real server: the main window, its
// operations menu and the administrator login.

#include "gui/frm_login.h"
#include "gui/operations_menu.h"
#include "gui/velmar_form.h"
#include "gui/widget_context.h"
#include "operations/catalogo.h"
#include "station/velmo.h"
#include "test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace velmar;
using namespace velmar::test;

namespace {

QMessageBox* caja() {
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

using Paso = std::function<void(QDialog*)>;

// Chooses menu entry `nombre`, each modal dialog it brings up handled by the
// next step; gives the dialogs seen. One left open is cancelled.
QStringList elegir(VelmarForm& f, const QString& nombre, QList<Paso> pasos) {
    QStringList vistos;
    QPointer<QDialog> ultimo;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!d || !d->isVisible() || d == ultimo)
            return;
        vistos << (ultimo = d)->objectName();
        if (!pasos.isEmpty())
            pasos.takeFirst()(d);
        if (d->isVisible())
            d->reject();
    });
    timer.start(5);
    f.findChild<QAction*>(nombre)->trigger();
    return vistos;
}

// The values typed into the dialog's boxes in order, then Aceptar.
Paso rellenar(const QStringList& valores) {
    return [=](QDialog* d) {
        for (int i = 0; i < valores.size(); ++i)
            d->findChildren<QLineEdit*>()[i]->setText(valores[i]);
        d->findChild<QPushButton*>("cmdAceptar")->click();
    };
}

struct Ventana {
    Ventana() {
        TestDb::get().reset();
        TestDb::get().sql("INSERT INTO usuario (usu_nombre, usu_permiso, usu_login, usu_password) "
                          "VALUES ('Ana', '  ADMIN TOTAL ', 'ana', PASSWORD('secreto')), "
                          "('Luis', NULL, 'luis', PASSWORD('clave')), "
                          "('Olga', 'OPER', 'o''neil', PASSWORD('d''or'))");
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
    // every resize down to zero, nothing else moves; busy shows on the form.
    void layoutAndBusy() {
        Ventana v;
        VelmarForm& f = v.form;
        QCOMPARE(QStringList({f.windowTitle(), f.label2()->text(), f.label1()->text()}),
                 QStringList({"VELMAR", "Control de Asistencia", "Cédula"}));
        QTest::keyClicks(QApplication::focusWidget(), "17");
        QCOMPARE(f.text1()->text(), QString("17"));
        const QList<QWidget*> fijos = {f.label1(), f.label2(), f.text1(), f.image2(),
                                       f.txtReporte()};
        QList<QRect> antes;
        for (QWidget* w : fijos)
            antes << w->geometry();
        const QRect marco = f.frame1()->geometry(), historia = f.text2()->geometry();
        f.client()->resize(f.client()->size() + QSize(67, 40));
        for (int i = 0; i < fijos.size(); ++i)
            QCOMPARE(fijos[i]->geometry(), antes[i]);
        QCOMPARE(f.frame1()->geometry(), marco.adjusted(0, 0, 67, 40));
        QCOMPARE(f.text2()->geometry(), historia.adjusted(0, 0, 67, 40));
        f.client()->resize(20, 40); // smaller than the margins
        QCOMPARE(f.text2()->size(), QSize(0, 0));
        QCOMPARE(f.frame1()->height(), 0);

        f.station().busy.setPuntero(Busy::kReloj);
        f.station().busy.setCaption("Buscando ...");
        QCOMPARE(f.frame1()->title(), QString("Buscando ..."));
        QCOMPARE(f.cursor().shape(), Qt::WaitCursor);
        f.station().busy.setPuntero(Busy::kFlecha);
        QCOMPARE(f.cursor().shape(), Qt::ArrowCursor);
    }

    // Main's path with the server down: one real critical box titled
    // "Tarnel Flower", then the window still shows.
    void startWithoutServer() {
        Conexion conexion(TestDb::get().cadena() + ";PORT=1");
        WidgetPrompts prompts;
        QStringList cajas;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (QMessageBox* box = caja()) {
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
        const auto foco = [] {
            return QApplication::focusWidget() ? QApplication::focusWidget() : caja();
        };
        bool abierta = false;
        QTimer::singleShot(100, [&] {
            QVERIFY(caja());
            QTest::keyClicks(foco(), "1712345678");
            QTest::keyClick(foco(), Qt::Key_Return);
            abierta = caja() && caja()->isVisible();
            QTimer::singleShot(WidgetPrompts::kGuardaMs,
                               [&] { QTest::keyClick(foco(), Qt::Key_Return); });
        });
        QCOMPARE(prompts.msgbox("¿Salir?", kSiNo), int(kNo));
        QVERIFY(abierta);
        QTimer::singleShot(WidgetPrompts::kGuardaMs + 100, [] {
            for (QAbstractButton* b : caja()->buttons())
                if (b->text() == "&Sí")
                    b->click();
        });
        QCOMPARE(prompts.msgbox("¿Salir?", kSiNo), int(kSi));
    }

    // One entry per menu operation and no shortcut a scanner could type; a
    // report through the arguments dialog (blanks are no packing), then the
    // keyboard back in Text1.
    void reportFromTheMenu() {
        Ventana v;
        VelmarForm& f = v.form;
        TestDb::get().sql("INSERT INTO variedad VALUES ('V1', 'VARIETY A 50')");
        TestDb::get().sql("INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos) "
                          "VALUES ('B1', 850, 1, 'V1', 25)");
        QStringList esperadas, vistas;
        for (const Operacion& op : catalogo())
            if (op.enMenu)
                esperadas << op.nombre;
        for (QAction* a : f.findChild<QMenu*>("mnuOperaciones")->actions())
            if (a->shortcut().isEmpty())
                vistas << a->objectName();
        QCOMPARE(vistas, esperadas);
        QTest::keyClicks(f.text1(), "09 OPERACIONES");
        QTest::keyClick(f.text1(), Qt::Key_Alt);
        QTest::keyClicks(f.text1(), "o");
        QCOMPARE(f.text1()->text(), QString("09 OPERACIONESo"));

        f.text2()->setFocus();
        QList<bool> aceptar;
        QCOMPARE(elegir(f, "reporte_pck", {[&](QDialog* d) {
                            auto* a = qobject_cast<ArgumentosDialog*>(d);
                            for (const char* valor : {"", "   ", "850"}) {
                                a->campo(0)->setText(valor);
                                aceptar << a->cmdAceptar()->isEnabled();
                            }
                            a->cmdAceptar()->click();
                        }}),
                 QStringList{"dlgArgumentos"});
        QCOMPARE(aceptar, QList<bool>({false, false, true}));
        QVERIFY(f.txtReporte()->toPlainText().startsWith("PACKING: 850 EN PROCESO \n"));
        QVERIFY(f.txtReporte()->isVisible());
        QCOMPARE(f.focusWidget(), f.text1());
        QVERIFY(v.t.prompts.eventos.isEmpty());
    }

    // Every data-changing choice asks for the login first, every time.
    void loginComesFirstEveryTime() {
        Ventana v;
        TestDb::get().sql("INSERT INTO bunche (num_bunch, num_pack, caja, estado) VALUES "
                          "('B1', 850, 1, 'R'), ('B2', 850, 1, 'R')");
        const auto elige = [&](const char* op, const QList<Paso>& pasos, int dialogos,
                               const char* marcados) {
            QCOMPARE(elegir(v.form, op, pasos),
                     QStringList({"frmLogin", "dlgArgumentos"}).mid(0, dialogos));
            QCOMPARE(TestDb::get().valor("select count(*) from bunche where nacional='C'"),
                     QString(marcados));
            QCOMPARE(v.form.focusWidget(), v.form.text1());
        };
        const Paso ana = rellenar({"ana", "secreto"});
        elige("pck_completo", {}, 1, "0");    // cancelled at the login
        elige("pck_completo", {ana}, 2, "0"); // at the arguments
        // a wrong password, then the right one in the same dialog
        elige("pck_completo",
              {[&](QDialog* d) {
                   rellenar({"ana", "mala"})(d), ana(d);
               },
               rellenar({"850"})},
              2, "2");
        QCOMPARE(v.t.prompts.eventos.size(), 1);
        elige("pck_abrir", {}, 1, "2"); // an earlier login does not carry over
        // the optional boxes left empty: the whole packing moves
        elige("cambiar_packing", {ana, rellenar({"850", "900", "", ""})}, 2, "2");
        QCOMPARE(TestDb::get().filas("select distinct num_pack, caja from bunche"),
                 QStringList{"900|1"});
        QCOMPARE(v.form.station().history.texto(), "\t* Packing 850 cambiado al Packing 900\r\n");
    }

    void login_data() {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("clave");
        QTest::addColumn<int>("tecla");     // Enter or Escape, none: a click on Aceptar
        QTest::addColumn<int>("resultado"); // -1: the dialog stays open
        QTest::addColumn<QString>("permiso");
        QTest::newRow("enter, permission trimmed")
            << "ana"
            << "secreto" << int(Qt::Key_Return) << 1 << "ADMIN TOTAL";
        QTest::newRow("null permission") << "luis"
                                         << "clave" << 0 << 1 << "";
        QTest::newRow("apostrophes") << "o'neil"
                                     << "d'or" << 0 << 1 << "OPER";
        QTest::newRow("escape cancels") << "ana"
                                        << "secreto" << int(Qt::Key_Escape) << 0 << "previo";
        QTest::newRow("wrong password") << "ana"
                                        << "Secreto1" << 0 << -1 << "previo";
        QTest::newRow("a blank is a login") << " "
                                            << "secreto" << 0 << -1 << "previo";
        // Aceptar is off: Enter does nothing
        QTest::newRow("no login") << ""
                                  << "secreto" << int(Qt::Key_Return) << -1 << "previo";
    }
    void login() {
        QFETCH(QString, login);
        QFETCH(QString, clave);
        QFETCH(int, tecla);
        QFETCH(int, resultado);
        QFETCH(QString, permiso);
        Ventana v;
        v.t.st.permiso_usuario = "previo";
        FrmLogin d(v.t.st);
        d.show();
        // typed over what the boxes held: the rule follows every change
        for (const auto& [l, c] : {std::pair{QString("x"), QString("x")}, {login, clave}}) {
            for (auto [caja, texto] : {std::pair{d.txtLogin(), l}, {d.txtPassword(), c}}) {
                caja->selectAll();
                QTest::keyClick(caja, Qt::Key_Backspace);
                QTest::keyClicks(caja, texto);
            }
        }
        QCOMPARE(d.cmdAceptar()->isEnabled(), !login.isEmpty() && !clave.isEmpty());
        if (tecla)
            QTest::keyClick(d.txtPassword(), Qt::Key(tecla));
        else
            QTest::mouseClick(d.cmdAceptar(), Qt::LeftButton);
        QCOMPARE(d.isVisible(), resultado < 0);
        if (resultado >= 0)
            QCOMPARE(d.result(), resultado);
        QCOMPARE(v.t.st.permiso_usuario, permiso);
        // refused: the box, the password selected for the next try to replace
        const bool rechazo = resultado < 0 && d.cmdAceptar()->isEnabled();
        QCOMPARE(v.t.prompts.textos().size(), rechazo ? 1 : 0);
        if (rechazo)
            QCOMPARE(d.txtPassword()->selectedText(), clave);
    }

    // At most 15 characters; the password shows as asterisks; a database
    // failure leaves the dialog open for the next try.
    void loginDialogBoxes() {
        Ventana v;
        FrmLogin d(v.t.st);
        d.show();
        QTest::keyClicks(d.txtLogin(), "anaXXXXXXXXXXXXXXXXX");
        QCOMPARE(d.txtLogin()->text(), "ana" + QString(12, 'X'));
        d.txtLogin()->setText("ana");
        QTest::keyClicks(d.txtPassword(), "secreto");
        QCOMPARE(d.txtPassword()->displayText(), QString(7, '*'));
        TestDb::get().sql("RENAME TABLE usuario TO usuario_x");
        QTest::mouseClick(d.cmdAceptar(), Qt::LeftButton);
        TestDb::get().sql("RENAME TABLE usuario_x TO usuario");
        QCOMPARE(v.t.prompts.cajas.size(), 2);
        QVERIFY(d.isVisible());
        QTest::mouseClick(d.cmdAceptar(), Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(v.t.st.permiso_usuario, QString("ADMIN TOTAL"));
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
