#include "labels/box_data.h"

#include "labels/work_table.h"
#include "station/velmo.h"

#include <QHash>
#include <algorithm>
#include <functional>

namespace velmar {

namespace {

const QString kRedFilter = QStringLiteral("' and (flores.color='red' or flores.color='rojo')");
const QString kRainbowFilter = QStringLiteral("' and flores.variedad LIKE '%RAINBOW%'");

QString colourQuery(Station& st, const QString& packing, const QString& box, const QString& filter,
                    const QString& columns) {
    return QStringLiteral("select distinct ") + columns + QStringLiteral(" from") +
           QStringLiteral(" bunche , flores Where Mid(cod_varie, 1, 3) = flores.codigo ") +
           QStringLiteral(" and bunche.num_pack='") + st.db.esc(packing) +
           QStringLiteral("' and caja='") + st.db.esc(box) + filter;
}

// What the label asks of the box besides its rows, told apart by the first
// column: the waybill, the red and the rainbow colour queries, the box's own
// mark and, below it, the marks of the lower boxes.
struct BoxFacts {
    QString waybill;
    QStringList red; // the red colours, in the server's order
    bool rainbow = false;
    QString ownMark;
    QHash<qint64, QString> lowerMarks; // lower box -> mark of its first row
};

constexpr int kWaybill = -3, kRed = -2, kRainbow = -1, kOwnMark = 0;

// Text columns of several tables in one column: one character set, so that
// a farm's latin1 table beside a utf8mb4 one is no mix of collations.
QString asText(const QString& column) {
    return QStringLiteral("CONVERT(") + column + QStringLiteral(" USING utf8mb4)");
}

// The colour queries as parts of the label's first statement: the red one
// whole (its first row counts for a bouquet), the rainbow one to its first row.
QString colourParts(Station& st, const QString& packing, const QString& box) {
    const auto part = [&](int tag, const QString& filter, const QString& limit) {
        const QString columns =
            QString::number(tag) + QStringLiteral(", ") + asText(QStringLiteral("flores.color"));
        return QStringLiteral(" UNION ALL (") + colourQuery(st, packing, box, filter, columns) +
               limit + QStringLiteral(")");
    };
    return part(kRed, kRedFilter, QString()) +
           part(kRainbow, kRainbowFilter, QStringLiteral(" LIMIT 1"));
}

RecordSet boxRows(Station& st, const QString& packing, const QString& box) {
    return abrir_consulta(
        st,
        QStringLiteral("SELECT bunche.caja, variedad.vnombre, clientes.cnombre, "
                       "variedad.cod_varie, bunche.num_pack, count(bunche.num_bunch) AS "
                       "bunchest, sum(bunche.num_tallos) AS botones ") +
            QStringLiteral(" FROM bunche, variedad, clientes ") +
            QStringLiteral(" WHERE bunche.num_pack = '") + st.db.esc(packing) +
            QStringLiteral("' AND bunche.cod_varie = variedad.cod_varie And bunche.cod_client = "
                           "clientes.cod_client and caja='") +
            st.db.esc(box) +
            QStringLiteral("' GROUP BY bunche.caja, variedad.vnombre, clientes.cnombre, "
                           "variedad.cod_varie, bunche.num_pack") +
            QStringLiteral(" ORDER BY bunche.caja, variedad.cod_varie"));
}

// Whether a box number walks down to lower boxes in the first statement.
bool wholeAbove1(const QString& box, double& v, bool& isNumber) {
    v = box.trimmed().toDouble(&isNumber);
    return isNumber && v > 1 && v < 1e15 && v == double(qint64(v));
}

// The box's own mark: its first prepacking row as the server returns it. For
// a box numbered with a whole number, every plan row of the lower boxes
// (matched as the text of their number, as the walk's criterion matches
// them) in the server's order, whose first row per box is picked here. One
// statement for all of it, whatever the rows and the box's number.
BoxFacts boxFacts(Station& st, const QString& packing, const QString& box) {
    const QString dePacking =
        QStringLiteral("FROM prepacking WHERE packing='") + st.db.esc(packing) + QLatin1Char('\'');
    QString sql = QStringLiteral("(SELECT ") + QString::number(kWaybill) +
                  QStringLiteral(" AS k, ") + asText(QStringLiteral("guia_aerea")) +
                  QStringLiteral(" AS v ") + dePacking +
                  QStringLiteral(" and guia_aerea<>'' LIMIT 1)") + colourParts(st, packing, box) +
                  QStringLiteral(" UNION ALL (SELECT 0, ") + asText(QStringLiteral("marca")) +
                  QLatin1Char(' ') + dePacking + QStringLiteral(" and caja='") + st.db.esc(box) +
                  QStringLiteral("' LIMIT 1)");
    double v = 0;
    bool isNumber = false;
    if (wholeAbove1(box, v, isNumber))
        sql += QStringLiteral(" UNION ALL (SELECT caja + 0, ") + asText(QStringLiteral("marca")) +
               QLatin1Char(' ') + dePacking + QStringLiteral(" AND caja + 0 BETWEEN 1 AND ") +
               QString::number(qint64(v) - 1) +
               QStringLiteral(" AND caja + 0 = FLOOR(caja + 0) AND caja = CAST(caja + 0 AS CHAR))");
    RecordSet rs = abrir_consulta(st, sql);
    BoxFacts f;
    for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        const qint64 n = qint64(rs.value(0).toDouble());
        if (n == kWaybill)
            f.waybill = rs.text(1);
        else if (n == kRed)
            f.red << rs.text(1);
        else if (n == kRainbow)
            f.rainbow = true;
        else if (n == kOwnMark)
            f.ownMark = rs.text(1);
        else if (!f.lowerMarks.contains(n))
            f.lowerMarks.insert(n, rs.text(1));
    }
    return f;
}

QString colourClass(const BoxFacts& f, ColourRule rule) {
    if (rule == ColourRule::Bouquet) {
        // the first red variety's colour as the server spells it: "Rojo" is not red here
        const QString colour = f.red.value(0);
        return colour == QLatin1String("RED") || colour == QLatin1String("ROJO")
                   ? QStringLiteral("BQT RED")
                   : QStringLiteral("BQT COL");
    }
    if (!f.red.isEmpty())
        return QStringLiteral("RED");
    return f.rainbow ? QStringLiteral("RAINBOW") : QStringLiteral("COLOR");
}

// The own mark, else the nearest lower box's whose first row has one. A box
// numbered as text ("12B") has no lower box to look at.
QString mark(Station& st, const BoxFacts& f, const QString& packing, const QString& box) {
    if (!f.ownMark.isEmpty())
        return f.ownMark;
    double v = 0;
    bool isNumber = false;
    if (wholeAbove1(box, v, isNumber)) {
        QList<qint64> lower = f.lowerMarks.keys();
        std::sort(lower.begin(), lower.end(), std::greater<>());
        for (const qint64 n : lower)
            if (!f.lowerMarks.value(n).isEmpty())
                return f.lowerMarks.value(n);
        return {};
    }
    if (isNumber && v > 1) {
        // a fractional box number walks down as before: rare, and exact
        QString found;
        for (double n = v - 1; found.isEmpty() && n > 0; n -= 1)
            found = RecordSet::textOf(buscar_valor(
                st, QStringLiteral("marca"), QStringLiteral("prepacking"),
                QStringLiteral("packing='") + st.db.esc(packing) + QStringLiteral("' and caja='") +
                    st.db.esc(QString::number(n, 'g', 15)) + QStringLiteral("'")));
        return found;
    }
    return {};
}

} // namespace

// Two statements before the work table: the box's facts, then its rows. The
// waybill becomes the session's as the layout says: first, or only for a box
// with bunches (the form's text; the label takes it from the facts).
std::optional<BoxData> gatherBoxData(Station& st, const QString& packing, const QString& box,
                                     const BoxQueries& queries) {
    const BoxFacts facts = boxFacts(st, packing, box);
    if (queries.waybillFirst)
        st.sesion.guia_actual = facts.waybill;
    BoxData data;
    data.packing = packing;
    data.box = box;
    data.colourClass = colourClass(facts, queries.colour);
    RecordSet groups = boxRows(st, packing, box);
    if (groups.count() <= 0)
        return std::nullopt;
    if (!queries.waybillFirst)
        st.sesion.guia_actual = facts.waybill;
    data.masterWaybill = extraer_parte(facts.waybill, 1, QStringLiteral("/"));
    data.houseWaybill = extraer_parte(facts.waybill, 2, QStringLiteral("/"));
    data.mark = mark(st, facts, packing, box);
    groups.moveFirst();
    data.customer = groups.text(QStringLiteral("cnombre"));
    readGridThroughWorkTable(st, groups, queries, data);
    return data;
}

} // namespace velmar
