#include "labels/render/epl2_render.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QRect>

#include <algorithm>

namespace velmar {

namespace {

constexpr int kAnchoCabezal = 832; // a 4-inch head at 203 dpi

QRect caja(const Epl2Campo& c) {
    if (c.tipo != Epl2Campo::Texto)
        return QRect(c.x, c.y, std::max(0, c.largoH), std::max(0, c.grosorV));
    const Epl2Fuente f = fuenteResidente(c.fuente);
    const int ancho = int(c.texto.size()) * (f.ancho + f.espacio) * c.multH;
    return QRect(c.x, c.y, ancho, f.alto * c.multV);
}

QFont fuenteDibujo() {
    QFont f(QStringLiteral("DejaVu Sans Mono"));
    f.setStyleHint(QFont::Monospace, QFont::NoAntialias);
    f.setBold(true);
    f.setPixelSize(100);
    return f;
}

void dibujarTexto(QPainter& p, const Epl2Campo& c) {
    const Epl2Fuente f = fuenteResidente(c.fuente);
    static const QFont fuente = fuenteDibujo();
    const QFontMetricsF m(fuente);
    const qreal avance = m.horizontalAdvance(QLatin1Char('M'));
    const qreal alto = m.ascent() + m.descent();

    p.save();
    p.translate(c.x, c.y);
    p.rotate(90.0 * (c.rotacion & 3));
    const QRect todo(0, 0, caja(c).width(), f.alto * c.multV);
    const QColor tinta = c.inverso ? Qt::white : Qt::black;
    if (c.inverso)
        p.fillRect(todo, Qt::black);
    p.setFont(fuente);
    p.setPen(tinta);
    const int paso = (f.ancho + f.espacio) * c.multH;
    for (qsizetype i = 0; i < c.texto.size(); ++i) {
        const QRectF celda(qreal(i * paso), 0, f.ancho * c.multH, f.alto * c.multV);
        p.save();
        p.setClipRect(celda);
        p.translate(celda.topLeft());
        p.scale(celda.width() / avance, celda.height() / alto);
        p.drawText(QPointF(0, m.ascent()), QString(c.texto[i]));
        p.restore();
    }
    p.restore();
}

void bordePunteado(QPainter& p, QLineF linea) {
    QPen pen(QColor(160, 160, 160));
    pen.setStyle(Qt::DashLine);
    pen.setWidth(1);
    p.setPen(pen);
    p.drawLine(linea);
}

} // namespace

Epl2Fuente fuenteResidente(int fuente) {
    switch (fuente) {
    case 1:
        return {8, 12, 2};
    case 2:
        return {10, 16, 2};
    case 3:
        return {12, 20, 2};
    case 4:
        return {14, 24, 2};
    case 5:
        return {32, 48, 4};
    default:
        return {12, 20, 2};
    }
}

QImage renderizar(const Epl2Impresion& e) {
    int derecha = e.ancho > 0 ? e.ancho : kAnchoCabezal;
    int abajo = e.largo;
    for (const Epl2Campo& c : e.campos) {
        const QRect r = caja(c);
        derecha = std::max(derecha, r.x() + r.width());
        abajo = std::max(abajo, r.y() + r.height());
    }
    abajo = std::max(abajo, 1);
    QImage img(derecha, abajo, QImage::Format_RGB32);
    img.fill(Qt::white);

    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    for (const Epl2Campo& c : e.campos) {
        switch (c.tipo) {
        case Epl2Campo::Texto:
            dibujarTexto(p, c);
            break;
        case Epl2Campo::LineaNegra:
            p.fillRect(caja(c), Qt::black);
            break;
        case Epl2Campo::LineaBlanca:
            p.fillRect(caja(c), Qt::white);
            break;
        case Epl2Campo::LineaXor:
            p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            p.fillRect(caja(c), Qt::white);
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
            break;
        }
    }
    // Fields past the form run off the label on a real printer: show where.
    if (e.ancho > 0 && derecha > e.ancho)
        bordePunteado(p, QLineF(e.ancho, 0, e.ancho, abajo));
    if (e.largo > 0 && abajo > e.largo)
        bordePunteado(p, QLineF(0, e.largo, derecha, e.largo));
    p.end();
    img.setText(QStringLiteral("Copias"), QString::number(e.copias));
    return img;
}

} // namespace velmar
