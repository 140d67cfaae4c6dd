#pragma once
// A label preview drawn to a PNG file, for a station without a window.

#include "labels/box_labels.h"
#include "station/station.h"

namespace velmar {

// Draws the label at 203 dpi, one pixel per dot, with the printer emulator's
// renderer; a box when the file cannot be written.
class PngPreview : public LabelPreview {
public:
    void mostrar(Station& st, const EtiquetaCompuesta& etiqueta, const QString& archivo) override;
};

} // namespace velmar
