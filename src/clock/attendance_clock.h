#pragma once
// The attendance clock: a worker's card typed or scanned into Text1.

#include "journal/scan_journal.h"
#include "station/station.h"

#include <QElapsedTimer>
#include <QVariant>
#include <optional>

namespace velmar {

// A scan kept while the server was away: replayed at the server date and time
// it was kept at, instead of the person query's.
struct HoraDeMarca {
    QString fecha, hora;
};

// A scan's failure as its boxes tell it, when it is handed back instead.
struct FalloDeMarca {
    QString texto;              // the error as a box or a record says it
    bool enlacePerdido = false; // the link lost, or the connection not open
    bool incierta = false;      // a write whose outcome is not known: `aviso` is its line
    QString aviso;
    std::optional<QString> consulta; // the person query's own box, when it failed
};

// What a scan became.
struct Marcada {
    // The server's date and time the person query read (null when none was
    // trusted), with the monotonic and the wall clock at that moment.
    QString fecha, hora;
    QElapsedTimer leida;
    qint64 pared = 0;
    bool pregunto = false; // the early-exit question was asked
    // Handed back, not shown: a kept scan's failure, or with `devolverSinEnlace`
    // a lost link's (a refused schema is always shown).
    std::optional<FalloDeMarca> fallo;
};

// Enter in Text1 with `texto` typed: records the day's entry or an early exit,
// or reports what was already recorded, in one history line. A kept scan
// (`guardada`: its time) hands back every failure but a refused schema, to be
// noted by the layer that keeps scans.
Marcada asistencia(Station& st, const QString& texto, const HoraDeMarca* guardada = nullptr,
                   bool devolverSinEnlace = false);
// The boxes and the line of a failure handed back (the scan was not kept).
void fallaDeMarca(Station& st, const FalloDeMarca& f);

// Kept scans of different people sent together, in a few statements for the
// lot: the people looked up and locked at once, their days read, the entries
// of the empty days written by one insert that writes each only into an empty
// day, and the days read back as the locks are let go. Returned in order:
// each scan `hecha` with its line as asistencia says it (null when it says
// none), or not: the scan is to be sent alone through asistencia (its person
// locked by another station, an early exit to ask about, a refused schema or
// key, a failed statement; sending it again writes nothing twice). Nothing
// is written to the history. A lost link throws.
struct ResueltaEnTanda {
    bool hecha = false;
    QString linea;
};
QList<ResueltaEnTanda> asistenciaEnTanda(Station& st, const QList<MarcaGuardada>& marcas);

// Any other key in Text1: keep the history bounded and at its newest line.
void tecla_asistencia(Station& st);

// Minutes of the re-scan guard and of the early-exit window.
constexpr int kMinutosReingreso = 2;
constexpr int kMinutosSalidaTemprana = 240;

} // namespace velmar
