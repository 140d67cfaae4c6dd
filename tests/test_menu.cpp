// The window's operations menu on real widgets (offscreen) over a real MariaDB
// server: entries from the catalogue, the login before data-changing
// operations, the argument dialog, and the focus back in Text1.

#include "context/errors.h"
#include "login/frm_login_dialog.h"
#include "operations/catalogo.h"
#include "station/operations_menu_widgets.h"
#include "station/velmar_form.h"
#include "test_support.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace velmar;
using namespace velmar::test;

namespace {

// Acts on each modal dialog as it comes up, one step per dialog, and records
// which dialogs came up. A dialog left open by a step is closed, so a wrong
// step fails the test instead of hanging it.
class Conductor {
public:
    using Paso = std::function<void(QDialog*)>;
    explicit Conductor(QList<Paso> pasos)
        : pasos_(std::move(pasos)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { mirar(); });
        timer_.start(5);
    }
    QStringList vistos;

private:
    void mirar() {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!d || !d->isVisible() || d == ultimo_)
            return;
        ultimo_ = d;
        vistos << d->objectName();
        if (pasos_.isEmpty()) {
            d->reject();
            return;
        }
        pasos_.takeFirst()(d);
        if (d->isVisible())
            d->reject();
    }

    QList<Paso> pasos_;
    QTimer timer_;
    // QPointer: the next dialog may be built where the last one was
    QPointer<QDialog> ultimo_;
};

QAction* entrada(VelmarForm& f, const QString& nombre) {
    QMenu* menu = f.menuBar()->findChild<QMenu*>("mnuOperaciones");
    for (QAction* a : menu->actions())
        if (a->objectName() == nombre)
            return a;
    return nullptr;
}

// Chooses the menu entry with `pasos` acting on the dialogs it brings up;
// gives the dialogs seen.
QStringList elegir(QAction* entrada, QList<Conductor::Paso> pasos) {
    Conductor c(std::move(pasos));
    entrada->trigger();
    return c.vistos;
}

Conductor::Paso login(const QString& usuario, const QString& clave) {
    return [=](QDialog* d) {
        auto* l = qobject_cast<FrmLogin*>(d);
        if (!l)
            return;
        l->txtLogin()->setText(usuario);
        l->txtPassword()->setText(clave);
        l->cmdAceptar()->click();
    };
}

Conductor::Paso argumentos(const QStringList& valores) {
    return [=](QDialog* d) {
        auto* a = qobject_cast<ArgumentosDialog*>(d);
        if (!a)
            return;
        for (int i = 0; i < valores.size(); ++i)
            a->campo(i)->setText(valores[i]);
        a->cmdAceptar()->click();
    };
}

} // namespace

class TestMenu : public QObject {
    Q_OBJECT

private slots:
    void init() {
        TestDb::get().reset();
        TestDb::get().sql("INSERT INTO usuario (usu_nombre, usu_permiso, usu_login, usu_password) "
                          "VALUES ('Ana', 'ADMIN', 'ana', PASSWORD('secreto'))");
        TestDb::get().sql("INSERT INTO variedad VALUES ('V1', 'VARIETY A 50')");
        TestDb::get().sql("INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos) "
                          "VALUES ('B1', 850, 1, 'V1', 25), ('B2', 850, 1, 'V1', 25)");
    }

    void oneEntryPerMenuOperation() {
        TestStation t;
        VelmarForm f(t.db, &t.prompts, &t.printer);
        const QList<QMenu*> menus = f.menuBar()->findChildren<QMenu*>();
        QCOMPARE(menus.size(), 1);
        QCOMPARE(menus[0]->title(), QString("&Operaciones"));
        QStringList esperadas, vistas;
        for (const Operacion& op : catalogo())
            if (op.enMenu)
                esperadas << op.nombre;
        for (QAction* a : menus[0]->actions()) {
            vistas << a->objectName();
            // nothing a scanner can type reaches the menu
            QVERIFY2(a->shortcut().isEmpty(), qPrintable(a->objectName()));
        }
        QCOMPARE(vistas, esperadas);
        for (const char* n : {"reporte_pck", "imprimir_caja", "pck_completo", "pck_abrir",
                              "cambiar_packing", "baja_nacional"})
            QVERIFY2(vistas.contains(n), n);
        QVERIFY(!vistas.contains("asistencia"));
        QCOMPARE(entrada(f, "reporte_pck")->text(), QString("Reporte de packing..."));
        // the design client area is kept below the bar
        f.show();
        QCOMPARE(f.client()->size(), QSize(VelmarForm::kAncho, VelmarForm::kAlto));
    }

