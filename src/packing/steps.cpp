#include "packing/steps.h"

#include "errors/errors.h"

namespace velmar {

bool paso(Station& st, const std::function<void()>& accion) {
    try {
        accion();
        return true;
    } catch (const Error&) {
        st.busy.ponerPuntero(Busy::kFlecha);
        st.busy.ponerLeyenda(Busy::kLeyendaDeError, false);
        return false;
    }
}

} // namespace velmar
