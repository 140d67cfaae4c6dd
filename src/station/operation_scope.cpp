#include "station/operation_scope.h"

#include "db/conexion.h"
#include "errors/errors.h"

namespace velmar {

OperationScope::OperationScope(Station& st, Camino camino)
    : st_(st)
    , camino_(std::move(camino)) {}

OperationScope::~OperationScope() {
    if (propio_ && st_.busy.puntero() != Busy::kFlecha)
        st_.busy.ponerPuntero(Busy::kFlecha);
}

void OperationScope::ocupado(std::initializer_list<QString> leyendas) {
    propio_ = true;
    st_.busy.ponerPuntero(Busy::kReloj);
    for (const QString& l : leyendas)
        st_.busy.ponerLeyenda(l, true);
}

bool OperationScope::preparar() {
    return correr([] {}, true);
}

bool OperationScope::correr(const std::function<void()>& cuerpo, bool conBase) {
    try {
        if (conBase)
            st_.db.comprobar();
        cuerpo();
        return true;
    } catch (const Error& e) {
        camino_(e);
    } catch (const std::exception& e) {
        camino_(Error(QString::fromLocal8Bit(e.what())));
    }
    return false;
}

} // namespace velmar
