#include "station/server_clock.h"

#include "db/conexion.h"
#include "station/station.h"

#include <QTimeZone>
#include <cstdlib>
#include <ctime>

namespace velmar {

ServerClock::Lectura ServerClock::ver(const QDateTime& servidor, qint64 local) {
    const bool juzga = visto_.isValid() && local - local_ <= kVigencia;
    salto_ = juzga ? esperada(local).msecsTo(servidor) : 0;
    Lectura lectura = Lectura::Acorde;
    if (std::abs(salto_) > kSalto) {
        // A sight right after a refused jump came over a fresh connection.
        const bool fresca = pendiente_.has_value();
        frescas_ = fresca && std::abs(salto_ - *pendiente_) <= kSalto ? frescas_ + 1 : int(fresca);
        pendiente_ = salto_;
        if (frescas_ < 2)
            return Lectura::Salto; // the pair stays the one the station trusts
        lectura = Lectura::HoraNueva;
    }
    pendiente_.reset();
    frescas_ = 0;
    visto_ = servidor;
    local_ = local;
    return lectura;
}

qint64 ServerClock::ahoraLocal() {
    timespec t{};
    clock_gettime(CLOCK_BOOTTIME, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

namespace {

// "3 h 00 min 05 s adelante"
QString describirSalto(qint64 ms) {
    const qint64 s = std::abs(ms) / 1000;
    return QStringLiteral("%1 h %2 min %3 s %4")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'))
        .arg(ms > 0 ? QStringLiteral("adelante") : QStringLiteral("atrás"));
}

} // namespace

bool horaAcorde(Station& st, const QString& fecha, const QString& hora, const QString& usuario) {
    const QDateTime servidor(QDate::fromString(fecha, QStringLiteral("yyyy-MM-dd")),
                             QTime::fromString(hora, QStringLiteral("hh:mm:ss")), QTimeZone::utc());
    if (!servidor.isValid())
        return true; // nothing to judge: the scan's own checks refuse it
    ServerClock& reloj = st.sesion.reloj;
    const qint64 local = ServerClock::ahoraLocal();
    const QString esperada = reloj.esperada(local).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    const ServerClock::Lectura lectura = reloj.ver(servidor, local);
    const QString salto = describirSalto(reloj.salto());
    if (lectura == ServerClock::Lectura::HoraNueva)
        st.history.agregar_historia(QStringLiteral("La hora del servidor cambió ") + salto +
                                    QStringLiteral(" y se vio igual en dos conexiones nuevas "
                                                   "seguidas: la estación toma la nueva, ") +
                                    fecha + QLatin1Char(' ') + hora);
    if (lectura != ServerClock::Lectura::Salto)
        return true;
    st.db.cerrar(); // the next scan comes over a fresh connection
    const QString aviso =
        QStringLiteral("No se registró la marca de ") + usuario +
        QStringLiteral(": la hora del servidor (") + fecha + QLatin1Char(' ') + hora +
        QStringLiteral(") saltó ") + salto +
        QStringLiteral(" de la que la estación venía contando (") + esperada +
        QStringLiteral("). Revise que los servidores de la base tengan la misma hora y la misma "
                       "zona horaria. Pase la tarjeta de nuevo: si la hora cambió de verdad, la "
                       "estación la toma cuando la vea igual en dos conexiones nuevas seguidas.");
    st.prompts.beep();
    st.prompts.msgbox(aviso, kExclamacion);
    st.history.agregar_historia(aviso);
    st.input.vaciar();
    st.input.enfocar();
    return false;
}

} // namespace velmar
