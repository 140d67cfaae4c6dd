#include "gui/frm_login.h"

#include "gui/design_metrics.h"
#include "login/login.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace velmar {

FrmLogin::FrmLogin(Station& st, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , st_(st) {
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Login"));
    setWindowIcon(QIcon(QStringLiteral(":/velmar/velmar-icon.png")));
    setFont(sansSerif(8.25, false));
    setFixedSize(kAncho, kAlto);

    // The labels lie under the boxes; only their captions show.
    lblLogin_ = new QLabel(QStringLiteral("   Login:"), this);
    lblLogin_->setObjectName(QStringLiteral("lblLogin"));
    lblLogin_->setFont(sansSerif(8.25, true));
    lblLogin_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblLogin_->setGeometry(px(120), px(840), px(3615), px(375));

    lblPassword_ = new QLabel(QStringLiteral("   Password:"), this);
    lblPassword_->setObjectName(QStringLiteral("lblPassword"));
    lblPassword_->setFont(sansSerif(8.25, true));
    lblPassword_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblPassword_->setGeometry(px(120), px(1320), px(3615), px(375));

    txtLogin_ = new QLineEdit(this);
    txtLogin_->setObjectName(QStringLiteral("txtLogin"));
    txtLogin_->setMaxLength(kLargoMaximo);
    txtLogin_->setGeometry(px(1320), px(840), px(1815), px(285));

    txtPassword_ = new QLineEdit(this);
    txtPassword_->setObjectName(QStringLiteral("txtPassword"));
    txtPassword_->setMaxLength(kLargoMaximo);
    txtPassword_->setEchoMode(QLineEdit::Password);
    txtPassword_->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    txtPassword_->setGeometry(px(1320), px(1320), px(1815), px(285));

    cmdCancelar_ = new QPushButton(QStringLiteral("&Cancelar"), this);
    cmdCancelar_->setObjectName(QStringLiteral("cmdCancelar"));
    cmdCancelar_->setFont(sansSerif(8.25, true));
    cmdCancelar_->setGeometry(px(2280), px(1920), px(1335), px(375));

    cmdAceptar_ = new QPushButton(QStringLiteral("&Aceptar"), this);
    cmdAceptar_->setObjectName(QStringLiteral("cmdAceptar"));
    cmdAceptar_->setFont(sansSerif(8.25, true));
    cmdAceptar_->setGeometry(px(240), px(1920), px(1335), px(375));
    cmdAceptar_->setDefault(true);
    cmdAceptar_->setEnabled(false);

    setTabOrder(txtLogin_, txtPassword_);
    setTabOrder(txtPassword_, cmdCancelar_);
    setTabOrder(cmdCancelar_, cmdAceptar_);
    txtLogin_->setFocus(Qt::OtherFocusReason);

    connect(txtLogin_, &QLineEdit::textChanged, this, &FrmLogin::habilitar);
    connect(txtPassword_, &QLineEdit::textChanged, this, &FrmLogin::habilitar);
    connect(cmdAceptar_, &QPushButton::clicked, this, &FrmLogin::aceptar);
    // Esc rejects the dialog as well: both are the cancel button.
    connect(cmdCancelar_, &QPushButton::clicked, this, &QDialog::reject);
}

void FrmLogin::showEvent(QShowEvent* e) {
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    QDialog::showEvent(e);
}

void FrmLogin::habilitar() {
    cmdAceptar_->setEnabled(!txtLogin_->text().isEmpty() && !txtPassword_->text().isEmpty());
}

void FrmLogin::aceptar() {
    switch (comprobar_login(st_, txtLogin_->text(), txtPassword_->text())) {
    case ResultadoLogin::Aceptado:
        accept();
        break;
    case ResultadoLogin::Rechazado:
        // The next typing replaces the whole password.
        txtPassword_->setFocus(Qt::OtherFocusReason);
        txtPassword_->selectAll();
        break;
    case ResultadoLogin::Fallido:
        break;
    }
}

} // namespace velmar
