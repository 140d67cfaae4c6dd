#pragma once
// The server's clock as the station last saw it, carried on the station's own
// clock since. A cluster's nodes answer in turn: one whose clock disagrees
// (another time zone, a drifted clock) would date a scan on another day, and
// no key can stop that. A statement's server time that jumps against the pair
// by more than kSalto is not recorded on. A real change of the clock (a
// daylight-saving step, a corrected server) is taken once the same jump has
// been seen on two fresh connections in a row: after each jump the caller
// drops its connection, so the next sight comes over a new one.

#include <QDateTime>
#include <optional>

namespace velmar {

struct Station;

class ServerClock {
public:
    static constexpr qint64 kSalto = 60 * 1000;
    // An older sight no longer judges (a station left idle overnight).
    static constexpr qint64 kVigencia = 6 * 3600 * 1000LL;

    enum class Lectura { Acorde, Salto, HoraNueva };
    // A statement's server date and time (its wall clock, held as UTC) seen
    // when the station's own clock read `local` ms.
    Lectura ver(const QDateTime& servidor, qint64 local);
    // The last jump seen: the server's time less the pair's, in ms.
    qint64 salto() const { return salto_; }
    // The pair's estimate of the server's time at `local`.
    QDateTime esperada(qint64 local) const { return visto_.addMSecs(local - local_); }

    // The station's own clock in ms: monotonic, and counting the time a
    // suspended machine slept.
    static qint64 ahoraLocal();

private:
    QDateTime visto_;
    qint64 local_ = 0;
    std::optional<qint64> pendiente_; // a jump refused, waiting to be seen again
    int frescas_ = 0;                 // fresh connections in a row that showed it
    qint64 salto_ = 0;
};

// The attendance clock's check of a scan's server time. False when it jumped:
// the connection is dropped (the person's lock with it), a box names the jump
// and asks to check the servers' clocks, and the history keeps a line.
bool horaAcorde(Station& st, const QString& fecha, const QString& hora, const QString& usuario);

} // namespace velmar
