// The administrator login: its check against the usuario table on a real
// MariaDB server, and the frmLogin dialog on real widgets (offscreen).

#include "context/errors.h"
#include "login/frm_login_dialog.h"
#include "login/login.h"
#include "test_support.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace velmar;
using namespace velmar::test;

namespace {

const QString kIncorrecto = "0|velmar|Nombre de usuario o password incorrectos\r\n INGRESE LOGIN Y "
                            "PASSWORD DE ADMINISTRADOR PARA MODIFICAR EL PACKING";

void escribir(QLineEdit* e, const QString& texto) {
    e->setFocus();
    e->selectAll();
    if (texto.isEmpty())
        QTest::keyClick(e, Qt::Key_Backspace);
    else
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
        QCOMPARE(d.windowTitle(), QString("Login"));
        QCOMPARE(d.size(), QSize(260, 163));
        QCOMPARE(d.minimumSize(), d.maximumSize());
        QCOMPARE(d.findChild<QLabel*>("lblLogin")->text(), QString("   Login:"));
        QCOMPARE(d.findChild<QLabel*>("lblPassword")->text(), QString("   Password:"));
        QCOMPARE(d.findChild<QLabel*>("lblLogin")->geometry(), QRect(8, 56, 241, 25));
        QCOMPARE(d.findChild<QLabel*>("lblPassword")->geometry(), QRect(8, 88, 241, 25));
        QVERIFY(d.findChild<QLabel*>("lblLogin")->font().bold());
        QCOMPARE(d.txtLogin()->geometry(), QRect(88, 56, 121, 19));
        QCOMPARE(d.txtPassword()->geometry(), QRect(88, 88, 121, 19));
        QCOMPARE(d.cmdCancelar()->geometry(), QRect(152, 128, 89, 25));
        QCOMPARE(d.cmdAceptar()->geometry(), QRect(16, 128, 89, 25));
        QCOMPARE(d.cmdCancelar()->text(), QString("&Cancelar"));
        QCOMPARE(d.cmdAceptar()->text(), QString("&Aceptar"));
        QVERIFY(d.cmdAceptar()->isDefault());
        QVERIFY(d.cmdAceptar()->font().bold() && d.cmdCancelar()->font().bold());
        QCOMPARE(d.txtLogin()->nextInFocusChain(), d.txtPassword());
        QCOMPARE(d.txtPassword()->nextInFocusChain(), d.cmdCancelar());
        QCOMPARE(d.cmdCancelar()->nextInFocusChain(), d.cmdAceptar());
        QVERIFY(!(d.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(d.windowFlags() & Qt::WindowMaximizeButtonHint));

        // at most 15 characters; the password shows only asterisks
        escribir(d.txtLogin(), "abcdefghijklmnopqrst");
        escribir(d.txtPassword(), "1234567890abcdefghij");
        QCOMPARE(d.txtLogin()->text(), QString("abcdefghijklmno"));
        QCOMPARE(d.txtPassword()->text(), QString("1234567890abcde"));
        QCOMPARE(d.txtPassword()->displayText(), QString(15, '*'));
    }

    void enablingRule() {
        TestStation t;
        FrmLogin d(t.st);
        d.show();
        QVERIFY(!d.cmdAceptar()->isEnabled());
        escribir(d.txtLogin(), "ana");
        QVERIFY(!d.cmdAceptar()->isEnabled());
        escribir(d.txtPassword(), "s");
        QVERIFY(d.cmdAceptar()->isEnabled());
        escribir(d.txtLogin(), "");
        QVERIFY(!d.cmdAceptar()->isEnabled());
        // a blank is a character
        escribir(d.txtLogin(), " ");
        QVERIFY(d.cmdAceptar()->isEnabled());
        escribir(d.txtPassword(), "");
        QVERIFY(!d.cmdAceptar()->isEnabled());
        // Enter does nothing while Aceptar is disabled
        QTest::keyClick(d.txtLogin(), Qt::Key_Return);
        QVERIFY(d.isVisible());
        QVERIFY(t.prompts.eventos.isEmpty());
    }

    void enterWithBothFilledLogsIn() {
        TestStation t;
        t.st.permiso_usuario = "previo";
        FrmLogin d(t.st);
        d.show();
        escribir(d.txtLogin(), "ana");
        escribir(d.txtPassword(), "secreto");
        QTest::keyClick(d.txtPassword(), Qt::Key_Return);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Accepted));
        // blanks trimmed from the permission
        QCOMPARE(t.st.permiso_usuario, QString("ADMIN TOTAL"));
        QVERIFY(t.prompts.eventos.isEmpty());
    }

    void escapeCancelsWithoutTouchingThePermission() {
        TestStation t;
        t.st.permiso_usuario = "previo";
        FrmLogin d(t.st);
        d.show();
        escribir(d.txtLogin(), "ana");
        escribir(d.txtPassword(), "secreto");
        QTest::keyClick(d.txtPassword(), Qt::Key_Escape);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(t.st.permiso_usuario, QString("previo"));

        FrmLogin d2(t.st);
        d2.show();
        QTest::mouseClick(d2.cmdCancelar(), Qt::LeftButton);
        QCOMPARE(d2.result(), int(QDialog::Rejected));
        QCOMPARE(t.st.permiso_usuario, QString("previo"));
        QVERIFY(t.prompts.eventos.isEmpty());
    }

    void wrongPasswordSelectsItAndKeepsTheEarlierPermission() {
        TestStation t;
        FrmLogin d(t.st);
        d.show();
        escribir(d.txtLogin(), "ana");
        escribir(d.txtPassword(), "secreto");
        QTest::mouseClick(d.cmdAceptar(), Qt::LeftButton);
        QCOMPARE(t.st.permiso_usuario, QString("ADMIN TOTAL"));

        FrmLogin d2(t.st);
        d2.show();
        escribir(d2.txtLogin(), "ana");
        escribir(d2.txtPassword(), "Secreto1");
        d2.txtLogin()->setFocus();
        QTest::mouseClick(d2.cmdAceptar(), Qt::LeftButton);
        QCOMPARE(t.prompts.eventos, QStringList({kIncorrecto}));
        QVERIFY(d2.isVisible());
        QCOMPARE(d2.focusWidget(), d2.txtPassword());
        QCOMPARE(d2.txtPassword()->selectedText(), QString("Secreto1"));
        QCOMPARE(d2.txtPassword()->selectionStart(), 0);
        QCOMPARE(t.st.permiso_usuario, QString("ADMIN TOTAL"));
        // the next typing replaces the whole password
        QTest::keyClicks(d2.txtPassword(), "clave");
        QCOMPARE(d2.txtPassword()->text(), QString("clave"));
        escribir(d2.txtLogin(), "luis");
        QTest::mouseClick(d2.cmdAceptar(), Qt::LeftButton);
        QCOMPARE(d2.result(), int(QDialog::Accepted));
        // Null permission: empty text
        QCOMPARE(t.st.permiso_usuario, QString());
        QCOMPARE(t.prompts.eventos.size(), 1);
    }

    void apostrophesInLoginAndPassword() {
        TestStation t;
        QCOMPARE(comprobar_login(t.st, "o'neil", "d'or"), ResultadoLogin::Aceptado);
        QCOMPARE(t.st.permiso_usuario, QString("OPER"));
        QCOMPARE(comprobar_login(t.st, "o'neil", "d"), ResultadoLogin::Rechazado);
        QCOMPARE(t.prompts.eventos, QStringList({kIncorrecto}));
    }

    void injectionPayloadsAreRefused_data() {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::newRow("or in both") << "' or '1'='1"
                                    << "' or '1'='1";
        QTest::newRow("or in password") << "ana"
                                        << "') or ('1'='1";
        QTest::newRow("comment dash") << "ana'-- "
                                      << "x";
        QTest::newRow("comment hash") << "ana' #"
                                      << "x";
        QTest::newRow("backslash quote") << "\\' or 1=1 -- "
                                         << "x";
        QTest::newRow("backslash in password") << "ana"
                                               << "\\') or 1=1 -- ";
        QTest::newRow("union") << "x' union select 1,2,'ROOT' -- "
                               << "x";
        QTest::newRow("stacked") << "ana'; delete from usuario; -- "
                                 << "x";
    }

    void injectionPayloadsAreRefused() {
        QFETCH(QString, login);
        QFETCH(QString, password);
        TestStation t;
        t.st.permiso_usuario = "previo";
        QCOMPARE(comprobar_login(t.st, login, password), ResultadoLogin::Rechazado);
        QCOMPARE(t.st.permiso_usuario, QString("previo"));
        QCOMPARE(t.prompts.eventos, QStringList({kIncorrecto}));
        QCOMPARE(TestDb::get().valor("select count(*) from usuario"), QString("3"));

        // the same through the dialog, as far as 15 characters go
        t.prompts.limpiar();
        FrmLogin d(t.st);
        d.show();
        escribir(d.txtLogin(), login);
        escribir(d.txtPassword(), password);
        QTest::mouseClick(d.cmdAceptar(), Qt::LeftButton);
        QVERIFY(d.isVisible());
        QCOMPARE(t.st.permiso_usuario, QString("previo"));
        QCOMPARE(t.prompts.eventos, QStringList({kIncorrecto}));
    }

    void databaseFailureKeepsTheDialogOpen() {
        TestStation t;
        t.st.permiso_usuario = "previo";
        FrmLogin d(t.st);
        d.show();
        escribir(d.txtLogin(), "ana");
        escribir(d.txtPassword(), "secreto");
        TestDb::get().sql("RENAME TABLE usuario TO usuario_x");
        QTest::mouseClick(d.cmdAceptar(), Qt::LeftButton);
        TestDb::get().sql("RENAME TABLE usuario_x TO usuario");
        QCOMPARE(t.prompts.cajas.size(), 2);
        QCOMPARE(t.prompts.cajas[0].estilo, 0);
        QVERIFY(t.prompts.cajas[0].texto.startsWith("Consulta Sql "));
        QVERIFY(t.prompts.cajas[0].texto.contains("usuario"));
        QCOMPARE(t.prompts.cajas[1].estilo, 48);
        QCOMPARE(t.prompts.cajas[1].titulo, QString("velmar"));
        QCOMPARE(t.prompts.cajas[1].texto,
                 "Login La consulta no devolvió un conjunto de registros");
        QVERIFY(d.isVisible());
        QCOMPARE(t.st.permiso_usuario, QString("previo"));
        // the next try, with the table back, goes through
        QTest::mouseClick(d.cmdAceptar(), Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(t.st.permiso_usuario, QString("ADMIN TOTAL"));
    }
};

QTEST_MAIN(TestLogin)
#include "test_login.moc"
