// The administrator login: the frmLogin dialog on real widgets (offscreen)
// over its check against the usuario table on a real MariaDB server. Hostile
// logins and passwords: test_hostile_input; a server that died: test_faults.

#include "gui/frm_login.h"
#include "test_support.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace velmar;
using namespace velmar::test;

namespace {

const QString kIncorrecto = "0|velmar|Nombre de usuario o password incorrectos\r\n INGRESE LOGIN Y "
                            "PASSWORD DE ADMINISTRADOR PARA MODIFICAR EL PACKING";

// Typed over what the box held.
void escribir(QLineEdit* e, const QString& texto) {
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Backspace);
    QTest::keyClicks(e, texto);
}

} // namespace

class TestLogin : public QObject {
    Q_OBJECT

private slots:
    void init() {
        TestDb::get().reset();
        TestDb::get().sql("INSERT INTO usuario (usu_nombre, usu_permiso, usu_login, usu_password) "
                          "VALUES ('Ana', '  ADMIN TOTAL  ', 'ana', PASSWORD('secreto')), "
                          "('Luis', NULL, 'luis', PASSWORD('clave')), "
                          "('Olga', 'OPER', 'o''neil', PASSWORD('d''or'))");
    }

    void designOfTheDialog() {
        TestStation t;
        FrmLogin d(t.st);
        d.show();
        auto* login = d.findChild<QLabel*>("lblLogin");
        auto* password = d.findChild<QLabel*>("lblPassword");
        QCOMPARE(d.size(), QSize(260, 163));
        QCOMPARE(d.minimumSize(), d.maximumSize());
        QCOMPARE(QList<QRect>({login->geometry(), password->geometry(), d.txtLogin()->geometry(),
                               d.txtPassword()->geometry(), d.cmdAceptar()->geometry(),
                               d.cmdCancelar()->geometry()}),
                 QList<QRect>({QRect(8, 56, 241, 25), QRect(8, 88, 241, 25), QRect(88, 56, 121, 19),
                               QRect(88, 88, 121, 19), QRect(16, 128, 89, 25),
                               QRect(152, 128, 89, 25)}));
        QCOMPARE(QStringList({d.windowTitle(), login->text(), password->text(),
                              d.cmdAceptar()->text(), d.cmdCancelar()->text()}),
                 QStringList({"Login", "   Login:", "   Password:", "&Aceptar", "&Cancelar"}));
        QVERIFY(login->font().bold() && d.cmdAceptar()->font().bold() &&
                d.cmdCancelar()->font().bold());
        QVERIFY(d.cmdAceptar()->isDefault());
        QVERIFY(!(d.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(d.txtLogin()->nextInFocusChain(), d.txtPassword());
        QCOMPARE(d.txtPassword()->nextInFocusChain(), d.cmdCancelar());
        QCOMPARE(d.cmdCancelar()->nextInFocusChain(), d.cmdAceptar());
        // at most 15 characters; the password shows only asterisks
        escribir(d.txtLogin(), "abcdefghijklmnopqrst");
        escribir(d.txtPassword(), "1234567890abcdefghij");
        QCOMPARE(d.txtLogin()->text(), QString("abcdefghijklmno"));
        QCOMPARE(d.txtPassword()->displayText(), QString(15, '*'));
    }

    void intento_data() {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("clave");
        QTest::addColumn<QString>("accion"); // a key, or the button clicked
        QTest::addColumn<int>("resultado");  // -1: the dialog stays open
        QTest::addColumn<QString>("permiso");
        const auto fila = [](const char* nombre, const QString& login, const QString& clave,
                             const QString& accion, int resultado, const QString& permiso) {
            QTest::newRow(nombre) << login << clave << accion << resultado << permiso;
        };
        // blanks trimmed from the permission
        fila("enter logs in", "ana", "secreto", "Return", QDialog::Accepted, "ADMIN TOTAL");
        fila("null permission", "luis", "clave", "Aceptar", QDialog::Accepted, "");
        fila("apostrophes", "o'neil", "d'or", "Aceptar", QDialog::Accepted, "OPER");
        fila("escape cancels", "ana", "secreto", "Escape", QDialog::Rejected, "previo");
        fila("cancel button", "ana", "secreto", "Cancelar", QDialog::Rejected, "previo");
        fila("wrong password", "ana", "Secreto1", "Aceptar", -1, "previo");
        fila("a blank is a login", " ", "secreto", "Aceptar", -1, "previo");
        fila("classic injection", "' or '1'='1", "' or '1'='1", "Aceptar", -1, "previo");
        // Aceptar is off: Enter does nothing
        fila("no login", "", "secreto", "Return", -1, "previo");
        fila("no password", "ana", "", "Return", -1, "previo");
    }

    void intento() {
        QFETCH(QString, login);
        QFETCH(QString, clave);
        QFETCH(QString, accion);
        QFETCH(int, resultado);
        QFETCH(QString, permiso);
        TestStation t;
        t.st.permiso_usuario = "previo";
        FrmLogin d(t.st);
        d.show();
        // filled, then emptied or retyped: the rule follows every change
        escribir(d.txtLogin(), "x");
        escribir(d.txtPassword(), "x");
        escribir(d.txtLogin(), login);
        escribir(d.txtPassword(), clave);
        QCOMPARE(d.cmdAceptar()->isEnabled(), !login.isEmpty() && !clave.isEmpty());
        d.txtLogin()->setFocus();
        if (accion == "Aceptar" || accion == "Cancelar")
            QTest::mouseClick(accion == "Aceptar" ? d.cmdAceptar() : d.cmdCancelar(),
                              Qt::LeftButton);
        else
            QTest::keyClick(d.txtPassword(), accion == "Return" ? Qt::Key_Return : Qt::Key_Escape);
        QCOMPARE(d.isVisible(), resultado < 0);
        if (resultado >= 0)
            QCOMPARE(d.result(), resultado);
        QCOMPARE(t.st.permiso_usuario, permiso);
        // a refused try with Aceptar on: the box, the password selected for
        // the next typing to replace
        const bool rechazo = resultado < 0 && d.cmdAceptar()->isEnabled();
        QCOMPARE(t.prompts.eventos, rechazo ? QStringList{kIncorrecto} : QStringList());
        if (rechazo) {
            QCOMPARE(d.focusWidget(), d.txtPassword());
            QCOMPARE(d.txtPassword()->selectedText(), clave);
        }
    }

    // The dialog stays open and the next try goes through (the boxes: test_faults).
    void databaseFailureKeepsTheDialogOpen() {
        TestStation t;
        FrmLogin d(t.st);
        d.show();
        escribir(d.txtLogin(), "ana");
        escribir(d.txtPassword(), "secreto");
        TestDb::get().sql("RENAME TABLE usuario TO usuario_x");
        QTest::mouseClick(d.cmdAceptar(), Qt::LeftButton);
        TestDb::get().sql("RENAME TABLE usuario_x TO usuario");
        QCOMPARE(t.prompts.cajas.size(), 2);
        QVERIFY(d.isVisible());
        QTest::mouseClick(d.cmdAceptar(), Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(t.st.permiso_usuario, QString("ADMIN TOTAL"));
    }
};

QTEST_MAIN(TestLogin)
#include "test_login.moc"
