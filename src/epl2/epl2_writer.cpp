#include "epl2/epl2_writer.h"

#include "epl2/cp1252.h"

namespace velmar {

namespace {

QString n(int v) {
    return QString::number(v);
}

QString commandLine(const Epl2Command& command) {
    struct Line {
        QString operator()(const Epl2Clear&) const { return QStringLiteral("N"); }
        QString operator()(const Epl2Setting& s) const { return s.command; }
        QString operator()(const Epl2Text& t) const {
            QString out = QLatin1Char('A') + n(t.x) + QLatin1Char(',') + n(t.y) + QLatin1Char(',') +
                          n(t.rotation) + QLatin1Char(',') + n(t.font) + QLatin1Char(',') +
                          n(t.hMult) + QLatin1Char(',') + n(t.vMult) +
                          (t.reverse ? QStringLiteral(",R,") : QStringLiteral(",N,"));
            for (const QString& piece : t.pieces)
                out += quotedPiece(piece);
            return out;
        }
        QString operator()(const Epl2Line& l) const {
            const char* kind = l.ink == Epl2Line::Ink::Black   ? "LO"
                               : l.ink == Epl2Line::Ink::White ? "LW"
                                                               : "LE";
            return QLatin1String(kind) + n(l.x) + QLatin1Char(',') + n(l.y) + QLatin1Char(',') +
                   n(l.width) + QLatin1Char(',') + n(l.thickness);
        }
        QString operator()(const Epl2Print& p) const { return QLatin1Char('P') + n(p.copies); }
    };
    return std::visit(Line{}, command);
}

} // namespace

QString quotedPiece(const QString& value) {
    QString out;
    out.reserve(value.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : value) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            out += QLatin1Char(' ');
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    out += QLatin1Char('"');
    return out;
}

QByteArray writeEpl2(const Epl2Document& document) {
    QByteArray out;
    for (const Epl2Command& c : document.commands) {
        out += toCp1252(commandLine(c));
        out += "\r\n";
    }
    return out;
}

} // namespace velmar
