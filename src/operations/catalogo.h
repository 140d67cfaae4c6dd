#pragma once
// The station form's operations, by name, with their parameters: the one list
// that both the window's menu and velmar-cli are built from.

#include "station/station.h"

#include <QStringList>
#include <QVector>
#include <functional>

namespace velmar {

// One of the values a choice parameter takes, and how the dialog shows it.
struct Opcion {
    QString valor;
    QString titulo;
};

struct Parametro {
    QString nombre;   // the operation's parameter name (packing, caja, ...)
    QString etiqueta; // label in the argument dialog
    bool opcional = false;
    // Not empty: the argument is one of these values (a list in the dialog).
    QVector<Opcion> opciones = {};
    // Only velmar-cli asks for it (an output file); the window passes a null text.
    bool soloCli = false;
    // Not empty: a file to write; the window offers a file dialog with these
    // types (name filters, ";;" between them, the first the default).
    QString tiposArchivo = {};
};

struct Operacion {
    QString nombre; // velmar-cli's name for it: the operation's own name
    QString titulo; // menu entry
    QVector<Parametro> parametros = {};
    // Changes data or shows personal data: runs only after a successful
    // administrator login.
    bool requiereLogin = false;
    // Offered in the window's operations menu (the card box is not).
    bool enMenu = true;
    // Reads only the station's own files: velmar-cli opens no connection for it.
    bool sinServidor = false;
    // Arguments in parameter order; an optional one left off is a null QString.
    std::function<void(Station&, const QStringList&)> ejecutar;
};

const QVector<Operacion>& catalogo();
const Operacion* buscarOperacion(const QString& nombre);

} // namespace velmar
