#pragma once
// The supervisor's record of every scan this station kept: a table of its own
// in the journal's file, which outlives the row's leaving the queue. A
// replayed scan looks like a live one in the database; this says it was kept,
// when, on which station, and what it became when it was sent.

#include "journal/scan_journal.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

class QSqlDatabase;

namespace velmar {

// What a kept scan became: a short code (for scripts) stored beside the
// history lines its replay wrote.
namespace resultado {
inline const QString kEnEspera = QStringLiteral("en_espera");
inline const QString kNoEnviada = QStringLiteral("no_enviada"); // refused; still waiting
inline const QString kIngreso = QStringLiteral("ingreso");
inline const QString kSalida = QStringLiteral("salida");
inline const QString kYaIngresado = QStringLiteral("ya_ingresado"); // the day had its entry
inline const QString kYaSalio = QStringLiteral("ya_salio");
inline const QString kSinConfirmar = QStringLiteral("sin_confirmar"); // must scan again
inline const QString kSinEfecto = QStringLiteral("sin_efecto");
inline const QString kNoEncontrada = QStringLiteral("no_encontrada");
inline const QString kNoRegistrada = QStringLiteral("no_registrada"); // the schema refused it
inline const QString kOtro = QStringLiteral("otro");
} // namespace resultado

// One kept scan as the record holds it.
struct MarcaRegistrada {
    QString uid;
    QString cedula;
    QString guardada; // the server's estimated time it was kept at, "yyyy-mm-dd hh:mm:ss"
    QString enviada;  // the server's time it was taken at; empty while it waits
    QString estacion; // the station's host name
    QString persona;  // "NOMBRES APELLIDOS" when the replay named them
    QString resultado;
    QString hora;    // the time the outcome names (the day's entry of a re-scan)
    QString detalle; // the replay's history lines, " / " between them
};

// What a list of records counts: the scans still waiting, and the early exits
// that were not confirmed (those people must scan again).
struct CuentaDeRegistro {
    int espera = 0;
    int sinConfirmar = 0;
};
CuentaDeRegistro contar(const QList<MarcaRegistrada>& filas);
// When it was sent, or "en espera".
QString enviadaOEspera(const MarcaRegistrada& m);

// What a replay's history lines say it became. `sinConfirmar`: the clock
// asked for an early exit, which a replay always answers No.
struct Desenlace {
    QString resultado, persona, hora;
};
Desenlace desenlaceDeEnvio(const QString& lineas, bool sinConfirmar);

// The outcome as the dialog names it.
QString tituloDeResultado(const QString& resultado);
// velmar-cli's line of a record (TAB between the fields, after a TAB).
QString lineaDeRegistro(const MarcaRegistrada& m);

class KeptRecord {
public:
    // Sent records older than this (counted back from the latest send) go.
    static constexpr int kDiasConservados = 60;

    explicit KeptRecord(const ScanJournal& diario)
        : diario_(diario) {}

    // The table, made when the journal is opened; false and why when not.
    static bool crear(QSqlDatabase& db, QString& motivo);
    // The record of a scan just kept, in the journal's transaction; throws Error.
    static void guardada(QSqlDatabase& db, const MarcaGuardada& m);

    // The server took the scan: its outcome, once (a row sent again after
    // the station stopped half-way keeps the first). `hora`: the server's
    // estimated time now (none: the station's clock). Never throws: the
    // record must not hold up the queue.
    void enviada(const MarcaGuardada& m, const QString& lineas, bool sinConfirmar,
                 const std::optional<QDateTime>& hora) const;
    // Scans a batch sent, each with its lines: one transaction, one sync.
    void enviadas(const QList<std::pair<MarcaGuardada, QString>>& filas,
                  const std::optional<QDateTime>& hora) const;
    // The server refused it; it waits, and the record says why.
    void noEnviada(const MarcaGuardada& m, const QString& motivo) const;

    // Every waiting scan, and the others kept from `desde` ("yyyy-mm-dd";
    // null: all), in the order they were kept; throws Error.
    QList<MarcaRegistrada> leer(const QString& desde = QString()) const;

private:
    const ScanJournal& diario_;
};

} // namespace velmar
