#pragma once
// A TCP proxy on loopback that delays every chunk by a fixed one-way time, so
// the station can be measured as if its database sat across a LAN or Wi-Fi.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

class DelayProxy {
public:
    DelayProxy(int upstreamPort, int oneWayMicros);
    ~DelayProxy();
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    int port() const { return port_; }
    // Client-to-server bursts that follow an answer: the round trips made.
    int roundTrips() const { return roundTrips_.load(); }
    // Statements the client sent: text queries and prepared-statement runs.
    int statements() const { return statements_.load(); }

private:
    struct Link;
    void serve();
    void pump(Link& link, int from, int to, bool toServer);
    void countCommands(std::vector<char>& pending);

    int upstream_;
    int delay_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<int> roundTrips_{0};
    std::atomic<int> statements_{0};
    std::atomic<bool> lastWasAnswer_{true};
    std::thread acceptor_;
    std::mutex mutex_;
    std::list<Link> links_;
};
