#include "clock/kept_scans.h"

#include "db/conexion.h"
#include "errors/errors.h"
#include "station/velmo.h"

#include <QTimeZone>

namespace velmar {

namespace {

// A replayed scan's boxes are not shown (the line keeps moving): the history
// says what happened. An early exit is never recorded unasked: the question
// is answered No and noted.
class CajasDeEnvio : public Prompts {
public:
    bool pregunto = false;
    void beep() override {}

protected:
    int mostrar(const QString&, int estilo, const QString&) override {
        if ((estilo & 0x0F) != kSiNo)
            return kOk;
        pregunto = true;
        return kNo;
    }
};

bool enlacePerdido(Station& st, const Error& e) {
    const auto* db = dynamic_cast<const DbError*>(&e);
    return (db && db->linkLost()) || !st.db.abierta();
}

const QString kSinDiario =
    QStringLiteral("No hay diario de marcaciones: VELMAR_DIARIO no nombra ninguno");

} // namespace

std::unique_ptr<KeptScans> KeptScans::desdeEntorno(Prompts& prompts, Marcar marcar) {
    const QString archivo = qEnvironmentVariable("VELMAR_DIARIO");
    if (archivo.isEmpty())
        return nullptr;
    return std::make_unique<KeptScans>(archivo, prompts, marcar);
}

KeptScans::KeptScans(const QString& archivo, Prompts& prompts, Marcar marcar)
    : diario_(archivo)
    , marcar_(marcar) {
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

void KeptScans::relojServidor(const QString& fecha, const QString& hora, bool msExactos) {
    const QDate d = QDate::fromString(fecha, QStringLiteral("yyyy-MM-dd"));
    const QTime t = QTime::fromString(hora, msExactos ? QStringLiteral("hh:mm:ss.zzz")
                                                      : QStringLiteral("hh:mm:ss"));
    if (!d.isValid() || !t.isValid())
        return;
    visto_ = QDateTime(d, t, QTimeZone::utc()).addMSecs(msExactos ? 0 : 500);
    desde_.start();
}

std::optional<QDateTime> KeptScans::horaServidor() const {
    if (!visto_.isValid() || desde_.elapsed() > kVigenciaReloj)
        return std::nullopt;
    return visto_.addMSecs(desde_.elapsed());
}

int KeptScans::esperando() const {
    try {
        return diario_.cuantas();
    } catch (const Error&) {
        return 0;
    }
}

void KeptScans::avisar() {
    if (alCambiar)
        alCambiar(esperando());
}

bool KeptScans::guardar(Station& st, const QString& texto) {
    const std::optional<QDateTime> ahora = horaServidor();
    if (!ahora)
        return false; // no server time to give it: the clock's own failure
    const QString cedula = limpiarCedula(texto);
    const QString hora = horaDelDia(ahora->time().msecsSinceStartOfDay() / 1000);
    try {
        diario_.guardar(cedula, ahora->date().toString(QStringLiteral("yyyy-MM-dd")), hora);
    } catch (const Error&) {
        return false; // not on the disk: not claimed kept
    }
    st.report.hide();
    st.history.agregar_historia(QStringLiteral("Marcación guardada sin conexión: cédula ") +
                                cedula + QStringLiteral(" a las ") + hora);
    st.input.vaciar();
    st.input.enfocar();
    avisar();
    return true;
}

bool KeptScans::antesDeMarcar(Station& st, const QString& texto) {
    if (enviando_)
        return false;
    if (!caido_ && esperando() > 0)
        enviar(st); // the waiting scans go before this one
    return caido_ && guardar(st, texto);
}

bool KeptScans::alFallar(Station& st, const QString& texto, const Error& e) {
    const bool perdido = enlacePerdido(st, e);
    if (enviando_) {
        fallo_ = textoError(e);
        falloDeEnlace_ = perdido;
        return true;
    }
    if (!perdido)
        return false;
    caido_ = true;
    return guardar(st, texto);
}

int KeptScans::enviar(Station& st, int maximo) {
    if (enviando_)
        return 0;
    QList<MarcaGuardada> filas;
    try {
        filas = diario_.pendientes();
    } catch (const Error&) {
    }
    if (filas.isEmpty())
        return 0;
    enviando_ = true;
    CajasDeEnvio cajas;
    ReportBox reporte;
    CardInput entrada; // the operator's half-typed card stays
    Station envio(
        StationServices(st.db, st.history, reporte, st.busy, cajas, st.printer, entrada, st.vista),
        st.sesion);
    int enviadas = 0;
    for (const MarcaGuardada& m : filas) {
        if (enviadas == maximo)
            break;
        fallo_.reset();
        cajas.pregunto = false;
        const HoraDeMarca hora{m.fecha, m.hora};
        marcar_(envio, m.cedula, &hora);
        if (fallo_) {
            caido_ = falloDeEnlace_;
            if (!caido_)
                st.history.agregar_historia(
                    QStringLiteral("No se pudo enviar la marcación guardada de la cédula ") +
                    m.cedula + QStringLiteral(" a las ") + m.hora + QStringLiteral(": ") + *fallo_);
            break; // it and the ones after it wait
        }
        caido_ = false;
        if (cajas.pregunto)
            st.history.agregar_historia(QStringLiteral("Marcación guardada de la cédula ") +
                                        m.cedula + QStringLiteral(" a las ") + m.hora +
                                        QStringLiteral(": salida temprana sin confirmar, "
                                                       "debe marcar de nuevo"));
        try {
            diario_.quitar(m.id);
        } catch (const Error&) {
            break; // sent again later: the day's entry it made holds it
        }
        ++enviadas;
    }
    enviando_ = false;
    avisar();
    return enviadas;
}

void KeptScans::leerReloj(Station& st) {
    const RecordSet r =
        st.db.consulta(QStringLiteral("select date_format(now(3), '%Y-%m-%d') as fecha, "
                                      "left(date_format(now(3), '%H:%i:%s.%f'), 12) as hora"));
    relojServidor(r.text(QStringLiteral("fecha")), r.text(QStringLiteral("hora")), true);
}

int KeptScans::latido(Station& st) {
    if (enviando_)
        return 0;
    int enviadas = 0;
    try {
        if (caido_ || esperando() > 0) {
            st.db.comprobar();
            caido_ = false;
            leerReloj(st);
            enviadas = enviar(st, kLote);
        } else if (!visto_.isValid() || desde_.elapsed() > 4 * kLatido) {
            leerReloj(st);
        }
    } catch (const DbError& e) {
        caido_ = caido_ || e.linkLost();
    }
    avisar();
    return enviadas;
}

void marcaciones_guardadas(Station& st) {
    KeptScans* k = st.sesion.guardadas;
    if (!k) {
        st.prompts.msgbox(kSinDiario, kExclamacion);
        return;
    }
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

void enviar_marcaciones(Station& st) {
    KeptScans* k = st.sesion.guardadas;
    if (!k) {
        st.prompts.msgbox(kSinDiario, kExclamacion);
        return;
    }
    const int enviadas = k->enviar(st);
    const int quedan = k->esperando();
    if (quedan > 0 && k->enlaceCaido())
        st.prompts.msgbox(QStringLiteral("Sin conexión con la base de datos: ") +
                              QString::number(quedan) +
                              QStringLiteral(" marcaciones siguen en espera"),
                          kExclamacion);
    st.history.agregar_historia(QStringLiteral("\t* Marcaciones enviadas: ") +
                                QString::number(enviadas) + QStringLiteral("; en espera: ") +
                                QString::number(quedan));
}

} // namespace velmar
