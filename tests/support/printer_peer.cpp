#include "printer_peer.h"

#include <QDeadlineTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
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

void sinBloqueo(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Whatever the connection holds right now, without waiting.
QByteArray leerLoQueHay(int fd) {
    sinBloqueo(fd);
    QByteArray out;
    char buf[4096];
    for (int i = 0; i < 10000; ++i) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
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
    const int uno = 1;
    ::setsockopt(escucha_, SOL_SOCKET, SO_REUSEADDR, &uno, sizeof uno);
    sockaddr_in a = loopback(0);
    if (::bind(escucha_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        qFatal("printer peer: bind failed");
    socklen_t largo = sizeof a;
    ::getsockname(escucha_, reinterpret_cast<sockaddr*>(&a), &largo);
    port_ = ntohs(a.sin_port);
    // A backlog of 0 holds one pending connection: ours fills it.
    if (::listen(escucha_, modo_ == Modo::NoAcepta ? 0 : 16) != 0)
        qFatal("printer peer: listen failed");
    if (modo_ == Modo::NoAcepta) {
        relleno_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in b = loopback(port_);
        if (::connect(relleno_, reinterpret_cast<sockaddr*>(&b), sizeof b) != 0)
            qFatal("printer peer: cannot fill the queue");
    }
    hilo_ = std::thread([this] { servir(); });
}

PrinterPeer::~PrinterPeer() {
    parar_ = true;
    hilo_.join();
    for (int fd : retenidas_)
        ::close(fd);
    if (relleno_ >= 0)
        ::close(relleno_);
    ::close(escucha_);
}

QString PrinterPeer::destino() const {
    return QStringLiteral("socket://127.0.0.1:") + QString::number(port_);
}

QByteArray PrinterPeer::leerHastaCerrar(int fd, int ms) {
    QByteArray out;
    QDeadlineTimer plazo(ms);
    char buf[4096];
    while (!plazo.hasExpired()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.append(buf, n);
    }
    return out;
}

void PrinterPeer::servir() {
    while (!parar_) {
        if (modo_ == Modo::NoAcepta) {
            ::usleep(20000);
            continue;
        }
        pollfd p{escucha_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int fd = ::accept4(escucha_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++aceptadas_;
        switch (modo_) {
        case Modo::Recibe: {
            const QByteArray datos = leerHastaCerrar(fd, 10000);
            ::close(fd);
            QMutexLocker l(&mutex_);
            trabajos_ << datos;
            llegada_.wakeAll();
            break;
        }
        case Modo::CierraAlAceptar:
            ::close(fd);
            break;
        case Modo::NoLee: {
            QMutexLocker l(&mutex_);
            retenidas_.push_back(fd);
            break;
        }
        case Modo::NoAcepta:
            break;
        }
    }
}

QList<QByteArray> PrinterPeer::trabajos(int n, int ms) {
    QMutexLocker l(&mutex_);
    QDeadlineTimer plazo(ms);
    while (trabajos_.size() < n && llegada_.wait(&mutex_, plazo)) {
    }
    return trabajos_.mid(0, n);
}

QList<QByteArray> PrinterPeer::recibidos() {
    QMutexLocker l(&mutex_);
    return trabajos_;
}

QList<QByteArray> PrinterPeer::retenido() {
    QMutexLocker l(&mutex_);
    if (modo_ == Modo::NoAcepta) {
        sinBloqueo(escucha_);
        for (int i = 0; i < 100; ++i) {
            const int fd = ::accept4(escucha_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                break;
            retenidas_.push_back(fd);
        }
    }
    QList<QByteArray> out;
    for (int fd : retenidas_)
        out << leerLoQueHay(fd);
    return out;
}

} // namespace velmar::test
