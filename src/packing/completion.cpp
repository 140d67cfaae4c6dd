#include "packing/completion.h"

#include "station/operation_scope.h"
#include "station/velmo.h"

namespace velmar {

void pck_completo(Station& st, const QString& packing) {
    OperationScope op(st, caminoDeConsulta(st));
    if (op.preparar())
        ejecutar_sql(st, QStringLiteral("update bunche set nacional='C' where num_pack='") +
                             st.db.esc(packing) + QStringLiteral("'"));
}

void pck_abrir(Station& st, const QString& packing) {
    OperationScope op(st, caminoDeConsulta(st));
    if (op.preparar())
        ejecutar_sql(st, QStringLiteral("update bunche set nacional='' where num_pack='") +
                             st.db.esc(packing) + QStringLiteral("'"));
}

} // namespace velmar
