#pragma once
// The station context for velmar-cli: what the history and the report box
// receive goes to stdout, message boxes to stderr, answers come from stdin.

#include "station/context.h"

#include <QTextStream>

namespace velmar {

class CliPrompts : public Prompts {
public:
    void beep() override;

protected:
    int mostrar(const QString& texto, int estilo, const QString& titulo) override;

public:
};

// Keeps exactly what the operation appended, even if the history is trimmed.
class CliHistory : public History {
public:
    const QString& agregado() const { return agregado_; }

protected:
    void onAppended(const QString& pieza) override { agregado_ += pieza; }

private:
    QString agregado_;
};

// One stderr line for a box: style, title and text, CR and LF escaped.
QString lineaDeCaja(const QString& texto, int estilo, const QString& titulo);

} // namespace velmar
