#include "station/views.h"

namespace velmar {

void History::agregar_historia(const QString& linea) {
    agregarTexto(linea + QStringLiteral("\r\n"));
}

void History::agregarTexto(const QString& pieza) {
    texto_ += pieza;
    caret_ = 0;
    onAppended(pieza);
    onCaret();
}

void History::recortar_historia() {
    if (texto_.size() > kLimite) {
        texto_ = texto_.right(kConserva);
        onReplaced();
    }
    cursorAlFinal();
}

void History::cursorAlFinal() {
    caret_ = int(texto_.size());
    onCaret();
}

void ReportBox::set(const QString& texto, bool columnas) {
    texto_ = texto;
    columnas_ = columnas;
    escrito_ = true;
    onReplaced();
}

void ReportBox::append(const QString& texto) {
    texto_ += texto;
    escrito_ = true;
    onAppended(texto);
}

void ReportBox::show() {
    visible_ = true;
    onVisible();
}

void ReportBox::hide() {
    visible_ = false;
    onVisible();
}

void Busy::ponerPuntero(int puntero) {
    puntero_ = puntero;
    alCambiarPuntero();
}

void Busy::ponerLeyenda(const QString& leyenda, bool repintar) {
    leyenda_ = leyenda;
    alCambiarLeyenda(repintar);
}

} // namespace velmar
