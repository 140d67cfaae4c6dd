#include "packing/completion.h"

#include "station/velmo.h"

namespace velmar {

void pck_completo(Station& st, const QString& packing) {
    ejecutar_sql(st, QStringLiteral("update bunche set nacional='C' where num_pack='") +
                         st.db.esc(packing) + QStringLiteral("'"));
}

void pck_abrir(Station& st, const QString& packing) {
    ejecutar_sql(st, QStringLiteral("update bunche set nacional='' where num_pack='") +
                         st.db.esc(packing) + QStringLiteral("'"));
}

} // namespace velmar
