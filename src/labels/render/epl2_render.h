#pragma once
// Draws a printed EPL2 label at the printer's 203 dpi, one pixel per dot, as
// the operator would see it come out. Needs QtGui, so it lives apart from the
// core labels library.

#include "labels/epl2_parser.h"

#include <QImage>

namespace velmar {

// Character cell of a resident font: character width and height, and the
// blank dots after each character, all before the multipliers.
struct Epl2Fuente {
    int ancho;
    int alto;
    int espacio;
};
Epl2Fuente fuenteResidente(int fuente);

// The label as an image: q x Q when the printer was told, grown to show any
// field past those edges, which are then marked with a grey dashed line.
QImage renderizar(const Epl2Impresion& etiqueta);

} // namespace velmar
