#include "labels/box_labels.h"

#include "db/errors.h"
#include "labels/box_data.h"
#include "labels/epl2_writer.h"
#include "labels/label_composer.h"

namespace velmar {

namespace {

// The pointer back, the error caption, and the box when there is one.
void endInError(Station& st, const QString& message) {
    st.busy.setPuntero(Busy::kFlecha);
    st.busy.setCaption(Busy::kCaptionError);
    if (!message.isEmpty())
        st.prompts.msgbox(message, kSoloOk);
}

// Gathers, composes and sends in one piece. The label is kept for a reprint
// before it is sent, so a jam leaves the right one to send again. A printer
// or database failure gives its box; any other ends the label quietly. Either
// way nothing was sent but whole labels.
void printBoxLabel(Station& st, const QString& packing, const QString& box,
                   const LabelLayout& layout) {
    st.busy.setPuntero(Busy::kReloj);
    st.busy.setCaption(QStringLiteral("Inicializando ..."), true);
    st.busy.setCaption(QStringLiteral("Buscando ..."), true);
    try {
        if (const std::optional<BoxData> data = gatherBoxData(st, packing, box, layout.queries)) {
            const QByteArray label = writeEpl2(composeLabel(layout, *data));
            st.ultima_compuesta = {packing, box, label};
            st.printer.send(label);
            st.ultima_etiqueta = label;
        }
        st.busy.setPuntero(Busy::kFlecha);
    } catch (const PrinterError&) {
        endInError(st, kImpresoraNoLista);
    } catch (const DbError&) {
        endInError(st, kErrorRed);
    } catch (const Error&) {
        endInError(st, QString());
    }
}

} // namespace

void imprimir_detalle_peq(Station& st, const QString& packing, const QString& caja) {
    printBoxLabel(st, packing, caja, smallLabel());
}

void imprimir_detalle(Station& st, const QString& packing, const QString& caja) {
    printBoxLabel(st, packing, caja, boxLabel());
}

void imprimir_detalle_bqt(Station& st, const QString& packing, const QString& caja) {
    printBoxLabel(st, packing, caja, bouquetLabel());
}

void reimprimir_etiqueta(Station& st) {
    const EtiquetaCompuesta last = st.ultima_compuesta;
    if (last.bytes.isEmpty()) {
        st.prompts.msgbox(kSinEtiqueta, kSoloOk);
        return;
    }
    // the operator sees whose label it is before it goes on a box
    if (st.prompts.msgbox(QStringLiteral("¿Reimprimir la etiqueta del packing ") + last.packing +
                              QStringLiteral(", caja ") + last.caja + QStringLiteral("?"),
                          kSiNo) != kSi)
        return;
    st.busy.setPuntero(Busy::kReloj);
    try {
        st.printer.send(last.bytes);
        st.ultima_etiqueta = last.bytes;
        st.busy.setPuntero(Busy::kFlecha);
    } catch (const PrinterError&) {
        endInError(st, kImpresoraNoLista);
    }
}

} // namespace velmar
