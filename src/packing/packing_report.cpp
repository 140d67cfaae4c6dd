#include "packing/packing_report.h"

#include "errors/errors.h"
#include "packing/steps.h"
#include "station/operation_scope.h"
#include "station/velmo.h"

namespace velmar {

namespace {

QString entero(double v) {
    return QString::number(v, 'f', 0);
}

void terminar(Station& st) {
    st.busy.ponerPuntero(Busy::kFlecha);
    st.busy.ponerLeyenda(QString());
}

// The box loop needs each box's rows together; GROUP BY alone does not
// promise an order.
QString consultaDelPacking(Station& st, const QString& packing, const QString& caja) {
    QString sql = QStringLiteral("SELECT bunche.caja, variedad.vnombre, count(bunche.num_bunch) AS "
                                 "bunchest, sum(bunche.num_tallos) AS botones") +
                  QStringLiteral(" FROM bunche, variedad") +
                  QStringLiteral(" WHERE bunche.cod_varie=variedad.cod_varie AND") +
                  QStringLiteral(" bunche.num_pack = '") + st.db.esc(packing);
    if (!caja.isEmpty())
        sql += QStringLiteral("' AND caja='") + st.db.esc(caja);
    return sql + QStringLiteral("' GROUP BY bunche.caja, variedad.vnombre") +
           QStringLiteral(" ORDER BY bunche.caja, variedad.vnombre");
}

void escribirCajas(Station& st, RecordSet& rs);

// The box's variety: the one variety's name without its stem length and the
// box's bunch count, or MIX.
QString variedadDeCaja(Station& st, RecordSet& variedades, qint64 bunches) {
    if (variedades.count() != 1)
        return QStringLiteral("MIX");
    QString nombre = RecordSet::textOf(buscar_valor(
        st, QStringLiteral("vnombre"), QStringLiteral("variedad"),
        QStringLiteral("cod_varie='") + st.db.esc(variedades.text(QStringLiteral("cod_varie"))) +
            QStringLiteral("'")));
    // The last three characters are the stem length; a shorter name has no
    // name part left.
    nombre = nombre.size() >= 3 ? nombre.left(nombre.size() - 3) : QString();
    return sinBlancos(nombre) + QStringLiteral("-") + QString::number(bunches);
}

} // namespace

void reporte_pck(Station& st, const QString& packing, const QString& caja) {
    OperationScope op(st, caminoDeConsulta(st));
    op.ocupado({QStringLiteral("Inicializando ...")});
    st.report.show();
    st.busy.ponerLeyenda(QStringLiteral("Buscando ..."));
    if (!op.preparar())
        return;

    QString estado;
    const bool conEstado = paso(st, [&] {
        estado = RecordSet::textOf(
            buscar_valor(st, QStringLiteral("nacional"), QStringLiteral("bunche"),
                         QStringLiteral("num_pack='") + st.db.esc(packing) + QStringLiteral("'")));
    });

    RecordSet rs = abrir_consulta(st, consultaDelPacking(st, packing, caja));
    int filas = 0;
    // A read that failed has had its box; it says nothing of the packing's data.
    if (!paso(st, [&] { filas = rs.count(); }) || !conEstado) {
        st.report.set(QStringLiteral("No se pudo consultar el packing: ") + packing);
        terminar(st);
        return;
    }
    if (filas <= 0) {
        st.report.set(QStringLiteral("No hay datos para el packing: ") + packing);
        terminar(st);
        return;
    }

    st.busy.ponerLeyenda(QStringLiteral("Recuperando información ..."));
    paso(st, [&] { rs.moveFirst(); });
    st.report.set(QStringLiteral("PACKING: ") + packing +
                  (estado == QLatin1String("C") ? QStringLiteral(" EMBARCADO  ")
                                                : QStringLiteral(" EN PROCESO ")) +
                  kCrLf);

    escribirCajas(st, rs);
    terminar(st);
}

namespace {

// Each box with its varieties and totals; every box but the first closes the
// one before it, whatever its number. A step that fails is skipped.
void escribirCajas(Station& st, RecordSet& rs) {
    const auto totales = [&](double bunches, double tallos) {
        st.report.append(QStringLiteral("Total bunches: ") + entero(bunches) +
                         QStringLiteral(", Total tallos: ") + entero(tallos) + kCrLf);
    };
    bool primera = true;
    QString anterior;
    double bunches = 0, tallos = 0;
    for (;;) {
        // A record set that cannot tell its end or advance ends the loop.
        bool fin = true;
        if (!paso(st, [&] { fin = rs.eof(); }) || fin)
            break;
        QString cajaFila;
        paso(st, [&] { cajaFila = rs.text(QStringLiteral("caja")); });
        if (primera || cajaFila != anterior) {
            if (!primera) {
                totales(bunches, tallos);
                bunches = 0;
                tallos = 0;
            }
            primera = false;
            anterior = cajaFila;
            st.report.append(kSeparador + kCrLf);
            st.report.append(QStringLiteral(" Caja: ") + cajaFila + kCrLf);
        }
        paso(st, [&] {
            const QString cuenta = rs.text(QStringLiteral("bunchest"));
            st.report.append(QStringLiteral("  (") + cuenta + QStringLiteral(")") +
                             (valorNumerico(cuenta) > 1 ? QStringLiteral(" bunches")
                                                        : QStringLiteral(" bunche")) +
                             QStringLiteral(" de ") + rs.text(QStringLiteral("vnombre")) +
                             QStringLiteral(" / ") + rs.text(QStringLiteral("botones")) + kCrLf);
        });
        paso(st, [&] { bunches += valorNumerico(rs.text(QStringLiteral("bunchest"))); });
        paso(st, [&] { tallos += valorNumerico(rs.text(QStringLiteral("botones"))); });
        if (!paso(st, [&] { rs.moveNext(); }))
            break;
    }
    totales(bunches, tallos);
    st.report.append(kSeparador + kCrLf);
}

} // namespace

void imprimir_caja(Station& st, const QString& packing, const QString& caja, const QString& guia) {
    OperationScope op(st, caminoDeConsulta(st));
    op.ocupado({QStringLiteral("Inicializando ...")});
    st.report.show();
    st.busy.ponerLeyenda(QStringLiteral("Buscando ..."));
    if (!op.preparar())
        return;
    try {
        // Not held in 16 bits: a big box is still counted.
        qint64 bunches = 0;
        RecordSet cuenta =
            abrir_consulta(st, QStringLiteral("select count(*) from bunche where "
                                              "num_pack='") +
                                   st.db.esc(packing) + QStringLiteral("' and caja='") +
                                   st.db.esc(caja) + QStringLiteral("'"));
        if (!cuenta.eof())
            bunches = cuenta.value(0).isNull() ? 0 : cuenta.value(0).toLongLong();

        const QString cliente = RecordSet::textOf(
            buscar_valor(st, QStringLiteral("cod_client"), QStringLiteral("bunche"),
                         QStringLiteral("num_pack='") + st.db.esc(packing) + QStringLiteral("'")));
        const QString marcar = RecordSet::textOf(buscar_valor(
            st, QStringLiteral("marcar"), QStringLiteral("clientes"),
            QStringLiteral("cod_client='") + st.db.esc(cliente) + QStringLiteral("'")));

        RecordSet variedades = abrir_consulta(
            st, QStringLiteral("select distinct caja, cod_varie from bunche where num_pack='") +
                    st.db.esc(packing) + QStringLiteral("' and caja='") + st.db.esc(caja) +
                    QStringLiteral("'"));
        const int nVariedades = variedades.count();

        st.report.set(QStringLiteral("PACKING: ") + packing + kCrLf);
        st.busy.ponerLeyenda(QStringLiteral("Recuperando información ..."));

        if (nVariedades <= 0) {
            st.report.append(QStringLiteral("No hay datos para la caja: ") + caja);
            terminar(st);
            return;
        }

        const QString variedad = variedadDeCaja(st, variedades, bunches);

        for (const QString& linea :
             {kSeparador, QStringLiteral("ROSES"), QString(), QStringLiteral(" AWB:") + guia,
              QStringLiteral(" Caja: ") + caja, QStringLiteral(" Marcar: ") + marcar,
              QStringLiteral(" Variedad:") + variedad})
            st.report.append(linea + kCrLf);

        st.prompts.msgbox(QStringLiteral("imprime caja: ") + caja, kSoloOk);
        terminar(st);
    } catch (const Error&) {
        // not the report of another box left in view as this one's
        st.report.set(QStringLiteral("No se pudo consultar la caja: ") + caja);
        st.busy.ponerPuntero(Busy::kFlecha);
        st.busy.ponerLeyenda(Busy::kLeyendaDeError, false);
    }
}

} // namespace velmar