    void scanningIntoText1IsUndisturbed() {
        TestStation t;
        VelmarForm f(t.db, &t.prompts, &t.printer);
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.text1()->setFocus();
        QTest::keyClicks(f.text1(), "0912345678 OPERACIONES ocr");
        QCOMPARE(f.text1()->text(), QString("0912345678 OPERACIONES ocr"));
        // Alt alone does not steal the next keys from Text1 either
        QTest::keyClick(f.text1(), Qt::Key_Alt);
        QTest::keyClicks(f.text1(), "12");
        QCOMPARE(f.text1()->text(), QString("0912345678 OPERACIONES ocr12"));
        QVERIFY(!f.menuBar()->findChild<QMenu*>("mnuOperaciones")->isVisible());
        QCOMPARE(QApplication::focusWidget(), f.text1());
    }

    void reportFromTheMenuEndToEnd() {
        TestStation t;
        VelmarForm f(t.db, &t.prompts, &t.printer);
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.text2()->setFocus();

        bool deshabilitado = false, blancos = false, habilitado = false;
        QCOMPARE(elegir(entrada(f, "reporte_pck"), {[&](QDialog* d) {
                            auto* a = qobject_cast<ArgumentosDialog*>(d);
                            if (!a)
                                return;
                            deshabilitado = !a->cmdAceptar()->isEnabled();
                            a->campo(0)->setText("   ");
                            blancos = !a->cmdAceptar()->isEnabled();
                            a->campo(0)->setText("850");
                            // the box is optional
                            habilitado = a->cmdAceptar()->isEnabled();
                            a->cmdAceptar()->click();
                        }}),
                 QStringList({"dlgArgumentos"}));
        QVERIFY(deshabilitado && blancos && habilitado);
        const QString esperado = "PACKING: 850 EN PROCESO \r\n"
                                 "---------------------------------------\r\n"
                                 " Caja: 1\r\n"
                                 "  (2) bunches de VARIETY A 50 / 50\r\n"
                                 "Total bunches: 2, Total tallos: 50\r\n"
                                 "---------------------------------------\r\n";
        QCOMPARE(f.station().report.texto(), esperado);
        QCOMPARE(f.txtReporte()->toPlainText(), paraVista(esperado));
        QVERIFY(f.txtReporte()->isVisible());
        QCOMPARE(f.frame1()->title(), QString());
        QCOMPARE(f.focusWidget(), static_cast<QWidget*>(f.text1()));
        // back in front, the keyboard goes to Text1
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.text1()));
        QVERIFY(t.prompts.eventos.isEmpty());

        // the attendance clock still answers in Text1
        QTest::keyClicks(f.text1(), "123");
        QCOMPARE(f.text1()->text(), QString("123"));

        const QString salida = qEnvironmentVariable("VELMAR_MENU_SCREENSHOT");
        if (!salida.isEmpty())
            f.grab().save(salida);
    }

    void loginComesFirstAndCancelRunsNothing() {
        TestStation t;
        VelmarForm f(t.db, &t.prompts, &t.printer);
        f.show();

        // Cancel at the login: no argument dialog, nothing changes
        QCOMPARE(elegir(entrada(f, "pck_completo"), {[](QDialog* d) { d->reject(); }}),
                 QStringList({"frmLogin"}));
        QCOMPARE(TestDb::get().valor("select count(*) from bunche where nacional='C'"),
                 QString("0"));
        QCOMPARE(f.focusWidget(), static_cast<QWidget*>(f.text1()));

        // login, then Cancel at the arguments: still nothing
        QCOMPARE(elegir(entrada(f, "pck_completo"),
                        {login("ana", "secreto"), [](QDialog* d) { d->reject(); }}),
                 QStringList({"frmLogin", "dlgArgumentos"}));
        QCOMPARE(TestDb::get().valor("select count(*) from bunche where nacional='C'"),
                 QString("0"));

        // a wrong password, then the right one in the same dialog: it runs
        f.station().permiso_usuario.clear();
        QCOMPARE(elegir(entrada(f, "pck_completo"), {[](QDialog* d) {
                                                         login("ana", "mala")(d);
                                                         if (d->isVisible())
                                                             login("ana", "secreto")(d);
                                                     },
                                                     argumentos({"850"})}),
                 QStringList({"frmLogin", "dlgArgumentos"}));
        QCOMPARE(TestDb::get().valor("select count(*) from bunche where nacional='C'"),
                 QString("2"));
        QCOMPARE(f.station().permiso_usuario, QString("ADMIN"));
        QCOMPARE(t.prompts.textos().size(), 1);
        QVERIFY(t.prompts.textos()[0].startsWith("Nombre de usuario o password incorrectos"));

        // an earlier login does not carry over to the next invocation
        QCOMPARE(elegir(entrada(f, "pck_abrir"), {[](QDialog* d) { d->reject(); }}),
                 QStringList({"frmLogin"}));
        QCOMPARE(TestDb::get().valor("select count(*) from bunche where nacional='C'"),
                 QString("2"));
        QCOMPARE(f.focusWidget(), static_cast<QWidget*>(f.text1()));
    }

    void moveFromTheMenuWritesTheHistory() {
        TestStation t;
        VelmarForm f(t.db, &t.prompts, &t.printer);
        f.show();
        TestDb::get().sql("UPDATE bunche SET estado='R'");
        QCOMPARE(elegir(entrada(f, "cambiar_packing"),
                        {login("ana", "secreto"), argumentos({"850", "900", "", ""})}),
                 QStringList({"frmLogin", "dlgArgumentos"}));
        QCOMPARE(f.station().history.texto(),
                 QString("\t* Packing 850 cambiado al Packing 900\r\n"));
        QCOMPARE(TestDb::get().filas("select distinct num_pack, caja, cod_client from bunche"),
                 QStringList({"900|1|000000"}));
        QCOMPARE(f.focusWidget(), static_cast<QWidget*>(f.text1()));
    }

    void failureEscapingAnOperationIsShownInABox() {
        TestStation t;
        VelmarForm f(t.db, &t.prompts, &t.printer);
        f.show();
        TestDb::get().sql("RENAME TABLE envoltura TO envoltura_x");
        Conductor c({login("ana", "secreto"), argumentos({"B1"})});
        entrada(f, "baja_nacional")->trigger();
        TestDb::get().sql("RENAME TABLE envoltura_x TO envoltura");
        QCOMPARE(c.vistos, QStringList({"frmLogin", "dlgArgumentos"}));
        QCOMPARE(t.prompts.cajas.size(), 2);
        QVERIFY(t.prompts.cajas[0].texto.startsWith("Consulta Sql "));
        QCOMPARE(t.prompts.cajas[1].estilo, 48);
        QCOMPARE(t.prompts.cajas[1].titulo, QString("velmar"));
        QCOMPARE(t.prompts.cajas[1].texto,
                 QString("La consulta no devolvió un conjunto de registros"));
        QCOMPARE(TestDb::get().filas("select categoria from bunche where num_bunch='B1'"),
                 QStringList({"NULL"}));
        QCOMPARE(f.station().history.texto(), QString());
        QCOMPARE(f.focusWidget(), static_cast<QWidget*>(f.text1()));
        QVERIFY(f.isVisible());
    }
};

QTEST_MAIN(TestMenu)
#include "test_menu.moc"
