#include "packing/write_off.h"

#include "errors/errors.h"
#include "packing/steps.h"
#include "station/operation_scope.h"
#include "station/velmo.h"

namespace velmar {

void baja_nacional(Station& st, const QString& bunche) {
    OperationScope op(st, caminoDeConsulta(st));
    if (!op.preparar())
        return;
    RecordSet rs = abrir_consulta(st, QStringLiteral("select * from bunche where num_bunch='") +
                                          st.db.esc(bunche) +
                                          QStringLiteral("' and (estado is null  or estado='')"));
    if (rs.eof()) {
        st.history.agregar_historia(QStringLiteral("\t* Error: Bunche: ") + bunche +
                                    QStringLiteral(" no se encuentra en disponibilidad"));
        st.history.cursorAlFinal();
        st.input.enfocar();
        return;
    }

    const QString variedad = rs.text(QStringLiteral("cod_varie"));
    const QVariant tallosV = rs.value(QStringLiteral("num_tallos"));
    const QString tallos = tallosV.isNull() ? QStringLiteral("0") : RecordSet::textOf(tallosV);
    const QVariant tipoV = rs.value(QStringLiteral("tipo_env"));
    const QString tipo = tipoV.isNull() ? QStringLiteral("0") : RecordSet::textOf(tipoV);
    const QString envoltura = RecordSet::textOf(
        buscar_valor(st, QStringLiteral("descrip"), QStringLiteral("envoltura"),
                     QStringLiteral("tipo_env='") + st.db.esc(tipo) + QStringLiteral("'")));

    QString observa = rs.text(QStringLiteral("observa"));
    if (observa.isEmpty())
        observa = QStringLiteral("Datos anteriores") + kCrLf + QStringLiteral("----------------") +
                  kCrLf + QStringLiteral("Long.Tallo: ") + variedad.mid(3) + kCrLf +
                  QStringLiteral("Botones: ") + tallos + kCrLf + QStringLiteral("Envoltura: ") +
                  envoltura + kCrLf + QStringLiteral("Categoria: ") + kCrLf;

    // Without the server's date nothing is written: a made-up date would be
    // taken for the day of the write-off.
    const QDateTime ahora = fecha_servidor(st);
    if (!ahora.isValid())
        throw DbError(QStringLiteral("No se pudo leer la fecha del servidor"));
    const QString fecha = ahora.toString(QStringLiteral("yyyy-MM-dd"));

    // Run directly, not through ejecutar_sql: a failed update must reach the
    // caller instead of being followed by the success line.
    st.db.ejecutar(QStringLiteral("update bunche set categoria='") +
                   st.db.esc(QStringLiteral("N")) + QStringLiteral("', transformado='") +
                   st.db.esc(QStringLiteral("SI")) + QStringLiteral("',observa='") +
                   st.db.esc(observa) + QStringLiteral("', fecha_embarque='") + st.db.esc(fecha) +
                   QStringLiteral("' where num_bunch='") + st.db.esc(bunche) + QStringLiteral("'"));

    st.history.agregar_historia(QStringLiteral("\t* Bunche: ") + bunche +
                                QStringLiteral(" dado de baja a NACIONAL"));
    st.history.cursorAlFinal();
    st.input.enfocar();
}

} // namespace velmar
