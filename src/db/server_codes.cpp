#include "db/server_codes.h"

#include <QHash>

namespace velmar {

ServerFault serverFault(const QString& code) {
    using F = ServerFault;
    static const QHash<QString, ServerFault> faults = {
        {QStringLiteral("IM002"), F::NoDataSource},
        {QStringLiteral("2002"), F::LinkLost},
        {QStringLiteral("2003"), F::LinkLost},
        {QStringLiteral("2005"), F::LinkLost},
        {QStringLiteral("2006"), F::LinkLost},
        {QStringLiteral("2013"), F::LinkLost},
        {QStringLiteral("2026"), F::LinkLost},
        {QStringLiteral("2055"), F::LinkLost},
        {QStringLiteral("5013"), F::LinkLost},
        {QStringLiteral("5014"), F::LinkLost},
        {QStringLiteral("1114"), F::DiskFull},
        {QStringLiteral("1021"), F::DiskFull},
        {QStringLiteral("1290"), F::ReadOnly},
        {QStringLiteral("1836"), F::ReadOnly},
        {QStringLiteral("1040"), F::TooManyConnections},
        {QStringLiteral("1054"), F::UnknownColumn},
        {QStringLiteral("1146"), F::UnknownTable},
        {QStringLiteral("1205"), F::LockWaitTimeout},
        {QStringLiteral("1213"), F::RolledBack},
        {QStringLiteral("1467"), F::RolledBack},
        {QStringLiteral("1044"), F::AccessDenied},
        {QStringLiteral("1045"), F::AccessDenied},
        {QStringLiteral("1142"), F::AccessDenied},
        {QStringLiteral("1047"), F::NotAcceptingWork},
        {QStringLiteral("1062"), F::DuplicateKey},
        {QStringLiteral("1266"), F::CollationMix},
        {QStringLiteral("1267"), F::CollationMix},
        {QStringLiteral("1270"), F::CollationMix},
        {QStringLiteral("1271"), F::CollationMix},
        {QStringLiteral("1264"), F::ValueRefused},
        {QStringLiteral("1265"), F::ValueRefused},
        {QStringLiteral("1292"), F::ValueRefused},
        {QStringLiteral("1364"), F::ValueRefused},
        {QStringLiteral("1366"), F::ValueRefused},
        {QStringLiteral("1406"), F::ValueRefused},
    };
    return faults.value(code.trimmed(), F::Other);
}

} // namespace velmar
