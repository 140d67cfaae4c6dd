#include "epl2/epl2_printer.h"

namespace velmar {

namespace {

int integer(const QString& text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? v : 0;
}

bool withNumber(const QString& command, QChar letter) {
    return command.size() > 1 && command[0] == letter && command[1].isDigit();
}

} // namespace

QVector<Epl2PrintedLabel> Epl2Printer::run(const Epl2Document& job) {
    QVector<Epl2PrintedLabel> printed;
    for (const Epl2Command& c : job.commands) {
        if (std::holds_alternative<Epl2Clear>(c)) {
            buffer_.clear();
        } else if (const auto* s = std::get_if<Epl2Setting>(&c)) {
            setting(s->command);
        } else if (const auto* t = std::get_if<Epl2Text>(&c)) {
            // the multipliers the printer has: 1-8 across, 1-9 down
            Epl2Text field = *t;
            field.hMult = qBound(1, field.hMult, 8);
            field.vMult = qBound(1, field.vMult, 9);
            buffer_.append(field);
        } else if (const auto* l = std::get_if<Epl2Line>(&c)) {
            buffer_.append(*l);
        } else if (const auto* p = std::get_if<Epl2Print>(&c)) {
            printed.append({width_, length_, gap_, p->copies, buffer_});
        }
    }
    return printed;
}

// Only the form's width and length change the image; speed, density,
// direction, clock formats and the rest do not.
void Epl2Printer::setting(const QString& command) {
    if (withNumber(command, QLatin1Char('q'))) {
        width_ = integer(command.mid(1));
    } else if (withNumber(command, QLatin1Char('Q'))) {
        const QStringList p = QString(command.mid(1)).remove(QLatin1Char(' ')).split(',');
        length_ = integer(p.value(0));
        gap_ = integer(p.value(1).section(QLatin1Char('+'), 0, 0));
    }
}

} // namespace velmar
