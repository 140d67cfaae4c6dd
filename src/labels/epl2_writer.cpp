#include "labels/epl2_writer.h"

#include <QList>

namespace velmar {

namespace {

// Code points of 0x80..0x9F in Windows-1252; 0 where the code page has none.
constexpr char16_t kAltos[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char cp1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (int i = 0; i < 32; ++i)
        if (kAltos[i] != 0 && kAltos[i] == c)
            return char(0x80 + i);
    return '?';
}

} // namespace

QByteArray toCp1252(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4())
        out.append(cp1252(c));
    return out;
}

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
