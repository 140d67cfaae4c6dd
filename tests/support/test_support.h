#pragma once
// Test fixtures: the tests' real MariaDB server, one fresh database per test
// executable reached through the data source mytnflower, and a station over it
// with recording stand-ins for the window.

#include "db/conexion.h"
#include "recording.h"
#include "station/context.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace velmar::test {

// This executable's database on the shared test server. The first use starts
// the server if it does not answer, creates the database from db/schema.sql
// and points ODBCSYSINI/ODBCINI at a data source mytnflower for it.
class TestDb {
public:
    static TestDb& get();

    const QString& nombre() const { return nombre_; }
    int port() const { return port_; }
    // A driver connection string for this database (no data source needed).
    QString cadena(const QString& database = QString()) const;

    // Empties every table.
    void reset();
    // Drops and recreates every table from db/schema.sql (after a test altered one).
    void recrear();
    // Runs one statement on a connection of the tests' own.
    void sql(const QString& statement);
    // Rows of a query as "a|b|c", Null shown as NULL.
    QStringList filas(const QString& query);
    // The first column of the first row, as text ("NULL" for Null).
    QString valor(const QString& query);

    Conexion& admin() { return *admin_; }

private:
    TestDb();
    void cargarEsquema();

    QTemporaryDir odbcDir_;
    QString nombre_;
    QString dir_;
    int port_ = 0;
    std::unique_ptr<Conexion> admin_;
};

// Splits an SQL script into statements (one per ";" at a line end).
QStringList sentencias(const QString& script);

// A station on the data source mytnflower with recording stand-ins.
struct TestStation {
    explicit TestStation(const QString& dsn = Conexion::kDsn);
    // Freezes the server clock of the station's own session.
    void reloj(const QString& fechaHora);

    Conexion db;
    History history;
    ReportBox report;
    RecordingBusy busy;
    RecordingPrompts prompts;
    RecordingPrinter printer;
    RecordingInput input;
    RecordingPreview vista;
    Station st;
};

// A MariaDB server of one test's own, to stop, kill, pause or restart.
class PrivateServer {
public:
    PrivateServer();
    ~PrivateServer();
    void start();
    void stop();
    void kill9();
    void pause();
    void resume();
    int port() const { return port_; }
    // Driver connection string for its database "velmar".
    QString cadena() const;

private:
    QTemporaryDir dir_;
    int port_ = 0;
    qint64 pid() const;
};

// Path of a file in the source tree.
QString fuente(const QString& relativa);

} // namespace velmar::test
