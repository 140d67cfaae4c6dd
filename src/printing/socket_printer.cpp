#include "printing/destinations.h"

#include "db/errors.h"

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

namespace velmar {

namespace {

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
        if (!s.waitForConnected(kTimeoutMs))
            throw PrinterError(s.errorString());
        if (s.write(label) != label.size())
            throw PrinterError(s.errorString());
        while (s.bytesToWrite() > 0)
            if (!s.waitForBytesWritten(kTimeoutMs))
                throw PrinterError(s.errorString());
        if (s.state() != QAbstractSocket::ConnectedState || s.socketDescriptor() < 0)
            throw PrinterError(QStringLiteral("la impresora cerró la conexión"));
        const int fd = int(s.socketDescriptor());
        try {
            awaitEndOfJob(fd);
        } catch (const PrinterError&) {
            // A reset, not a close: the printer is to drop what it holds.
            const linger reset{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            throw;
        }
    }

private:
    static constexpr int kTimeoutMs = 4000;

    static void awaitEndOfJob(int fd) {
        ::shutdown(fd, SHUT_WR);
        QDeadlineTimer deadline(kTimeoutMs);
        char status[512];
        for (;;) {
            if (deadline.hasExpired())
                throw PrinterError(QStringLiteral("la impresora no terminó el trabajo"));
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
        // A printer that closed before reading answers our bytes with a reset,
        // which may come just after its close.
        for (;;) {
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            if (error != 0)
                throw PrinterError(qt_error_string(error));
            tcp_info info{};
            length = sizeof info;
            if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 &&
                info.tcpi_unacked == 0)
                return;
            if (deadline.hasExpired())
                throw PrinterError(QStringLiteral("la impresora no recibió la etiqueta"));
            QThread::msleep(2);
        }
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
