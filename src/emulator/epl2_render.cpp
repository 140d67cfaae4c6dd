#include "emulator/epl2_render.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QRect>

#include <algorithm>

namespace velmar {

namespace {

constexpr int kHeadWidth = 832; // a 4-inch head at 203 dpi
// The image grows past the form to show what runs off it, by the form's own
// size at most, and never past twice the head's width or 20 inches of length:
// a job's "LO30000,30000" or megabyte of text cannot exhaust memory.
constexpr int kMaxWidth = 2 * kHeadWidth;
constexpr int kMaxLength = 20 * 203;

// The far edges of a field, in 64 bits: coordinates and text are as the job
// sent them.
std::pair<qint64, qint64> farEdges(const Epl2Text& t) {
    const Epl2FontCell f = residentFont(t.font);
    return {t.x + qint64(t.text().size()) * (f.width + f.gap) * t.hMult,
            t.y + qint64(f.height) * t.vMult};
}

std::pair<qint64, qint64> farEdges(const Epl2Line& l) {
    return {l.x + qint64(std::max(0, l.width)), l.y + qint64(std::max(0, l.thickness))};
}

qint64 limit(int form, int maximum) {
    return form > 0 ? std::min<qint64>(2 * qint64(form), maximum) : maximum;
}

// The cells of a text that may fall on the image, [first, last): the text
// runs right, down, left or up from its origin as it is rotated.
std::pair<qint64, qint64> cellsOnImage(const Epl2Text& t, qint64 step, QSize image) {
    const int r = t.rotation & 3;
    const qint64 along = r % 2 == 0 ? t.x : t.y;
    const qint64 extent = r % 2 == 0 ? image.width() : image.height();
    // in the run's own direction: the origin, the image from lo to hi
    const qint64 a = r < 2 ? along : -along;
    const qint64 lo = r < 2 ? 0 : -extent;
    const qint64 n = t.text().size();
    return {std::clamp<qint64>((lo - a) / step - 1, 0, n),
            std::clamp<qint64>((lo + extent - a) / step + 1, 0, n)};
}

QFont drawingFont() {
    QFont f(QStringLiteral("DejaVu Sans Mono"));
    f.setStyleHint(QFont::Monospace, QFont::NoAntialias);
    f.setBold(true);
    f.setPixelSize(100);
    return f;
}

void draw(QPainter& p, const Epl2Text& t, QSize image) {
    const Epl2FontCell f = residentFont(t.font);
    static const QFont font = drawingFont();
    const QFontMetricsF m(font);
    const qreal advance = m.horizontalAdvance(QLatin1Char('M'));
    const qreal height = m.ascent() + m.descent();
    const QString text = t.text();
    const qint64 step = qint64(f.width + f.gap) * t.hMult;
    const auto [first, last] = cellsOnImage(t, step, image);

    p.save();
    p.translate(t.x, t.y);
    p.rotate(90.0 * (t.rotation & 3));
    if (t.reverse)
        p.fillRect(QRectF(qreal(first * step), 0, qreal((last - first) * step), f.height * t.vMult),
                   Qt::black);
    p.setFont(font);
    p.setPen(t.reverse ? Qt::white : Qt::black);
    for (qint64 i = first; i < last; ++i) {
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

void draw(QPainter& p, const Epl2Line& l, QSize image) {
    // cut to the image first: the job's numbers may run past int
    const auto [right, bottom] = farEdges(l);
    const auto cut = [](qint64 v, int size) { return int(std::clamp<qint64>(v, 0, size)); };
    const int x = cut(l.x, image.width()), y = cut(l.y, image.height());
    const QRect r(x, y, cut(right, image.width()) - x, cut(bottom, image.height()) - y);
    switch (l.ink) {
    case Epl2Line::Ink::Black:
        p.fillRect(r, Qt::black);
        break;
    case Epl2Line::Ink::White:
        p.fillRect(r, Qt::white);
        break;
    case Epl2Line::Ink::Xor:
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.fillRect(r, Qt::white);
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
    const int form = label.width > 0 ? label.width : kHeadWidth;
    qint64 right = form;
    qint64 bottom = label.length;
    for (const Epl2Field& f : label.fields) {
        const auto edges = std::visit([](const auto& v) { return farEdges(v); }, f);
        right = std::max(right, edges.first);
        bottom = std::max(bottom, edges.second);
    }
    right = std::clamp<qint64>(right, 1, limit(form, kMaxWidth));
    bottom = std::clamp<qint64>(bottom, 1, limit(label.length, kMaxLength));
    QImage img(int(right), int(bottom), QImage::Format_RGB32);
    img.fill(Qt::white);

    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    for (const Epl2Field& f : label.fields)
        std::visit([&](const auto& v) { draw(p, v, img.size()); }, f);
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
