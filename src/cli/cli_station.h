#pragma once
// The station context for velmar-cli: what the history and the report box
// receive goes to stdout, message boxes to stderr, answers come from stdin.

#include "station/station.h"

#include <QIODevice>

namespace velmar {

// velmar-cli's three streams: the process's stdout, stderr and stdin, or
// buffers a test puts in their place to run a call in its own process.
struct CliStreams {
    QIODevice& out;
    QIODevice& err;
    QIODevice& in;
};

class CliPrompts : public Prompts {
public:
    explicit CliPrompts(CliStreams& io)
        : io_(io) {}
    void beep() override;

protected:
    int mostrar(const QString& texto, int estilo, const QString& titulo) override;

private:
    CliStreams& io_;
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

// Whether a line of stdin answers Yes: "s", "si" or "sí" in any case, blanks
// around, a CR or a BOM of a Windows-made answer file. UTF-8, or Windows-1252
// when the line is no UTF-8 (a file saved as ANSI).
bool esRespuestaSi(const QByteArray& linea);

// One stderr line for a box: style, title and text, CR and LF escaped.
QString lineaDeCaja(const QString& texto, int estilo, const QString& titulo);

} // namespace velmar
