#pragma once
// The attendance clock's statements as text, apart from its rules
// (attendance_clock.cpp): what is sent for a scan or a batch of kept scans,
// never what it becomes.

#include <QList>
#include <QString>
#include <QStringList>

namespace velmar {

class Conexion;

// The SQL expression naming the server lock under which a person's look-up and
// entry run (server-wide, so the database is part of the name).
QString attendanceLockName(Conexion& db, const QString& personalId);
// The same name for the person an SQL expression gives (a column, NEW.personal_id).
QString attendanceLockNameOf(const QString& personalIdSql);

// The scan's own statements (the bench times them alone): the person query,
// which also takes the person's lock for the row it finds; the person's row of
// a day; the day's entry, inserted only when the day has none.
QString consultaDePersona(Conexion& db, const QString& cedula);
QString consultaDelDia(Conexion& db, const QString& personalId, const QString& fecha,
                       const QString& ademas = QString());
QString insertarIngreso(Conexion& db, const QString& personalId, const QString& fecha,
                        const QString& hora);

// The person query without the lock, and the lock let go for the row it
// finds: after a person query that failed past its lock.
QString consultaDePersonaSinCandado(Conexion& db, const QString& cedula);
QString soltarCandadoDePersona(Conexion& db, const QString& cedula);

// A day's row by its id, read back after a write.
QString consultaDeFila(Conexion& db, const QString& asistenciaId);
// The early exit, written only over a row without one.
QString actualizarSalida(Conexion& db, const QString& asistenciaId, const QString& fecha,
                         const QString& hora, qint64 segundos);

// A batch: the people of `cedulas` (cleaned) looked up and locked at once
// without waiting, each row numbered `n` by its place.
QString consultaDeTanda(Conexion& db, const QStringList& cedulas);
// A locked person's day to read in a batch, numbered `n`.
struct DiaDeTanda {
    int n;
    QString personalId, fecha;
};
// The days in one statement; with `soltar` (soltarCandados), a last row
// numbered -1 lets the locks go. Null when there is nothing to send.
QString consultaDeDias(Conexion& db, const QList<DiaDeTanda>& dias, const QString& soltar);
// One expression letting go of the locks `nombres` (as the server gave them,
// quoted).
QString soltarCandados(const QStringList& nombres);
// One day's entry as the select that writes it only into an empty day; a key
// the column cannot hold throws SchemaError. The entries of `filas` in one
// insert.
QString filaDeIngreso(Conexion& db, const QString& personalId, const QString& fecha,
                      const QString& hora);
QString insertarIngresos(const QStringList& filas);

} // namespace velmar
