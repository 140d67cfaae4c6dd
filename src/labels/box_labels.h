#pragma once
// The three box-detail labels of the packing room and the reprint of the last
// one composed.

#include "station/context.h"

namespace velmar {

inline const QString kImpresoraNoLista =
    QStringLiteral("Impresora de código de barras no está lista");
inline const QString kErrorRed =
    QStringLiteral("Error de ejecución, revise que esté conectado a la red");
inline const QString kSinEtiqueta = QStringLiteral("No hay etiqueta para reimprimir");

// Small label, 680 dots wide.
void imprimir_detalle_peq(Station& st, const QString& packing, const QString& caja);
// Full label, in the size the printer keeps.
void imprimir_detalle(Station& st, const QString& packing, const QString& caja);
// Bouquet label, 816 x 1269 dots.
void imprimir_detalle_bqt(Station& st, const QString& packing, const QString& caja);

// Sends st.ultima_compuesta again, without asking the database, once the
// operator confirms its packing and box.
void reimprimir_etiqueta(Station& st);

} // namespace velmar
