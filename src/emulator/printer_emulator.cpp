#include "emulator/printer_emulator.h"

#include "emulator/epl2_render.h"
#include "epl2/epl2_parser.h"
#include "errors/errors.h"
#include "files/file_output.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>

#include <algorithm>

namespace velmar {

namespace {

// The i-th label's PNG: the first at base.png, the others at base-N.png.
QString imageName(const QString& base, int i) {
    return i == 0 ? base + QStringLiteral(".png")
                  : base + QLatin1Char('-') + QString::number(i + 1) + QStringLiteral(".png");
}

} // namespace

void saveLabelImages(const QVector<Epl2PrintedLabel>& labels,
                     const std::function<QString(int)>& name, const EmulatorLog& log) {
    QString primerError;
    for (int i = 0; i < labels.size(); ++i) {
        const QString png = name(i);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        renderLabel(labels[i]).save(&buffer, "PNG");
        try {
            escribirArchivo(png, bytes);
        } catch (const FileError& e) {
            log.err(QStringLiteral("no se pudo escribir ") + png + QStringLiteral(": ") + e.text());
            if (primerError.isEmpty())
                primerError = e.text();
            continue;
        }
        log.out(png + QLatin1Char('\t') + QString::number(labels[i].copies) +
                QStringLiteral(" copias"));
    }
    if (!primerError.isEmpty())
        throw FileError(primerError);
}

void saveJobImages(const QVector<Epl2PrintedLabel>& labels, const QString& png,
                   const EmulatorLog& log) {
    const QString base = png.endsWith(QLatin1String(".png")) ? png.chopped(4) : png;
    const auto name = [&](int i) { return i == 0 ? png : imageName(base, i); };
    saveLabelImages(labels, name, log);
}

int renderJobFile(const QString& job, const QString& png, const EmulatorLog& log) {
    QFile f(job);
    if (!f.open(QIODevice::ReadOnly)) {
        log.err(job + QStringLiteral(": ") + f.errorString());
        return 1;
    }
    Epl2Printer printer;
    const QVector<Epl2PrintedLabel> labels = printer.run(parseEpl2(f.readAll()));
    if (labels.isEmpty()) {
        log.err(job + QStringLiteral(": el trabajo no imprime ninguna etiqueta (sin P)"));
        return 1;
    }
    try {
        saveJobImages(labels, png, log);
        return 0;
    } catch (const FileError&) {
        return 1; // each failure is in the log
    }
}

PrinterEmulator::PrinterEmulator(QString dir, EmulatorLog log)
    : dir_(std::move(dir))
    , log_(std::move(log)) {
    // numbering goes on after the jobs a run before left in the folder
    static const QRegularExpression saved(QStringLiteral("^etiqueta-(\\d+)\\.epl$"));
    for (const QString& f : QDir(dir_).entryList({QStringLiteral("etiqueta-*.epl")})) {
        const auto m = saved.match(f);
        if (m.hasMatch())
            next_ = std::max(next_, m.captured(1).toInt() + 1);
    }
    QObject::connect(&server_, &QTcpServer::newConnection, [this] { accept(); });
}

void PrinterEmulator::accept() {
    while (QTcpSocket* s = server_.nextPendingConnection()) {
        QObject::connect(s, &QTcpSocket::readyRead, [this, s] { receive(s, false); });
        QObject::connect(s, &QTcpSocket::disconnected, [this, s] {
            receive(s, true);
            save(jobs_.take(s));
            s->deleteLater();
        });
    }
}

// A printer's buffer: a sender that goes on past it is cut off, so a job
// never holds the emulator's memory.
constexpr qsizetype kJobBuffer = 8 << 20;

void PrinterEmulator::receive(QTcpSocket* s, bool final) {
    const QByteArray bytes = s->readAll();
    if (bytes.isEmpty() && !jobs_.contains(s))
        return;
    Job& job = jobs_[s];
    if (job.base.isEmpty())
        job.base = dir_ + QStringLiteral("/etiqueta-") +
                   QStringLiteral("%1").arg(next_++, 3, 10, QLatin1Char('0'));
    if (job.cut)
        return;
    job.bytes += bytes;
    if (job.bytes.size() > kJobBuffer) {
        job.cut = true;
        job.bytes.truncate(kJobBuffer);
        log_.err(job.base + QStringLiteral(": trabajo de más de 8 MiB, se corta la conexión"));
        QMetaObject::invokeMethod(s, &QAbstractSocket::abort, Qt::QueuedConnection);
    }
    // whole command lines only, unless the sender is done
    const qsizetype upTo = final ? job.bytes.size() : job.bytes.lastIndexOf('\n') + 1;
    if (upTo <= job.run)
        return;
    const QVector<Epl2PrintedLabel> printed =
        printer_.run(parseEpl2(job.bytes.mid(job.run, upTo - job.run)));
    job.run = upTo;
    const int first = job.labels;
    job.labels += int(printed.size());
    try {
        saveLabelImages(
            printed, [&](int i) { return imageName(job.base, first + i); }, log_);
    } catch (const FileError&) {
        // each failure is in the log; the printer goes on with the next job
    }
}

void PrinterEmulator::save(const Job& job) const {
    if (job.base.isEmpty())
        return;
    const QString archivo = job.base + QStringLiteral(".epl");
    try {
        escribirArchivo(archivo, job.bytes);
    } catch (const FileError& e) {
        log_.err(archivo + QStringLiteral(": ") + e.text());
        return;
    }
    log_.err(QStringLiteral("trabajo ") + archivo + QLatin1Char('\t') +
             QString::number(job.bytes.size()) + QStringLiteral(" bytes"));
}

} // namespace velmar
