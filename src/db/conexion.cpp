#include "db/conexion.h"

#include "db/farm_schema.h"
#include "db/odbc_statement.h"
#include "db/server_codes.h"
#include "db/sql_quote.h"
#include "errors/errors.h"

#include <QAtomicInt>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <utility>

namespace velmar {

namespace {

QString newConnectionName() {
    static QAtomicInt n;
    return QStringLiteral("velmar-conexion-%1").arg(n.fetchAndAddRelaxed(1));
}

// Client errors that mean the link to the server is gone, not the statement:
// the client library's numbers (server_codes.h). A server message may quote any
// value, "Lost connection" or "2013" included, so the words count only when the
// driver gives no number.
bool isLinkLost(const QSqlError& e) {
    if (e.databaseText().trimmed().isEmpty())
        return true; // the driver says nothing after a broken link
    const QString codigo = e.nativeErrorCode().trimmed();
    if (!codigo.isEmpty() && codigo != QLatin1String("0") && codigo != QLatin1String("-1"))
        return serverFault(codigo) == ServerFault::LinkLost;
    const QString todo = e.databaseText() + QLatin1Char(' ') + e.driverText();
    for (const char* c : {"08S01", "08003", "HYT00"})
        if (todo.contains(QLatin1String(c)))
            return true;
    return todo.contains(QLatin1String("gone away"), Qt::CaseInsensitive) ||
           todo.contains(QLatin1String("Lost connection"), Qt::CaseInsensitive) ||
           todo.contains(QLatin1String("timed out"), Qt::CaseInsensitive) ||
           todo.contains(QLatin1String("Can't connect"), Qt::CaseInsensitive);
}

QString messageOf(const QSqlError& e) {
    QString t = e.databaseText().trimmed();
    if (t.isEmpty())
        t = e.driverText().trimmed();
    if (t.isEmpty())
        t = QStringLiteral("Se perdió la conexión con el servidor de base de datos");
    return t;
}

} // namespace

Conexion::Conexion(QString dsn, int plazo)
    : dsn_(std::move(dsn))
    , plazo_(plazo)
    , name_(newConnectionName()) {}

Conexion::~Conexion() {
    awaitKeepAlive(false);
    {
        QSqlDatabase db = QSqlDatabase::database(name_, false);
        if (db.isValid())
            db.close();
    }
    if (QSqlDatabase::contains(name_))
        QSqlDatabase::removeDatabase(name_);
}

void Conexion::abrir() {
    awaitKeepAlive(false);
    if (!QSqlDatabase::contains(name_))
        QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name_);
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (!db.isValid())
        throw DbError(QStringLiteral("No está instalado el controlador de base de datos QODBC"));
    if (db.isOpen())
        db.close();
    // Qt puts "DSN=" in front of the name; the driver's own keys follow it. The
    // user and password stay those of the data source. AUTO_RECONNECT must
    // never be set: the driver crashes with it.
    db.setDatabaseName(QStringLiteral("%1;CHARSET=utf8mb4;CONN_TIMEOUT=%2;READ_TIMEOUT=%3;"
                                      "WRITE_TIMEOUT=%3")
                           .arg(dsn_)
                           .arg(std::min(kConnectTimeout, plazo_))
                           .arg(plazo_));
    db.setConnectOptions(
        QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(std::min(kConnectTimeout, plazo_)));
    if (!db.open(QString(), QString())) {
        lost_ = true;
        const QSqlError e = db.lastError();
        throw DbError(messageOf(e), e.nativeErrorCode(), true);
    }
    lost_ = false;
    prepareSession();
    lastExchange_.start();
}

bool Conexion::abierta() const {
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    return db.isValid() && db.isOpen() && !lost_;
}

void Conexion::cerrar() {
    awaitKeepAlive(false);
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (db.isValid())
        db.close();
}

