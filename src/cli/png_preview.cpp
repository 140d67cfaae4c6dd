#include "cli/png_preview.h"

#include "emulator/printer_emulator.h"
#include "epl2/epl2_parser.h"

namespace velmar {

void PngPreview::mostrar(Station& st, const EtiquetaCompuesta& etiqueta, const QString& archivo) {
    // the emulator's own lines are not part of velmar-cli's output
    const EmulatorLog callado{[](const QString&) {}, [](const QString&) {}};
    const QVector<Epl2PrintedLabel> labels = Epl2Printer().run(parseEpl2(etiqueta.bytes));
    const QString error = labels.isEmpty() ? QStringLiteral("la etiqueta no imprime nada")
                                           : saveJobImages(labels, archivo, callado);
    if (!error.isEmpty())
        st.prompts.msgbox(QStringLiteral("No se pudo escribir la vista previa en ") + archivo +
                              QStringLiteral(": ") + error,
                          kExclamacion);
}

} // namespace velmar
