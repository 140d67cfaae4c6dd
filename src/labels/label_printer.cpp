#include "labels/label_printer.h"

#include "db/errors.h"
#include "station/file_output.h"

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cups/cups.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

namespace velmar {

namespace {

// Writes each label to a file or device node, overwriting it.
class FilePrinter : public LabelPrinter {
public:
    explicit FilePrinter(QString path)
        : path_(std::move(path)) {}
    void send(const QByteArray& label) override {
        if (const QString error = escribirEn(path_, label); !error.isEmpty())
            throw PrinterError(error);
    }

private:
    QString path_;
};

// A networked label printer's raw port: one connection per label. The label
// counts as delivered only once the printer has closed its end after ours and
// acknowledged every byte, as raw-port printers do at the end of a job. The
// bytes alone fit in the socket buffers, so without that a printer that drops
// the connection, or holds it and never reads, would pass for printed.
class SocketPrinter : public LabelPrinter {
public:
    SocketPrinter(QString host, quint16 port)
        : host_(std::move(host))
        , port_(port) {}
    void send(const QByteArray& label) override {
        QTcpSocket s;
        s.connectToHost(host_, port_);
        if (!s.waitForConnected(kEsperaMs))
            throw PrinterError(s.errorString());
        if (s.write(label) != label.size())
            throw PrinterError(s.errorString());
        while (s.bytesToWrite() > 0)
            if (!s.waitForBytesWritten(kEsperaMs))
                throw PrinterError(s.errorString());
        if (s.state() != QAbstractSocket::ConnectedState || s.socketDescriptor() < 0)
            throw PrinterError(QStringLiteral("la impresora cerró la conexión"));
        const int fd = int(s.socketDescriptor());
        try {
            esperarFinDeTrabajo(fd);
        } catch (const PrinterError&) {
            // A reset, not a close: the printer is to drop what it holds.
            const linger abortar{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortar, sizeof abortar);
            throw;
        }
    }

private:
    static constexpr int kEsperaMs = 4000;

    static void esperarFinDeTrabajo(int fd) {
        ::shutdown(fd, SHUT_WR);
        QDeadlineTimer plazo(kEsperaMs);
        char estado[512];
        for (;;) {
            if (plazo.hasExpired())
                throw PrinterError(QStringLiteral("la impresora no terminó el trabajo"));
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, int(std::max<qint64>(1, plazo.remainingTime()))) <= 0)
                continue;
            const ssize_t n = ::recv(fd, estado, sizeof estado, MSG_DONTWAIT);
            if (n > 0 || (n < 0 && (errno == EINTR || errno == EAGAIN)))
                continue; // the printer's status bytes are not read
            if (n < 0)
                throw PrinterError(qt_error_string(errno));
            break;
        }
        // A printer that closed before reading answers our bytes with a reset,
        // which may come just after its close.
        for (;;) {
            int error = 0;
            socklen_t largo = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &largo);
            if (error != 0)
                throw PrinterError(qt_error_string(error));
            tcp_info info{};
            largo = sizeof info;
            if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &largo) == 0 &&
                info.tcpi_unacked == 0)
                return;
            if (plazo.hasExpired())
                throw PrinterError(QStringLiteral("la impresora no recibió la etiqueta"));
            QThread::msleep(2);
        }
    }

    QString host_;
    quint16 port_;
};

// A CUPS queue (the system default when `queue` is empty), sent as a raw job.
// CUPS takes a job even when the printer is off and keeps retrying it, so the
// job is followed until it completes; one that does not is cancelled, lest it
// print later on top of the operator's reprint.
class CupsPrinter : public LabelPrinter {
public:
    explicit CupsPrinter(QString queue)
        : queue_(std::move(queue)) {}