void Conexion::prepareSession() {
    QSqlQuery q(QSqlDatabase::database(name_, false));
    // group_concat_max_len: the month report has the server join a day's rows.
    q.exec(QStringLiteral("SET SESSION innodb_lock_wait_timeout=%1, lock_wait_timeout=%1, "
                          "wait_timeout=%2, group_concat_max_len=1073741824")
               .arg(kLockWait)
               .arg(kSesionInactiva));
    bool binlogPorSentencia = false;
    if (q.exec(QStringLiteral("SELECT @@SESSION.sql_mode, @@GLOBAL.log_bin, "
                              "@@SESSION.binlog_format")) &&
        q.next()) {
        noBackslash_ = q.value(0).toString().contains(QLatin1String("NO_BACKSLASH_ESCAPES"),
                                                      Qt::CaseInsensitive);
        binlogPorSentencia =
            q.value(1).toInt() == 1 &&
            q.value(2).toString().compare(QLatin1String("STATEMENT"), Qt::CaseInsensitive) == 0;
    }
    // Read committed: the entry insert's "not exists" reads the day as
    // committed, without the gap locks that deadlock two people's inserts on
    // the table's auto-increment lock. A server logging statements refuses
    // InnoDB writes at that level: there the insert's retries must do.
    if (!binlogPorSentencia)
        q.exec(QStringLiteral("SET SESSION TRANSACTION ISOLATION LEVEL READ COMMITTED"));
}

bool Conexion::waitedOut(const QElapsedTimer& espera) {
    return espera.elapsed() >= kReadTimeout * 1000 / 2;
}

namespace {

DbError notAnswering() {
    return DbError(QStringLiteral("El servidor de base de datos no responde (timed out)"),
                   QStringLiteral("2013"), true);
}

} // namespace

bool Conexion::alive() {
    return odbcAlive(odbcHandle(name_));
}

void Conexion::comprobar() {
    awaitKeepAlive(true);
    if (!abierta()) {
        abrir();
        return;
    }
    if (!std::exchange(dudosa_, false) && lastExchange_.isValid() &&
        lastExchange_.elapsed() < kComprobarTras * 1000)
        return;
    QElapsedTimer ping;
    ping.start();
    if (alive()) {
        lastExchange_.start();
        return;
    }
    lost_ = true;
    // A server that stopped answering: its timeout is the one failure.
    if (waitedOut(ping))
        throw notAnswering();
    abrir();
}

void Conexion::mantener(qint64 inactivoMs) {
    if (keepAlive_.joinable() || !abierta() ||
        (lastExchange_.isValid() && lastExchange_.elapsed() < inactivoMs))
        return;
    SQLHDBC h = nullptr;
    try {
        h = odbcHandle(name_);
    } catch (const DbError&) {
        return;
    }
    // Nothing else uses the handle until the answer is waited for.
    keepAlive_ = std::thread([this, h] {
        QElapsedTimer ping;
        ping.start();
        keepAliveOk_ = odbcAlive(h);
        keepAliveTimedOut_ = !keepAliveOk_ && waitedOut(ping);
    });
}

void Conexion::awaitKeepAlive(bool report) {
    if (!keepAlive_.joinable())
        return;
    QElapsedTimer espera;
    espera.start();
    keepAlive_.join();
    if (keepAliveOk_) {
        lastExchange_.start();
        return;
    }
    lost_ = true;
    // A ping that ran out while this statement waited on it is its answer.
    // One that ran out before, on a link that may be back since, is not: the
    // statement gets its own attempt on a connection opened again.
    if (report && keepAliveTimedOut_ && waitedOut(espera))
        throw notAnswering();
}

void Conexion::fail(const QSqlError& e, bool lectura) {
    const bool perdida = isLinkLost(e);
    if (perdida)
        lost_ = true; // reopened before the next statement, never retried
    throw DbError(messageOf(e), e.nativeErrorCode(), perdida, lectura);
}

RecordSet Conexion::consulta(const QString& sql) {
    // a connection idle long enough for the server to have closed it (a
    // restart, the session's timeout) is checked first
    comprobar();
    try {
        OdbcStatement s(odbcHandle(name_));
        s.execute(sql);
        RecordSet filas = s.fetchAll();
        lastExchange_.start();
        return filas;
    } catch (const QSqlError& e) {
        fail(e, true);
    }
}

int Conexion::ejecutar(const QString& sql) {
    comprobar();
    try {
        OdbcStatement s(odbcHandle(name_));
        s.execute(sql);
        const int filas = s.rowCount();
        lastExchange_.start();
        return filas;
    } catch (const QSqlError& e) {
        fail(e, false);
    }
}

const FarmSchema& Conexion::esquema() {
    if (!schema_)
        schema_ = std::make_unique<const FarmSchema>(FarmSchema::learn(*this));
    return *schema_;
}

QString Conexion::esc(const QString& value) const {
    return sqlEscape(value, noBackslash_);
}

QString Conexion::num(const QString& value) const {
    return sqlNumber(value, noBackslash_);
}

} // namespace velmar
