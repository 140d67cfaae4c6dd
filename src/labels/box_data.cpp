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

QString colourQuery(Station& st, const QString& packing, const QString& box,
                    const QString& filter) {
    return QStringLiteral("select distinct flores.color from") +
           QStringLiteral(" bunche , flores Where Mid(cod_varie, 1, 3) = flores.codigo ") +
           QStringLiteral(" and bunche.num_pack='") + st.db.esc(packing) +
           QStringLiteral("' and caja='") + st.db.esc(box) + filter;
}

QString colourClass(Station& st, const QString& packing, const QString& box, ColourRule rule) {
    RecordSet red = abrir_consulta(st, colourQuery(st, packing, box, kRedFilter));
    if (rule == ColourRule::Bouquet) {
        // the first red variety's colour as the server spells it: "Rojo" is not red here
        const QString colour = red.count() > 0 ? red.text(QStringLiteral("color")) : QString();
        return colour == QLatin1String("RED") || colour == QLatin1String("ROJO")
                   ? QStringLiteral("BQT RED")
                   : QStringLiteral("BQT COL");
    }
    if (red.count() > 0)
        return QStringLiteral("RED");
    if (abrir_consulta(st, colourQuery(st, packing, box, kRainbowFilter)).count() > 0)
        return QStringLiteral("RAINBOW");
    return QStringLiteral("COLOR");
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

void lookUpWaybill(Station& st, const QString& packing) {
    st.sesion.guia_actual = RecordSet::textOf(buscar_valor(
        st, QStringLiteral("guia_aerea"), QStringLiteral("prepacking"),
        QStringLiteral("packing='") + st.db.esc(packing) + QStringLiteral("' and guia_aerea<>''")));
}

// The box's own mark: its first prepacking row as the server returns it. For
// a box numbered with a whole number and no mark of its own, the walk down box
// by box to box 1, each lower box decided by its own first row (boxes matched
// as the text of their number, as the walk's criterion matches them). A box
// numbered as text ("12B") has no lower box to look at. One statement however
// far down the mark is: every plan row of the lower boxes comes back in the
// server's order, and the first row of each box is picked here.
QString mark(Station& st, const QString& packing, const QString& box) {
    const QString dePacking =
        QStringLiteral("FROM prepacking WHERE packing='") + st.db.esc(packing) + QLatin1Char('\'');
    QString sql = QStringLiteral("(SELECT 0 AS k, marca ") + dePacking +
                  QStringLiteral(" and caja='") + st.db.esc(box) + QStringLiteral("' LIMIT 1)");
    bool isNumber = false;
    const double v = box.trimmed().toDouble(&isNumber);
    const bool whole = isNumber && v > 1 && v < 1e15 && v == double(qint64(v));
    if (whole)
        sql += QStringLiteral(" UNION ALL (SELECT caja + 0, marca ") + dePacking +
               QStringLiteral(" AND caja + 0 BETWEEN 1 AND ") + QString::number(qint64(v) - 1) +
               QStringLiteral(" AND caja + 0 = FLOOR(caja + 0) AND caja = CAST(caja + 0 AS CHAR))");
    RecordSet rs = abrir_consulta(st, sql);
    QString own;
    QHash<qint64, QString> firstOf; // lower box -> mark of its first row
    for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        const qint64 n = qint64(rs.value(0).toDouble());
        if (n == 0)
            own = rs.text(1);
        else if (!firstOf.contains(n))
            firstOf.insert(n, rs.text(1));
    }
    if (!own.isEmpty())
        return own;
    if (whole) {
        QList<qint64> lower = firstOf.keys();
        std::sort(lower.begin(), lower.end(), std::greater<>());
        for (const qint64 n : lower)
            if (!firstOf.value(n).isEmpty())
                return firstOf.value(n);
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

std::optional<BoxData> gatherBoxData(Station& st, const QString& packing, const QString& box,
                                     const BoxQueries& queries) {
    if (queries.waybillFirst)
        lookUpWaybill(st, packing);
    BoxData data;
    data.packing = packing;
    data.box = box;
    data.colourClass = colourClass(st, packing, box, queries.colour);
    RecordSet groups = boxRows(st, packing, box);
    if (groups.count() <= 0)
        return std::nullopt;
    if (!queries.waybillFirst)
        lookUpWaybill(st, packing);
    data.masterWaybill = extraer_parte(st.sesion.guia_actual, 1, QStringLiteral("/"));
    data.houseWaybill = extraer_parte(st.sesion.guia_actual, 2, QStringLiteral("/"));
    data.mark = mark(st, packing, box);
    groups.moveFirst();
    data.customer = groups.text(QStringLiteral("cnombre"));
    readGridThroughWorkTable(st, groups, queries, data);
    return data;
}

} // namespace velmar
