#include "cli/png_preview.h"

#include "emulator/printer_emulator.h"
#include "epl2/epl2_parser.h"
#include "errors/errors.h"

namespace velmar {

void PngPreview::mostrar(Station& st, const EtiquetaCompuesta& etiqueta, const QString& archivo) {
    // the emulator's own lines are not part of velmar-cli's output
    const EmulatorLog callado{[](const QString&) {}, [](const QString&) {}};
    const QVector<Epl2PrintedLabel> labels = Epl2Printer().run(parseEpl2(etiqueta.bytes));
    try {
        if (labels.isEmpty())
            throw FileError(QStringLiteral("la etiqueta no imprime nada"));
        saveJobImages(labels, archivo, callado);
    } catch (const FileError& e) {
        st.prompts.msgbox(QStringLiteral("No se pudo escribir la vista previa en ") + archivo +
                              QStringLiteral(": ") + e.text(),
                          kExclamacion);
    }
}

} // namespace velmar
