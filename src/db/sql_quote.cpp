#include "db/sql_quote.h"

#include <QRegularExpression>

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

QString sqlNumber(const QString& value, bool noBackslashEscapes) {
    static const QRegularExpression plain(QStringLiteral("^ *-?[0-9]+(\\.[0-9]+)? *$"));
    if (plain.match(value).hasMatch())
        return value.trimmed();
    return QLatin1Char('\'') + sqlEscape(value, noBackslashEscapes) + QLatin1Char('\'');
}

} // namespace velmar
