#include "delay_proxy.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    return a;
}

void noDelay(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// One direction's chunks waiting for their time to be sent.
struct Queue {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::pair<Clock::time_point, std::vector<char>>> chunks;
    bool closed = false;
};

} // namespace

struct DelayProxy::Link {
    int client = -1;
    int server = -1;
    Queue toServer;
    Queue toClient;
    std::vector<std::thread> threads;
};

DelayProxy::DelayProxy(int upstreamPort, int oneWayMicros)
    : upstream_(upstreamPort)
    , delay_(oneWayMicros) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = loopback(0);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener_, 16);
    socklen_t l = sizeof a;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &l);
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { serve(); });
}

DelayProxy::~DelayProxy() {
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    acceptor_.join();
    std::lock_guard<std::mutex> g(mutex_);
    for (Link& link : links_) {
        ::shutdown(link.client, SHUT_RDWR);
        ::shutdown(link.server, SHUT_RDWR);
        for (Queue* q : {&link.toServer, &link.toClient}) {
            std::lock_guard<std::mutex> gq(q->mutex);
            q->closed = true;
            q->ready.notify_all();
        }
        for (std::thread& t : link.threads)
            t.join();
        ::close(link.client);
        ::close(link.server);
    }
}

void DelayProxy::serve() {
    for (;;) {
        const int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0)
            return;
        const int server = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = loopback(upstream_);
        if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(client);
            ::close(server);
            continue;
        }
        noDelay(client);
        noDelay(server);
        std::lock_guard<std::mutex> g(mutex_);
        Link& link = links_.emplace_back();
        link.client = client;
        link.server = server;
        link.threads.emplace_back([this, &link] { pump(link, link.client, link.server, true); });
        link.threads.emplace_back([this, &link] { pump(link, link.server, link.client, false); });
    }
}

// Client packets: 3-byte length, sequence number, then the command byte.
void DelayProxy::countCommands(std::vector<char>& pending) {
    constexpr unsigned char kQuery = 0x03, kExecute = 0x17;
    size_t at = 0;
    while (pending.size() - at >= 4) {
        const auto* p = reinterpret_cast<const unsigned char*>(pending.data() + at);
        const size_t length = p[0] | (p[1] << 8) | (p[2] << 16);
        if (pending.size() - at < 4 + length)
            break;
        // a command starts a conversation (sequence 0); login packets do not count
        if (length > 0 && p[3] == 0 && (p[4] == kQuery || p[4] == kExecute))
            ++statements_;
        at += 4 + length;
    }
    pending.erase(pending.begin(), pending.begin() + long(at));
}

// Reads `from` and hands each chunk to a sender that writes it to `to` once
// the delay has passed, so chunks keep their spacing and order.
void DelayProxy::pump(Link& link, int from, int to, bool toServer) {
    Queue& q = toServer ? link.toServer : link.toClient;
    std::thread sender([&q, to] {
        for (;;) {
            std::unique_lock<std::mutex> l(q.mutex);
            q.ready.wait(l, [&] { return q.closed || !q.chunks.empty(); });
            if (q.chunks.empty())
                return;
            auto [due, bytes] = std::move(q.chunks.front());
            q.chunks.pop_front();
            l.unlock();
            std::this_thread::sleep_until(due);
            for (size_t sent = 0; sent < bytes.size();) {
                const ssize_t n =
                    ::send(to, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    return;
                sent += size_t(n);
            }
        }
    });
    char buf[65536];
    std::vector<char> pending; // client packets not yet whole
    for (;;) {
        const ssize_t n = ::read(from, buf, sizeof buf);
        if (n <= 0)
            break;
        if (toServer && lastWasAnswer_.exchange(false))
            ++roundTrips_;
        if (!toServer)
            lastWasAnswer_ = true;
        if (toServer) {
            pending.insert(pending.end(), buf, buf + n);
            countCommands(pending);
        }
        std::lock_guard<std::mutex> g(q.mutex);
        q.chunks.emplace_back(Clock::now() + std::chrono::microseconds(delay_),
                              std::vector<char>(buf, buf + n));
        q.ready.notify_one();
    }
    {
        std::lock_guard<std::mutex> g(q.mutex);
        q.closed = true;
        q.ready.notify_one();
    }
    sender.join();
    ::shutdown(to, SHUT_WR);
}
