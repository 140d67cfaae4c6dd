#include "db/named_lock.h"

#include "db/errors.h"

namespace velmar {

NamedLock::NamedLock(Conexion& db, QString nombre, int esperaSegundos)
    : db_(db)
    , nombre_(std::move(nombre)) {
    try {
        const RecordSet rs =
            db_.consulta(QStringLiteral("SELECT ") + acquireSql(nombre_, esperaSegundos));
        tomado_ = rs.count() > 0 && rs.text(0) == QLatin1String("1");
        ocupado_ = rs.count() > 0 && rs.text(0) == QLatin1String("0");
    } catch (const Error&) {
        // A refused or interrupted GET_LOCK is a lock not had, like a timeout:
        // the caller decides whether to go on without it.
        tomado_ = false;
    }
}

QString NamedLock::acquireSql(const QString& nombre, int esperaSegundos) {
    return QStringLiteral("GET_LOCK(") + nombre + QStringLiteral(", ") +
           QString::number(esperaSegundos) + QStringLiteral(")");
}

QString NamedLock::releaseSql() const {
    return QStringLiteral("RELEASE_LOCK(") + nombre_ + QStringLiteral(")");
}

void NamedLock::soltar() noexcept {
    if (!tomado_)
        return;
    tomado_ = false;
    if (!db_.abierta())
        return; // the server let it go with the connection
    try {
        db_.consulta(QStringLiteral("SELECT ") + releaseSql());
    } catch (const Error&) {
    }
}

} // namespace velmar
