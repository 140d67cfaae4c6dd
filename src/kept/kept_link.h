#pragma once
// The kept scans' own link to the server, on a thread of its own with its own
// connection and journal: it tries a link known down, reads the server's clock
// (the keep-alive) and sends the waiting scans, so the window never waits on
// the network for them. What a round found is posted back as a value.

#include "kept/kept_scans.h"

#include <QObject>
#include <QStringList>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace velmar {

class EnlaceDeGuardadas : public Enlace {
public:
    // The thread of the window's kept scans `k`, over the server and journal
    // they use: each round is taken in by `k` on `st`, on the thread that
    // makes the link, for as long as the link lives.
    EnlaceDeGuardadas(KeptScans& k, Station& st);
    ~EnlaceDeGuardadas() override;
    EnlaceDeGuardadas(const EnlaceDeGuardadas&) = delete;
    EnlaceDeGuardadas& operator=(const EnlaceDeGuardadas&) = delete;

    void ahora(const QString& cedula = {}) override;
    void cadencia(int arriba, int caido) override;

    // Seconds a statement of this link may take: a silent link is known
    // down after this, not after the station's read timeout.
    static constexpr int kPlazo = 5;

private:
    void correr();
    void ronda(KeptScans& k, Station& st);
    void publicar(RondaDeEnlace r);

    KeptScans& guardadas_;
    Station& st_;
    const QString dsn_, archivo_;
    std::shared_ptr<Reservas> reservas_;
    QObject contexto_; // the reports run while it lives
    std::mutex mutex_;
    std::condition_variable despertar_;
    bool pedida_ = true, parar_ = false, caido_ = false;
    QStringList primero_; // people whose scans go first
    int arriba_ = KeptScans::kLatido, abajo_ = 2000;
    std::thread hilo_;
};

} // namespace velmar
