#include "packing/packing_change.h"

#include "packing/steps.h"
#include "station/operation_scope.h"
#include "station/velmo.h"

namespace velmar {

void cambiar_packing(Station& st, const QString& packing, const QString& nuevo_packing,
                     const QString& caja, const QString& nueva_caja) {
    OperationScope op(st, caminoDeConsulta(st));
    op.ocupado({QStringLiteral("Inicializando ..."), QStringLiteral("Buscando ...")});
    if (!op.preparar())
        return;

    // The destination's customer: its first bunch, else its planned customer.
    QString cliente;
    paso(st, [&] {
        cliente = RecordSet::textOf(buscar_valor(
            st, QStringLiteral("cod_client"), QStringLiteral("bunche"),
            QStringLiteral("num_pack='") + st.db.esc(nuevo_packing) + QStringLiteral("'")));
    });
    if (es_vacio(cliente))
        paso(st, [&] {
            cliente = RecordSet::textOf(buscar_valor(
                st, QStringLiteral("cod_client"), QStringLiteral("prepacking"),
                QStringLiteral("packing='") + st.db.esc(nuevo_packing) + QStringLiteral("'")));
        });
    if (es_vacio(cliente))
        cliente = QStringLiteral("000000");

    QString sql;
    QString linea;
    if (caja.isEmpty()) {
        sql = QStringLiteral("update bunche set num_pack='") + st.db.esc(nuevo_packing) +
              QStringLiteral("', cod_client='") + st.db.esc(cliente) + QStringLiteral("' ") +
              QStringLiteral(" where num_pack = '") + st.db.esc(packing) +
              QStringLiteral("' and estado='R'");
        linea = QStringLiteral("\t* Packing ") + packing + QStringLiteral(" cambiado al Packing ") +
                nuevo_packing;
    } else {
        sql = QStringLiteral("update bunche set num_pack='") + st.db.esc(nuevo_packing) +
              QStringLiteral("', caja='") + st.db.esc(nueva_caja) +
              QStringLiteral("', cod_client='") + st.db.esc(cliente) + QStringLiteral("'") +
              QStringLiteral(" where num_pack = '") + st.db.esc(packing) +
              QStringLiteral("' AND caja='") + st.db.esc(caja) +
              QStringLiteral("'  and estado='R'");
        linea = QStringLiteral("\t* Packing ") + packing + QStringLiteral(" caja: ") + caja +
                QStringLiteral(" cambiada al Packing ") + nuevo_packing + QStringLiteral(" caja ") +
                nueva_caja;
    }
    // The history is the room's only record: a move the database refused
    // (its box says why) is not written there as done.
    if (ejecutar_sql(st, sql))
        st.history.agregar_historia(linea);

    st.busy.ponerPuntero(Busy::kFlecha);
    st.busy.ponerLeyenda(QString());
}

} // namespace velmar
