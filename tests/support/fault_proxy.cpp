#include "fault_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velmar::test {

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    return a;
}

} // namespace

struct FaultProxy::Link {
    int client = -1, server = -1;
    std::thread up, down;
    bool mudo = false; // what comes is lost on the way
};

FaultProxy::FaultProxy(int upstreamPort)
    : upstream_(upstreamPort) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(0);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener_, 16);
    socklen_t l = sizeof a;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &l);
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { serve(); });
}

FaultProxy::~FaultProxy() {
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    ::close(listener_);
    {
        std::lock_guard<std::mutex> g(mutex_);
        for (Link& link : links_)
            ::shutdown(link.client, SHUT_RDWR), ::shutdown(link.server, SHUT_RDWR);
        retener_ = false;
        cambio_.notify_all();
    }
    for (Link& link : links_) {
        link.up.join();
        link.down.join();
        ::close(link.client);
        ::close(link.server);
    }
}

void FaultProxy::retener(const QByteArray& marca) {
    std::lock_guard<std::mutex> g(mutex_);
    retener_ = true;
    marca_ = marca;
}

bool FaultProxy::reteniendo() {
    std::lock_guard<std::mutex> g(mutex_);
    return retenido_;
}

void FaultProxy::soltar() {
    std::lock_guard<std::mutex> g(mutex_);
    retener_ = retenido_ = false;
    cambio_.notify_all();
}

void FaultProxy::cortarTras(const QByteArray& marca, bool mudo) {
    std::lock_guard<std::mutex> g(mutex_);
    corteTras_ = marca;
    mudoTras_ = mudo;
}

void FaultProxy::rechazar(int n) {
    std::lock_guard<std::mutex> g(mutex_);
    rechazos_ = n;
}

void FaultProxy::caer(bool caido) {
    std::lock_guard<std::mutex> g(mutex_);
    caido_ = caido;
    for (Link& link : links_)
        if (caido)
            ::shutdown(link.client, SHUT_RDWR), ::shutdown(link.server, SHUT_RDWR);
}

void FaultProxy::serve() {
    for (int client; (client = ::accept(listener_, nullptr, nullptr)) >= 0;) {
        const int server = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in a = loopback(upstream_);
        if (::connect(server, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
            ::close(client), ::close(server);
            continue;
        }
        std::lock_guard<std::mutex> g(mutex_);
        if (caido_ || (rechazos_ > 0 && rechazos_--)) {
            ::close(client), ::close(server);
            continue;
        }
        // Without it each answer's second chunk waits out the peer's delayed
        // acknowledgement (40 ms a round trip): a cost no real link has.
        for (const int s : {client, server}) {
            const int uno = 1;
            ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &uno, sizeof uno);
        }
        Link& link = links_.emplace_back();
        link.client = client, link.server = server;
        link.up = std::thread([this, &link] { pump(link, true); });
        link.down = std::thread([this, &link] { pump(link, false); });
    }
}

// The client's chunks wait while the link is silent; the server's pass.
void FaultProxy::pump(Link& link, bool toServer) {
    const int from = toServer ? link.client : link.server;
    const int to = toServer ? link.server : link.client;
    char buf[65536];
    for (ssize_t n; (n = ::read(from, buf, sizeof buf)) > 0;) {
        {
            std::unique_lock<std::mutex> l(mutex_);
            if (link.mudo)
                continue;
            if (toServer && retener_ && (marca_.isEmpty() || QByteArray(buf, n).contains(marca_))) {
                retenido_ = true;
                marca_.clear(); // everything after it waits too
                cambio_.wait(l, [&] { return !retener_; });
            }
        }
        for (ssize_t sent = 0; sent < n;) {
            const ssize_t m = ::send(to, buf + sent, size_t(n - sent), MSG_NOSIGNAL);
            if (m <= 0)
                return;
            sent += m;
        }
        std::unique_lock<std::mutex> l(mutex_);
        if (toServer && !corteTras_.isEmpty() && QByteArray(buf, n).contains(corteTras_)) {
            corteTras_.clear();
            if ((link.mudo = mudoTras_))
                continue;
            l.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ::shutdown(link.client, SHUT_RDWR), ::shutdown(link.server, SHUT_RDWR);
            return;
        }
    }
    ::shutdown(to, SHUT_WR);
}

} // namespace velmar::test
