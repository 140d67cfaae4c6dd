#include "clock/clock_sql.h"

#include "db/conexion.h"
#include "db/farm_schema.h"
#include "db/named_lock.h"
#include "errors/errors.h"

namespace velmar {

namespace {

// Only the columns the scan uses: a farm's own column named fecha or hora
// must not stand for the server's clock, and its photo is not read per card.
QString seleccionDePersona() {
    return QStringLiteral("select personal_id, nombres, apellidos, current_date() as fecha, "
                          "current_time() as hora");
}

QString desdePersona(Conexion& db, const QString& cedula) {
    return QStringLiteral(" from personal where cedula = '") + db.esc(cedula) +
           QStringLiteral("' limit 1");
}

// Two stations submitting one card at the same moment must not both insert the
// day's entry: the look-up-then-insert of a person runs under a named lock on
// the server. A short wait keeps a stuck station from blocking the others; past
// it the scan goes on without the lock. Lock names are server-wide, so the
// database is part of the name.
constexpr int kEsperaCandado = 5;

const QString kInsertarIngreso = QStringLiteral(
    "insert into control_asistencia (personal_id, fecha_entrada, hora_entrada,fecha_salida) ");

} // namespace

// Without a format string to parse: a month's report writes tens of
// thousands of them.
QString attendanceLockNameOf(const QString& personalIdSql) {
    return QStringLiteral("CONCAT('velmar-asistencia-', MD5(CONCAT(IFNULL(DATABASE(), ''), '/', ") +
           personalIdSql + QStringLiteral(")))");
}

QString attendanceLockName(Conexion& db, const QString& personalId) {
    return attendanceLockNameOf(QLatin1Char('\'') + db.esc(personalId) + QLatin1Char('\''));
}

// The lock's name comes back with it: it is released under the name the
// server made from the column, whatever text the key reads as here (a
// ZEROFILL integer, a latin1 text).
QString consultaDePersona(Conexion& db, const QString& cedula) {
    const QString nombre = attendanceLockNameOf(QStringLiteral("personal_id"));
    return seleccionDePersona() + QStringLiteral(", ") +
           NamedLock::acquireSql(nombre, kEsperaCandado) + QStringLiteral(" as candado_velmar, ") +
           nombre + QStringLiteral(" as nombre_candado") + desdePersona(db, cedula);
}

QString consultaDePersonaSinCandado(Conexion& db, const QString& cedula) {
    return seleccionDePersona() + desdePersona(db, cedula);
}

QString soltarCandadoDePersona(Conexion& db, const QString& cedula) {
    return QStringLiteral("select RELEASE_LOCK(") +
           attendanceLockNameOf(QStringLiteral("personal_id")) + QStringLiteral(")") +
           desdePersona(db, cedula);
}

// The person's row of the scan's day: the day the person query fixed, so a
// scan that waited into the next day still finds the row of its own.
// The key, the day and "no exit yet" as the farm's columns hold them;
// `ademas`, more of the select list (the lock's release).
QString consultaDelDia(Conexion& db, const QString& personalId, const QString& fecha,
                       const QString& ademas) {
    const FarmSchema& s = db.esquema();
    return QStringLiteral("select asistencia_id, hora_entrada, ") + s.exitRead(db) +
           QStringLiteral(" as hora_salida") + ademas +
           QStringLiteral(" from control_asistencia where personal_id = ") +
           s.keyMatch(db, personalId) + QStringLiteral(" And ") + s.dayIs(db, fecha) +
           QStringLiteral(" limit 1");
}

QString filaDeIngreso(Conexion& db, const QString& personalId, const QString& fecha,
                      const QString& hora) {
    const FarmSchema& s = db.esquema();
    QString porque;
    const QString id = s.keyStored(db, personalId, &porque);
    if (id.isEmpty())
        throw SchemaError(porque);
    const QString f = QLatin1Char('\'') + db.esc(fecha) + QLatin1Char('\'');
    return QStringLiteral("select ") + id + QStringLiteral(", ") + f + QStringLiteral(", ") +
           s.timeLiteral(db, QStringLiteral("hora_entrada"), fecha, hora) + QStringLiteral(",") +
           f +
           QStringLiteral(" from dual where not exists (select 1 from control_asistencia "
                          "where personal_id = ") +
           s.keyMatch(db, personalId) + QStringLiteral(" And ") + s.dayIs(db, fecha) +
           QStringLiteral(")");
}

// The day's entry, refused by the statement itself when the person has one
// already: a station's insert held up on the network and delivered after
// another station's cannot make a second entry.
// A key the column cannot hold is refused, never stored as another (an
// integer column under sql_mode '' would keep 0).
QString insertarIngreso(Conexion& db, const QString& personalId, const QString& fecha,
                        const QString& hora) {
    return kInsertarIngreso + filaDeIngreso(db, personalId, fecha, hora);
}

QString insertarIngresos(const QStringList& filas) {
    return kInsertarIngreso + filas.join(QStringLiteral(" union all "));
}

QString consultaDeFila(Conexion& db, const QString& asistenciaId) {
    return QStringLiteral("select asistencia_id, hora_entrada, ") + db.esquema().exitRead(db) +
           QStringLiteral(" as hora_salida from control_asistencia where asistencia_id = '") +
           db.esc(asistenciaId) + QLatin1Char('\'');
}

// Written in the columns' own types; the day never moves with the exit.
QString actualizarSalida(Conexion& db, const QString& asistenciaId, const QString& fecha,
                         const QString& hora, qint64 segundos) {
    const FarmSchema& s = db.esquema();
    return QStringLiteral("update control_asistencia set fecha_salida = '") + db.esc(fecha) +
           QStringLiteral("', hora_salida = ") +
           s.timeLiteral(db, QStringLiteral("hora_salida"), fecha, hora) +
           QStringLiteral(", horas_dif = ") + s.secondsLiteral(db, segundos) + s.keepOnUpdate() +
           QStringLiteral(" where asistencia_id = '") + db.esc(asistenciaId) +
           QStringLiteral("' and ") + s.noExitYet(db);
}

QString consultaDeTanda(Conexion& db, const QStringList& cedulas) {
    const QString nombre = attendanceLockNameOf(QStringLiteral("personal_id"));
    QStringList partes;
    for (int i = 0; i < cedulas.size(); ++i)
        partes << QStringLiteral("(select ") + QString::number(i) +
                      QStringLiteral(" as n, personal_id, nombres, apellidos, ") +
                      NamedLock::acquireSql(nombre, 0) + QStringLiteral(" as candado_velmar, ") +
                      nombre + QStringLiteral(" as nombre_candado") + desdePersona(db, cedulas[i]) +
                      QLatin1Char(')');
    return partes.join(QStringLiteral(" union all "));
}

QString consultaDeDias(Conexion& db, const QList<DiaDeTanda>& dias, const QString& soltar) {
    QStringList partes;
    for (const DiaDeTanda& d : dias)
        partes << QLatin1Char('(') +
                      consultaDelDia(db, d.personalId, d.fecha,
                                     QStringLiteral(", ") + QString::number(d.n) +
                                         QStringLiteral(" as n, null as soltado")) +
                      QLatin1Char(')');
    if (!soltar.isEmpty())
        partes << QStringLiteral("(select ") +
                      (dias.isEmpty() ? QString() : QStringLiteral("null, null, null, -1, ")) +
                      soltar + QLatin1Char(')');
    return partes.isEmpty() ? QString() : partes.join(QStringLiteral(" union all "));
}

QString soltarCandados(const QStringList& nombres) {
    return QStringLiteral("concat(RELEASE_LOCK(") +
           nombres.join(QStringLiteral("), RELEASE_LOCK(")) + QStringLiteral("))");
}

} // namespace velmar
