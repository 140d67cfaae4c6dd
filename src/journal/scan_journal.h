#pragma once
// The station's journal of kept scans: one SQLite file (Qt's own driver), each
// row written and synced to disk before the operator is told it was kept.

#include <QList>
#include <QString>

namespace velmar {

// A scan kept while the server could not take it.
struct MarcaGuardada {
    qint64 id = 0;  // the scans' order in this journal
    QString uid;    // unique across stations and files
    QString cedula; // cleaned as the clock cleans it
    QString fecha;  // the server's estimated date, "yyyy-mm-dd"
    QString hora;   // and time, "hh:mm:ss"
};

class ScanJournal {
public:
    // Opens the file, creating it. A file that cannot be read as a journal
    // is renamed aside (never deleted) and a new one is started: apartado()
    // then names it. A journal that cannot be opened at all leaves error().
    explicit ScanJournal(QString archivo);
    ~ScanJournal();
    ScanJournal(const ScanJournal&) = delete;
    ScanJournal& operator=(const ScanJournal&) = delete;

    const QString& archivo() const { return archivo_; }
    const QString& apartado() const { return apartado_; }
    const QString& error() const { return error_; }
    // The journal's connection on this thread (journal/kept_record.h).
    const QString& conexion() const { return conexion_; }

    // Writes one row, synced; throws Error when the file does not take it.
    MarcaGuardada guardar(const QString& cedula, const QString& fecha, const QString& hora);
    // The rows waiting, oldest first; throws Error.
    QList<MarcaGuardada> pendientes() const;
    // How many wait; with `cedula`, how many of that person's.
    int cuantas(const QString& cedula = QString()) const;
    // Removes the row once the server has confirmed it; throws Error.
    void quitar(qint64 id);
    // Removes these rows together, in one synced transaction; throws Error
    // (then none is removed).
    void quitar(const QList<qint64>& ids);

private:
    bool abrir(QString& motivo);
    void cerrar();

    QString archivo_;
    QString conexion_;
    QString apartado_;
    QString error_;
};

} // namespace velmar
