#include "fault_proxy.h"

#include <arpa/inet.h>
#include <deque>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
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

bool sendAll(int fd, const char* p, size_t n) {
    for (ssize_t m; n > 0; p += m, n -= size_t(m))
        if ((m = ::send(fd, p, n, MSG_NOSIGNAL)) <= 0)
            return false;
    return true;
}

// One direction of a slow link: each chunk is sent once its time has come,
// so chunks keep their spacing and order. Destroyed, it sends what is queued.
struct Delayed {
    std::mutex m;
    std::condition_variable c;
    std::deque<std::pair<std::chrono::steady_clock::time_point, QByteArray>> queue; // empty: end
    std::thread sender;
    explicit Delayed(int to)
        : sender([this, to] {
            for (std::unique_lock<std::mutex> l(m);; l.lock()) {
                c.wait(l, [&] { return !queue.empty(); });
                const auto [due, bytes] = queue.front();
                queue.pop_front();
                l.unlock();
                if (bytes.isEmpty())
                    return;
                std::this_thread::sleep_until(due);
                sendAll(to, bytes.constData(), size_t(bytes.size()));
            }
        }) {}
    void put(std::chrono::microseconds delay, QByteArray chunk) {
        std::lock_guard<std::mutex> g(m);
        queue.emplace_back(std::chrono::steady_clock::now() + delay, chunk);
        c.notify_one();
    }
    ~Delayed() { put({}, {}), sender.join(); }
};

} // namespace

struct FaultProxy::Link {
    int client = -1, server = -1;
    std::thread up, down;
    bool mudo = false; // what comes is lost on the way
};

FaultProxy::FaultProxy(int upstreamPort, int oneWayMicros)
    : upstream_(upstreamPort)
    , delay_(oneWayMicros) {
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
    caer();
    soltar(); // wakes a held pump
    for (Link& link : links_) {
        link.up.join();
        link.down.join();
        ::close(link.client);
        ::close(link.server);
    }
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
        const bool conectado =
            ::connect(server, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
        std::lock_guard<std::mutex> g(mutex_);
        if (!conectado || caido_ || (rechazos_ > 0 && rechazos_--)) {
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

// Client packets: 3-byte length, sequence number, then the command byte; a
// command starts a conversation (sequence 0), login packets do not count.
void FaultProxy::count(QByteArray& pending) {
    qsizetype at = 0;
    for (qsizetype length = 0; pending.size() - at >= 4; at += 4 + length) {
        const auto* p = reinterpret_cast<const uchar*>(pending.constData() + at);
        length = p[0] | p[1] << 8 | p[2] << 16;
        if (pending.size() - at < 4 + length)
            break;
        if (length > 0 && p[3] == 0 && (p[4] == 0x03 || p[4] == 0x17)) // query, execute
            ++statements_;
    }
    pending.remove(0, at);
}

// The client's chunks wait while the link is silent; the server's pass.
void FaultProxy::pump(Link& link, bool toServer) {
    const int from = toServer ? link.client : link.server;
    const int to = toServer ? link.server : link.client;
    std::optional<Delayed> slow;
    if (delay_ > 0)
        slow.emplace(to);
    QByteArray pending; // the client's packets not yet whole
    char buf[65536];
    for (ssize_t n; (n = ::read(from, buf, sizeof buf)) > 0;) {
        if (!toServer)
            answered_ = true;
        else if (count(pending.append(buf, n)), answered_.exchange(false))
            ++roundTrips_;
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
        if (slow) {
            slow->put(std::chrono::microseconds(delay_), QByteArray(buf, n));
            continue;
        }
        if (!sendAll(to, buf, size_t(n)))
            return;
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
    slow.reset(); // what is on its way goes first
    ::shutdown(to, SHUT_WR);
}

} // namespace velmar::test
