#pragma once
// The windows were drawn in twips and Windows fonts; these turn the design's
// measures into Qt's.

#include <QFont>

namespace velmar {

// 15 twips to the pixel, at the design's 96 dpi.
constexpr int px(int twips) {
    return twips / 15;
}

// The design's "MS Sans Serif" (a metric-compatible font stands in for it).
inline QFont sansSerif(double puntos, bool negrita) {
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(puntos);
    f.setBold(negrita);
    return f;
}

} // namespace velmar
