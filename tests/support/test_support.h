#pragma once
// The tests' real MariaDB server, one fresh database per test executable
// reached through the data source mytnflower, and a station over it with
// recording stand-ins for the window.

#include "db/conexion.h"
#include "recording.h"
#include "station/context.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace velmar::test {

// This executable's database. The first use starts the server if it does not
// answer, loads db/schema.sql and points ODBCSYSINI/ODBCINI at it.
class TestDb {
public:
    static TestDb& get();
    const QString& nombre() const { return nombre_; }
    // A driver connection string (no data source needed).
    QString cadena(const QString& database = QString()) const;
    void reset();   // empties every table
    void recrear(); // every table from the schema again, after a test altered one
    void sql(const QString& statement);
    // Rows as "a|b|c", Null as NULL.
    QStringList filas(const QString& query);
    QString valor(const QString& query); // first field of the first row
    Conexion& admin() { return *admin_; }

private:
    TestDb();
    void cargarEsquema();
    QTemporaryDir odbcDir_;
    QString nombre_;
    int port_ = 0;
    std::unique_ptr<Conexion> admin_;
};

// An SQL script's statements (one per ";" at a line end).
QStringList sentencias(const QString& script);
QString fuente(const QString& relativa); // a file of the source tree
bool dbScript(const QStringList& args);  // scripts/db.sh; false on failure

struct TestStation {
    explicit TestStation(const QString& dsn = Conexion::kDsn);
    // Freezes the server clock of the station's session.
    void reloj(const QString& fechaHora);

    Conexion db;
    History history;
    ReportBox report;
    RecordingBusy busy;
    RecordingPrompts prompts;
    RecordingPrinter printer;
    RecordingInput input;
    Station st;
};

} // namespace velmar::test
