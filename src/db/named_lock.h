#pragma once
// A named lock on the database server, for the few steps that stations sharing
// one database must not run at the same moment.

#include "db/conexion.h"

namespace velmar {

// GET_LOCK held by this connection until released or destroyed. Another
// station asking for the same name waits at most `waitSeconds`; whether
// this one got it is `held()`. A lost connection releases it on the server.
class NamedLock {
public:
    // `name` is an SQL expression giving the lock's name. A GET_LOCK that
    // fails (refused, interrupted, link lost) leaves the lock not taken.
    NamedLock(Conexion& db, QString name, int waitSeconds);
    // A lock the caller asked for inside a statement of its own (see
    // acquireSql), to be released like any other: saves a round trip.
    NamedLock(Conexion& db, QString name, bool held)
        : db_(db)
        , name_(std::move(name))
        , held_(held) {}
    // The GET_LOCK call for `name`, to place in a statement's select list.
    static QString acquireSql(const QString& name, int waitSeconds);
    // The RELEASE_LOCK call, for a statement that lets the lock go itself.
    QString releaseSql() const;
    // A statement carrying releaseSql() ran: nothing is left to release.
    void releasedInStatement() { held_ = false; }
    ~NamedLock() { release(); }
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    bool held() const { return held_; }
    // The wait ran out: another session holds the name (not a failure).
    bool heldByAnother() const { return heldByAnother_; }
    void release() noexcept;

private:
    Conexion& db_;
    QString name_;
    bool held_ = false;
    bool heldByAnother_ = false;
};

} // namespace velmar
