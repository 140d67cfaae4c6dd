#include "db/sql_quote.h"

namespace velmar {

QString sqlEscape(const QString& value, bool noBackslashEscapes) {
    QString out;
    out.reserve(value.size() + 8);
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'\'':
            out += QStringLiteral("''");
            break;
        case u'\\':
            out += noBackslashEscapes ? QStringLiteral("\\") : QStringLiteral("\\\\");
            break;
        case u'\0':
            // Without backslash escapes a NUL cannot be written inside a literal
            // (the driver ends the statement there): it is dropped.
            if (!noBackslashEscapes)
                out += QStringLiteral("\\0");
            break;
        case 0x1a: // Ctrl-Z ends a statement for some Windows clients
            out += noBackslashEscapes ? QString(c) : QStringLiteral("\\Z");
            break;
        default:
            out += c;
        }
    }
    return out;
}

namespace {

// Blanks, an optional minus, digits, optionally a point and more digits,
// blanks: a number the server reads as written. A month's report writes
// thousands of keys, so this is scanned rather than matched.
bool plainNumber(QStringView v) {
    qsizetype i = 0;
    const auto blanks = [&] {
        while (i < v.size() && v[i] == u' ')
            ++i;
    };
    const auto digits = [&] {
        const qsizetype start = i;
        while (i < v.size() && v[i] >= u'0' && v[i] <= u'9')
            ++i;
        return i > start;
    };
    blanks();
    if (i < v.size() && v[i] == u'-')
        ++i;
    if (!digits())
        return false;
    if (i < v.size() && v[i] == u'.' && (++i, !digits()))
        return false;
    blanks();
    return i == v.size();
}

} // namespace

QString sqlNumber(const QString& value, bool noBackslashEscapes) {
    if (plainNumber(value))
        return value.trimmed();
    return QLatin1Char('\'') + sqlEscape(value, noBackslashEscapes) + QLatin1Char('\'');
}

} // namespace velmar
