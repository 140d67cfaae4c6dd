#include "packing/pasos.h"

#include "context/errors.h"

namespace velmar {

bool paso(Station& st, const std::function<void()>& accion) {
    try {
        accion();
        return true;
    } catch (const Error&) {
        st.busy.setPuntero(Busy::kFlecha);
        st.busy.setCaption(Busy::kCaptionError, false);
        return false;
    }
}

double valor_numerico(const QString& texto) {
    qsizetype i = 0;
    const qsizetype n = texto.size();
    while (i < n && (texto[i] == QLatin1Char(' ') || texto[i] == QLatin1Char('\t')))
        ++i;
    const qsizetype inicio = i;
    if (i < n && (texto[i] == QLatin1Char('-') || texto[i] == QLatin1Char('+')))
        ++i;
    bool digitos = false;
    while (i < n && texto[i].isDigit() && texto[i].unicode() < 128) {
        ++i;
        digitos = true;
    }
    if (i < n && texto[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && texto[i].isDigit() && texto[i].unicode() < 128) {
            ++i;
            digitos = true;
        }
    }
    if (!digitos)
        return 0;
    return texto.mid(inicio, i - inicio).toDouble();
}

} // namespace velmar
