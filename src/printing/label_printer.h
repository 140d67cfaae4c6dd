#pragma once
// Where the station's labels go: the printer interface the station holds, and
// the one registry that turns a destination's text into a printer.

#include <QByteArray>
#include <QString>

#include <memory>

namespace velmar {

// Where a finished label goes. Throws PrinterError when it cannot be delivered.
class LabelPrinter {
public:
    virtual ~LabelPrinter() = default;
    virtual void send(const QByteArray& label) = 0;
};

// The printer a destination names: "socket://HOST[:PORT]", "file:PATH",
// "cups:QUEUE", or empty for the system's default CUPS printer. Each label goes
// as one raw job; an unreachable destination, or one no scheme matches, throws
// PrinterError from send() within a few seconds.
std::unique_ptr<LabelPrinter> labelPrinterFor(const QString& destination);

// The printer VELMAR_IMPRESORA names (see labelPrinterFor).
std::unique_ptr<LabelPrinter> defaultLabelPrinter();

} // namespace velmar
