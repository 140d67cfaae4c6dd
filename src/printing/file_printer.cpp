#include "printing/destinations.h"

#include "errors/errors.h"
#include "files/file_output.h"

namespace velmar {

namespace {

// Writes each label to a file or device node, overwriting it.
class FilePrinter : public LabelPrinter {
public:
    explicit FilePrinter(QString path)
        : path_(std::move(path)) {}
    void send(const QByteArray& label) override {
        try {
            escribirEn(path_, label);
        } catch (const FileError& e) {
            throw PrinterError(e.text());
        }
    }

private:
    QString path_;
};

} // namespace

std::unique_ptr<LabelPrinter> filePrinter(const QString& path) {
    return std::make_unique<FilePrinter>(path);
}

} // namespace velmar
