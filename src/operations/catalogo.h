#pragma once
// The station form's operations, by name, with their parameters: the one list
// that both the window's menu and velmar-cli are built from.

#include "station/station.h"

#include <QStringList>
#include <QVector>
#include <functional>
#include <type_traits>

namespace velmar {

class KeptScans; // kept/kept_scans.h

// How an operation runs: on a station, with its arguments in parameter order
// (an optional one left off is a null QString) and the station's kept scans,
// which its front end owns (null unless the farm turned them on). Most
// operations take the first two only.
class Ejecucion {
public:
    using Todo = std::function<void(Station&, const QStringList&, KeptScans*)>;
    Ejecucion() = default;
    template <typename F>
    requires(!std::is_same_v<std::decay_t<F>, Ejecucion>) Ejecucion(F f) {
        if constexpr (std::is_invocable_v<F&, Station&, const QStringList&, KeptScans*>)
            f_ = std::move(f);
        else
            f_ = [f = std::move(f)](Station& st, const QStringList& a, KeptScans*) { f(st, a); };
    }
    void operator()(Station& st, const QStringList& a, KeptScans* guardadas = nullptr) const {
        f_(st, a, guardadas);
    }

private:
    Todo f_;
};

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
    Ejecucion ejecutar;
};

const QVector<Operacion>& catalogo();
const Operacion* buscarOperacion(const QString& nombre);

} // namespace velmar
