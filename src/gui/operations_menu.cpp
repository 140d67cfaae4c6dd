#include "gui/operations_menu.h"

#include "errors/errors.h"
#include "gui/frm_login.h"
#include "gui/kept_record_dialog.h"
#include "station/velmo.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmar {

// A line for a file to write, and a button that chooses it; the type chosen
// in the file dialog gives a name without one its extension.
QWidget* ArgumentsDialog::campoDeArchivo(const Parametro& p, QLineEdit* linea) {
    auto* fila = new QWidget(this);
    auto* h = new QHBoxLayout(fila);
    h->setContentsMargins(0, 0, 0, 0);
    linea->setParent(fila);
    h->addWidget(linea);
    auto* elegir = new QPushButton(QStringLiteral("..."), fila);
    elegir->setObjectName(p.nombre + QStringLiteral("_elegir"));
    h->addWidget(elegir);
    const QString tipos = p.tiposArchivo;
    connect(elegir, &QPushButton::clicked, this, [this, linea, tipos] {
        QFileDialog d(this, QStringLiteral("Guardar como"), linea->text(), tipos);
        d.setObjectName(QStringLiteral("dlgArchivo"));
        d.setAcceptMode(QFileDialog::AcceptSave);
        if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty())
            return;
        QString archivo = d.selectedFiles().first();
        if (QFileInfo(archivo).suffix().isEmpty())
            archivo += QLatin1Char('.') + d.selectedNameFilter()
                                              .section(QStringLiteral("*."), 1)
                                              .section(QLatin1Char(')'), 0, 0);
        linea->setText(archivo);
    });
    linea->setObjectName(p.nombre);
    linea->setMinimumWidth(180);
    fila->setObjectName(p.nombre + QStringLiteral("_fila"));
    return fila;
}

// The parameter's field: a list of its values, a line, or a file's line.
QWidget* ArgumentsDialog::campoDe(const Parametro& p) {
    QWidget* campo = nullptr;
    if (!p.opciones.isEmpty()) {
        auto* lista = new QComboBox(this);
        for (const Opcion& o : p.opciones)
            lista->addItem(o.titulo, o.valor);
        campo = lista;
    } else {
        auto* linea = new QLineEdit(this);
        connect(linea, &QLineEdit::textChanged, this, &ArgumentsDialog::habilitar);
        campo = p.tiposArchivo.isEmpty() ? linea : campoDeArchivo(p, linea);
    }
    if (campo->objectName().isEmpty()) {
        campo->setObjectName(p.nombre);
        campo->setMinimumWidth(180);
    }
    return campo;
}

ArgumentsDialog::ArgumentsDialog(const Operacion& op, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , op_(op) {
    setObjectName(QStringLiteral("dlgArgumentos"));
    setWindowTitle(op.titulo);

    auto* formulario = new QFormLayout;
    for (const Parametro& p : op.parametros) {
        QWidget* campo = p.soloCli ? nullptr : campoDe(p);
        campos_.append(campo);
        if (campo)
            formulario->addRow(p.opcional ? p.etiqueta + QStringLiteral(" (opcional):")
                                          : p.etiqueta + QLatin1Char(':'),
                               campo);
    }

    aceptar_ = new QPushButton(QStringLiteral("&Aceptar"), this);
    aceptar_->setObjectName(QStringLiteral("cmdAceptar"));
    aceptar_->setDefault(true);
    cancelar_ = new QPushButton(QStringLiteral("&Cancelar"), this);
    cancelar_->setObjectName(QStringLiteral("cmdCancelar"));
    connect(aceptar_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelar_, &QPushButton::clicked, this, &QDialog::reject);

    auto* botones = new QHBoxLayout;
    botones->addStretch();
    botones->addWidget(aceptar_);
    botones->addWidget(cancelar_);
    auto* todo = new QVBoxLayout(this);
    todo->addLayout(formulario);
    todo->addLayout(botones);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    habilitar();
}

QLineEdit* ArgumentsDialog::campo(qsizetype i) const {
    QWidget* w = campos_.value(i);
    if (auto* linea = qobject_cast<QLineEdit*>(w))
        return linea;
    return w ? w->findChild<QLineEdit*>() : nullptr; // a file's line beside its button
}

QComboBox* ArgumentsDialog::opcion(qsizetype i) const {
    return qobject_cast<QComboBox*>(campos_.value(i));
}

QStringList ArgumentsDialog::argumentos() const {
    QStringList args;
    for (qsizetype i = 0; i < campos_.size(); ++i) {
        if (const QComboBox* lista = opcion(i)) {
            args.append(lista->currentData().toString());
            continue;
        }
        const QString t = campo(i) ? campo(i)->text() : QString();
        args.append(op_.parametros[i].opcional && t.isEmpty() ? QString() : t);
    }
    return args;
}

void ArgumentsDialog::habilitar() {
    bool completo = true;
    for (qsizetype i = 0; i < campos_.size(); ++i)
        if (!op_.parametros[i].opcional && campo(i) && campo(i)->text().trimmed().isEmpty())
            completo = false;
    aceptar_->setEnabled(completo);
}

namespace {

// The entries the window shows in a dialog of their own (after the same
// login) instead of asking for the arguments and writing the history.
using VentanaPropia = void (*)(Station&, const KeptScans*, QWidget*);
VentanaPropia ventanaPropia(const QString& nombre) {
    if (nombre == QLatin1String("registro_marcaciones"))
        return mostrarMarcasGuardadas;
    return nullptr;
}

} // namespace

void ejecutarDesdeMenu(Station& st, const Operacion& op, QWidget* ventana, KeptScans* guardadas) {
    const auto alTerminar = [&] { st.input.enfocar(); };

    if (op.requiereLogin) {
        FrmLogin login(st, ventana);
        if (login.exec() != QDialog::Accepted) {
            alTerminar();
            return;
        }
    }
    if (const VentanaPropia propia = ventanaPropia(op.nombre)) {
        propia(st, guardadas, ventana);
        alTerminar();
        return;
    }
    QStringList args;
    if (!op.parametros.isEmpty()) {
        ArgumentsDialog dialogo(op, ventana);
        if (dialogo.exec() != QDialog::Accepted) {
            alTerminar();
            return;
        }
        args = dialogo.argumentos();
    }
    try {
        op.ejecutar(st, args, guardadas);
    } catch (const Error& e) {
        // An operation without a handler of its own: tell the operator and
        // leave the window usable.
        if (st.busy.puntero() != Busy::kFlecha)
            st.busy.ponerPuntero(Busy::kFlecha);
        st.prompts.msgbox(textoError(e), kExclamacion);
    }
    alTerminar();
}

void instalarMenuOperaciones(Station& st, QMenuBar* barra, KeptScans* guardadas) {
    // Alt+O only: a plain letter or digit typed or scanned into Text1 never
    // reaches the menu.
    QMenu* menu = barra->addMenu(QStringLiteral("&Operaciones"));
    menu->setObjectName(QStringLiteral("mnuOperaciones"));
    for (const Operacion& op : catalogo()) {
        if (!op.enMenu)
            continue;
        QAction* a = menu->addAction(op.parametros.isEmpty() ? op.titulo
                                                             : op.titulo + QStringLiteral("..."));
        a->setObjectName(op.nombre);
        const QString nombre = op.nombre;
        QObject::connect(a, &QAction::triggered, barra, [&st, barra, nombre, guardadas] {
            if (const Operacion* o = buscarOperacion(nombre))
                ejecutarDesdeMenu(st, *o, barra->window(), guardadas);
        });
    }
}

} // namespace velmar
