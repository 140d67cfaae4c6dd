#include "kept/kept_scans.h"

#include "db/conexion.h"
#include "errors/errors.h"
#include "journal/kept_record.h"
#include "station/velmo.h"

#include <QSet>
#include <QTimeZone>
#include <algorithm>
#include <utility>

namespace velmar {

namespace {} // namespace

QList<MarcaGuardada> Reservas::tomar(const std::function<QList<MarcaGuardada>()>& leer, int maximo,
                                     const QString& cedula) {
    std::unique_lock<std::mutex> l(mutex_);
    if (!cedula.isEmpty())
        libres_.wait(l, [&] {
            return std::none_of(tomadas_.cbegin(), tomadas_.cend(),
                                [&](const QString& c) { return c == cedula; });
        });
    QList<MarcaGuardada> mias;
    QSet<QString> vistas; // a person's later rows wait for the earlier ones
    for (const MarcaGuardada& m : leer()) {
        if (mias.size() == maximo)
            break;
        const bool suya = cedula.isEmpty() ? !vistas.contains(m.cedula) : m.cedula == cedula;
        vistas.insert(m.cedula);
        if (suya && !tomadas_.contains(m.id))
            mias.append(m), tomadas_.insert(m.id, m.cedula);
    }
    return mias;
}

void Reservas::soltar(const QList<MarcaGuardada>& filas) {
    {
        std::lock_guard<std::mutex> l(mutex_);
        for (const MarcaGuardada& m : filas)
            tomadas_.remove(m.id);
    }
    libres_.notify_all();
}

std::unique_ptr<KeptScans> KeptScans::desdeEntorno(Prompts& prompts) {
    const QString archivo = qEnvironmentVariable("VELMAR_DIARIO");
    if (archivo.isEmpty())
        return nullptr;
    return std::make_unique<KeptScans>(archivo, prompts);
}

KeptScans::KeptScans(const QString& archivo, Prompts& prompts, std::shared_ptr<Reservas> reservas)
    : diario_(archivo)
    , reservas_(std::move(reservas)) {
    if (!diario_.apartado().isEmpty())
        prompts.msgbox(QStringLiteral("No se pudo leer el diario de marcaciones ") + archivo +
                           QStringLiteral("; se apartó como ") + diario_.apartado() +
                           QStringLiteral(" y se empieza uno nuevo"),
                       kExclamacion);
    else if (!diario_.error().isEmpty())
        prompts.msgbox(QStringLiteral("No se pudo abrir el diario de marcaciones ") + archivo +
                           QStringLiteral(": ") + diario_.error() +
                           QStringLiteral("; sin conexión no se guardarán marcaciones"),
                       kExclamacion);
}

KeptScans::~KeptScans() = default;

void KeptScans::segundoPlano(std::unique_ptr<Enlace> enlace) {
    enlace_ = std::move(enlace);
}

void KeptScans::cadencia(int arriba, int caido) {
    if (enlace_)
        enlace_->cadencia(arriba, caido);
}

// A round that began before this thread found the link lost does not say it
// is back.
void KeptScans::adoptar(Station& st, const RondaDeEnlace& r) {
    const bool vieja = r.visto.isValid() && caidoDesde_.isValid() &&
                       r.desde.msecsSinceReference() < caidoDesde_.msecsSinceReference();
    if (r.visto.isValid() && !vieja) {
        visto_ = r.visto, desde_ = r.desde, pared_ = r.pared;
        if (caido_ && !r.caido)
            st.db.dudar(); // the window's own link may have been cut meanwhile
        caido_ = r.caido;
    } else if (r.caido) {
        caido_ = true;
    }
    for (const QString& linea : r.lineas)
        st.history.agregar_historia(linea);
    recontar();
}

QDateTime KeptScans::vistoServidor(QElapsedTimer* desde, qint64* pared) const {
    *desde = desde_, *pared = pared_;
    return visto_;
}

void KeptScans::relojServidor(const QString& fecha, const QString& hora, bool msExactos,
                              qint64 pared, QElapsedTimer desde) {
    const QDate d = QDate::fromString(fecha, QStringLiteral("yyyy-MM-dd"));
    const QTime t = QTime::fromString(hora, msExactos ? QStringLiteral("hh:mm:ss.zzz")
                                                      : QStringLiteral("hh:mm:ss"));
    if (!d.isValid() || !t.isValid())
        return;
    visto_ = QDateTime(d, t, QTimeZone::utc()).addMSecs(msExactos ? 0 : 500);
    desde_ = desde;
    if (!desde_.isValid())
        desde_.start();
    pared_ = pared;
}

// The server's clock the scan's person query read, if it trusted one.
void KeptScans::verReloj(const Marcada& m) {
    if (!m.fecha.isNull())
        relojServidor(m.fecha, m.hora, false, m.pared, m.leida);
}

std::optional<QDateTime> KeptScans::horaServidor() const {
    if (!visto_.isValid() || desde_.elapsed() > kVigenciaReloj)
        return std::nullopt;
    // A machine that slept: its monotonic clock stood still meanwhile.
    const qint64 pared = QDateTime::currentMSecsSinceEpoch() - pared_;
    if (qAbs(pared - desde_.elapsed()) > kDesvioMaximo)
        return std::nullopt;
    return visto_.addMSecs(desde_.elapsed());
}

int KeptScans::esperando() const {
    try {
        return diario_.cuantas();
    } catch (const Error&) {
        return -1;
    }
}

int KeptScans::enEspera() {
    if (!enEspera_)
        enEspera_ = esperando();
    return *enEspera_;
}

bool KeptScans::guardar(Station& st, const QString& texto, bool trasLasSuyas) {
    const std::optional<QDateTime> ahora = horaServidor();
    if (!ahora)
        return false; // no server time to give it: the clock's own failure
    const QString cedula = limpiarCedula(texto);
    const QString hora = horaDelDia(ahora->time().msecsSinceStartOfDay() / 1000);
    try {
        diario_.guardar(cedula, ahora->date().toString(QStringLiteral("yyyy-MM-dd")), hora);
        diarioFallo_ = false;
    } catch (const Error& e) {
        // Not on the disk: not claimed kept, and said once, not at every card.
        if (!std::exchange(diarioFallo_, true)) {
            const QString aviso =
                QStringLiteral("No se pudo escribir en el diario de marcaciones: ") + e.text();
            st.history.agregar_historia(aviso);
            st.prompts.msgbox(aviso, kExclamacion);
        }
        recontar();
        return false;
    }
    st.report.hide();
    st.history.agregar_historia(
        trasLasSuyas
            ? QStringLiteral("Marcación de la cédula ") + cedula + QStringLiteral(" a las ") +
                  hora + QStringLiteral(": se registra tras sus marcaciones guardadas")
            : QStringLiteral("Marcación guardada sin conexión: cédula ") + cedula +
                  QStringLiteral(" a las ") + hora);
    st.input.vaciar();
    st.input.enfocar();
    recontar();
    return true;
}

// With the link's thread, a person with scans still waiting (or on their
// way) has this one kept behind them at its own time and sent by that thread
// at once: the window never waits on the network for them, and the day's
// rules see that person's scans in order.
bool KeptScans::antesDeMarcar(Station& st, const QString& texto) {
    if (enviando_)
        return false;
    if (enlace_ && caido_)
        enlace_->ahora(); // the link is tried again beside the kept scan
    else if (enlace_ && tieneEsperando(limpiarCedula(texto)) && guardar(st, texto, true))
        return enlace_->ahora(limpiarCedula(texto)), true;
    else if (!enlace_ && !caido_ && esperando() > 0)
        enviar(st); // the waiting scans go before this one
    return caido_ && guardar(st, texto);
}

// A journal that cannot be read hides nothing of the person: the scan goes
// live.
bool KeptScans::tieneEsperando(const QString& cedula) const {
    try {
        return diario_.cuantas(cedula) > 0;
    } catch (const Error&) {
        return false;
    }
}

void KeptScans::marcar(Station& st, const QString& texto) {
    if (antesDeMarcar(st, texto))
        return;
    const Marcada m = asistencia(st, texto, nullptr, true);
    verReloj(m);
    if (m.fallo && !alFallar(st, texto, *m.fallo))
        fallaDeMarca(st, *m.fallo);
}

// A scan's failure the clock handed back: true when it was kept instead.
bool KeptScans::alFallar(Station& st, const QString& texto, const FalloDeMarca& f) {
    if (!f.enlacePerdido)
        return false;
    caido_ = true;
    caidoDesde_.start();
    if (enlace_)
        enlace_->ahora();
    return guardar(st, texto);
}

// One waiting scan through the clock at its own time; false when it stays
// (it and the ones after it wait).
bool KeptScans::enviarUna(Station& st, Station& envio, const MarcaGuardada& m) {
    const HoraDeMarca hora{m.fecha, m.hora};
    const qsizetype antes = envio.history.texto().size(); // the replay's lines, for the record
    const Marcada r = asistencia(envio, m.cedula, &hora);
    verReloj(r);
    if (r.fallo) {
        caido_ = r.fallo->enlacePerdido;
        if (caido_)
            return false;
        st.history.agregar_historia(
            QStringLiteral("No se pudo enviar la marcación guardada de la cédula ") + m.cedula +
            QStringLiteral(" a las ") + m.hora + QStringLiteral(": ") + r.fallo->texto);
        KeptRecord(diario_).noEnviada(m, r.fallo->texto);
        return false;
    }
    caido_ = false;
    if (r.pregunto)
        st.history.agregar_historia(QStringLiteral("Marcación guardada de la cédula ") + m.cedula +
                                    QStringLiteral(" a las ") + m.hora +
                                    QStringLiteral(": salida temprana sin confirmar, "
                                                   "debe marcar de nuevo"));
    KeptRecord(diario_).enviada(m, envio.history.texto().mid(antes), r.pregunto, horaServidor());
    try {
        diario_.quitar(m.id);
    } catch (const Error&) {
        return false; // sent again later: the day's entry it made holds it
    }
    return true;
}

// A batch through the clock: the rows it resolved leave the journal together,
// the others go one at a time in their place (after the ones before them
// left). A lost link keeps them all waiting.
int KeptScans::enviarTanda(Station& envio, const QList<MarcaGuardada>& filas,
                           const std::function<void(const MarcaGuardada&)>& sola,
                           QSet<QString>& detenidas) {
    QList<std::pair<MarcaGuardada, QString>> hechas; // each with its line, for the record
    int enviadas = 0;
    const auto quitar = [&] {
        if (hechas.isEmpty())
            return;
        // One sync for the record of the lot, one for leaving the journal.
        KeptRecord(diario_).enviadas(hechas, horaServidor());
        QList<qint64> ids;
        for (const auto& h : hechas)
            ids.append(h.first.id);
        try {
            diario_.quitar(ids);
            enviadas += int(ids.size());
        } catch (const Error&) {
            // sent again later (the day's entries they made hold them), after
            // this round
            for (const auto& h : hechas)
                detenidas.insert(h.first.cedula);
        }
        hechas.clear();
    };
    try {
        const QList<ResueltaEnTanda> resueltas = asistenciaEnTanda(envio, filas);
        for (int i = 0; i < filas.size(); ++i) {
            if (resueltas[i].hecha) {
                if (!resueltas[i].linea.isNull())
                    envio.history.agregar_historia(resueltas[i].linea);
                hechas.append({filas[i], resueltas[i].linea});
            } else {
                quitar();
                sola(filas[i]);
            }
        }
    } catch (const Error&) {
        caido_ = true; // only a lost link escapes the batch
        return 0;
    }
    quitar();
    return enviadas;
}

// Rows taken from the others that send, a batch of different people's at a
// time (or a person's rows at once, one by one), so a scan on the window
// never waits for more than one batch.
int KeptScans::enviar(Station& st, int maximo, const QString& cedula) {
    if (enviando_)
        return 0;
    enviando_ = true;
    SinCajas cajas;
    ReportBox reporte;
    CardInput entrada; // the operator's half-typed card stays
    Station envio(
        StationServices(st.db, st.history, reporte, st.busy, cajas, st.printer, entrada, st.vista),
        st.sesion);
    // A person whose scan the server refused (another station holds them)
    // keeps their later ones back; the other people's go on.
    QSet<QString> detenidas;
    const auto leer = [this, &detenidas] {
        QList<MarcaGuardada> filas;
        try {
            filas = diario_.pendientes();
        } catch (const Error&) {
        }
        filas.removeIf([&](const MarcaGuardada& m) { return detenidas.contains(m.cedula); });
        return filas;
    };
    int enviadas = 0;
    bool cortado = false; // the link was lost: everything waits
    const auto sola = [&](const MarcaGuardada& m) {
        if (cortado || detenidas.contains(m.cedula))
            return;
        if (enviarUna(st, envio, m))
            ++enviadas;
        else if (!(cortado = caido_))
            detenidas.insert(m.cedula);
    };
    while (!cortado && enviadas != maximo && (enviadas == 0 || cedula.isEmpty())) {
        const int cuantas = !cedula.isEmpty() ? -1
                            : maximo < 0      ? kTanda
                                              : std::min(kTanda, maximo - enviadas);
        const QList<MarcaGuardada> filas = reservas_->tomar(leer, cuantas, cedula);
        if (filas.isEmpty())
            break;
        if (filas.size() > 1 && cedula.isEmpty()) {
            caido_ = false;
            const int n = enviarTanda(envio, filas, sola, detenidas);
            enviadas += n;
            cortado = cortado || caido_;
        } else {
            for (const MarcaGuardada& m : filas)
                sola(m);
        }
        reservas_->soltar(filas);
    }
    enviando_ = false;
    recontar();
    return enviadas;
}

void KeptScans::leerReloj(Station& st) {
    const RecordSet r =
        st.db.consulta(QStringLiteral("select date_format(now(3), '%Y-%m-%d') as fecha, "
                                      "left(date_format(now(3), '%H:%i:%s.%f'), 12) as hora"));
    relojServidor(r.text(QStringLiteral("fecha")), r.text(QStringLiteral("hora")), true);
}

bool KeptScans::sondear(Station& st) {
    try {
        st.db.comprobar();
        leerReloj(st);
        caido_ = false;
    } catch (const DbError& e) {
        caido_ = caido_ || e.linkLost();
    }
    return !caido_;
}

int KeptScans::latido(Station& st, bool sondeo) {
    if (enlace_) {
        enlace_->ahora();
        return 0;
    }
    if (enviando_)
        return 0;
    int enviadas = 0;
    if (caido_ || esperando() > 0) {
        if (sondear(st))
            enviadas = enviar(st, kLote);
    } else if (sondeo || !visto_.isValid() || desde_.elapsed() > 4 * kLatido) {
        sondear(st);
    }
    recontar();
    return enviadas;
}

void marcarTarjeta(Station& st, KeptScans* guardadas, const QString& texto) {
    if (guardadas)
        guardadas->marcar(st, texto);
    else
        asistencia(st, texto);
}

bool conDiario(Station& st, const KeptScans* k) {
    if (!k)
        st.prompts.msgbox(kSinDiarioDeMarcas, kExclamacion);
    return k != nullptr;
}

void marcaciones_guardadas(Station& st, KeptScans* k) {
    if (!conDiario(st, k))
        return;
    QList<MarcaGuardada> filas;
    try {
        filas = k->pendientes();
    } catch (const Error& e) {
        st.prompts.msgbox(textoError(e), kExclamacion);
        return;
    }
    for (const MarcaGuardada& m : filas)
        st.history.agregar_historia(QLatin1Char('\t') + m.fecha + QLatin1Char(' ') + m.hora +
                                    QLatin1Char(' ') + m.cedula);
    st.history.agregar_historia(QStringLiteral("\t* Marcaciones en espera: ") +
                                QString::number(filas.size()));
}

void enviar_marcaciones(Station& st, KeptScans* k) {
    if (!conDiario(st, k))
        return;
    const int enviadas = k->enviar(st);
    const int quedan = k->esperando();
    if (quedan > 0 && k->enlaceCaido())
        st.prompts.msgbox(QStringLiteral("Sin conexión con la base de datos: ") +
                              QString::number(quedan) +
                              QStringLiteral(" marcaciones siguen en espera"),
                          kExclamacion);
    st.history.agregar_historia(
        QStringLiteral("\t* Marcaciones enviadas: ") + QString::number(enviadas) +
        QStringLiteral("; en espera: ") +
        (quedan < 0 ? QStringLiteral("no se sabe, revise el diario") : QString::number(quedan)));
}

} // namespace velmar
