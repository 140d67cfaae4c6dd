#include "labels/epl2_parser.h"

#include <QList>

#include <cctype>

namespace velmar {

namespace {

int entero(const QByteArray& texto, int defecto = 0) {
    bool ok = false;
    const int v = texto.trimmed().toInt(&ok);
    return ok ? v : defecto;
}

// The data field of an A command: quoted pieces back to back, each with \"
// and \\ escapes; anything between pieces (variables, clock fields) is skipped.
QString datos(const QByteArray& campo) {
    QByteArray out;
    qsizetype i = 0;
    while (i < campo.size()) {
        if (campo[i] != '"') {
            ++i;
            continue;
        }
        ++i;
        while (i < campo.size() && campo[i] != '"') {
            if (campo[i] == '\\' && i + 1 < campo.size())
                ++i;
            out += campo[i++];
        }
        ++i; // closing quote
    }
    return fromCp1252(out);
}

} // namespace

QVector<Epl2Impresion> Epl2Impresora::procesar(const QByteArray& trabajo) {
    QVector<Epl2Impresion> impresas;
    for (QByteArray linea : trabajo.split('\n')) {
        if (linea.endsWith('\r'))
            linea.chop(1);
        comando(linea, impresas);
    }
    return impresas;
}

void Epl2Impresora::comando(const QByteArray& linea, QVector<Epl2Impresion>& impresas) {
    if (linea.isEmpty())
        return;
    const char c = linea[0];
    const bool conNumero = linea.size() > 1 && (std::isdigit(uchar(linea[1])) != 0);
    if (linea == "N") {
        buffer_.clear();
    } else if (c == 'q' && conNumero) {
        ancho_ = entero(linea.mid(1));
    } else if (c == 'Q' && conNumero) {
        QByteArray p = linea.mid(1);
        p.replace(' ', "");
        const QList<QByteArray> partes = p.split(',');
        largo_ = entero(partes.value(0));
        separacion_ = entero(partes.value(1).split('+').value(0));
    } else if (c == 'A' && conNumero) {
        // A x,y,rotation,font,h,v,N|R,"data": the data may hold commas
        QList<QByteArray> p;
        qsizetype desde = 1;
        for (int i = 0; i < 7; ++i) {
            const qsizetype coma = linea.indexOf(',', desde);
            if (coma < 0)
                return;
            p << linea.mid(desde, coma - desde);
            desde = coma + 1;
        }
        Epl2Campo f;
        f.tipo = Epl2Campo::Texto;
        f.x = entero(p[0]);
        f.y = entero(p[1]);
        f.rotacion = entero(p[2]);
        f.fuente = entero(p[3], 1);
        f.multH = qBound(1, entero(p[4], 1), 8);
        f.multV = qBound(1, entero(p[5], 1), 9);
        f.inverso = p[6].trimmed() == "R";
        f.texto = datos(linea.mid(desde));
        buffer_.append(f);
    } else if (c == 'L' && linea.size() > 2 &&
               (linea[1] == 'O' || linea[1] == 'W' || linea[1] == 'E')) {
        const QList<QByteArray> p = linea.mid(2).split(',');
        if (p.size() < 4)
            return;
        Epl2Campo f;
        f.tipo = linea[1] == 'O'   ? Epl2Campo::LineaNegra
                 : linea[1] == 'W' ? Epl2Campo::LineaBlanca
                                   : Epl2Campo::LineaXor;
        f.x = entero(p[0]);
        f.y = entero(p[1]);
        f.largoH = entero(p[2]);
        f.grosorV = entero(p[3]);
        buffer_.append(f);
    } else if (c == 'P' && conNumero) {
        Epl2Impresion e;
        e.ancho = ancho_;
        e.largo = largo_;
        e.separacion = separacion_;
        e.copias = entero(linea.mid(1).split(',').value(0), 1);
        e.campos = buffer_;
        impresas.append(e);
    }
    // speed, density, direction, clock formats and the rest change no image
}

} // namespace velmar
