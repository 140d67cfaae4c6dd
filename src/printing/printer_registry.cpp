#include "printing/destinations.h"

#include "errors/errors.h"

namespace velmar {

namespace {

struct Destination {
    QLatin1String scheme;
    std::unique_ptr<LabelPrinter> (*open)(const QString& rest);
};

const Destination kDestinations[] = {
    {QLatin1String("file:"), filePrinter},
    {QLatin1String("cups:"), cupsPrinter},
    {QLatin1String("socket://"), socketPrinter},
};

// A destination no unit takes: each label fails with the reason.
class NoPrinter : public LabelPrinter {
public:
    explicit NoPrinter(QString reason)
        : reason_(std::move(reason)) {}
    void send(const QByteArray&) override { throw PrinterError(reason_); }

private:
    QString reason_;
};

} // namespace

std::unique_ptr<LabelPrinter> labelPrinterFor(const QString& destination) {
    if (destination.isEmpty())
        return cupsPrinter(QString());
    for (const Destination& d : kDestinations)
        if (destination.startsWith(d.scheme))
            if (std::unique_ptr<LabelPrinter> p = d.open(destination.mid(d.scheme.size())))
                return p;
    return std::make_unique<NoPrinter>(QStringLiteral("destino de impresora no válido: ") +
                                       destination);
}

std::unique_ptr<LabelPrinter> defaultLabelPrinter() {
    return labelPrinterFor(qEnvironmentVariable("VELMAR_IMPRESORA"));
}

} // namespace velmar
