#include "labels/printing/destinations.h"

#include "db/errors.h"

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
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw PrinterError(f.errorString());
        if (f.write(label) != label.size() || !f.flush())
            throw PrinterError(f.errorString());
    }

private:
    QString path_;
};

} // namespace

std::unique_ptr<LabelPrinter> filePrinter(const QString& path) {
    return std::make_unique<FilePrinter>(path);
}

} // namespace velmar
