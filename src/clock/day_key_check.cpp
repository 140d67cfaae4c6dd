#include "clock/day_key_check.h"

#include "errors/errors.h"

namespace velmar {

void revisarClaveDelDia(Conexion& db, Prompts& prompts) {
    if (!db.abierta())
        return;
    try {
        if (db.consulta(QStringLiteral("SELECT @@GLOBAL.wsrep_on")).text(0) != QLatin1String("1"))
            return;
        // Either column order makes the pair unique.
        const RecordSet clave = db.consulta(QStringLiteral(
            "SELECT index_name FROM information_schema.statistics WHERE table_schema = "
            "DATABASE() AND table_name = 'control_asistencia' AND non_unique = 0 GROUP BY "
            "index_name HAVING GROUP_CONCAT(column_name ORDER BY column_name) = "
            "'fecha_entrada,personal_id'"));
        if (clave.count() == 0)
            prompts.msgbox(kFaltaClaveDelDia, kExclamacion);
    } catch (const Error&) {
        // a server without the variable is no cluster
    }
}

} // namespace velmar
