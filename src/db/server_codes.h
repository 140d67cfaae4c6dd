#pragma once
// What the server's and the client library's error codes mean to the station,
// named here once. What the operator reads for each is chosen in the
// station's failure path (station/failure.h).

#include "errors/errors.h"

#include <QString>

namespace velmar {

enum class ServerFault {
    Other,
    NoDataSource,       // IM002: the data source is not defined
    LinkLost,           // the client library's can't connect, gone away, lost connection
    DiskFull,           // 1114 table full, 1021 disk full
    ReadOnly,           // 1290, 1836: running read-only
    TooManyConnections, // 1040
    UnknownColumn,      // 1054
    UnknownTable,       // 1146
    LockWaitTimeout,    // 1205: the server rolled the statement back after its lock wait
    RolledBack,         // 1213 deadlock, 1467 as the auto-increment lock reports it
    AccessDenied,       // 1044, 1045, 1142
    NotAcceptingWork,   // 1047: a node outside its cluster's primary component
    DuplicateKey,       // 1062
    CollationMix,       // 1266, 1267, 1270, 1271: a literal the column's charset cannot hold
    ValueRefused,       // 1264, 1265, 1292, 1364, 1366, 1406: a value a column will not take
};

// The fault a native error code ("1205", "2013", "IM002", ...) names; Other for
// any code the station has no rule for.
ServerFault serverFault(const QString& code);
// The fault a database error names.
inline ServerFault faultOf(const DbError& e) {
    return serverFault(e.code());
}

} // namespace velmar
