#include "operations/registro_marcaciones.h"

#include "attendance/attendance_report.h"
#include "errors/errors.h"
#include "journal/kept_record.h"
#include "kept/kept_scans.h"
#include "station/failure.h"

#include <QDate>

namespace velmar {

const ScanJournal* diarioDeMarcas(Station& st, const KeptScans* guardadas) {
    if (guardadas)
        return &guardadas->diario();
    st.prompts.msgbox(kSinDiarioDeMarcas, kExclamacion);
    return nullptr;
}

void registro_marcaciones(Station& st, const KeptScans* guardadas, const QString& desde) {
    QDate dia;
    if (!desde.isNull() && !leerFecha(st, desde, dia))
        return;
    const ScanJournal* diario = diarioDeMarcas(st, guardadas);
    if (!diario)
        return;
    QList<MarcaRegistrada> filas;
    try {
        filas = KeptRecord(*diario).leer(dia.isValid() ? dia.toString(Qt::ISODate) : QString());
    } catch (const Error& e) {
        st.prompts.msgbox(textoError(e), kExclamacion);
        return;
    }
    int espera = 0, sinConfirmar = 0;
    for (const MarcaRegistrada& m : filas) {
        st.history.agregar_historia(lineaDeRegistro(m));
        espera += m.enviada.isEmpty() ? 1 : 0;
        sinConfirmar += m.resultado == resultado::kSinConfirmar ? 1 : 0;
    }
    st.history.agregar_historia(
        QStringLiteral("\t* Marcaciones guardadas: ") + QString::number(filas.size()) +
        QStringLiteral("; en espera: ") + QString::number(espera) +
        QStringLiteral("; salidas sin confirmar: ") + QString::number(sinConfirmar));
}

} // namespace velmar
