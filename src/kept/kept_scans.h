#pragma once
// Scans kept on the station while the database is away, when the farm turns it
// on for a station (VELMAR_DIARIO names the journal's file), and recorded when
// the server is back. A kept scan's time is the server's: the last server clock
// seen plus the station's monotonic time since, never the workstation's clock.

#include "clock/attendance_clock.h"
#include "journal/scan_journal.h"
#include "station/station.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace velmar {

class Error;

// The journal's rows on their way, whichever sender has them (the link's
// thread, velmar-cli's operation): a row taken by one is never sent by
// another, so a person's scans reach the server in order.
class Reservas {
public:
    // The rows `leer` gives (read while no one else takes or leaves any) that
    // nobody has taken, taken: the first `maximo` of as many people, each
    // their earliest (none of a person with a row on its way), or with
    // `cedula` all of that person's, once none of them is on its way.
    QList<MarcaGuardada> tomar(const std::function<QList<MarcaGuardada>()>& leer, int maximo,
                               const QString& cedula);
    void soltar(const QList<MarcaGuardada>& filas);

private:
    std::mutex mutex_;
    std::condition_variable libres_;
    QHash<qint64, QString> tomadas_; // id -> cedula
};

// What a round of the kept scans' link (or one batch of it) found, posted
// back to the window as a value.
struct RondaDeEnlace {
    bool caido = false;
    QDateTime visto;     // the server's clock as UTC; invalid when not read
    QElapsedTimer desde; // when it was read
    qint64 pared = 0;    // the wall clock then
    QStringList lineas;  // the history lines of the scans sent
    bool ultima = true;  // the round's last report
};

// The link's thread (kept_link.h) as the kept scans wake it.
class Enlace {
public:
    virtual ~Enlace() = default;
    // A round as soon as the thread is free (a scan kept, the window's beat);
    // with `cedula`, that person's waiting scans go before the others.
    virtual void ahora(const QString& cedula = {}) = 0;
    // Milliseconds between rounds with the link up, and with it known down.
    virtual void cadencia(int arriba, int caido) = 0;
};

class KeptScans {
public:
    // How long a sight of the server's clock serves to time a kept scan.
    static constexpr qint64 kVigenciaReloj = 12 * 3600 * 1000LL;
    // Milliseconds between the window's checks of a link known down.
    static constexpr int kLatido = 15 * 1000;

    // The journal VELMAR_DIARIO names; null when it names none (scans are then
    // never kept). A journal set aside or not opened is told in a box.
    static std::unique_ptr<KeptScans> desdeEntorno(Prompts& prompts);
    KeptScans(const QString& archivo, Prompts& prompts,
              std::shared_ptr<Reservas> reservas = std::make_shared<Reservas>());
    ~KeptScans();

    // From now on `enlace` tries the link, reads the server's clock and sends
    // the waiting scans on a thread of its own (kept_link.h), its rounds
    // taken in by adoptar. A scan is then kept at once while the link is
    // known down, and otherwise recorded live at its own time.
    void segundoPlano(std::unique_ptr<Enlace> enlace);
    // A round of that thread, told on `st` (the window's).
    void adoptar(Station& st, const RondaDeEnlace& r);
    // Milliseconds between that thread's rounds, link up and link down.
    void cadencia(int arriba, int caido);

    // A statement returned the server's date and time: the pair the kept
    // scans are timed from. `msExactos`: the time has its milliseconds
    // (otherwise half a second is added for the fraction the text lost).
    // `pared`: the workstation's wall clock at that moment (ms since the
    // epoch), to tell a station that slept since; `desde`, the monotonic
    // clock started then (not started: now).
    void relojServidor(const QString& fecha, const QString& hora, bool msExactos = false,
                       qint64 pared = QDateTime::currentMSecsSinceEpoch(),
                       QElapsedTimer desde = {});
    // The server's date and time now, estimated; none when no sight is young
    // enough.
    std::optional<QDateTime> horaServidor() const;
    // The last sight of the server's clock (UTC) and when it was had.
    QDateTime vistoServidor(QElapsedTimer* desde, qint64* pared) const;
    // The link tried and the server's clock read; false when it is down.
    bool sondear(Station& st);
    // How far the wall clock and the monotonic clock may drift apart since
    // the last sight before the station is taken to have slept.
    static constexpr qint64 kDesvioMaximo = 60 * 1000;

