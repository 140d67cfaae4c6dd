#include "kept/kept_link.h"

#include "db/conexion.h"
#include "errors/errors.h"

#include <QMetaObject>

namespace velmar {

namespace {

class SinImpresora : public LabelPrinter {
public:
    void send(const QByteArray&) override {}
};

} // namespace

EnlaceDeGuardadas::EnlaceDeGuardadas(KeptScans& k, Station& st)
    : guardadas_(k)
    , st_(st)
    , dsn_(st.db.dsn())
    , archivo_(k.diario().archivo())
    , reservas_(k.reservas())
    , hilo_([this] { correr(); }) {}

EnlaceDeGuardadas::~EnlaceDeGuardadas() {
    {
        std::lock_guard<std::mutex> l(mutex_);
        parar_ = true;
    }
    despertar_.notify_all();
    hilo_.join();
}

void EnlaceDeGuardadas::ahora(const QString& cedula) {
    {
        std::lock_guard<std::mutex> l(mutex_);
        pedida_ = true;
        if (!cedula.isEmpty() && !primero_.contains(cedula))
            primero_.append(cedula);
    }
    despertar_.notify_all();
}

void EnlaceDeGuardadas::cadencia(int arriba, int caido) {
    {
        std::lock_guard<std::mutex> l(mutex_);
        arriba_ = arriba, abajo_ = caido;
    }
    despertar_.notify_all();
}

void EnlaceDeGuardadas::publicar(RondaDeEnlace r) {
    QMetaObject::invokeMethod(
        &contexto_, [this, r = std::move(r)] { guardadas_.adoptar(st_, r); }, Qt::QueuedConnection);
}

// Everything this thread touches is its own: the connection, the journal's
// connection and the station the scans are replayed on.
void EnlaceDeGuardadas::correr() {
    Conexion db(dsn_, kPlazo);
    SinCajas cajas;
    KeptScans k(archivo_, cajas, reservas_);
    History historia;
    ReportBox reporte;
    Busy ocupado;
    SinImpresora impresora;
    CardInput entrada;
    StationSession sesion;
    Station st(StationServices(db, historia, reporte, ocupado, cajas, impresora, entrada), sesion);
    std::unique_lock<std::mutex> l(mutex_);
    for (;;) {
        const int espera = caido_ ? abajo_ : arriba_;
        despertar_.wait_for(l, std::chrono::milliseconds(espera),
                            [this] { return pedida_ || parar_; });
        if (parar_)
            return;
        pedida_ = false;
        l.unlock();
        ronda(k, st);
        l.lock();
        caido_ = k.enlaceCaido();
    }
}

// The server's clock read (the probe and keep-alive) and told at once, then
// the waiting scans in batches, each batch's lines posted as it is done.
void EnlaceDeGuardadas::ronda(KeptScans& k, Station& st) {
    for (bool primera = true;; primera = false) {
        QStringList antes;
        if (!primera) {
            std::lock_guard<std::mutex> l(mutex_);
            antes.swap(primero_);
        }
        int enviadas = primera ? (k.sondear(st), 1) : 0;
        for (const QString& cedula : antes)
            enviadas += k.enlaceCaido() ? 0 : k.enviar(st, -1, cedula);
        if (!primera)
            enviadas += k.enlaceCaido() ? 0 : k.enviar(st, KeptScans::kLote);
        RondaDeEnlace r;
        r.caido = k.enlaceCaido();
        r.visto = k.vistoServidor(&r.desde, &r.pared);
        r.lineas = st.history.texto().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        st.history = History();
        {
            std::lock_guard<std::mutex> l(mutex_);
            r.ultima = enviadas == 0 || r.caido || parar_;
        }
        const bool ultima = r.ultima;
        publicar(std::move(r));
        if (ultima)
            return;
    }
}

} // namespace velmar
