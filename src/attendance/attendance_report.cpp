// The attendance operations: the report of a range of days and its export.

#include "attendance/attendance_report.h"

#include "attendance/attendance_rows.h"
#include "errors/errors.h"
#include "files/file_output.h"
#include "station/operation_scope.h"
#include "station/velmo.h"

#include <QDate>
#include <QRegularExpression>

namespace velmar {

bool leerFecha(Station& st, const QString& texto, QDate& fecha) {
    static const QRegularExpression forma(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    const QString t = sinBlancos(texto);
    fecha =
        forma.match(t).hasMatch() ? QDate::fromString(t, QStringLiteral("yyyy-MM-dd")) : QDate();
    if (!fecha.isValid())
        st.prompts.msgbox(QStringLiteral("Fecha no válida: \"") + texto +
                              QStringLiteral("\". Escríbala como aaaa-mm-dd, por ejemplo "
                                             "2026-03-02."),
                          kExclamacion);
    return fecha.isValid();
}

namespace {

// Both dates readable as yyyy-mm-dd and in order; otherwise the operator gets
// a box and nothing is asked of the server.
bool leerRango(Station& st, const QString& desde, const QString& hasta, Rango& r) {
    if (!leerFecha(st, desde, r.desde) || !leerFecha(st, hasta, r.hasta))
        return false;
    if (r.hasta < r.desde) {
        st.prompts.msgbox(QStringLiteral("La fecha final ") + r.hasta.toString(Qt::ISODate) +
                              QStringLiteral(" es anterior a la inicial ") +
                              r.desde.toString(Qt::ISODate) + QLatin1Char('.'),
                          kExclamacion);
        return false;
    }
    return true;
}

void terminar(Station& st) {
    st.busy.ponerPuntero(Busy::kFlecha);
    st.busy.ponerLeyenda(QString());
}

} // namespace

void reporte_asistencia(Station& st, const QString& desde, const QString& hasta) {
    Rango r;
    if (!leerRango(st, desde, sinBlancos(hasta).isEmpty() ? desde : hasta, r))
        return;
    OperationScope op(st, caminoDeConsulta(st));
    op.ocupado({QStringLiteral("Inicializando ...")});
    st.report.show();
    op.correr([&] {
        const Asistencia a = leerAsistencia(st, r);
        if (a.filas.isEmpty()) {
            st.report.set(QStringLiteral("No hay asistencia del ") + r.desde.toString(Qt::ISODate) +
                          QStringLiteral(" al ") + r.hasta.toString(Qt::ISODate));
        } else {
            st.busy.ponerLeyenda(QStringLiteral("Recuperando información ..."));
            st.report.set(textoDelReporte(r, a), true);
        }
        terminar(st);
    });
}

void exportar_asistencia(Station& st, const QString& desde, const QString& hasta,
                         const QString& archivo) {
    Rango r;
    if (!leerRango(st, desde, hasta, r))
        return;
    if (sinBlancos(archivo).isEmpty()) {
        st.prompts.msgbox(QStringLiteral("Falta el nombre del archivo."), kExclamacion);
        return;
    }
    // the name's extension chooses the workbook; anything else is CSV
    const bool libro = archivo.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive);
    OperationScope op(st, caminoDeConsulta(st));
    op.ocupado({QStringLiteral("Inicializando ...")});
    op.correr([&] {
        // More rows than a sheet holds are refused before they are read.
        if (libro) {
            const RecordSet n =
                abrir_consulta(st, QStringLiteral("SELECT COUNT(*)") + enRangoDe(st, r));
            if (const QString deMas = filasDeMas(n.value(0).toLongLong()); !deMas.isEmpty()) {
                st.prompts.msgbox(QStringLiteral("No se pudo escribir el archivo ") + archivo +
                                      QStringLiteral(": ") + deMas,
                                  kExclamacion);
                terminar(st);
                return;
            }
        }
        const Asistencia a = leerAsistencia(st, r);
        st.busy.ponerLeyenda(QStringLiteral("Escribiendo archivo ..."));
        try {
            libro ? escribirLibro(a, archivo) : escribirArchivo(archivo, textoCsv(a));
            st.history.agregar_historia(QStringLiteral("\t* Asistencia exportada: ") +
                                        QString::number(a.filas.size()) +
                                        QStringLiteral(" filas en ") + archivo);
        } catch (const FileError& e) {
            st.prompts.msgbox(QStringLiteral("No se pudo escribir el archivo ") + archivo +
                                  QStringLiteral(": ") + e.text(),
                              kExclamacion);
        }
        terminar(st);
    });
}

} // namespace velmar
