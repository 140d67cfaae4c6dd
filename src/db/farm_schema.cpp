#include "db/farm_schema.h"

#include "db/conexion.h"
#include "db/sql_quote.h"

#include <QHash>
#include <QRegularExpression>
#include <cmath>
#include <cstdio>

namespace velmar {

namespace {

using Kind = FarmColumn::Kind;

Kind kindOf(const QString& t) {
    static const QStringList integers = {"tinyint", "smallint", "mediumint",
                                         "int",     "integer",  "bigint"};
    static const QStringList texts = {"char",       "varchar",  "tinytext", "text",
                                      "mediumtext", "longtext", "binary",   "varbinary"};
    if (integers.contains(t))
        return Kind::Integer;
    if (t == QLatin1String("decimal") || t == QLatin1String("numeric"))
        return Kind::Decimal;
    if (t == QLatin1String("float") || t == QLatin1String("double") || t == QLatin1String("real"))
        return Kind::Float;
    if (texts.contains(t))
        return Kind::Text;
    if (t == QLatin1String("date"))
        return Kind::Date;
    if (t == QLatin1String("datetime") || t == QLatin1String("timestamp"))
        return Kind::DateTime;
    if (t == QLatin1String("time"))
        return Kind::Time;
    return Kind::Other;
}

// The largest whole number an integer or decimal column holds.
double largest(const FarmColumn& c) {
    static const QHash<QString, double> signedMax = {
        {"tinyint", 127.0},    {"smallint", 32767.0},     {"mediumint", 8388607.0},
        {"int", 2147483647.0}, {"integer", 2147483647.0}, {"bigint", 9.223372036854775807e18}};
    if (c.kind == Kind::Decimal)
        return std::pow(10.0, c.precision - c.scale) - 1;
    const double m = signedMax.value(c.dataType, 0);
    return c.columnType.contains(QLatin1String("unsigned")) ? m * 2 + 1 : m;
}

// A default as information_schema writes it ('00:00:00', 0, NULL,
// current_timestamp()) as the value it stands for; none for an expression.
std::optional<QString> defaultValue(const QString& sql) {
    if (sql.size() >= 2 && sql.startsWith(QLatin1Char('\'')) && sql.endsWith(QLatin1Char('\'')))
        return sql.mid(1, sql.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
    static const QRegularExpression number(QStringLiteral("^-?\\d+(\\.\\d+)?$"));
    if (number.match(sql).hasMatch())
        return sql;
    return std::nullopt;
}

// The value the server writes for a column left out of an insert when it
// takes no Null and has no default (outside strict mode).
QString implicitDefault(const FarmColumn& c) {
    switch (c.kind) {
    case Kind::Time:
        return QStringLiteral("00:00:00");
    case Kind::Text:
        return QString();
    case Kind::Date:
        return QStringLiteral("0000-00-00");
    case Kind::DateTime:
        return QStringLiteral("0000-00-00 00:00:00");
    default:
        return QStringLiteral("0");
    }
}

QString quoted(Conexion& db, const QString& v) {
    return QLatin1Char('\'') + db.esc(v) + QLatin1Char('\'');
}

} // namespace

bool FarmColumn::isNumber() const {
    return kind == Kind::Integer || (kind == Kind::Decimal && scale == 0);
}
bool FarmColumn::generated() const {
    return extra.contains(QLatin1String("generated")) || extra.contains(QLatin1String("virtual")) ||
           extra.contains(QLatin1String("persistent")) || extra.contains(QLatin1String("stored"));
}
bool FarmColumn::autoIncrement() const {
    return extra.contains(QLatin1String("auto_increment"));
}
bool FarmColumn::onUpdate() const {
    return extra.contains(QLatin1String("on update"));
}

QString SchemaFinding::text() const {
    return column + QStringLiteral(": ") + problem +
           (fix.isEmpty() ? QString() : QStringLiteral(" ") + fix);
}

FarmSchema FarmSchema::learn(Conexion& db) {
    RecordSet rs = db.consulta(QStringLiteral(
        "SELECT LOWER(TABLE_NAME), LOWER(COLUMN_NAME), LOWER(DATA_TYPE), LOWER(COLUMN_TYPE), "
        "IS_NULLABLE, COLUMN_DEFAULT, CHARACTER_MAXIMUM_LENGTH, NUMERIC_PRECISION, NUMERIC_SCALE, "
        "LOWER(EXTRA), @@SESSION.sql_mode FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = "
        "DATABASE() AND TABLE_NAME IN ('personal', 'control_asistencia', 'usuario', 'tmp_caja') "
        "ORDER BY TABLE_NAME, ORDINAL_POSITION"));
    QVector<FarmColumn> columns;
    bool strict = false;
    for (; !rs.eof(); rs.moveNext()) {
        FarmColumn c;
        c.table = rs.text(0);
        c.name = rs.text(1);
        c.dataType = rs.text(2);
        c.columnType = rs.text(3);
        c.nullable = rs.text(4) == QLatin1String("YES");
        if (!rs.value(5).isNull())
            c.defaultSql = rs.text(5);
        c.length = rs.value(6).toLongLong();
        c.precision = rs.value(7).toInt();
        c.scale = rs.value(8).toInt();
        c.extra = rs.text(9);
        strict = rs.text(10).contains(QLatin1String("STRICT_"), Qt::CaseInsensitive);
        columns.append(c);
    }
    RecordSet ix = db.consulta(QStringLiteral(
        "SELECT GROUP_CONCAT(LOWER(COLUMN_NAME) ORDER BY SEQ_IN_INDEX) FROM "
        "information_schema.STATISTICS WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = "
        "'control_asistencia' GROUP BY INDEX_NAME"));
    QVector<QStringList> indexes;
    for (; !ix.eof(); ix.moveNext())
        indexes.append(ix.text(0).split(QLatin1Char(',')));
    return fromColumns(std::move(columns), std::move(indexes), strict);
}

FarmSchema FarmSchema::fromColumns(QVector<FarmColumn> columns, QVector<QStringList> indexes,
                                   bool strict) {
    FarmSchema s;
    for (FarmColumn& c : columns)
        c.kind = kindOf(c.dataType);
    s.columns_ = std::move(columns);
    s.indexes_ = std::move(indexes);
    s.strict_ = strict;
    s.judge();
    return s;
}

const FarmColumn* FarmSchema::column(const QString& table, const QString& name) const {
    for (const FarmColumn& c : columns_)
        if (c.table == table && c.name == name)
            return &c;
    return nullptr;
}

QString FarmSchema::refusal(int rooms) const {
    QStringList lines;
    for (const SchemaFinding& f : findings_)
        if (f.rooms & rooms)
            lines << f.text();
    return lines.join(QLatin1Char('\n'));
}

bool FarmSchema::hasDayIndex() const {
    for (const QStringList& ix : indexes_)
        if (ix.value(0) == QLatin1String("personal_id"))
            return true;
    return false;
}

} // namespace velmar

// ---- how each value travels ------------------------------------------------

namespace velmar {

namespace {

const QString kCa = QStringLiteral("control_asistencia");

} // namespace

QString FarmSchema::dayIs(Conexion& db, const QString& dia) const {
    const FarmColumn* c = column(kCa, QStringLiteral("fecha_entrada"));
    if (c && c->kind == Kind::DateTime)
        return QStringLiteral("fecha_entrada >= ") + quoted(db, dia + QStringLiteral(" 00:00:00")) +
               QStringLiteral(" And fecha_entrada <= ") +
               quoted(db, dia + QStringLiteral(" 23:59:59.999999"));
    // a text day may carry a time after it; the prefix still uses the index
    if (c && c->kind == Kind::Text)
        return QStringLiteral("fecha_entrada like ") + quoted(db, dia + QLatin1Char('%'));
    return QStringLiteral("fecha_entrada = ") + quoted(db, dia);
}

QString FarmSchema::timeLiteral(Conexion& db, const QString& name, const QString& dia,
                                const QString& hora) const {
    const FarmColumn* c = column(kCa, name);
    return quoted(db, c && c->kind == Kind::DateTime ? dia + QLatin1Char(' ') + hora : hora);
}

QString FarmSchema::secondsLiteral(Conexion& db, qint64 seconds) const {
    const FarmColumn* c = column(kCa, QStringLiteral("horas_dif"));
    const QString n = QString::number(seconds);
    return c && c->kind == Kind::Time
               ? QStringLiteral("SEC_TO_TIME(") + db.num(n) + QLatin1Char(')')
               : quoted(db, n);
}

QString FarmSchema::secondsRead() const {
    const FarmColumn* c = column(kCa, QStringLiteral("horas_dif"));
    return c && c->kind == Kind::Time ? QStringLiteral("TIME_TO_SEC(horas_dif)")
                                      : QStringLiteral("horas_dif");
}

std::optional<QString> FarmSchema::noExitValue() const {
    const FarmColumn* c = column(kCa, QStringLiteral("hora_salida"));
    if (!c || c->nullable)
        return std::nullopt;
    if (!c->defaultSql)
        return implicitDefault(*c);
    return defaultValue(*c->defaultSql);
}

QString FarmSchema::exitRead(Conexion& db) const {
    const std::optional<QString> v = noExitValue();
    return v ? QStringLiteral("NULLIF(hora_salida, ") + quoted(db, *v) + QLatin1Char(')')
             : QStringLiteral("hora_salida");
}

QString FarmSchema::noExitYet(Conexion& db) const {
    const std::optional<QString> v = noExitValue();
    return v ? QStringLiteral("(hora_salida is null or hora_salida = ") + quoted(db, *v) +
                   QLatin1Char(')')
             : QStringLiteral("hora_salida is null");
}

QString FarmSchema::keepOnUpdate() const {
    QString sql;
    for (const char* name : {"personal_id", "fecha_entrada", "hora_entrada"})
        if (const FarmColumn* c = column(kCa, QLatin1String(name)); c && c->onUpdate())
            sql += QStringLiteral(", ") + c->name + QStringLiteral(" = ") + c->name;
    return sql;
}

QString FarmSchema::keyMatch(Conexion& db, const QString& key) const {
    const FarmColumn* c = column(QStringLiteral("personal"), QStringLiteral("personal_id"));
    return c && c->isNumber() ? db.num(key.trimmed()) : quoted(db, key);
}

QString FarmSchema::keyStored(Conexion& db, const QString& key, QString* why) const {
    const FarmColumn* c = column(kCa, QStringLiteral("personal_id"));
    if (!c || !c->isNumber()) {
        if (!c || c->length <= 0 || key.size() <= c->length)
            return quoted(db, key);
        *why = QStringLiteral("la clave '%1' de la persona tiene %2 caracteres y %3 (%4) guarda %5")
                   .arg(key)
                   .arg(key.size())
                   .arg(c->qualified(), c->columnType)
                   .arg(c->length);
        return {};
    }
    static const QRegularExpression entero(QStringLiteral("^[+-]?\\d+$"));
    const QString t = key.trimmed();
    bool ok = entero.match(t).hasMatch();
    const double v = ok ? t.toDouble(&ok) : 0;
    const bool unsignedColumn = c->columnType.contains(QLatin1String("unsigned"));
    if (ok && v <= largest(*c) && v >= (unsignedColumn ? 0.0 : -largest(*c) - 1))
        return db.num(t);
    *why = QStringLiteral("la clave '%1' de la persona no cabe en %2 (%3), que sólo guarda "
                          "números enteros%4")
               .arg(key, c->qualified(), c->columnType,
                    ok ? QStringLiteral(" hasta %1").arg(largest(*c), 0, 'f', 0) : QString());
    return {};
}

bool FarmSchema::integerKeys() const {
    const FarmColumn* a = column(kCa, QStringLiteral("personal_id"));
    const FarmColumn* p = column(QStringLiteral("personal"), QStringLiteral("personal_id"));
    return a && p && a->kind == Kind::Integer && p->kind == Kind::Integer;
}

// ---- what the station cannot serve -----------------------------------------

void FarmSchema::add(const QString& column, const QString& problem, const QString& fix, int rooms) {
    findings_.append({column, problem, fix, rooms});
}

void FarmSchema::judge() {
    judgeAttendance();
    judgeKeys();
    judgeExit();
    judgeExtraColumns();
    judgeOthers();
}

namespace {

constexpr int kAttendance = SchemaFinding::Clock | SchemaFinding::Report;

// Why `c` cannot hold what the clock writes there; empty when it can.
QString unfit(const FarmColumn& c, bool day, qint64 textLength) {
    const bool fits = day ? (c.kind == Kind::Date || c.kind == Kind::DateTime)
                          : (c.kind == Kind::Time || c.kind == Kind::DateTime);
    if (fits || (c.kind == Kind::Text && (c.length <= 0 || c.length >= textLength)))
        return {};
    if (c.kind == Kind::Text)
        return QStringLiteral("es %1: guarda %2 caracteres y %3 necesita %4")
            .arg(c.columnType)
            .arg(c.length)
            .arg(day ? QStringLiteral("una fecha aaaa-mm-dd") : QStringLiteral("una hora hh:mm:ss"))
            .arg(textLength);
    return QStringLiteral("es %1, que no guarda %2")
        .arg(c.columnType, day ? QStringLiteral("una fecha") : QStringLiteral("una hora"));
}

} // namespace

void FarmSchema::judgeAttendance() {
    const QStringList needed = {"asistencia_id", "personal_id", "fecha_entrada", "hora_entrada",
                                "fecha_salida",  "hora_salida", "horas_dif"};
    for (const QString& n : needed)
        if (!column(kCa, n))
            add(kCa + QLatin1Char('.') + n, QStringLiteral("falta la columna."),
                QStringLiteral("Agréguela a la tabla."), kAttendance);
    for (const char* n : {"fecha_entrada", "fecha_salida", "hora_entrada", "hora_salida"}) {
        const FarmColumn* c = column(kCa, QLatin1String(n));
        const bool day = QLatin1String(n).startsWith(QLatin1String("fecha"));
        if (const QString why = c ? unfit(*c, day, day ? 10 : 8) : QString(); !why.isEmpty())
            add(c->qualified(), why + QLatin1Char('.'),
                day ? QStringLiteral("Cámbiela a DATE.") : QStringLiteral("Cámbiela a TIME."),
                kAttendance);
    }
    if (const FarmColumn* c = column(kCa, QStringLiteral("horas_dif"))) {
        const bool fits =
            c->kind == Kind::Time || c->kind == Kind::Float ||
            ((c->kind == Kind::Integer || c->kind == Kind::Decimal) && largest(*c) >= 14399) ||
            (c->kind == Kind::Text && (c->length <= 0 || c->length >= 5));
        if (!fits)
            add(c->qualified(),
                QStringLiteral("es %1: no guarda los segundos de una salida temprana (hasta "
                               "14399).")
                    .arg(c->columnType),
                QStringLiteral("Cámbiela a INT."), kAttendance);
    }
    const FarmColumn* id = column(kCa, QStringLiteral("asistencia_id"));
    if (id && !id->autoIncrement() && !id->defaultSql && !id->generated())
        add(id->qualified(),
            QStringLiteral("no es AUTO_INCREMENT ni tiene valor por omisión: la base no puede "
                           "numerar los ingresos."),
            QStringLiteral("Cámbiela: ALTER TABLE control_asistencia MODIFY asistencia_id INT "
                           "NOT NULL AUTO_INCREMENT."),
            SchemaFinding::Clock);
}

void FarmSchema::judgeKeys() {
    const FarmColumn* a = column(kCa, QStringLiteral("personal_id"));
    const FarmColumn* p = column(QStringLiteral("personal"), QStringLiteral("personal_id"));
    for (const FarmColumn* c : {a, p})
        if (c && !c->isNumber() && c->kind != Kind::Text)
            add(c->qualified(),
                QStringLiteral("es %1: la clave de una persona es un número entero o un texto.")
                    .arg(c->columnType),
                QStringLiteral("Cámbiela a INT o VARCHAR."), kAttendance);
    if (!a || !p)
        return;
    if (a->kind == Kind::Text && p->isNumber())
        add(a->qualified(),
            QStringLiteral("es texto y personal.personal_id un número: se comparan como números "
                           "(como las une la base), sin usar el índice."),
            QStringLiteral("Conviene que ambas sean INT."), 0);
    if (a->isNumber() && p->kind == Kind::Text)
        add(a->qualified(),
            QStringLiteral("es un número y personal.personal_id texto: una persona cuya clave no "
                           "es un número no puede marcar (se le avisa)."),
            QStringLiteral("Conviene que ambas tengan el mismo tipo."), 0);
    if (!hasDayIndex())
        add(kCa,
            QStringLiteral("no tiene un índice que empiece por personal_id: cada escaneo lee "
                           "la tabla entera (más de un segundo con millones de filas)."),
            QStringLiteral("Agréguelo: ALTER TABLE control_asistencia ADD INDEX "
                           "(personal_id, fecha_entrada)."),
            0);
}

void FarmSchema::judgeExit() {
    const FarmColumn* c = column(kCa, QStringLiteral("hora_salida"));
    if (!c || c->nullable)
        return;
    if (!c->defaultSql && strict_) {
        add(c->qualified(),
            QStringLiteral("no admite Null y no tiene valor por omisión: la base rechaza cada "
                           "ingreso."),
            QStringLiteral("Permita Null o agregue DEFAULT '00:00:00'."), SchemaFinding::Clock);
        return;
    }
    if (c->defaultSql && !defaultValue(*c->defaultSql)) {
        add(c->qualified(),
            QStringLiteral("no admite Null y su valor por omisión (%1) no es un valor fijo: la "
                           "estación no puede saber quién no ha salido.")
                .arg(*c->defaultSql),
            QStringLiteral("Permita Null o use un DEFAULT fijo."), kAttendance);
        return;
    }
    add(c->qualified(),
        QStringLiteral("no admite Null: '%1' se lee como \"sin salida\".").arg(*noExitValue()),
        QString(), 0);
}

void FarmSchema::judgeExtraColumns() {
    static const QStringList written = {"personal_id",  "fecha_entrada", "hora_entrada",
                                        "fecha_salida", "asistencia_id", "hora_salida"};
    for (const FarmColumn& c : columns_) {
        if (c.table != kCa || written.contains(c.name) || c.nullable || c.defaultSql ||
            c.autoIncrement() || c.generated())
            continue;
        if (strict_)
            add(c.qualified(),
                QStringLiteral("no admite Null y no tiene valor por omisión, y la estación no la "
                               "escribe: la base rechaza cada ingreso."),
                QStringLiteral("Permita Null o agregue un DEFAULT."), SchemaFinding::Clock);
        else
            add(c.qualified(),
                QStringLiteral("no admite Null ni tiene valor por omisión: en cada ingreso la "
                               "base escribe '%1'.")
                    .arg(implicitDefault(c)),
                QString(), 0);
    }
}

void FarmSchema::judgeOthers() {
    for (const char* n : {"personal_id", "cedula", "nombres", "apellidos"})
        if (!column(QStringLiteral("personal"), QLatin1String(n)))
            add(QStringLiteral("personal.") + QLatin1String(n), QStringLiteral("falta la columna."),
                QStringLiteral("Agréguela a la tabla."), kAttendance);
    for (const char* n : {"usu_login", "usu_password", "usu_permiso"})
        if (!column(QStringLiteral("usuario"), QLatin1String(n)))
            add(QStringLiteral("usuario.") + QLatin1String(n), QStringLiteral("falta la columna."),
                QStringLiteral("Agréguela a la tabla."), SchemaFinding::Login);
    const FarmColumn* pw = column(QStringLiteral("usuario"), QStringLiteral("usu_password"));
    if (pw && pw->kind == Kind::Text && pw->length > 0 && pw->length < 41)
        add(pw->qualified(),
            QStringLiteral("guarda %1 caracteres y PASSWORD() da 41: ninguna clave coincide.")
                .arg(pw->length),
            QStringLiteral("Cámbiela a VARCHAR(41) y vuelva a poner las claves."),
            SchemaFinding::Login);
    int workColumns = 0;
    for (const FarmColumn& c : columns_)
        workColumns += c.table == QLatin1String("tmp_caja") && !c.generated();
    if (workColumns != 8)
        add(QStringLiteral("tmp_caja"),
            workColumns ? QStringLiteral("tiene %1 columnas y las etiquetas la llenan por "
                                         "posición con 8.")
                              .arg(workColumns)
                        : QStringLiteral("falta la tabla de trabajo de las etiquetas."),
            QStringLiteral("Déjela con las 8 columnas de db/schema.sql."), SchemaFinding::Labels);
}

} // namespace velmar
