#pragma once
// One fresh database per test executable on the tests' MariaDB server, and a
// station over it with recording stand-ins for the window.

#include "db/conexion.h"
#include "labels/box_labels.h"
#include "station/station.h"

#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <memory>

namespace velmar::test {

class TestDb {
public:
    static TestDb& get();
    const QString& nombre() const { return nombre_; }
    QString cadena(const QString& database = QString()) const; // no data source needed
    void reset();                                              // empties every table
    void recrear(); // the schema again, after a test altered a table
    void sql(const QString& statement);
    void script(const QString& statements);  // each of sentencias()
    QStringList filas(const QString& query); // rows as "a|b|c", Null as NULL
    QString valor(const QString& query);     // first field of the first row

private:
    TestDb();
    QTemporaryDir odbcDir_;
    QString nombre_;
    int port_ = 0;
    std::unique_ptr<Conexion> admin_;
};

QStringList sentencias(const QString& script); // one per ";" at a line end
QString fuente(const QString& relativa);       // a file of the source tree
QByteArray leer(const QString& ruta);          // a file's bytes, or a text naming it missing
bool dbScript(const QStringList& args);        // scripts/db.sh; false on failure
// Writes `carpeta`/odbc.ini, mytnflower on the loopback `puerto`; gives its path.
QString odbcIni(const QString& carpeta, int puerto, const QString& base);

// The box and history text of an operation that failed.
inline const QString kErrorSistema = "Error en el sistema, revise la última operación ";

struct Caja {
    QString texto;
    int estilo;
    QString titulo;
    bool operator==(const Caja&) const = default;
};

// Answers from `respuestas` (none: No); `eventos`: "beep" or "estilo|titulo|texto".
class RecordingPrompts : public Prompts {
public:
    QList<int> respuestas;
    QList<Caja> cajas;
    QStringList eventos;
    void beep() override { eventos << "beep"; }
    void limpiar() { cajas.clear(), eventos.clear(), respuestas.clear(); }

protected:
    int mostrar(const QString& texto, int estilo, const QString& titulo) override {
        cajas.append({texto, estilo, titulo});
        eventos << QString::number(estilo) + '|' + titulo + '|' + texto;
        return (estilo & 0x0F) != kSiNo ? kOk : respuestas.isEmpty() ? kNo : respuestas.takeFirst();
    }
};

struct RecordingBusy : Busy {
    QStringList captions;
    QList<int> punteros;
    QList<bool> repintados;
    void alCambiarPuntero() override { punteros << puntero(); }
    void alCambiarLeyenda(bool repintar) override { captions << leyenda(), repintados << repintar; }
};

struct RecordingPrinter : LabelPrinter {
    QList<QByteArray> etiquetas;
    void send(const QByteArray& label) override { etiquetas << label; }
};
struct RecordingPreview : LabelPreview {
    QList<EtiquetaCompuesta> vistas;
    void mostrar(Station&, const EtiquetaCompuesta& e, const QString&) override { vistas << e; }
};

struct RecordingInput : CardInput {
    int enfocado = 0;
    void vaciar() override {}
    void enfocar() override { ++enfocado; }
};

// One call of velmar-cli in this process, over buffers: exit code, stdout, stderr.
struct SalidaCli {
    int codigo;
    QByteArray out, err;
    bool operator==(const SalidaCli&) const = default;
};
SalidaCli cli(const QStringList& args, const QByteArray& entrada = {});
// A program run to its end (code -1 when it did not end), no input.
SalidaCli correr(const QString& programa, const QStringList& args,
                 const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

struct TestStation {
    explicit TestStation(const QString& dsn = Conexion::kDsn);
    void reloj(const QString& fechaHora); // freezes the session's server clock

    Conexion db;
    History history;
    ReportBox report;
    RecordingBusy busy;
    RecordingPrompts prompts;
    RecordingPrinter printer;
    RecordingInput input;
    RecordingPreview vista;
    StationSession sesion;
    Station st;
};

} // namespace velmar::test
