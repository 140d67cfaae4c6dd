#pragma once
// An EPL2 job as a list of commands: what the label composer builds, what the
// writer turns into bytes and what the parser reads back from bytes, so that a
// label can be printed, saved, emulated or drawn from one model.

#include <QString>
#include <QStringList>
#include <QVector>

#include <variant>

namespace velmar {

// N: clears the image buffer.
struct Epl2Clear {
    bool operator==(const Epl2Clear&) const = default;
};

// A command kept as written: form and printer settings (q, Q, S, D, ZT, TT,
// TD) and the blank line that ends a job. Its exact spacing matters to the
// bytes, and none of them places anything on the label.
struct Epl2Setting {
    QString command;
    bool operator==(const Epl2Setting&) const = default;
};

// A x,y,rotation,font,h,v,N|R,"data". The data is one or more quoted pieces
// back to back, printed as one text.
struct Epl2Text {
    int x = 0;
    int y = 0;
    int rotation = 0;
    int font = 1;
    int hMult = 1;
    int vMult = 1;
    bool reverse = false;
    QStringList pieces;

    QString text() const { return pieces.join(QString()); }
    bool operator==(const Epl2Text&) const = default;
};

// LO (black), LW (white) and LE (exclusive or): a filled rectangle.
struct Epl2Line {
    enum class Ink { Black, White, Xor };
    Ink ink = Ink::Black;
    int x = 0;
    int y = 0;
    int width = 0;
    int thickness = 0;
    bool operator==(const Epl2Line&) const = default;
};

// P: prints the image buffer.
struct Epl2Print {
    int copies = 1;
    bool operator==(const Epl2Print&) const = default;
};

using Epl2Command = std::variant<Epl2Clear, Epl2Setting, Epl2Text, Epl2Line, Epl2Print>;

struct Epl2Document {
    QVector<Epl2Command> commands;
    bool operator==(const Epl2Document&) const = default;
};

} // namespace velmar