    // A card scanned (Text1's Enter): kept straight away while the link is
    // known down, or with the link's thread behind the person's own waiting
    // scans; otherwise through the clock (without that thread the waiting
    // scans go first), and kept when the clock hands back a lost link. Not
    // kept, the clock's own boxes.
    void marcar(Station& st, const QString& texto);

    // Sends the waiting scans in order (only those of `cedula` when given),
    // each through the clock at its own time, up to kTanda people's at once
    // (asistenciaEnTanda); a row leaves the journal once the server has
    // taken it. A person's refused scan keeps that person's later ones
    // waiting; a lost link, all of them. Stops after `maximo`. Returns how
    // many were sent.
    int enviar(Station& st, int maximo = -1, const QString& cedula = {});
    // A beat: a link known down is tried again (then up to kLote waiting
    // scans go), and the server's clock is read when its sight grows old or
    // `sondear` asks. With segundoPlano, the thread's round is asked for
    // instead. Returns how many went.
    int latido(Station& st, bool sondear = false);
    static constexpr int kLote = 50;
    // Scans sent together, each of another person.
    static constexpr int kTanda = 50;

    // How many wait; -1 when the journal cannot be read (not known).
    int esperando() const;
    QList<MarcaGuardada> pendientes() const { return diario_.pendientes(); }
    bool enlaceCaido() const { return caido_; }
    const ScanJournal& diario() const { return diario_; }
    const std::shared_ptr<Reservas>& reservas() const { return reservas_; }
    // How many wait, as the window shows it: counted again (esperando) only
    // after a scan kept, a send, a beat or a round of the link's thread may
    // have changed it. All of those run on the window's thread, which reads it.
    int enEspera();

private:
    bool antesDeMarcar(Station& st, const QString& texto);
    bool alFallar(Station& st, const QString& texto, const FalloDeMarca& f);
    void verReloj(const Marcada& m);
    bool guardar(Station& st, const QString& texto, bool trasLasSuyas = false);
    bool tieneEsperando(const QString& cedula) const;
    void recontar() { enEspera_.reset(); }
    bool enviarUna(Station& st, Station& envio, const MarcaGuardada& m);
    int enviarTanda(Station& envio, const QList<MarcaGuardada>& filas,
                    const std::function<void(const MarcaGuardada&)>& sola,
                    QSet<QString>& detenidas);
    void leerReloj(Station& st);

    ScanJournal diario_;
    QDateTime visto_; // the server's wall clock, held as UTC (no daylight jumps)
    QElapsedTimer desde_;
    qint64 pared_ = 0; // the wall clock at that sight
    bool caido_ = false;
    bool diarioFallo_ = false; // told once until a write succeeds
    bool enviando_ = false;
    std::optional<int> enEspera_; // null: to be counted again
    std::shared_ptr<Reservas> reservas_;
    QElapsedTimer caidoDesde_; // when this thread found the link lost
    std::unique_ptr<Enlace> enlace_;
};

// A replayed scan's boxes are not shown (the line keeps moving): the history
// says what happened. An early exit is never recorded unasked: the question
// is not answered Yes, and the clock says it was asked.
class SinCajas : public Prompts {
public:
    void beep() override {}

protected:
    int mostrar(const QString&, int, const QString&) override { return kOk; }
};

inline const QString kSinDiarioDeMarcas =
    QStringLiteral("No hay diario de marcaciones: VELMAR_DIARIO no nombra ninguno");

// False, and a box, when the farm turned no kept scans on (`k` null).
bool conDiario(Station& st, const KeptScans* k);

// The card box's Enter: through `guardadas` when the farm turned them on
// (not null), or straight to the clock.
void marcarTarjeta(Station& st, KeptScans* guardadas, const QString& texto);

// velmar-cli's operations: the waiting scans listed in the history, and sent.
void marcaciones_guardadas(Station& st, KeptScans* k);
void enviar_marcaciones(Station& st, KeptScans* k);

} // namespace velmar
