#pragma once
// The window's "Operaciones" menu: one entry per operation of the catalogue
// that is offered in the menu. An entry asks for the administrator login when
// the operation changes data, then for the operation's arguments, runs it and
// gives the focus back to Text1 so the attendance clock keeps working.

#include "operations/catalogo.h"

#include <QDialog>
#include <QVector>

class QComboBox;
class QLineEdit;
class QMenuBar;
class QPushButton;

namespace velmar {

// A line per parameter (a list for a choice; none for one only velmar-cli
// asks for); Aceptar is enabled while every required line holds more than
// blanks.
class ArgumentsDialog : public QDialog {
    Q_OBJECT
public:
    explicit ArgumentsDialog(const Operacion& op, QWidget* parent = nullptr);

    // In parameter order, as typed; an optional one left empty is a null text
    // (the operation's "absent").
    QStringList argumentos() const;

    // Parameter i's line, or its list for a choice; null for neither.
    QLineEdit* campo(qsizetype i) const;
    QComboBox* opcion(qsizetype i) const;
    QPushButton* cmdAceptar() const { return aceptar_; }

private:
    void habilitar();
    QWidget* campoDe(const Parametro& p);
    QWidget* campoDeArchivo(const Parametro& p, QLineEdit* linea);

    const Operacion& op_;
    QVector<QWidget*> campos_; // one per parameter, null when not asked for
    QPushButton* aceptar_ = nullptr;
    QPushButton* cancelar_ = nullptr;
};

// Adds the menu to a window's bar; its entries run on `st`, with the window's
// kept scans (null unless the farm turned them on).
void instalarMenuOperaciones(Station& st, QMenuBar* barra, KeptScans* guardadas = nullptr);

// What choosing the operation's entry does; its dialogs belong to `ventana`.
void ejecutarDesdeMenu(Station& st, const Operacion& op, QWidget* ventana,
                       KeptScans* guardadas = nullptr);

} // namespace velmar
