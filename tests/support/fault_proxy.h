#pragma once
// A TCP proxy on loopback before a database server that fails as a network
// does (silent, then delivering; cut), or delays each chunk by a fixed one-way
// time (the bench). It counts statements and round trips; destroyed, it cuts.

#include <QByteArray>
#include <atomic>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>

namespace velmar::test {

class FaultProxy {
public:
    explicit FaultProxy(int upstreamPort, int oneWayMicros = 0);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    int port() const { return port_; }
    // From now on (with `marca`: from the chunk holding it) the client's bytes are held.
    void retener(const QByteArray& marca = {}) {
        std::lock_guard g(mutex_);
        retener_ = true, marca_ = marca;
    }
    bool reteniendo() {
        std::lock_guard g(mutex_);
        return retenido_;
    }
    // Delivers what was held, in order, and passes everything again.
    void soltar() {
        std::lock_guard g(mutex_);
        retener_ = retenido_ = false, cambio_.notify_all();
    }
    // A moment after the chunk holding `marca` has passed the link is cut
    // (`mudo`: stays open and passes nothing more): no answer reaches the client.
    void cortarTras(const QByteArray& marca, bool mudo = false) {
        std::lock_guard g(mutex_);
        corteTras_ = marca, mudoTras_ = mudo;
    }
    // The next `n` connections are closed as soon as they come.
    void rechazar(int n) {
        std::lock_guard g(mutex_);
        rechazos_ = n;
    }
    // Cuts every link and refuses new ones (a switch down); false: back.
    void caer(bool caido = true);
    // Client-to-server bursts that follow an answer: the round trips made.
    int roundTrips() const { return roundTrips_.load(); }
    // Statements the client sent: text queries and prepared-statement runs.
    int statements() const { return statements_.load(); }

private:
    struct Link;
    void serve();
    void pump(Link& link, bool toServer);
    void count(QByteArray& pending);

    int upstream_, delay_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<int> roundTrips_{0}, statements_{0};
    std::atomic<bool> answered_{true};
    std::thread acceptor_;
    std::mutex mutex_;
    std::condition_variable cambio_;
    bool retener_ = false;
    QByteArray marca_, corteTras_;
    bool mudoTras_ = false;
    int rechazos_ = 0;
    bool retenido_ = false;
    bool caido_ = false;
    std::list<Link> links_;
};

} // namespace velmar::test
