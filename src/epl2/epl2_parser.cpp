#include "epl2/epl2_parser.h"

#include "epl2/cp1252.h"

#include <QList>

#include <cctype>
#include <optional>

namespace velmar {

namespace {

int integer(const QByteArray& text, int fallback = 0) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? v : fallback;
}

bool digitAt(const QByteArray& line, qsizetype i) {
    return line.size() > i && std::isdigit(uchar(line[i])) != 0;
}

// The data field of an A command: quoted pieces back to back, each with \"
// and \\ escapes; anything between pieces (variables, clock fields) is skipped.
QStringList pieces(const QByteArray& field) {
    QStringList out;
    qsizetype i = 0;
    while (i < field.size()) {
        if (field[i] != '"') {
            ++i;
            continue;
        }
        ++i;
        QByteArray piece;
        while (i < field.size() && field[i] != '"') {
            if (field[i] == '\\' && i + 1 < field.size())
                ++i;
            piece += field[i++];
        }
        ++i; // closing quote
        out << fromCp1252(piece);
    }
    return out;
}

// A x,y,rotation,font,h,v,N|R,"data": the data may hold commas.
std::optional<Epl2Text> text(const QByteArray& line) {
    QList<QByteArray> p;
    qsizetype from = 1;
    for (int i = 0; i < 7; ++i) {
        const qsizetype comma = line.indexOf(',', from);
        if (comma < 0)
            return std::nullopt;
        p << line.mid(from, comma - from);
        from = comma + 1;
    }
    Epl2Text t;
    t.x = integer(p[0]);
    t.y = integer(p[1]);
    t.rotation = integer(p[2]);
    t.font = integer(p[3], 1);
    t.hMult = integer(p[4], 1);
    t.vMult = integer(p[5], 1);
    t.reverse = p[6].trimmed() == "R";
    t.pieces = pieces(line.mid(from));
    return t;
}

std::optional<Epl2Line> rule(const QByteArray& line) {
    const QList<QByteArray> p = line.mid(2).split(',');
    if (p.size() < 4)
        return std::nullopt;
    Epl2Line l;
    l.ink = line[1] == 'O'   ? Epl2Line::Ink::Black
            : line[1] == 'W' ? Epl2Line::Ink::White
                             : Epl2Line::Ink::Xor;
    l.x = integer(p[0]);
    l.y = integer(p[1]);
    l.width = integer(p[2]);
    l.thickness = integer(p[3]);
    return l;
}

Epl2Command command(const QByteArray& line) {
    if (line == "N")
        return Epl2Clear{};
    if (line.startsWith('A') && digitAt(line, 1)) {
        if (const auto t = text(line))
            return *t;
    } else if (line.size() > 2 && line[0] == 'L' &&
               (line[1] == 'O' || line[1] == 'W' || line[1] == 'E')) {
        if (const auto l = rule(line))
            return *l;
    } else if (line.startsWith('P') && digitAt(line, 1)) {
        return Epl2Print{integer(line.mid(1).split(',').value(0), 1)};
    }
    return Epl2Setting{fromCp1252(line)};
}

} // namespace

Epl2Document parseEpl2(const QByteArray& bytes) {
    Epl2Document doc;
    QList<QByteArray> lines = bytes.split('\n');
    // what follows the last line end is a command only when something is there
    if (lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        doc.commands.append(command(line));
    }
    return doc;
}

} // namespace velmar
