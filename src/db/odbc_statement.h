#pragma once
// One statement on an ODBC statement handle of its own: the text sent as the
// driver reads it whole, the rows read off the handle with each column's type
// kept as the server wrote it.

#include "db/record_set.h"

#include <QSqlError>
#include <sql.h>

namespace velmar {

class OdbcStatement {
public:
    // Allocates the handle on `connection`; throws QSqlError.
    explicit OdbcStatement(SQLHDBC connection);
    ~OdbcStatement();
    OdbcStatement(const OdbcStatement&) = delete;
    OdbcStatement& operator=(const OdbcStatement&) = delete;

    // Each throws QSqlError, worded as Qt's driver words its own.
    void execute(const QString& sql);
    RecordSet fetchAll();
    // The rows a statement changed; -1 when the driver does not say.
    int rowCount();

private:
    SQLHSTMT h_ = nullptr;
};

// The ODBC connection handle under Qt's connection `name`; throws DbError when
// the driver is not ODBC.
SQLHDBC odbcHandle(const QString& name);

// Whether the link is alive: the driver answers with a ping to the server.
bool odbcAlive(SQLHDBC connection);

// A handle's diagnostics as a QSqlError: the messages, the states and the
// first native error number.
QSqlError odbcError(SQLHANDLE h, const QString& step, SQLSMALLINT type = SQL_HANDLE_STMT);

} // namespace velmar
