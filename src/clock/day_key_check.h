#pragma once
// A start-up check of the attendance table on a Galera cluster.

#include "db/conexion.h"
#include "station/station.h"

namespace velmar {

inline const QString kFaltaClaveDelDia = QStringLiteral(
    "La base de datos está en un clúster (Galera) y a la tabla control_asistencia le falta la "
    "clave única (personal_id, fecha_entrada): un escaneo cortado y el siguiente pueden dejar "
    "dos ingresos del mismo día. Avise al encargado de sistemas: la agrega "
    "/usr/share/velmar/dia_unico.sql (/usr/share/doc/velmar/cluster.md).");

// On a cluster, an entry insert cut off on one node can commit after the
// re-scan recorded the day on another; only a unique key on the person and
// day refuses the second. Says so once, in a box, when it is missing; a
// server that is no cluster, or a check that fails, says nothing.
void revisarClaveDelDia(Conexion& db, Prompts& prompts);

} // namespace velmar
