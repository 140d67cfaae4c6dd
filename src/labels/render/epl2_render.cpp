#include "labels/render/epl2_render.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QRect>

#include <algorithm>

namespace velmar {

namespace {

constexpr int kHeadWidth = 832; // a 4-inch head at 203 dpi

QRect bounds(const Epl2Text& t) {
    const Epl2FontCell f = residentFont(t.font);
    const int width = int(t.text().size()) * (f.width + f.gap) * t.hMult;
    return QRect(t.x, t.y, width, f.height * t.vMult);
}

QRect bounds(const Epl2Line& l) {
    return QRect(l.x, l.y, std::max(0, l.width), std::max(0, l.thickness));
}

QRect bounds(const Epl2Field& f) {
    return std::visit([](const auto& v) { return bounds(v); }, f);
}

QFont drawingFont() {
    QFont f(QStringLiteral("DejaVu Sans Mono"));
    f.setStyleHint(QFont::Monospace, QFont::NoAntialias);
    f.setBold(true);
    f.setPixelSize(100);
    return f;
}

void draw(QPainter& p, const Epl2Text& t) {
    const Epl2FontCell f = residentFont(t.font);
    static const QFont font = drawingFont();
    const QFontMetricsF m(font);
    const qreal advance = m.horizontalAdvance(QLatin1Char('M'));
    const qreal height = m.ascent() + m.descent();
    const QString text = t.text();

    p.save();
    p.translate(t.x, t.y);
    p.rotate(90.0 * (t.rotation & 3));
    if (t.reverse)
        p.fillRect(QRect(0, 0, bounds(t).width(), f.height * t.vMult), Qt::black);
    p.setFont(font);
    p.setPen(t.reverse ? Qt::white : Qt::black);
    const int step = (f.width + f.gap) * t.hMult;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QRectF cell(qreal(i * step), 0, f.width * t.hMult, f.height * t.vMult);
        p.save();
        p.setClipRect(cell);
        p.translate(cell.topLeft());
        p.scale(cell.width() / advance, cell.height() / height);
        p.drawText(QPointF(0, m.ascent()), QString(text[i]));
        p.restore();
    }
    p.restore();
}

void draw(QPainter& p, const Epl2Line& l) {
    switch (l.ink) {
    case Epl2Line::Ink::Black:
        p.fillRect(bounds(l), Qt::black);
        break;
    case Epl2Line::Ink::White:
        p.fillRect(bounds(l), Qt::white);
        break;
    case Epl2Line::Ink::Xor:
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.fillRect(bounds(l), Qt::white);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        break;
    }
}

void dashedEdge(QPainter& p, QLineF edge) {
    QPen pen(QColor(160, 160, 160));
    pen.setStyle(Qt::DashLine);
    pen.setWidth(1);
    p.setPen(pen);
    p.drawLine(edge);
}

} // namespace

Epl2FontCell residentFont(int font) {
    switch (font) {
    case 1:
        return {8, 12, 2};
    case 2:
        return {10, 16, 2};
    case 4:
        return {14, 24, 2};
    case 5:
        return {32, 48, 4};
    default:
        return {12, 20, 2};
    }
}

QImage renderLabel(const Epl2PrintedLabel& label) {
    int right = label.width > 0 ? label.width : kHeadWidth;
    int bottom = label.length;
    for (const Epl2Field& f : label.fields) {
        const QRect r = bounds(f);
        right = std::max(right, r.x() + r.width());
        bottom = std::max(bottom, r.y() + r.height());
    }
    bottom = std::max(bottom, 1);
    QImage img(right, bottom, QImage::Format_RGB32);
    img.fill(Qt::white);

    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    for (const Epl2Field& f : label.fields)
        std::visit([&](const auto& v) { draw(p, v); }, f);
    // Fields past the form run off the label on a real printer: show where.
    if (label.width > 0 && right > label.width)
        dashedEdge(p, QLineF(label.width, 0, label.width, bottom));
    if (label.length > 0 && bottom > label.length)
        dashedEdge(p, QLineF(0, label.length, right, label.length));
    p.end();
    img.setText(QStringLiteral("Copias"), QString::number(label.copies));
    return img;
}

QVector<QImage> renderDocument(const Epl2Document& document) {
    QVector<QImage> out;
    Epl2Printer printer;
    for (const Epl2PrintedLabel& label : printer.run(document))
        out << renderLabel(label);
    return out;
}

} // namespace velmar
