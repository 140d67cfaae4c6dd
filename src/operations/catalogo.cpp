#include "operations/catalogo.h"

#include "attendance/attendance_report.h"
#include "kept/kept_scans.h"
#include "labels/box_labels.h"
#include "login/login.h"
#include "operations/registro_marcaciones.h"
#include "operations/revisar_base.h"
#include "packing/completion.h"
#include "packing/packing_change.h"
#include "packing/packing_report.h"
#include "packing/write_off.h"

namespace velmar {

namespace {

using Args = const QStringList&;

const Parametro kPacking{.nombre = QStringLiteral("packing"),
                         .etiqueta = QStringLiteral("Packing")};
const Parametro kCaja{.nombre = QStringLiteral("caja"), .etiqueta = QStringLiteral("Caja")};
const Parametro kDesde{.nombre = QStringLiteral("desde"),
                       .etiqueta = QStringLiteral("Desde (aaaa-mm-dd)")};

Parametro opcional(Parametro p) {
    p.opcional = true;
    return p;
}

// The card box, and the office's attendance record: personal data, behind
// the login.
void deAsistencia(QVector<Operacion>& ops) {
    const Parametro hasta{.nombre = QStringLiteral("hasta"),
                          .etiqueta = QStringLiteral("Hasta (aaaa-mm-dd)")};
    ops.append(
        {.nombre = QStringLiteral("asistencia"),
         .titulo = QStringLiteral("Registrar asistencia"),
         .parametros = {{.nombre = QStringLiteral("cedula"), .etiqueta = QStringLiteral("Cédula")}},
         .enMenu = false,
         .ejecutar = [](Station& st, Args a, KeptScans* k) { marcarTarjeta(st, k, a.value(0)); }});
    ops.append(
        {.nombre = QStringLiteral("reporte_asistencia"),
         .titulo = QStringLiteral("Reporte de asistencia"),
         .parametros = {kDesde, opcional(hasta)},
         .requiereLogin = true,
         .ejecutar = [](Station& st, Args a) { reporte_asistencia(st, a.value(0), a.value(1)); }});
    ops.append({.nombre = QStringLiteral("exportar_asistencia"),
                .titulo = QStringLiteral("Exportar asistencia"),
                .parametros = {kDesde,
                               hasta,
                               {.nombre = QStringLiteral("archivo"),
                                .etiqueta = QStringLiteral("Archivo (.xlsx o .csv)"),
                                .tiposArchivo = QStringLiteral(
                                    "Libro de Excel (*.xlsx);;CSV separado por comas (*.csv)")}},
                .requiereLogin = true,
                .ejecutar = [](Station& st, Args a) {
                    exportar_asistencia(st, a.value(0), a.value(1), a.value(2));
                }});
}

// Packing room: reports, completion mark, moves, write-off.
void deEmpaque(QVector<Operacion>& ops) {
    ops.append({.nombre = QStringLiteral("reporte_pck"),
                .titulo = QStringLiteral("Reporte de packing"),
                .parametros = {kPacking, opcional(kCaja)},
                .ejecutar = [](Station& st, Args a) { reporte_pck(st, a.value(0), a.value(1)); }});
    ops.append({.nombre = QStringLiteral("imprimir_caja"),
                .titulo = QStringLiteral("Reporte de caja"),
                .parametros = {kPacking,
                               kCaja,
                               {.nombre = QStringLiteral("guia"),
                                .etiqueta = QStringLiteral("Guía aérea"),
                                .opcional = true}},
                .ejecutar = [](Station& st, Args a) {
                    imprimir_caja(st, a.value(0), a.value(1), a.value(2));
                }});
    ops.append({.nombre = QStringLiteral("pck_completo"),
                .titulo = QStringLiteral("Marcar packing completo"),
                .parametros = {kPacking},
                .requiereLogin = true,
                .ejecutar = [](Station& st, Args a) { pck_completo(st, a.value(0)); }});
    ops.append({.nombre = QStringLiteral("pck_abrir"),
                .titulo = QStringLiteral("Reabrir packing"),
                .parametros = {kPacking},
                .requiereLogin = true,
                .ejecutar = [](Station& st, Args a) { pck_abrir(st, a.value(0)); }});
    ops.append({.nombre = QStringLiteral("cambiar_packing"),
                .titulo = QStringLiteral("Cambiar packing o caja"),
                .parametros = {kPacking,
                               {.nombre = QStringLiteral("nuevo_packing"),
                                .etiqueta = QStringLiteral("Nuevo packing")},
                               opcional(kCaja),
                               {.nombre = QStringLiteral("nueva_caja"),
                                .etiqueta = QStringLiteral("Nueva caja"),
                                .opcional = true}},
                .requiereLogin = true,
                .ejecutar = [](Station& st, Args a) {
                    cambiar_packing(st, a.value(0), a.value(1), a.value(2), a.value(3));
                }});
    ops.append(
        {.nombre = QStringLiteral("baja_nacional"),
         .titulo = QStringLiteral("Baja nacional de bunche"),
         .parametros = {{.nombre = QStringLiteral("bunche"), .etiqueta = QStringLiteral("Bunche")}},
         .requiereLogin = true,
         .ejecutar = [](Station& st, Args a) { baja_nacional(st, a.value(0)); }});
}

// Labels: the three box-detail labels, the preview and the reprint after a jam.
void deEtiquetas(QVector<Operacion>& ops) {
    QVector<Opcion> etiquetas;
    for (const BoxLabel& e : boxLabels()) {
        ops.append({.nombre = e.operation,
                    .titulo = e.title,
                    .parametros = {kPacking, kCaja},
                    .ejecutar = [layout = e.layout](Station& st, Args a) {
                        printBoxLabel(st, layout(), a.value(0), a.value(1));
                    }});
        etiquetas.append({e.operation, e.title});
    }
    // The label one of those three would print, drawn and not sent.
    ops.append({.nombre = QStringLiteral("vista_previa"),
                .titulo = QStringLiteral("Vista previa de etiqueta"),
                .parametros = {{.nombre = QStringLiteral("operacion"),
                                .etiqueta = QStringLiteral("Etiqueta"),
                                .opciones = etiquetas},
                               kPacking,
                               kCaja,
                               {.nombre = QStringLiteral("archivo"),
                                .etiqueta = QStringLiteral("Archivo PNG"),
                                .soloCli = true}},
                .ejecutar = [](Station& st, Args a) {
                    vista_previa(st, a.value(0), a.value(1), a.value(2), a.value(3));
                }});
    // asks Yes/No before it sends: velmar-cli reads the answer from stdin
    ops.append({.nombre = QStringLiteral("reimprimir_etiqueta"),
                .titulo = QStringLiteral("Reimprimir última etiqueta"),
                .ejecutar = [](Station& st, Args) { reimprimir_etiqueta(st); }});
}

// Scans kept while the database was away (VELMAR_DIARIO), and what the
// station will do with the farm's own tables.
void deLaEstacion(QVector<Operacion>& ops) {
    ops.append({.nombre = QStringLiteral("marcaciones_guardadas"),
                .titulo = QStringLiteral("Marcaciones en espera"),
                .enMenu = false,
                .ejecutar = [](Station& st, Args, KeptScans* k) { marcaciones_guardadas(st, k); }});
    ops.append({.nombre = QStringLiteral("enviar_marcaciones"),
                .titulo = QStringLiteral("Enviar marcaciones"),
                .enMenu = false,
                .ejecutar = [](Station& st, Args, KeptScans* k) { enviar_marcaciones(st, k); }});
    // What became of them, for the supervisor: the window shows it in a dialog.
    ops.append({.nombre = QStringLiteral("registro_marcaciones"),
                .titulo = QStringLiteral("Marcaciones guardadas"),
                .parametros = {opcional(kDesde)},
                .requiereLogin = true,
                .sinServidor = true,
                .ejecutar = [](Station& st, Args a, KeptScans* k) {
                    registro_marcaciones(st, k, a.value(0));
                }});
    ops.append({.nombre = QStringLiteral("revisar_base"),
                .titulo = QStringLiteral("Revisar base de datos"),
                .ejecutar = [](Station& st, Args) { revisar_base(st); }});
}

// The administrator's login: the window asks for it in a dialog of its own
// before an entry that requires it; velmar-cli runs it as an operation and
// prints the permission it gave (an empty line when refused).
Operacion ingreso() {
    return {.nombre = QStringLiteral("login"),
            .titulo = QStringLiteral("Ingreso de administrador"),
            .parametros = {{.nombre = QStringLiteral("login"), .etiqueta = QStringLiteral("Login")},
                           {.nombre = QStringLiteral("password"),
                            .etiqueta = QStringLiteral("Password")}},
            .enMenu = false,
            .ejecutar = [](Station& st, Args a) {
                comprobar_login(st, a.value(0), a.value(1));
                st.report.set(st.sesion.permiso_usuario + QLatin1Char('\n'));
            }};
}

QVector<Operacion> construir() {
    QVector<Operacion> ops;
    deAsistencia(ops);
    deEmpaque(ops);
    deEtiquetas(ops);
    deLaEstacion(ops);
    ops.append(ingreso());
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
