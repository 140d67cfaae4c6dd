#include "operations/catalogo.h"

#include "attendance/attendance_report.h"
#include "clock/attendance_clock.h"
#include "clock/kept_scans.h"
#include "labels/box_labels.h"
#include "packing/completion.h"
#include "packing/packing_change.h"
#include "packing/packing_report.h"
#include "packing/write_off.h"
#include "operations/revisar_base.h"

namespace velmar {

namespace {

QVector<Operacion> construir() {
    QVector<Operacion> ops;
    ops.append({QStringLiteral("asistencia"),
                QStringLiteral("Registrar asistencia"),
                {{QStringLiteral("cedula"), QStringLiteral("Cédula"), false}},
                false,
                false,
                [](Station& st, const QStringList& a) { asistencia(st, a.value(0)); }});

    // The office's attendance record: personal data, so behind the login.
    const Parametro desde{QStringLiteral("desde"), QStringLiteral("Desde (aaaa-mm-dd)"), false};
    ops.append({QStringLiteral("reporte_asistencia"),
                QStringLiteral("Reporte de asistencia"),
                {desde, {QStringLiteral("hasta"), QStringLiteral("Hasta (aaaa-mm-dd)"), true}},
                true,
                true,
                [](Station& st, const QStringList& a) {
                    reporte_asistencia(st, a.value(0), a.value(1));
                }});
    ops.append({QStringLiteral("exportar_asistencia"),
                QStringLiteral("Exportar asistencia"),
                {desde,
                 {QStringLiteral("hasta"), QStringLiteral("Hasta (aaaa-mm-dd)"), false},
                 {QStringLiteral("archivo"),
                  QStringLiteral("Archivo (.xlsx o .csv)"),
                  false,
                  {},
                  false,
                  QStringLiteral("Libro de Excel (*.xlsx);;CSV separado por comas (*.csv)")}},
                true,
                true,
                [](Station& st, const QStringList& a) {
                    exportar_asistencia(st, a.value(0), a.value(1), a.value(2));
                }});

    // Packing room: reports, completion mark, moves, write-off.
    const Parametro packing{QStringLiteral("packing"), QStringLiteral("Packing"), false};
    ops.append(
        {QStringLiteral("reporte_pck"),
         QStringLiteral("Reporte de packing"),
         {packing, {QStringLiteral("caja"), QStringLiteral("Caja"), true}},
         false,
         true,
         [](Station& st, const QStringList& a) { reporte_pck(st, a.value(0), a.value(1)); }});
    ops.append({QStringLiteral("imprimir_caja"),
                QStringLiteral("Reporte de caja"),
                {packing,
                 {QStringLiteral("caja"), QStringLiteral("Caja"), false},
                 {QStringLiteral("guia"), QStringLiteral("Guía aérea"), true}},
                false,
                true,
                [](Station& st, const QStringList& a) {
                    imprimir_caja(st, a.value(0), a.value(1), a.value(2));
                }});
    ops.append({QStringLiteral("pck_completo"),
                QStringLiteral("Marcar packing completo"),
                {packing},
                true,
                true,
                [](Station& st, const QStringList& a) { pck_completo(st, a.value(0)); }});
    ops.append({QStringLiteral("pck_abrir"),
                QStringLiteral("Reabrir packing"),
                {packing},
                true,
                true,
                [](Station& st, const QStringList& a) { pck_abrir(st, a.value(0)); }});
    ops.append({QStringLiteral("cambiar_packing"),
                QStringLiteral("Cambiar packing o caja"),
                {packing,
                 {QStringLiteral("nuevo_packing"), QStringLiteral("Nuevo packing"), false},
                 {QStringLiteral("caja"), QStringLiteral("Caja"), true},
                 {QStringLiteral("nueva_caja"), QStringLiteral("Nueva caja"), true}},
                true,
                true,
                [](Station& st, const QStringList& a) {
                    cambiar_packing(st, a.value(0), a.value(1), a.value(2), a.value(3));
                }});
    ops.append({QStringLiteral("baja_nacional"),
                QStringLiteral("Baja nacional de bunche"),
                {{QStringLiteral("bunche"), QStringLiteral("Bunche"), false}},
                true,
                true,
                [](Station& st, const QStringList& a) { baja_nacional(st, a.value(0)); }});

    // Labels: the three box-detail labels and the reprint after a jam.
    const QVector<Parametro> deCaja = {packing,
                                       {QStringLiteral("caja"), QStringLiteral("Caja"), false}};
    for (const BoxLabel& e : boxLabels())
        ops.append({e.operation, e.title, deCaja, false, true,
                    [layout = e.layout](Station& st, const QStringList& a) {
                        printBoxLabel(st, layout(), a.value(0), a.value(1));
                    }});
    // The label one of those three would print, drawn and not sent.
    QVector<Opcion> etiquetas;
    for (const BoxLabel& e : boxLabels())
        etiquetas.append({e.operation, e.title});
    ops.append({QStringLiteral("vista_previa"),
                QStringLiteral("Vista previa de etiqueta"),
                {{QStringLiteral("operacion"), QStringLiteral("Etiqueta"), false, etiquetas},
                 packing,
                 {QStringLiteral("caja"), QStringLiteral("Caja"), false},
                 {QStringLiteral("archivo"), QStringLiteral("Archivo PNG"), false, {}, true}},
                false,
                true,
                [](Station& st, const QStringList& a) {
                    vista_previa(st, a.value(0), a.value(1), a.value(2), a.value(3));
                }});
    // asks Yes/No before it sends: velmar-cli reads the answer from stdin
    ops.append({QStringLiteral("reimprimir_etiqueta"),
                QStringLiteral("Reimprimir última etiqueta"),
                {},
                false,
                true,
                [](Station& st, const QStringList&) { reimprimir_etiqueta(st); }});
    // Scans kept while the database was away (VELMAR_DIARIO): listed, sent.
    ops.append({QStringLiteral("marcaciones_guardadas"),
                QStringLiteral("Marcaciones en espera"),
                {},
                false,
                false,
                [](Station& st, const QStringList&) { marcaciones_guardadas(st); }});
    ops.append({QStringLiteral("enviar_marcaciones"),
                QStringLiteral("Enviar marcaciones"),
                {},
                false,
                false,
                [](Station& st, const QStringList&) { enviar_marcaciones(st); }});
    // What the station will do with the farm's own tables, for its IT person.
    ops.append({QStringLiteral("revisar_base"),
                QStringLiteral("Revisar base de datos"),
                {},
                false,
                true,
                [](Station& st, const QStringList&) { revisar_base(st); }});
    return ops;
}

} // namespace

const QVector<Operacion>& catalogo() {
    static const QVector<Operacion> ops = construir();
    return ops;
}

const Operacion* buscarOperacion(const QString& nombre) {
    for (const Operacion& op : catalogo())
        if (op.nombre == nombre)
            return &op;
    return nullptr;
}

} // namespace velmar
