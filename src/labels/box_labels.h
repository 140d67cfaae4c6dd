#pragma once
// The three box-detail labels of the packing room and the reprint of the last
// one composed.

#include "labels/label_layouts.h"
#include "station/station.h"

namespace velmar {

inline const QString kImpresoraNoLista =
    QStringLiteral("Impresora de código de barras no está lista");
inline const QString kErrorRed =
    QStringLiteral("Error de ejecución, revise que esté conectado a la red");
inline const QString kOtraEstacionImprime =
    QStringLiteral("Otra estación está imprimiendo una etiqueta: intente de nuevo en unos "
                   "segundos.");
inline const QString kEtiquetaMezclada =
    QStringLiteral("La etiqueta no se imprimió: la tabla de trabajo tenía filas de otra "
                   "etiqueta. Vuelva a imprimirla.");
inline const QString kSinEtiqueta = QStringLiteral("No hay etiqueta para reimprimir");
inline const QString kSinDatosCaja = QStringLiteral("No hay datos para la caja: ");

// Small label, 680 dots wide.
void imprimir_detalle_peq(Station& st, const QString& packing, const QString& caja);
// Full label, in the size the printer keeps.
void imprimir_detalle(Station& st, const QString& packing, const QString& caja);
// Bouquet label, 816 x 1269 dots.
void imprimir_detalle_bqt(Station& st, const QString& packing, const QString& caja);

// The labels' one table: operation name, the title a front end shows, and the
// layout it prints. The catalogue, the preview and velmar-cli read it.
struct BoxLabel {
    QString operation;
    QString title;
    const LabelLayout& (*layout)();
};
const QVector<BoxLabel>& boxLabels();

// The layout a label operation prints; null for any other name.
const LabelLayout* layoutOfOperation(const QString& operation);

// Composes the box's label in `layout` and sends it (what the three label
// operations do).
void printBoxLabel(Station& st, const LabelLayout& layout, const QString& packing,
                   const QString& caja);

// A box's label as its operation composes it, without sending it.
struct Composition {
    enum Result { kComposed, kEmptyBox, kFailed };
    Result result;
    QByteArray bytes; // the EPL2 job, when composed
};

// Runs the label's queries (the work table under its lock) and composes its
// bytes, with the label's busy indication. A database failure gives its box
// and ends the busy indication; so does an empty box, without a box. When
// composed, the pointer stays the hourglass: the caller ends it.
Composition composeBoxLabel(Station& st, const LabelLayout& layout, const QString& packing,
                            const QString& caja);

// Keeps the label for a reprint, then sends it; the printer's box when it is
// not taken. True when the printer took it.
bool sendLabel(Station& st, const EtiquetaCompuesta& etiqueta);

// Composes what `operacion` would print for the box and hands it to st.vista
// (velmar-cli draws it to `archivo`); nothing reaches the printer.
void vista_previa(Station& st, const QString& operacion, const QString& packing,
                  const QString& caja, const QString& archivo);

// Sends st.sesion.ultima_compuesta again, without asking the database, once the
// operator confirms its packing and box.
void reimprimir_etiqueta(Station& st);

} // namespace velmar
