#include "printing/destinations.h"

#include "errors/errors.h"

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace velmar {

namespace {

// A networked label printer's raw port: one connection per label. The printer
// is judged by what it accepted: every byte acknowledged by it, however slowly
// it reads (a busy or buffering printer). It fails when it takes no byte for
// kTimeoutMs (so the bound grows with the job), or when it resets the
// connection: an acknowledged byte is only in its network buffer, and a
// printer that closes with bytes there unread has dropped the job. So after
// the last byte the station waits for the printer's own close (it read the
// whole job), up to kCierreMs; a printer silent that long holds every byte
// and has dropped none, and is taken as printing it.
class SocketPrinter : public LabelPrinter {
public:
    SocketPrinter(QString host, quint16 port)
        : host_(std::move(host))
        , port_(port) {}
    void send(const QByteArray& label) override {
        QTcpSocket s;
        s.connectToHost(host_, port_);
        if (!s.waitForConnected(kTimeoutMs))
            throw PrinterError(s.errorString());
        const int fd = int(s.socketDescriptor());
        try {
            deliver(fd, label);
            awaitEndOfJob(fd);
        } catch (const PrinterError&) {
            // A reset, not a close: the printer is to drop the part it holds.
            const linger reset{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            throw;
        }
    }

private:
    static constexpr int kTimeoutMs = 4000;
    static constexpr int kCierreMs = 4000;

    static void errorPendiente(int fd) {
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error != 0)
            throw PrinterError(qt_error_string(error));
    }

    // Until the printer has acknowledged every byte.
    static void deliver(int fd, const QByteArray& label) {
        qsizetype enviados = 0, aceptados = 0;
        QDeadlineTimer plazo(kTimeoutMs);
        for (;;) {
            while (enviados < label.size()) {
                const ssize_t n = ::send(fd, label.constData() + enviados,
                                         size_t(label.size() - enviados), MSG_NOSIGNAL);
                if (n > 0)
                    enviados += n;
                else if (errno == EAGAIN || errno == EINTR)
                    break;
                else
                    throw PrinterError(qt_error_string(errno));
            }
            errorPendiente(fd);
            int enCola = 0; // sent or not, not yet acknowledged
            if (::ioctl(fd, SIOCOUTQ, &enCola) != 0)
                throw PrinterError(qt_error_string(errno));
            if (enviados - enCola > aceptados) {
                aceptados = enviados - enCola;
                plazo.setRemainingTime(kTimeoutMs);
            }
            if (enviados == label.size() && enCola == 0)
                return;
            if (plazo.hasExpired())
                throw PrinterError(QStringLiteral("la impresora no recibió la etiqueta"));
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, enviados < label.size() ? 10 : 2);
        }
    }

    // The printer's close, or its reset; its silence for kCierreMs once it
    // took every byte is a job it goes on printing.
    static void awaitEndOfJob(int fd) {
        ::shutdown(fd, SHUT_WR);
        QDeadlineTimer deadline(kCierreMs);
        char status[512];
        while (!deadline.hasExpired()) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, int(std::max<qint64>(1, deadline.remainingTime()))) <= 0)
                continue;
            const ssize_t n = ::recv(fd, status, sizeof status, MSG_DONTWAIT);
            if (n > 0 || (n < 0 && (errno == EINTR || errno == EAGAIN)))
                continue; // the printer's status bytes are not read
            if (n < 0)
                throw PrinterError(qt_error_string(errno));
            break;
        }
        errorPendiente(fd);
    }

    QString host_;
    quint16 port_;
};

} // namespace

std::unique_ptr<LabelPrinter> socketPrinter(const QString& hostAndPort) {
    const QUrl url(QStringLiteral("socket://") + hostAndPort);
    if (!url.isValid() || url.host().isEmpty())
        return nullptr;
    return std::make_unique<SocketPrinter>(url.host(), quint16(url.port(9100)));
}

} // namespace velmar
