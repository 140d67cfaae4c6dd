#pragma once
// What an EPL2 label printer makes of the commands it runs: the labels it
// prints, each with the fields of its image buffer and the form settings then
// in force. The printer emulator's core; no graphics.

#include "epl2/epl2_document.h"

namespace velmar {

using Epl2Field = std::variant<Epl2Text, Epl2Line>;

struct Epl2PrintedLabel {
    int width = 0;  // q, 0 when the printer was never told
    int length = 0; // Q, 0 when the printer was never told
    int gap = 0;
    int copies = 1;
    QVector<Epl2Field> fields;
};

// One printer: keeps its form settings and image buffer from job to job, as a
// real one does.
class Epl2Printer {
public:
    // Runs a job's commands; gives the labels printed (one per P).
    QVector<Epl2PrintedLabel> run(const Epl2Document& job);

private:
    void setting(const QString& command);

    int width_ = 0;
    int length_ = 0;
    int gap_ = 0;
    QVector<Epl2Field> buffer_;
};

} // namespace velmar
