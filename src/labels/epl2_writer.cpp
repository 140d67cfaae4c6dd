#include "labels/epl2_writer.h"

namespace velmar {

void Epl2Label::linea(const QString& comando) {
    bytes_ += toCp1252(comando);
    bytes_ += "\r\n";
}

void Epl2Label::texto(const QString& prefijo, const QString& valor) {
    QString escapado;
    escapado.reserve(valor.size() + 2);
    for (const QChar c : valor) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            escapado += QLatin1Char('\\');
        escapado += c;
    }
    textoLiteral(prefijo, QLatin1Char('"') + escapado + QLatin1Char('"'));
}

void Epl2Label::textoLiteral(const QString& prefijo, const QString& campo) {
    linea(prefijo + campo);
}

} // namespace velmar
