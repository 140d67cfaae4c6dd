#include "epl2/cp1252.h"

#include <QList>

namespace velmar {

namespace {

// Code points of 0x80..0x9F; 0 where the code page has none.
constexpr char16_t kAltos[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char byteDe(char32_t c) {
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
    for (const char32_t c : text.normalized(QString::NormalizationForm_C).toUcs4())
        out.append(byteDe(c));
    return out;
}

QString fromCp1252(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (const char b : bytes) {
        const uchar c = uchar(b);
        if (c < 0x80 || c >= 0xA0)
            out += QChar(c);
        else
            out += kAltos[c - 0x80] ? QChar(kAltos[c - 0x80]) : QChar(0xFFFD);
    }
    return out;
}

} // namespace velmar
