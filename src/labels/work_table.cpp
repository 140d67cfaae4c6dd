#include "labels/work_table.h"

#include "db/errors.h"
#include "db/named_lock.h"
#include "station/velmo.h"

#include <algorithm>

namespace velmar {

namespace {

constexpr int kColumns = 4;
constexpr int kEntries = 30;

// tmp_caja is one table for every station: its fill and read-back run under a
// named lock on the server, so two stations printing at once do not mix rows.
// The name carries the database's, as each farm database has its own table.
const QString kLockName = QStringLiteral("CONCAT('velmar-tmp_caja-', MD5(IFNULL(DATABASE(), '')))");
constexpr int kLockWaitSeconds = 10;

// A count or sum as the SQL text places it bare: Null counts as 0.
QString amount(const RecordSet& rs, const QString& column) {
    return rs.isNull(column) ? QStringLiteral("0") : rs.text(column);
}

qint64 numeric(const QVariant& v) {
    return v.isNull() ? 0 : qint64(v.toDouble());
}

// The stem length: the leading number of the last two characters of the code.
QString stemLength(const QString& varietyCode) {
    return QString::number(qint64(valorNumerico(varietyCode.right(2))));
}

// What one fill wrote: its rows, their bunches and stems, and whose they are.
struct Written {
    qint64 rows = 0, bunches = 0, stems = 0;
    QString packing, box;
};

// Empties tmp_caja and writes one row per grouped row of the box query, all
// rows in one statement. A rejected statement ends the label: a missing row
// would print a wrong one.
Written fill(Station& st, RecordSet& groups) {
    Written w;
    st.db.ejecutar(QStringLiteral("delete from tmp_caja"));
    QString sql = QStringLiteral("insert into tmp_caja values");
    QString separator = QStringLiteral("(");
    for (groups.moveFirst(); !groups.eof(); groups.moveNext()) {
        const QString name = groups.text(QStringLiteral("vnombre"));
        const QString shortName = name.size() >= 7 ? name.left(name.size() - 7) : QString();
        sql += separator + st.db.num(amount(groups, QStringLiteral("caja"))) + QStringLiteral(",") +
               QStringLiteral("'") + st.db.esc(name) + QStringLiteral("',") +
               st.db.num(amount(groups, QStringLiteral("bunchest"))) + QStringLiteral(",") +
               st.db.num(amount(groups, QStringLiteral("botones"))) + QStringLiteral(",") +
               QStringLiteral("'") + st.db.esc(shortName) + QStringLiteral("',") +
               QStringLiteral("'") + st.db.esc(groups.text(QStringLiteral("num_pack"))) +
               QStringLiteral("',") + QStringLiteral("'") +
               st.db.esc(stemLength(groups.text(QStringLiteral("cod_varie")))) +
               QStringLiteral("',") + QStringLiteral("'") + QStringLiteral("TAB") +
               QStringLiteral("')");
        separator = QStringLiteral(",(");
        ++w.rows;
        w.bunches += qint64(amount(groups, QStringLiteral("bunchest")).toDouble());
        w.stems += qint64(amount(groups, QStringLiteral("botones")).toDouble());
        w.packing = groups.text(QStringLiteral("num_pack"));
        w.box = amount(groups, QStringLiteral("caja"));
    }
    st.db.ejecutar(sql);
    return w;
}

// The named lock is one server's: on a cluster a fill cut off on another node
// can still commit into the table while this one reads it. The whole table,
// read after the label's own reads, must be exactly the rows this fill wrote;
// anything else and the label is not printed. The packing's column is only
// ours by position: a farm's table that names it otherwise is checked
// without it.
void checkOwnRows(Station& st, const Written& w) {
    const QString sums =
        QStringLiteral("select count(*), coalesce(sum(bunches), 0), coalesce(sum(botones), 0), "
                       "coalesce(sum(caja is null or caja <> ") +
        st.db.num(w.box) + QStringLiteral("), 0)");
    const QString from = QStringLiteral(" from tmp_caja");
    RecordSet rs;
    try {
        rs = st.db.consulta(sums +
                            QStringLiteral(", coalesce(sum(num_pack is null or num_pack <> '") +
                            st.db.esc(w.packing) + QStringLiteral("'), 0)") + from);
    } catch (const DbError& e) {
        if (e.fault() != ServerFault::UnknownColumn)
            throw;
        rs = st.db.consulta(sums + QStringLiteral(", 0") + from);
    }
    const qint64 read[] = {numeric(rs.value(0)), numeric(rs.value(1)), numeric(rs.value(2)),
                           numeric(rs.value(3)) + numeric(rs.value(4))};
    if (read[0] != w.rows || read[1] != w.bunches || read[2] != w.stems || read[3] != 0)
        throw WorkTableMixed();
}

// The first `limit` values of a one-column query, in the order they come.
QStringList values(Station& st, const QString& sql, const QString& column, int limit) {
    RecordSet rs = abrir_consulta(st, sql);
    const int count = std::min(rs.count(), limit);
    QStringList out;
    for (int i = 0; i < count; ++i) {
        out << rs.text(column);
        rs.moveNext();
    }
    return out;
}

} // namespace

void readGridThroughWorkTable(Station& st, RecordSet& groups, const BoxQueries& queries,
                              BoxData& data) {
    NamedLock lock(st.db, kLockName, kLockWaitSeconds);
    if (lock.ocupadoPorOtro())
        throw WorkTableBusy();
    if (!lock.tomado())
        throw DbError(QStringLiteral("No se pudo tomar tmp_caja"));
    const Written written = fill(st, groups);

    const QString box = st.db.num(data.box);
    data.columns = values(st,
                          QStringLiteral("select distinct subcliente from tmp_caja where caja=") +
                              box + queries.columnOrder,
                          QStringLiteral("subcliente"), kColumns);
    data.rows = values(st,
                       QStringLiteral("select distinct cliente from tmp_caja where caja=") + box +
                           QStringLiteral(" order by cliente"),
                       QStringLiteral("cliente"), queries.rowsRead);

    RecordSet rs = abrir_consulta(
        st,
        QStringLiteral("select cliente, subcliente, bunches,botones from tmp_caja where caja=") +
            box + QStringLiteral(" order by cliente"));
    const int count = std::min(rs.count(), kEntries);
    for (int k = 0; k < count; ++k) {
        data.entries.append({rs.text(QStringLiteral("cliente")),
                             rs.text(QStringLiteral("subcliente")),
                             rs.text(QStringLiteral("bunches"))});
        data.bunches += numeric(rs.value(QStringLiteral("bunches")));
        data.stems += numeric(rs.value(QStringLiteral("botones")));
        rs.moveNext();
    }
    checkOwnRows(st, written);
}

} // namespace velmar
