#pragma once
// A TCP proxy on loopback in front of a database server that fails as a
// network does: the link goes silent (what the client sends is held, then
// delivered) or is cut. Destroyed, it cuts every link.

#include <QByteArray>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>

namespace velmar::test {

class FaultProxy {
public:
    explicit FaultProxy(int upstreamPort);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    int port() const { return port_; }
    // From now on the client's bytes are held; with `marca`, only from the
    // chunk that holds it (a statement on its way).
    void retener(const QByteArray& marca = {});
    bool reteniendo();
    // Delivers what was held, in order, and passes everything again.
    void soltar();
    // Cuts the link a moment after the chunk holding `marca` has passed: the
    // server got the statement, the client never gets its answer. `mudo`:
    // the link stays open and goes silent instead (nothing more passes).
    void cortarTras(const QByteArray& marca, bool mudo = false);
    // The next `n` connections are closed as soon as they come.
    void rechazar(int n);
    // Cuts every link and refuses new ones (a switch down); false: back.
    void caer(bool caido = true);

private:
    struct Link;
    void serve();
    void pump(Link& link, bool toServer);

    int upstream_;
    int listener_ = -1;
    int port_ = 0;
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
