#include "printer_peer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <arpa/inet.h>
#include <cerrno>
#include <cups/cups.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmar::test {

namespace {

sockaddr_in loopback(quint16 port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// Reads until the other end closes, or until nothing came for 50 ms once `ms`
// are over (0: only what the connection holds now).
QByteArray leer(int fd, int ms) {
    QByteArray out;
    QDeadlineTimer plazo(ms);
    char buf[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) {
            if (plazo.hasExpired())
                break;
            continue;
        }
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.append(buf, n);
    }
    return out;
}

} // namespace

PrinterPeer::PrinterPeer(Modo modo)
    : modo_(modo) {
    escucha_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    socklen_t largo = sizeof a;
    if (::bind(escucha_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(escucha_, reinterpret_cast<sockaddr*>(&a), &largo) != 0)
        qFatal("printer peer: bind failed");
    port_ = ntohs(a.sin_port);
    // A port bound but not listening refuses, and stays ours meanwhile.
    if (modo_ == Modo::Rechaza)
        return;
    // A backlog of 0 holds one pending connection: ours fills it.
    if (::listen(escucha_, modo_ == Modo::NoAcepta ? 0 : 16) != 0)
        qFatal("printer peer: listen failed");
    if (modo_ == Modo::NoAcepta) {
        relleno_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in b = loopback(port_);
        if (::connect(relleno_, reinterpret_cast<sockaddr*>(&b), sizeof b) != 0)
            qFatal("printer peer: cannot fill the queue");
        return;
    }
    hilo_ = std::thread([this] { servir(); });
}

PrinterPeer::~PrinterPeer() {
    parar_ = true;
    if (hilo_.joinable())
        hilo_.join();
    for (int fd : retenidas_)
        ::close(fd);
    if (relleno_ >= 0)
        ::close(relleno_);
    ::close(escucha_);
}

void PrinterPeer::usar() const {
    qputenv("VELMAR_IMPRESORA", "socket://127.0.0.1:" + QByteArray::number(port_));
}

void PrinterPeer::servir() {
    while (!parar_) {
        pollfd p{escucha_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int fd = ::accept4(escucha_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++aceptadas_;
        if (modo_ == Modo::CierraAlAceptar) {
            ::close(fd);
            continue;
        }
        QByteArray datos;
        if (modo_ == Modo::Recibe) {
            datos = leer(fd, 10000);
            ::close(fd);
        }
        QMutexLocker l(&mutex_);
        if (modo_ == Modo::NoLee)
            retenidas_.push_back(fd);
        else
            trabajos_ << datos;
        llegada_.wakeAll();
    }
}

QList<QByteArray> PrinterPeer::trabajos(int n, int ms) {
    QMutexLocker l(&mutex_);
    QDeadlineTimer plazo(ms);
    while (trabajos_.size() < n && llegada_.wait(&mutex_, plazo)) {
    }
    return trabajos_.mid(0, n);
}

QList<QByteArray> PrinterPeer::retenido() {
    QMutexLocker l(&mutex_);
    if (modo_ == Modo::NoAcepta) {
        ::fcntl(escucha_, F_SETFL, ::fcntl(escucha_, F_GETFL) | O_NONBLOCK);
        for (int fd; (fd = ::accept4(escucha_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;)
            retenidas_.push_back(fd);
    }
    QList<QByteArray> out;
    for (int fd : retenidas_)
        out << leer(fd, 0);
    return out;
}

bool iniciarCups(const QString& d, QProcess& cupsd, const QString& q, const QString& abajo) {
    // the backends run as lp and read the spool
    for (const char* sub : {"", "/spool", "/spool/tmp", "/cache", "/state"}) {
        QDir().mkpath(d + sub);
        ::chmod(qPrintable(d + sub), 0755);
    }
    const char* const conf[][2] = {
        {"/cups-files.conf", "ServerRoot $D\nRequestRoot $D/spool\nTempDir $D/spool/tmp\n"
                             "CacheDir $D/cache\nStateDir $D/state\nPrintcap $D/printcap\n"
                             "ErrorLog stderr\nAccessLog stderr\nPageLog stderr\n"},
        {"/cupsd.conf", "Listen $D/cups.sock\nLogLevel warn\nBrowsing No\n"
                        "DefaultPolicy abierta\n<Policy abierta>\n<Limit All>\n"
                        "Order deny,allow\n</Limit>\n</Policy>\n"},
        {"/printers.conf", "<DefaultPrinter q>\nDeviceURI $Q\nState Idle\nAccepting Yes\n"
                           "</DefaultPrinter>\n<Printer abajo>\nDeviceURI $A\nState Idle\n"
                           "Accepting Yes\n</Printer>\n"}};
    for (const auto& [nombre, texto] : conf) {
        QFile f(d + nombre);
        const QString t = QString(texto).replace("$D", d).replace("$Q", q).replace("$A", abajo);
        if (!f.open(QIODevice::WriteOnly) || f.write(t.toUtf8()) <= 0)
            return false;
    }
    qputenv("CUPS_SERVER", (d + "/cups.sock").toUtf8());
    qputenv("CUPS_SERVERROOT", d.toUtf8());
    cupsSetServer(nullptr); // read CUPS_SERVER again
    cupsd.setProcessChannelMode(QProcess::MergedChannels);
    cupsd.start("/usr/sbin/cupsd", {"-f", "-c", d + "/cupsd.conf", "-s", d + "/cups-files.conf"});
    // it listens before it answers: the requests wait in the socket's queue
    const auto escucha = [&] { return QFile::exists(d + "/cups.sock"); };
    return QTest::qWaitFor(escucha, 10000) && cupsd.state() == QProcess::Running;
}

} // namespace velmar::test
