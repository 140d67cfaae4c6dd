#pragma once
// The farm's own tables as the server describes them, learned once per
// session, and the one place that answers how each statement must compare a
// day, write seconds and times, recognise "no exit yet" and match a person's
// key for those columns. A shape the station cannot serve soundly is a
// finding that names the table, the column and what to change.

#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

namespace velmar {

class Conexion;

// One column as information_schema describes it.
struct FarmColumn {
    enum class Kind { Integer, Decimal, Float, Text, Date, DateTime, Time, Other };

    QString table, name; // lower case
    QString dataType;    // lower case: int, varchar, time, ...
    QString columnType;  // as declared: "int(10) unsigned zerofill"
    bool nullable = true;
    std::optional<QString> defaultSql; // the default as the server writes it; none: no default
    qint64 length = 0;                 // characters, for texts
    int precision = 0, scale = 0;
    QString extra; // lower case: auto_increment, on update ..., generated
    Kind kind = Kind::Other;

    bool isNumber() const;
    bool generated() const;
    bool autoIncrement() const;
    bool onUpdate() const;
    QString qualified() const { return table + QLatin1Char('.') + name; }
};

// What a part of the station cannot do on this schema, or a note for the
// farm's IT person. `rooms` lists what it stops; empty for a note.
struct SchemaFinding {
    enum Room { Clock = 1, Report = 2, Login = 4, Labels = 8 };
    QString column; // table.column, or the table alone
    QString problem;
    QString fix;
    int rooms = 0;
    QString text() const;
};

// How a value of the clock's and the report's columns travels, decided once.
class FarmSchema {
public:
    // Reads the four tables' columns, control_asistencia's indexes and the
    // session's sql_mode; throws DbError.
    static FarmSchema learn(Conexion& db);
    // A schema from columns already known (the unit tier).
    static FarmSchema fromColumns(QVector<FarmColumn> columns, QVector<QStringList> indexes,
                                  bool strict);

    const FarmColumn* column(const QString& table, const QString& name) const;
    const QVector<FarmColumn>& columns() const { return columns_; }
    const QVector<SchemaFinding>& findings() const { return findings_; }
    // The findings that stop any of `rooms` (SchemaFinding::Room bits),
    // joined for one box; empty when none.
    QString refusal(int rooms) const;
    bool strict() const { return strict_; }
    bool hasDayIndex() const;

    // control_asistencia.fecha_entrada being the day `dia` (yyyy-mm-dd),
    // whether the column holds a date, a moment or a text.
    QString dayIs(Conexion& db, const QString& dia) const;
    // A time of day `hora` (hh:mm:ss) of the day `dia` as `column` stores it.
    QString timeLiteral(Conexion& db, const QString& column, const QString& dia,
                        const QString& hora) const;
    // Whole seconds as horas_dif stores them; its read-back as seconds.
    QString secondsLiteral(Conexion& db, qint64 seconds) const;
    QString secondsRead() const;
    // hora_salida as read: Null while no exit is recorded, whatever the
    // column keeps for "no exit" (Null, or its default when it takes no Null).
    QString exitRead(Conexion& db) const;
    QString noExitYet(Conexion& db) const;
    // Assignments an exit update adds so that no column of the day moves
    // with it (a TIMESTAMP ... ON UPDATE on fecha_entrada).
    QString keepOnUpdate() const;
    // A person's key (as personal holds it) in a comparison with
    // control_asistencia.personal_id: typed as personal's column, so the
    // server matches it as it joins the two tables.
    QString keyMatch(Conexion& db, const QString& key) const;
    // The key as control_asistencia.personal_id stores it; empty when the
    // column cannot hold it (then `why` says so).
    QString keyStored(Conexion& db, const QString& key, QString* why) const;
    // Both key columns integers: a key's number is the person.
    bool integerKeys() const;

private:
    void judge();
    void judgeAttendance();
    void judgeExtraColumns();
    void judgeOthers();
    void judgeKeys();
    void judgeExit();
    void add(const QString& column, const QString& problem, const QString& fix, int rooms);
    // The value hora_salida keeps while no exit is recorded; none: Null.
    std::optional<QString> noExitValue() const;

    QVector<FarmColumn> columns_;
    QVector<QStringList> indexes_; // control_asistencia's, each its columns in order
    QVector<SchemaFinding> findings_;
    bool strict_ = false;
};

} // namespace velmar
