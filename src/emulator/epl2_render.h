#pragma once
// Draws a printed EPL2 label at the printer's 203 dpi, one pixel per dot, as
// the operator would see it come out. Needs QtGui, so it lives apart from the
// core labels library.

#include "epl2/epl2_printer.h"

#include <QImage>

namespace velmar {

// Character cell of a resident font: character width and height, and the
// blank dots after each character, all before the multipliers.
struct Epl2FontCell {
    int width;
    int height;
    int gap;
};
Epl2FontCell residentFont(int font);

// The label as an image: q x Q when the printer was told, grown to show any
// field past those edges, which are then marked with a grey dashed line. It
// grows by the form's own size at most and never past 1664 x 4060 dots (twice
// a 4-inch head, 20 inches), whatever the job says. The image's "Copias" text
// holds the copies.
QImage renderLabel(const Epl2PrintedLabel& label);

// Each label a document prints on a printer fresh from the factory: a
// composed label drawn without a printer.
QVector<QImage> renderDocument(const Epl2Document& document);

} // namespace velmar
