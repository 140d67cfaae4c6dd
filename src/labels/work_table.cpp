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

// The label's three read-backs, the own-rows check and the lock's release in
// one statement: one round trip, and the check sees the very rows the
// read-backs saw. Each part keeps its own query (its ORDER BY, a LIMIT at
// what is read of it) and is told apart by its tag, the last column. The
// parts run in order, so the release comes after every read.
//
// The named lock is one server's: on a cluster a fill cut off on another node
// can still commit into the table while this one reads it. The whole table
// must be exactly the rows this fill wrote; anything else and the label is
// not printed. The packing's column is only ours by position: a farm's table
// that names it otherwise is checked without it.
QString readBackSql(Station& st, const QString& box, const BoxQueries& queries, const Written& w,
                    bool withPacking, const QString& release) {
    const QString none = QStringLiteral("NULL, NULL, NULL, NULL");
    const QString where = QStringLiteral(" from tmp_caja where caja=") + box;
    const QString mixed = QStringLiteral("coalesce(sum(caja is null or caja <> ") +
                          st.db.num(w.box) + QStringLiteral("), 0)") +
                          (withPacking ? QStringLiteral(" + coalesce(sum(num_pack is null or "
                                                        "num_pack <> '") +
                                             st.db.esc(w.packing) + QStringLiteral("'), 0)")
                                       : QString());
    return QStringLiteral("(select distinct subcliente AS a, NULL AS b, NULL AS bunches, NULL AS "
                          "botones, NULL AS n, NULL AS s1, NULL AS s2, NULL AS otras, 1 AS k") +
           where + queries.columnOrder + QStringLiteral(" LIMIT ") + QString::number(kColumns) +
           QStringLiteral(") UNION ALL (select distinct cliente, NULL, NULL, NULL, ") + none +
           QStringLiteral(", 2") + where + QStringLiteral(" order by cliente LIMIT ") +
           QString::number(queries.rowsRead) +
           QStringLiteral(") UNION ALL (select cliente, subcliente, bunches,botones, ") + none +
           QStringLiteral(", 3") + where + QStringLiteral(" order by cliente LIMIT ") +
           QString::number(kEntries) +
           QStringLiteral(") UNION ALL (select NULL, NULL, NULL, NULL, count(*), "
                          "coalesce(sum(bunches), 0), coalesce(sum(botones), 0), ") +
           mixed + QStringLiteral(", 4 from tmp_caja) UNION ALL (select NULL, NULL, NULL, NULL, ") +
           release + QStringLiteral(", NULL, NULL, NULL, 5)");
}

// A failed read-back shows the box abrir_consulta shows, then ends the label.
RecordSet readBack(Station& st, const QString& box, const BoxQueries& queries, const Written& w,
                   NamedLock& lock) {
    for (bool withPacking = true;; withPacking = false) {
        try {
            RecordSet rs =
                st.db.consulta(readBackSql(st, box, queries, w, withPacking, lock.releaseSql()));
            lock.soltadoEnSentencia();
            return rs;
        } catch (const DbError& e) {
            if (withPacking && e.fault() == ServerFault::UnknownColumn)
                continue;
            st.prompts.msgbox(QStringLiteral("Consulta Sql ") + textoError(e), kSoloOk);
            throw;
        }
    }
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
    RecordSet rs = readBack(st, st.db.num(data.box), queries, written, lock);
    bool own = false;
    for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        switch (rs.value(8).toInt()) {
        case 1:
            data.columns << rs.text(0);
            break;
        case 2:
            data.rows << rs.text(0);
            break;
        case 3:
            data.entries.append({rs.text(0), rs.text(1), rs.text(2)});
            data.bunches += numeric(rs.value(2));
            data.stems += numeric(rs.value(3));
            break;
        case 4:
            own = numeric(rs.value(4)) == written.rows && numeric(rs.value(5)) == written.bunches &&
                  numeric(rs.value(6)) == written.stems && numeric(rs.value(7)) == 0;
            break;
        }
    }
    if (!own)
        throw WorkTableMixed();
}

} // namespace velmar
