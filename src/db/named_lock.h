#pragma once
// A named lock on the database server, for the few steps that stations sharing
// one database must not run at the same moment.

#include "db/conexion.h"

namespace velmar {

// GET_LOCK held by this connection until released or destroyed. Another
// station asking for the same name waits at most `esperaSegundos`; whether
// this one got it is `tomado()`. A lost connection releases it on the server.
class NamedLock {
public:
    // `nombre` is an SQL expression giving the lock's name. A GET_LOCK that
    // fails (refused, interrupted, link lost) leaves the lock not taken.
    NamedLock(Conexion& db, QString nombre, int esperaSegundos);
    // A lock the caller asked for inside a statement of its own (see
    // acquireSql), to be released like any other: saves a round trip.
    NamedLock(Conexion& db, QString nombre, bool tomado)
        : db_(db)
        , nombre_(std::move(nombre))
        , tomado_(tomado) {}
    // The GET_LOCK call for `nombre`, to place in a statement's select list.
    static QString acquireSql(const QString& nombre, int esperaSegundos);
    // The RELEASE_LOCK call, for a statement that lets the lock go itself.
    QString releaseSql() const;
    // A statement carrying releaseSql() ran: nothing is left to release.
    void soltadoEnSentencia() { tomado_ = false; }
    ~NamedLock() { soltar(); }
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    bool tomado() const { return tomado_; }
    // The wait ran out: another session holds the name (not a failure).
    bool ocupadoPorOtro() const { return ocupado_; }
    void soltar() noexcept;

private:
    Conexion& db_;
    QString nombre_;
    bool tomado_ = false;
    bool ocupado_ = false;
};

} // namespace velmar
