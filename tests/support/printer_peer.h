#pragma once
// A label printer's raw port on loopback, played by plain sockets on a thread
// of its own, healthy or failing in the ways a printer on the farm's network
// fails.

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QWaitCondition>

class QProcess;

#include <atomic>
#include <thread>
#include <vector>

namespace velmar::test {

class PrinterPeer {
public:
    enum class Modo {
        Recibe,          // reads each connection to its end and closes: one job
        CierraAlAceptar, // accepts and closes at once, without reading
        NoLee,           // accepts and then neither reads nor closes
        NoAcepta,        // its queue of pending connections is full: never accepts
        Rechaza,         // nothing listens on the port: connections are refused
    };

    explicit PrinterPeer(Modo modo = Modo::Recibe);
    ~PrinterPeer();
    PrinterPeer(const PrinterPeer&) = delete;
    PrinterPeer& operator=(const PrinterPeer&) = delete;

    // Points VELMAR_IMPRESORA at it: printers made from now on reach it.
    void usar() const;
    // The first `n` jobs received in full, waiting up to `ms` for them; fewer
    // when they do not come.
    QList<QByteArray> trabajos(int n, int ms = 10000);
    QList<QByteArray> recibidos() { return trabajos(1 << 30, 0); }
    int aceptadas() const { return aceptadas_; }
    // What each connection that was never read holds now, as a printer that
    // came back to life would read it (the pending ones accepted first).
    QList<QByteArray> retenido();

private:
    void servir();

    Modo modo_;
    int escucha_ = -1;
    int relleno_ = -1; // the connection that fills a NoAcepta queue
    quint16 port_ = 0;
    std::atomic<bool> parar_{false};
    std::atomic<int> aceptadas_{0};
    QMutex mutex_;
    QWaitCondition llegada_;
    QList<QByteArray> trabajos_;
    std::vector<int> retenidas_;
    std::thread hilo_;
};

// Starts a CUPS scheduler of the caller's own in `dir`: its own ServerRoot,
// listening on a unix socket there, reached through CUPS_SERVER, with two raw
// queues to the device URIs given: "q", the default, and "abajo". Needs root
// (cupsd runs its backends as lp) and the socket backend.
bool iniciarCups(const QString& dir, QProcess& cupsd, const QString& q, const QString& abajo);

} // namespace velmar::test
