#pragma once
// frmLogin: asks for an administrator's login and password. A successful check
// stores the user's permission in the station and accepts the dialog; Cancel or
// Esc rejects it and changes nothing.

#include "station/station.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmar {

class FrmLogin : public QDialog {
    Q_OBJECT
public:
    // Design client area in pixels (3900 x 2445 twips).
    static constexpr int kAncho = 260;
    static constexpr int kAlto = 163;
    static constexpr int kLargoMaximo = 15;

    explicit FrmLogin(Station& st, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* e) override;

private:
    void habilitar();
    void aceptar();

    Station& st_;
    QLabel* lblLogin_ = nullptr;
    QLabel* lblPassword_ = nullptr;
    QLineEdit* txtLogin_ = nullptr;
    QLineEdit* txtPassword_ = nullptr;
    QPushButton* cmdCancelar_ = nullptr;
    QPushButton* cmdAceptar_ = nullptr;
};

} // namespace velmar
