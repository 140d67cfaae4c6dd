#pragma once
// conexion: the station's one database connection, through the ODBC data
// source: its life, its session and the keep-alive of an open window.

#include "db/record_set.h"

#include <QElapsedTimer>
#include <QString>
#include <memory>
#include <thread>

class QSqlError;

namespace velmar {

class FarmSchema;

class Conexion {
public:
    static inline const QString kDsn = QStringLiteral("mytnflower");
    // Seconds before an unreachable server, or one that stops answering, is
    // reported instead of freezing the window.
    static constexpr int kConnectTimeout = 5;
    static constexpr int kReadTimeout = 20;
    // Seconds the server waits for a row or table lock: below the read
    // timeout, so a statement stuck behind another station's lock is rolled
    // back by the server and reported, never cut off by the client and then
    // committed behind its back.
    static constexpr int kLockWait = 15;
    // Seconds the server keeps a silent session (and its named locks): a
    // station that vanished frees another's person or work-table lock within
    // about a minute. An open window keeps its own session alive (mantener).
    static constexpr int kSesionInactiva = 60;
    // Seconds idle after which the connection is checked before an
    // operation's first statement: a server restarted meanwhile has closed it.
    static constexpr int kComprobarTras = 2;

    // `plazo`: seconds of its connect and read timeouts, when shorter than
    // the station's (a read-back that must not wait as long as a statement).
    explicit Conexion(QString dsn = kDsn, int plazo = kReadTimeout);
    ~Conexion();
    Conexion(const Conexion&) = delete;
    Conexion& operator=(const Conexion&) = delete;

    // Opens the connection; throws DbError.
    void abrir();
    bool abierta() const;
    const QString& dsn() const { return dsn_; }
    // Whether the server has answered on this connection since it was made.
    bool contesto() const { return lastExchange_.isValid(); }
    void cerrar();

    // Before an operation's first statement: a connection known lost, or one
    // the server closed while it sat idle (a ping, never a statement), is
    // opened again. Throws DbError when the server cannot be reached; a ping
    // that timed out is that failure, not a reason to try connecting too.
    void comprobar();
    // The link was found down and back by another connection: this one may
    // have been cut meanwhile, so the next comprobar() pings even if it just
    // spoke with the server.
    void dudar() { dudosa_ = true; }
    // A ping when the session has been idle for `inactivoMs` (half its
    // wait_timeout), so an open window's session stays. It runs on a thread of
    // its own and returns at once, so a silent link never freezes the window:
    // the next statement waits for its answer. A ping that ran into the read
    // timeout while a statement waited long on it is that statement's failure
    // (no wait of its own on top); one that ran out earlier is not.
    void mantener(qint64 inactivoMs = kSesionInactiva * 500);

    // Runs a query and fetches every row; throws DbError. Checked first as by
    // comprobar(). A statement is never sent twice: after a lost connection it
    // fails, and the next call reopens.
    RecordSet consulta(const QString& sql);
    // Runs a statement that returns no rows; gives the affected row count.
    int ejecutar(const QString& sql);

    // The farm's tables as this station found them, learned on first use
    // and kept for its run (db/farm_schema.h): a changed table is seen after
    // the station starts again.
    const FarmSchema& esquema();

    // Text to put between single quotes in SQL for `value` (see sql_quote.h).
    QString esc(const QString& value) const;
    // A value placed bare in SQL, as a number.
    QString num(const QString& value) const;
    bool noBackslashEscapes() const { return noBackslash_; }
    // Whether a wait on the server ran into the read timeout: a server that
    // stopped answering, not a link that broke at once.
    static bool waitedOut(const QElapsedTimer& espera);

private:
    bool alive();
    // The keep-alive's answer, waited for; `report`: its timeout thrown.
    void awaitKeepAlive(bool report);
    [[noreturn]] void fail(const QSqlError& e, bool lectura);
    void prepareSession();

    QString dsn_;
    int plazo_;
    QString name_;
    bool lost_ = false;
    bool noBackslash_ = false;
    bool dudosa_ = false;
    QElapsedTimer lastExchange_; // since the last exchange with the server
    std::thread keepAlive_;      // the keep-alive's ping, when one is out
    bool keepAliveOk_ = false, keepAliveTimedOut_ = false;
    std::unique_ptr<const FarmSchema> schema_;
};

} // namespace velmar
