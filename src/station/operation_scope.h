#pragma once
// Every operation of the station runs inside one OperationScope: it owns the
// busy indication and its reset, makes sure of the connection before the
// first statement (Conexion::comprobar: re-opened when the server closed it,
// never by sending a statement twice), and sends any failure down the
// operation's one error path (errors/errors.h).

#include "station/station.h"

#include <functional>
#include <initializer_list>

namespace velmar {

class Error;

class OperationScope {
public:
    // What the operator sees for a failure of this operation, by kind.
    using Camino = std::function<void(const Error&)>;

    OperationScope(Station& st, Camino camino);
    // The pointer back to the arrow if this scope made it the hourglass and
    // nothing has put it back (unless handed over).
    ~OperationScope();
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

    // The hourglass, and each caption in turn, repainted at once.
    void ocupado(std::initializer_list<QString> leyendas = {});
    // The hourglass stays for the step that follows this scope (a label
    // composed here is sent by the next).
    void traspasar() { propio_ = false; }

    // The connection made sure of; false when it is not, its failure shown.
    bool preparar();
    // preparar(), then `cuerpo`; whatever either throws goes the error path.
    // True when `cuerpo` ran to its end.
    bool correr(const std::function<void()>& cuerpo, bool conBase = true);

private:
    Station& st_;
    Camino camino_;
    bool propio_ = false;
};

} // namespace velmar
