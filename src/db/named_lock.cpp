#include "db/named_lock.h"

#include "errors/errors.h"

namespace velmar {

NamedLock::NamedLock(Conexion& db, QString name, int waitSeconds)
    : db_(db)
    , name_(std::move(name)) {
    try {
        const RecordSet rs =
            db_.consulta(QStringLiteral("SELECT ") + acquireSql(name_, waitSeconds));
        held_ = rs.count() > 0 && rs.text(0) == QLatin1String("1");
        heldByAnother_ = rs.count() > 0 && rs.text(0) == QLatin1String("0");
    } catch (const Error&) {
        // A refused or interrupted GET_LOCK is a lock not had, like a timeout:
        // the caller decides whether to go on without it.
        held_ = false;
    }
}

QString NamedLock::acquireSql(const QString& name, int waitSeconds) {
    return QStringLiteral("GET_LOCK(") + name + QStringLiteral(", ") +
           QString::number(waitSeconds) + QStringLiteral(")");
}

QString NamedLock::releaseSql() const {
    return QStringLiteral("RELEASE_LOCK(") + name_ + QStringLiteral(")");
}

void NamedLock::release() noexcept {
    if (!held_)
        return;
    held_ = false;
    if (!db_.abierta())
        return; // the server let it go with the connection
    try {
        db_.consulta(QStringLiteral("SELECT ") + releaseSql());
    } catch (const Error&) {
    }
}

} // namespace velmar
