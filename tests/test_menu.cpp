// The window's operations menu on real widgets (offscreen) over a real MariaDB
// server: entries from the catalogue, the login before data-changing
// operations, the argument dialog, and the focus back in Text1.

#include "gui/label_preview.h"
#include "gui/operations_menu.h"
#include "gui/velmar_form.h"
#include "labels/box_labels.h"
#include "operations/catalogo.h"
#include "test_support.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

using namespace velmar;
using namespace velmar::test;

namespace {

using Paso = std::function<void(QDialog*)>;

// Chooses the window's menu entry `nombre`, each modal dialog it brings up
// handled by the next step; gives the dialogs seen. A dialog without a step,
// or one a step leaves open, is cancelled (a wrong step fails, not hangs).
QStringList elegir(VelmarForm& f, const QString& nombre, QList<Paso> pasos) {
    QStringList vistos;
    QPointer<QDialog> ultimo; // the next dialog may be built where the last one was
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!d || !d->isVisible() || d == ultimo)
            return;
        ultimo = d;
        vistos << d->objectName();
        if (!pasos.isEmpty())
            pasos.takeFirst()(d);
        if (d->isVisible())
            d->reject();
    });
    timer.start(5);
    f.findChild<QAction*>(nombre)->trigger();
    return vistos;
}

// Types the values into the dialog's boxes in order (login, password or the
// arguments) and accepts.
Paso rellenar(const QStringList& valores) {
    return [=](QDialog* d) {
        const QList<QLineEdit*> cajas = d->findChildren<QLineEdit*>();
        for (int i = 0; i < valores.size(); ++i)
            cajas[i]->setText(valores[i]);
        d->findChild<QPushButton*>("cmdAceptar")->click();
    };
}

} // namespace

class TestMenu : public QObject {
    Q_OBJECT

    std::unique_ptr<TestStation> t;
    std::unique_ptr<VelmarForm> f;

private slots:
    void init() {
        f.reset(); // before the station it was built on
        TestDb::get().reset();
        TestDb::get().sql("INSERT INTO usuario (usu_nombre, usu_permiso, usu_login, usu_password) "
                          "VALUES ('Ana', 'ADMIN', 'ana', PASSWORD('secreto'))");
        TestDb::get().sql("INSERT INTO variedad VALUES ('V1', 'VARIETY A 50')");
        TestDb::get().sql("INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos, "
                          "estado) VALUES ('B1', 850, 1, 'V1', 25, 'R'), ('B2', 850, 1, 'V1', 25, "
                          "'R'), ('L1', NULL, NULL, 'V1', 25, NULL)");
        t = std::make_unique<TestStation>();
        f = std::make_unique<VelmarForm>(t->db, &t->prompts, &t->printer);
        f->show();
    }

    void oneEntryPerMenuOperation() {
        const QList<QMenu*> menus = f->menuBar()->findChildren<QMenu*>();
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
        QCOMPARE(f->findChild<QAction*>("reporte_pck")->text(), QString("Reporte de packing..."));
    }

