#include "labels/label_printer.h"

#include "context/errors.h"

#include <QFile>

namespace velmar {

namespace {

// Writes each label to a file or device node, overwriting it.
class FilePrinter : public LabelPrinter {
public:
    explicit FilePrinter(QString path)
        : path_(std::move(path)) {}
    void send(const QByteArray& label) override {
        QFile f(path_);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(label) != label.size())
            throw PrinterError(f.errorString());
    }

private:
    QString path_;
};

class NoPrinter : public LabelPrinter {
public:
    void send(const QByteArray&) override {
        throw PrinterError(QStringLiteral("no label printer configured"));
    }
};

} // namespace

std::unique_ptr<LabelPrinter> impresoraPorDefecto() {
    const QString destino = qEnvironmentVariable("VELMAR_IMPRESORA");
    if (destino.startsWith(QLatin1String("file:")))
        return std::make_unique<FilePrinter>(destino.mid(5));
    return std::make_unique<NoPrinter>();
}

} // namespace velmar
