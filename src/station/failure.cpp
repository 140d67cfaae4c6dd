#include "station/failure.h"

#include "db/conexion.h"
#include "db/errors.h"

#include <QRegularExpression>

namespace velmar {

namespace {

// "[ma-3.1.15][10.11.6-MariaDB]Table ..." -> "Table ..."
QString sinPrefijos(QString t) {
    static const QRegularExpression prefijos(QStringLiteral("^(\\[[^\\]]*\\])+"));
    return t.remove(prefijos).trimmed();
}

// The server's frequent refusals, in a word the operator can act on; the
// server's own text follows it.
QString motivo(ServerFault f) {
    switch (f) {
    case ServerFault::DiskFull:
        return QStringLiteral("El servidor de base de datos no tiene espacio");
    case ServerFault::ReadOnly:
        return QStringLiteral("La base de datos está en modo de solo lectura");
    case ServerFault::TooManyConnections:
        return QStringLiteral("El servidor de base de datos tiene demasiadas conexiones");
    case ServerFault::UnknownColumn:
        return QStringLiteral("Falta una columna en la base de datos o no es la esperada");
    case ServerFault::UnknownTable:
        return QStringLiteral("Falta una tabla en la base de datos");
    case ServerFault::RolledBack:
        return QStringLiteral("La base de datos canceló el cambio por un cruce con otra "
                              "estación: no se guardó. Intente de nuevo");
    case ServerFault::AccessDenied:
        return QStringLiteral("Acceso denegado a la base de datos");
    case ServerFault::NotAcceptingWork:
        return QStringLiteral("La base de datos no está aceptando trabajo");
    case ServerFault::ValueRefused:
        return QStringLiteral("La base de datos no aceptó un valor en una de sus columnas; el "
                              "encargado de sistemas lo revisa con velmar-cli revisar_base");
    default:
        return {};
    }
}

// The server gave up waiting for another session's lock (a row, or a whole
// table behind LOCK TABLES) and rolled the statement back. Whose lock it is
// the station cannot tell, nor may a read claim a change was lost. A read
// waits for no station (stations lock no tables and read no row under a
// lock): a cluster node that could not catch up with the others (a read
// waits for that under wsrep_sync_wait) answers with the same code.
QString esperaDeCandado(const DbError& e, const QString& registro) {
    if (e.lectura())
        return QStringLiteral("La base de datos dejó de esperar para leer: un servidor del "
                              "clúster no se pudo poner al día con los otros, o un programa que "
                              "no es una estación tiene tomada la tabla. No se leyó nada y no se "
                              "cambió nada. Intente de nuevo");
    return (registro.isEmpty() ? QStringLiteral("El registro que se iba a cambiar") : registro) +
           QStringLiteral(" está ocupado por otro programa o estación y la base de datos dejó de "
                          "esperar: no se guardó el cambio. Intente de nuevo");
}

} // namespace

QString textoError(const Error& e, const QString& registro) {
    if (const auto* db = dynamic_cast<const DbError*>(&e)) {
        QString detalle = sinPrefijos(db->texto());
        if (db->fault() == ServerFault::NoDataSource ||
            detalle.contains(QLatin1String("Data source name not found"), Qt::CaseInsensitive))
            return QStringLiteral("No se encontró el origen de datos ") + Conexion::kDsn;
        // a driver that names itself and nothing more still gives a reason
        if (detalle.isEmpty())
            detalle = QStringLiteral("el controlador no dio el motivo") +
                      (db->codigo().isEmpty()
                           ? QString()
                           : QStringLiteral(" (código ") + db->codigo() + QLatin1Char(')'));
        if (db->fault() == ServerFault::LockWaitTimeout ||
            detalle.contains(QLatin1String("Lock wait timeout"), Qt::CaseInsensitive))
            return esperaDeCandado(*db, registro) + QStringLiteral(": ") + detalle;
        if (const QString m = motivo(db->fault()); !m.isEmpty())
            return m + QStringLiteral(": ") + detalle;
        if (db->conexionPerdida())
            return QStringLiteral("No hay conexión con el servidor de base de datos: ") + detalle;
        return detalle;
    }
    return e.texto();
}

std::function<void(const Error&)> caminoDeConsulta(Station& st) {
    return [&st](const Error& e) {
        const auto* db = dynamic_cast<const DbError*>(&e);
        if (db && (db->conexionPerdida() || db->fault() == ServerFault::LockWaitTimeout))
            st.prompts.msgbox((db->conexionPerdida() || db->lectura()
                                   ? QStringLiteral("Consulta Sql ")
                                   : QString()) +
                                  textoError(e),
                              kSoloOk);
        // a farm table the operation cannot read soundly: no query box said so
        if (dynamic_cast<const SchemaError*>(&e))
            st.prompts.msgbox(e.texto(), kExclamacion);
        if (st.busy.puntero() != Busy::kFlecha) {
            st.busy.ponerPuntero(Busy::kFlecha);
            st.busy.ponerLeyenda(Busy::kCaptionError, false);
        }
    };
}

} // namespace velmar
