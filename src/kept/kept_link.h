#pragma once
// The kept scans' own link to the server, on a thread of its own with its own
// connection and journal: it tries a link known down, reads the server's clock
// (the keep-alive) and sends the waiting scans, so the window never waits on
// the network for them. What a round found is posted back as a value.

#include "kept/kept_scans.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace velmar {

// What a round (or one batch of it) found.
struct RondaDeEnlace {
    bool caido = false;
    QDateTime visto;     // the server's clock as UTC; invalid when not read
    QElapsedTimer desde; // when it was read
    qint64 pared = 0;    // the wall clock then
    QStringList lineas;  // the history lines of the scans sent
    bool ultima = true;  // the round's last report
};

class EnlaceDeGuardadas {
public:
    using Aviso = std::function<void(const RondaDeEnlace&)>;
    // `aviso` runs on the thread of `contexto`, for as long as it lives.
    EnlaceDeGuardadas(QString dsn, QString archivo, std::shared_ptr<Reservas> reservas,
                      QObject* contexto, Aviso aviso);
    ~EnlaceDeGuardadas();
    EnlaceDeGuardadas(const EnlaceDeGuardadas&) = delete;
    EnlaceDeGuardadas& operator=(const EnlaceDeGuardadas&) = delete;

    // A round as soon as the thread is free (a scan kept, the window's beat);
    // with `cedula`, that person's waiting scans go before the others.
    void ahora(const QString& cedula = {});
    // Milliseconds between rounds with the link up, and with it known down.
    void cadencia(int arriba, int caido);

    // Seconds a statement of this link may take: a silent link is known
    // down after this, not after the station's read timeout.
    static constexpr int kPlazo = 5;

private:
    void correr();
    void ronda(KeptScans& k, Station& st);
    void publicar(RondaDeEnlace r);

    const QString dsn_, archivo_;
    std::shared_ptr<Reservas> reservas_;
    QObject* contexto_;
    Aviso aviso_;
    std::mutex mutex_;
    std::condition_variable despertar_;
    bool pedida_ = true, parar_ = false, caido_ = false;
    QStringList primero_; // people whose scans go first
    int arriba_ = KeptScans::kLatido, abajo_ = 2000;
    std::thread hilo_;
};

} // namespace velmar