    // Scans into Text1 pass the menu by; a report from the menu, and the
    // keyboard back in Text1.
    void scanThenReportFromTheMenu() {
        QVERIFY(QTest::qWaitForWindowActive(f.get()));
        f->text1()->setFocus();
        QTest::keyClicks(f->text1(), "0912345678 OPERACIONES ocr");
        // Alt alone does not steal the next keys from Text1 either
        QTest::keyClick(f->text1(), Qt::Key_Alt);
        QTest::keyClicks(f->text1(), "12");
        QCOMPARE(f->text1()->text(), QString("0912345678 OPERACIONES ocr12"));
        QVERIFY(!f->findChild<QMenu*>("mnuOperaciones")->isVisible());

        f->text2()->setFocus();
        QList<bool> aceptar;
        QCOMPARE(elegir(*f, "reporte_pck", {[&](QDialog* d) {
                     auto* a = qobject_cast<ArgumentosDialog*>(d);
                     // blanks are no packing; the box is optional
                     for (const char* v : {"", "   ", "850"}) {
                         a->campo(0)->setText(v);
                         aceptar << a->cmdAceptar()->isEnabled();
                     }
                     a->cmdAceptar()->click();
                 }}),
                 QStringList({"dlgArgumentos"}));
        QCOMPARE(aceptar, QList<bool>({false, false, true}));
        const QString raya = "---------------------------------------\r\n";
        QCOMPARE(f->txtReporte()->toPlainText(),
                 paraVista("PACKING: 850 EN PROCESO \r\n" + raya +
                           " Caja: 1\r\n  (2) bunches de VARIETY A 50 / 50\r\nTotal bunches: 2, "
                           "Total tallos: 50\r\n" +
                           raya));
        QVERIFY(f->txtReporte()->isVisible());
        QCOMPARE(f->focusWidget(), static_cast<QWidget*>(f->text1()));
        // back in front, the keyboard goes to Text1
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.get()));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f->text1()));
        QVERIFY(t->prompts.eventos.isEmpty());
    }

    // The label chosen by its menu title, shown before any is printed;
    // Imprimir sends those bytes, the ones its operation prints for the box.
    void previewThenPrint() {
        TestDb::get().sql("INSERT INTO clientes (cod_client, cnombre) VALUES ('C1', 'ROSAS')");
        TestDb::get().sql("UPDATE bunche SET cod_client = 'C1'");
        QByteArray vista, guardada = "?";
        bool imagen = false;
        QCOMPARE(elegir(*f, "vista_previa",
                        {[](QDialog* d) {
                             qobject_cast<ArgumentosDialog*>(d)->opcion(0)->setCurrentText(
                                 "Etiqueta de caja");
                             rellenar({"850", "1"})(d);
                         },
                         [&](QDialog* d) {
                             auto* v = qobject_cast<DialogoVistaPrevia*>(d);
                             vista = v->etiqueta().bytes;
                             guardada = f->station().ultima_compuesta.bytes;
                             imagen = !v->imagen()->pixmap().isNull();
                             v->cmdImprimir()->click();
                         }}),
                 QStringList({"dlgArgumentos", "dlgVistaPrevia"}));
        QVERIFY(imagen);
        QCOMPARE(guardada, QByteArray()); // a preview is not a print
        imprimir_detalle(t->st, "850", "1");
        QCOMPARE(t->printer.etiquetas, QList<QByteArray>({vista, vista}));
        QVERIFY(vista.contains("\"ROSAS\""));
        QCOMPARE(f->station().ultima_compuesta.bytes, vista);
    }

    // Choices in turn on one window: the dialogs that came up, the bunches
    // marked complete after it, the history and the focus.
    void loginComesFirstEveryTime() {
        const auto elige = [&](const char* op, const QList<Paso>& pasos, int dialogos,
                               const char* marcados, const QString& historia = "") {
            QCOMPARE(elegir(*f, op, pasos),
                     QStringList({"frmLogin", "dlgArgumentos"}).mid(0, dialogos));
            QCOMPARE(TestDb::get().valor("select count(*) from bunche where nacional='C'"),
                     QString(marcados));
            QCOMPARE(f->station().history.texto(), historia);
            QCOMPARE(f->focusWidget(), static_cast<QWidget*>(f->text1()));
        };
        const Paso ana = rellenar({"ana", "secreto"});
        // cancelled at the login, then at the arguments: nothing runs
        elige("pck_completo", {}, 1, "0");
        elige("pck_completo", {ana}, 2, "0");
        // a wrong password, then the right one in the same dialog
        const Paso mala = [&](QDialog* d) {
            rellenar({"ana", "mala"})(d);
            ana(d);
        };
        elige("pck_completo", {mala, rellenar({"850"})}, 2, "2");
        QCOMPARE(t->prompts.textos().size(), 1);
        QVERIFY(t->prompts.textos()[0].startsWith("Nombre de usuario o password incorrectos"));
        // an earlier login does not carry over
        elige("pck_abrir", {}, 1, "2");

        // a failure the write-off lets out: its box, and the window goes on
        t->prompts.limpiar();
        TestDb::get().sql("RENAME TABLE envoltura TO envoltura_x");
        elige("baja_nacional", {ana, rellenar({"L1"})}, 2, "2");
        TestDb::get().sql("RENAME TABLE envoltura_x TO envoltura");
        QCOMPARE(t->prompts.cajas.size(), 2);
        QVERIFY(t->prompts.cajas[0].texto.startsWith("Consulta Sql "));
        QCOMPARE(t->prompts.cajas[1],
                 (Caja{"La consulta no devolvió un conjunto de registros", 48, "velmar"}));
        QCOMPARE(TestDb::get().valor("select categoria from bunche where num_bunch='L1'"),
                 QString("NULL"));

        // the optional boxes left empty: the whole packing moves
        elige("cambiar_packing", {ana, rellenar({"850", "900", "", ""})}, 2, "2",
              "\t* Packing 850 cambiado al Packing 900\r\n");
        QCOMPARE(TestDb::get().filas(
                     "select num_bunch, num_pack, caja, cod_client from bunche order by 1"),
                 QStringList({"B1|900|1|000000", "B2|900|1|000000", "L1|NULL|NULL|NULL"}));
    }
};

QTEST_MAIN(TestMenu)
#include "test_menu.moc"
