#include "recording.h"

namespace velmar::test {

int RecordingPrompts::mostrar(const QString& texto, int estilo, const QString& titulo) {
    cajas.append({texto, estilo, titulo});
    eventos << QString::number(estilo) + QLatin1Char('|') + titulo + QLatin1Char('|') + texto;
    if ((estilo & 0x0F) == kSiNo)
        return respuestas.isEmpty() ? kNo : respuestas.takeFirst();
    return kOk;
}

void RecordingPrompts::beep() {
    eventos << QStringLiteral("beep");
}

QStringList RecordingPrompts::textos() const {
    QStringList t;
    for (const Caja& c : cajas)
        t << c.texto;
    return t;
}

void RecordingPrompts::limpiar() {
    cajas.clear();
    eventos.clear();
    respuestas.clear();
}

} // namespace velmar::test
