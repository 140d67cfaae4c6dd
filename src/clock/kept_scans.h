#pragma once
// Scans kept on the station while the database is away, when the farm turns it
// on for a station (VELMAR_DIARIO names the journal's file), and recorded when
// the server is back. A kept scan's time is the server's: the last server clock
// seen plus the station's monotonic time since, never the workstation's clock.

#include "journal/scan_journal.h"
#include "station/station.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <functional>
#include <memory>
#include <optional>

namespace velmar {

class Error;

// A scan kept while the server was away: replayed at the server date and time
// it was kept at, instead of the person query's.
struct HoraDeMarca {
    QString fecha, hora;
};

class KeptScans {
public:
    // The clock's scan, run for each kept one when it is sent (asistencia):
    // given to the journal so that the clock and the journal need not know
    // each other both ways.
    using Marcar = void (*)(Station& st, const QString& texto, const HoraDeMarca* guardada);

    // How long a sight of the server's clock serves to time a kept scan.
    static constexpr qint64 kVigenciaReloj = 12 * 3600 * 1000LL;
    // Milliseconds between the window's checks of a link known down.
    static constexpr int kLatido = 15 * 1000;

    // The journal VELMAR_DIARIO names; null when it names none (scans are then
    // never kept). A journal set aside or not opened is told in a box.
    static std::unique_ptr<KeptScans> desdeEntorno(Prompts& prompts, Marcar marcar);
    KeptScans(const QString& archivo, Prompts& prompts, Marcar marcar);

    // A statement returned the server's date and time: the pair the kept
    // scans are timed from. `msExactos`: the time has its milliseconds
    // (otherwise half a second is added for the fraction the text lost).
    void relojServidor(const QString& fecha, const QString& hora, bool msExactos = false);
    // The server's date and time now, estimated; none when no sight is young
    // enough.
    std::optional<QDateTime> horaServidor() const;

    // The clock's hooks. Before a scan: true when it was kept straight away
    // (the link is known down); the waiting scans are sent first when it is
    // not. After a scan's failure: true when it was kept instead (a lost link)
    // or, during a replay, noted for it.
    bool antesDeMarcar(Station& st, const QString& texto);
    bool alFallar(Station& st, const QString& texto, const Error& e);

    // Sends the waiting scans in order, each through the clock at its own
    // time; a row leaves the journal once the server has taken it. Stops at
    // a failure (the rest wait), or after `maximo`. Returns how many were sent.
    int enviar(Station& st, int maximo = -1);
    // The window's timer: a link known down is tried again (then up to kLote
    // waiting scans go, so the window answers between batches), and the
    // server's clock is read when its sight grows old. Returns how many went.
    int latido(Station& st);
    static constexpr int kLote = 25;

    int esperando() const;
    QList<MarcaGuardada> pendientes() const { return diario_.pendientes(); }
    bool enlaceCaido() const { return caido_; }
    const ScanJournal& diario() const { return diario_; }
    // Called with the number waiting whenever it may have changed.
    std::function<void(int)> alCambiar;

private:
    bool guardar(Station& st, const QString& texto);
    void leerReloj(Station& st);
    void avisar();

    ScanJournal diario_;
    Marcar marcar_;
    QDateTime visto_; // the server's wall clock, held as UTC (no daylight jumps)
    QElapsedTimer desde_;
    bool caido_ = false;
    bool enviando_ = false;
    std::optional<QString> fallo_; // what stopped the scan being replayed
    bool falloDeEnlace_ = false;
};

// velmar-cli's operations: the waiting scans listed in the history, and sent.
void marcaciones_guardadas(Station& st);
void enviar_marcaciones(Station& st);

} // namespace velmar
