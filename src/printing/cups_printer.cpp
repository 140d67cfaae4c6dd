#include "printing/destinations.h"

#include "errors/errors.h"

#include <QDeadlineTimer>
#include <QThread>

#include <cups/cups.h>

namespace velmar {

namespace {

// A CUPS queue (the system default when `queue` is empty), sent as a raw job.
// CUPS takes a job even when the printer is off and keeps retrying it, so the
// job is followed until it completes; one that does not is cancelled, lest it
// print later on top of the operator's reprint.
class CupsPrinter : public LabelPrinter {
public:
    explicit CupsPrinter(QString queue)
        : queue_(std::move(queue)) {}

    void send(const QByteArray& label) override {
        const QByteArray wanted = queue_.toUtf8();
        cups_dest_t* dest = cupsGetNamedDest(
            CUPS_HTTP_DEFAULT, wanted.isEmpty() ? nullptr : wanted.constData(), nullptr);
        if (!dest)
            throw PrinterError(wanted.isEmpty() ? QStringLiteral("no hay impresora predeterminada")
                                                : QStringLiteral("no existe la cola ") + queue_);
        const QByteArray name(dest->name);
        cupsFreeDests(1, dest);

        const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, name.constData(), "velmar", 0, nullptr);
        if (job <= 0)
            throw PrinterError(QString::fromUtf8(cupsLastErrorString()));
        if (cupsStartDocument(CUPS_HTTP_DEFAULT, name.constData(), job, "etiqueta", CUPS_FORMAT_RAW,
                              1) != HTTP_STATUS_CONTINUE ||
            cupsWriteRequestData(CUPS_HTTP_DEFAULT, label.constData(), size_t(label.size())) !=
                HTTP_STATUS_CONTINUE) {
            const QString error = QString::fromUtf8(cupsLastErrorString());
            cupsFinishDocument(CUPS_HTTP_DEFAULT, name.constData());
            cancel(name, job);
            throw PrinterError(error);
        }
        if (cupsFinishDocument(CUPS_HTTP_DEFAULT, name.constData()) != IPP_STATUS_OK) {
            const QString error = QString::fromUtf8(cupsLastErrorString());
            cancel(name, job);
            throw PrinterError(error);
        }
        awaitJob(name, job);
    }

private:
    static constexpr int kTimeoutMs = 6000;

    static void cancel(const QByteArray& name, int job) {
        cupsCancelJob2(CUPS_HTTP_DEFAULT, name.constData(), job, 0);
    }

    static ipp_jstate_t state(const QByteArray& name, int job) {
        cups_job_t* jobs = nullptr;
        const int count =
            cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, name.constData(), 0, CUPS_WHICHJOBS_ALL);
        ipp_jstate_t st = IPP_JSTATE_ABORTED; // a job the server forgot did not print
        for (int i = 0; i < count; ++i)
            if (jobs[i].id == job)
                st = jobs[i].state;
        cupsFreeJobs(count, jobs);
        return st;
    }

    static void awaitJob(const QByteArray& name, int job) {
        QDeadlineTimer deadline(kTimeoutMs);
        for (;;) {
            const ipp_jstate_t st = state(name, job);
            if (st == IPP_JSTATE_COMPLETED)
                return;
            if (st == IPP_JSTATE_CANCELED || st == IPP_JSTATE_ABORTED)
                throw PrinterError(QStringLiteral("el trabajo de impresión no terminó"));
            if (deadline.hasExpired()) {
                cancel(name, job);
                throw PrinterError(QStringLiteral("la impresora no recibió la etiqueta"));
            }
            QThread::msleep(100);
        }
    }

    QString queue_;
};

} // namespace

std::unique_ptr<LabelPrinter> cupsPrinter(const QString& queue) {
    return std::make_unique<CupsPrinter>(queue);
}

} // namespace velmar