    void send(const QByteArray& label) override {
        const QByteArray pedido = queue_.toUtf8();
        cups_dest_t* dest = cupsGetNamedDest(
            CUPS_HTTP_DEFAULT, pedido.isEmpty() ? nullptr : pedido.constData(), nullptr);
        if (!dest)
            throw PrinterError(pedido.isEmpty() ? QStringLiteral("no hay impresora predeterminada")
                                                : QStringLiteral("no existe la cola ") + queue_);
        const QByteArray nombre(dest->name);
        cupsFreeDests(1, dest);

        const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, nombre.constData(), "velmar", 0, nullptr);
        if (job <= 0)
            throw PrinterError(QString::fromUtf8(cupsLastErrorString()));
        if (cupsStartDocument(CUPS_HTTP_DEFAULT, nombre.constData(), job, "etiqueta",
                              CUPS_FORMAT_RAW, 1) != HTTP_STATUS_CONTINUE ||
            cupsWriteRequestData(CUPS_HTTP_DEFAULT, label.constData(), size_t(label.size())) !=
                HTTP_STATUS_CONTINUE) {
            const QString error = QString::fromUtf8(cupsLastErrorString());
            cupsFinishDocument(CUPS_HTTP_DEFAULT, nombre.constData());
            cancelar(nombre, job);
            throw PrinterError(error);
        }
        if (cupsFinishDocument(CUPS_HTTP_DEFAULT, nombre.constData()) != IPP_STATUS_OK) {
            const QString error = QString::fromUtf8(cupsLastErrorString());
            cancelar(nombre, job);
            throw PrinterError(error);
        }
        esperar(nombre, job);
    }

private:
    static constexpr int kEsperaMs = 6000;

    static void cancelar(const QByteArray& nombre, int job) {
        cupsCancelJob2(CUPS_HTTP_DEFAULT, nombre.constData(), job, 0);
    }

    static ipp_jstate_t estado(const QByteArray& nombre, int job) {
        cups_job_t* jobs = nullptr;
        const int cuantos =
            cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nombre.constData(), 0, CUPS_WHICHJOBS_ALL);
        ipp_jstate_t e = IPP_JSTATE_ABORTED; // a job the server forgot did not print
        for (int i = 0; i < cuantos; ++i)
            if (jobs[i].id == job)
                e = jobs[i].state;
        cupsFreeJobs(cuantos, jobs);
        return e;
    }

    static void esperar(const QByteArray& nombre, int job) {
        QDeadlineTimer plazo(kEsperaMs);
        for (;;) {
            const ipp_jstate_t e = estado(nombre, job);
            if (e == IPP_JSTATE_COMPLETED)
                return;
            if (e == IPP_JSTATE_CANCELED || e == IPP_JSTATE_ABORTED)
                throw PrinterError(QStringLiteral("el trabajo de impresión no terminó"));
            if (plazo.hasExpired()) {
                cancelar(nombre, job);
                throw PrinterError(QStringLiteral("la impresora no recibió la etiqueta"));
            }
            QThread::msleep(100);
        }
    }

    QString queue_;
};

class NoPrinter : public LabelPrinter {
public:
    explicit NoPrinter(QString motivo)
        : motivo_(std::move(motivo)) {}
    void send(const QByteArray&) override { throw PrinterError(motivo_); }

private:
    QString motivo_;
};

} // namespace

std::unique_ptr<LabelPrinter> impresoraPorDefecto() {
    const QString destino = qEnvironmentVariable("VELMAR_IMPRESORA");
    if (destino.isEmpty())
        return std::make_unique<CupsPrinter>(QString());
    if (destino.startsWith(QLatin1String("file:")))
        return std::make_unique<FilePrinter>(destino.mid(5));
    if (destino.startsWith(QLatin1String("cups:")))
        return std::make_unique<CupsPrinter>(destino.mid(5));
    if (destino.startsWith(QLatin1String("socket://"))) {
        const QUrl url(destino);
        if (url.isValid() && !url.host().isEmpty())
            return std::make_unique<SocketPrinter>(url.host(), quint16(url.port(9100)));
    }
    return std::make_unique<NoPrinter>(QStringLiteral("destino de impresora no válido: ") +
                                       destino);
}

} // namespace velmar
