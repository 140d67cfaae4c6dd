#include "operations/registro_marcaciones.h"

#include "attendance/attendance_report.h"
#include "errors/errors.h"
#include "journal/kept_record.h"
#include "kept/kept_scans.h"
#include "station/failure.h"

#include <QDate>

namespace velmar {

void registro_marcaciones(Station& st, const KeptScans* guardadas, const QString& desde) {
    QDate dia;
    if (!desde.isNull() && !leerFecha(st, desde, dia))
        return;
    if (!conDiario(st, guardadas))
        return;
    QList<MarcaRegistrada> filas;
    try {
        filas = KeptRecord(guardadas->diario())
                    .leer(dia.isValid() ? dia.toString(Qt::ISODate) : QString());
    } catch (const Error& e) {
        st.prompts.msgbox(textoError(e), kExclamacion);
        return;
    }
    for (const MarcaRegistrada& m : filas)
        st.history.agregar_historia(lineaDeRegistro(m));
    const CuentaDeRegistro c = contar(filas);
    st.history.agregar_historia(
        QStringLiteral("\t* Marcaciones guardadas: ") + QString::number(filas.size()) +
        QStringLiteral("; en espera: ") + QString::number(c.espera) +
        QStringLiteral("; salidas sin confirmar: ") + QString::number(c.sinConfirmar));
}

} // namespace velmar
