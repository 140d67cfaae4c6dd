#include "labels/box_labels.h"

#include "epl2/epl2_writer.h"
#include "errors/errors.h"
#include "labels/box_data.h"
#include "labels/label_composer.h"
#include "labels/work_table.h"
#include "station/operation_scope.h"

namespace velmar {

namespace {

// The pointer back, the error caption, and the box when there is one.
void endInError(Station& st, const QString& message) {
    st.busy.ponerPuntero(Busy::kFlecha);
    st.busy.ponerLeyenda(Busy::kLeyendaDeError);
    if (!message.isEmpty())
        st.prompts.msgbox(message, kSoloOk);
}

// The labels' one error path, by kind: the printer, another station at the
// work table, the database; any other failure ends the label quietly. Either
// way nothing is composed or sent, so nothing but whole labels is printed.
OperationScope::Camino labelFailurePath(Station& st) {
    return [&st](const Error& e) {
        if (dynamic_cast<const PrinterError*>(&e))
            endInError(st, kImpresoraNoLista);
        else if (dynamic_cast<const WorkTableBusy*>(&e))
            endInError(st, kOtraEstacionImprime);
        else if (dynamic_cast<const WorkTableMixed*>(&e))
            endInError(st, kEtiquetaMezclada);
        else if (dynamic_cast<const DbError*>(&e))
            endInError(st, kErrorRed);
        else
            endInError(st, QString());
    };
}

} // namespace

const QVector<BoxLabel>& boxLabels() {
    static const QVector<BoxLabel> tabla = {
        {QStringLiteral("imprimir_detalle_peq"), QStringLiteral("Etiqueta pequeña de caja"),
         smallLabel},
        {QStringLiteral("imprimir_detalle"), QStringLiteral("Etiqueta de caja"), boxLabel},
        {QStringLiteral("imprimir_detalle_bqt"), QStringLiteral("Etiqueta de caja de bouquets"),
         bouquetLabel},
    };
    return tabla;
}

const LabelLayout* layoutOfOperation(const QString& operation) {
    for (const BoxLabel& e : boxLabels())
        if (e.operation == operation)
            return &e.layout();
    return nullptr;
}

void printBoxLabel(Station& st, const LabelLayout& layout, const QString& packing,
                   const QString& caja) {
    const Composition c = composeBoxLabel(st, layout, packing, caja);
    if (c.result == Composition::kComposed)
        sendLabel(st, {packing, caja, c.bytes});
}

Composition composeBoxLabel(Station& st, const LabelLayout& layout, const QString& packing,
                            const QString& caja) {
    OperationScope op(st, labelFailurePath(st));
    op.ocupado({QStringLiteral("Inicializando ..."), QStringLiteral("Buscando ...")});
    Composition c{Composition::kFailed, {}};
    op.correr([&] {
        if (const std::optional<BoxData> data = gatherBoxData(st, packing, caja, layout.queries)) {
            c = {Composition::kComposed, writeEpl2(composeLabel(layout, *data))};
            op.traspasar(); // the send ends the busy indication
        } else {
            c = {Composition::kEmptyBox, {}};
        }
    });
    return c;
}

// Kept before it is sent, so a jam leaves the right one to send again.
bool sendLabel(Station& st, const EtiquetaCompuesta& etiqueta) {
    OperationScope op(st, labelFailurePath(st));
    if (st.busy.puntero() != Busy::kReloj)
        op.ocupado();
    st.sesion.ultima_compuesta = etiqueta;
    return op.correr(
        [&] {
            st.printer.send(etiqueta.bytes);
            st.sesion.ultima_etiqueta = etiqueta.bytes;
            st.busy.ponerPuntero(Busy::kFlecha);
        },
        false);
}

void vista_previa(Station& st, const QString& operacion, const QString& packing,
                  const QString& caja, const QString& archivo) {
    const LabelLayout* layout = layoutOfOperation(operacion);
    if (!layout)
        throw Error(QStringLiteral("Etiqueta desconocida: ") + operacion);
    if (!st.vista)
        throw Error(QStringLiteral("Esta estación no puede mostrar una vista previa"));
    // A preview is not a print: st.sesion.ultima_compuesta, what a reprint sends,
    // stays the last label meant for a box; only Imprimir in the window
    // (sendLabel) makes this one it. st.sesion.guia_actual follows the
    // queries as for a print, so it is right when the preview is printed.
    const Composition c = composeBoxLabel(st, *layout, packing, caja);
    if (c.result == Composition::kEmptyBox)
        st.prompts.msgbox(kSinDatosCaja + caja, kSoloOk);
    if (c.result != Composition::kComposed)
        return;
    st.busy.ponerPuntero(Busy::kFlecha);
    st.vista->mostrar(st, {packing, caja, c.bytes}, archivo);
}

void imprimir_detalle_peq(Station& st, const QString& packing, const QString& caja) {
    printBoxLabel(st, smallLabel(), packing, caja);
}

void imprimir_detalle(Station& st, const QString& packing, const QString& caja) {
    printBoxLabel(st, boxLabel(), packing, caja);
}

void imprimir_detalle_bqt(Station& st, const QString& packing, const QString& caja) {
    printBoxLabel(st, bouquetLabel(), packing, caja);
}

void reimprimir_etiqueta(Station& st) {
    const EtiquetaCompuesta last = st.sesion.ultima_compuesta;
    if (last.bytes.isEmpty()) {
        st.prompts.msgbox(kSinEtiqueta, kSoloOk);
        return;
    }
    // the operator sees whose label it is before it goes on a box
    if (st.prompts.msgbox(QStringLiteral("¿Reimprimir la etiqueta del packing ") + last.packing +
                              QStringLiteral(", caja ") + last.caja + QStringLiteral("?"),
                          kSiNo) != kSi)
        return;
    sendLabel(st, last);
}

} // namespace velmar
