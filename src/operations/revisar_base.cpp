#include "operations/revisar_base.h"

#include "db/conexion.h"
#include "db/farm_schema.h"
#include "errors/errors.h"
#include "station/failure.h"
#include "station/operation_scope.h"
#include "station/texts.h"

namespace velmar {

namespace {

const QString kCa = QStringLiteral("control_asistencia");
constexpr int kTodas =
    SchemaFinding::Clock | SchemaFinding::Report | SchemaFinding::Login | SchemaFinding::Labels;

QString tipo(const FarmSchema& s, const QString& tabla, const QString& columna) {
    const FarmColumn* c = s.column(tabla, columna);
    return tabla + QLatin1Char('.') + columna +
           (c ? QStringLiteral(" ") + c->columnType +
                    (c->nullable ? QString() : QStringLiteral(" NOT NULL"))
              : QStringLiteral(" (falta)"));
}

// Each table's columns as found.
QString encontrado(const FarmSchema& s) {
    QString t;
    for (const char* tabla : {"personal", "control_asistencia", "usuario", "tmp_caja"}) {
        QStringList cols;
        for (const FarmColumn& c : s.columns())
            if (c.table == QLatin1String(tabla))
                cols << c.name + QLatin1Char(' ') + c.columnType;
        t += QLatin1String(tabla) + QStringLiteral(": ") +
             (cols.isEmpty() ? QStringLiteral("(no existe)") : cols.join(QStringLiteral(", "))) +
             kCrLf;
    }
    return t;
}

// What the clock and the report will send, as the one place decides it.
QString plan(Conexion& db, const FarmSchema& s) {
    const QString dia = QStringLiteral("2026-03-02");
    QString t = QStringLiteral("El día (") + tipo(s, kCa, QStringLiteral("fecha_entrada")) +
                QStringLiteral("): ") + s.dayIs(db, dia) + kCrLf;
    t += QStringLiteral("La hora (") + tipo(s, kCa, QStringLiteral("hora_entrada")) +
         QStringLiteral("): ") +
         s.timeLiteral(db, QStringLiteral("hora_entrada"), dia, QStringLiteral("07:00:00")) + kCrLf;
    t += QStringLiteral("Los segundos (") + tipo(s, kCa, QStringLiteral("horas_dif")) +
         QStringLiteral("): 2 h 15 min 40 s se escriben ") + s.secondsLiteral(db, 8140) +
         QStringLiteral(" y se leen con ") + s.secondsRead() + kCrLf;
    t += QStringLiteral("Sin salida (") + tipo(s, kCa, QStringLiteral("hora_salida")) +
         QStringLiteral("): ") + s.noExitYet(db) + kCrLf;
    QString porque;
    const QString guardada = s.keyStored(db, QStringLiteral("7"), &porque);
    t += QStringLiteral("La clave (") +
         tipo(s, QStringLiteral("personal"), QStringLiteral("personal_id")) + QStringLiteral("; ") +
         tipo(s, kCa, QStringLiteral("personal_id")) +
         QStringLiteral("): se busca personal_id = ") + s.keyMatch(db, QStringLiteral("7")) +
         QStringLiteral(" y se escribe ") + (guardada.isEmpty() ? porque : guardada) + kCrLf;
    t += QStringLiteral("Índice por (personal_id, fecha_entrada): ") +
         (s.hasDayIndex() ? QStringLiteral("sí") : QStringLiteral("no")) + kCrLf;
    t += QStringLiteral("sql_mode estricto: ") +
         (s.strict() ? QStringLiteral("sí") : QStringLiteral("no")) + kCrLf;
    return t;
}

QString hallazgos(const FarmSchema& s, bool rechazos) {
    QString t;
    for (const SchemaFinding& f : s.findings())
        if (bool(f.rooms) == rechazos)
            t += QStringLiteral("- ") + f.text() + kCrLf;
    return t.isEmpty() ? QStringLiteral("(ninguno)") + kCrLf : t;
}

// What the refusals stop, in the operator's words.
QString detenido(const FarmSchema& s) {
    QStringList partes;
    for (const auto& [sala, nombre] : {std::pair{SchemaFinding::Clock, "el reloj de asistencia"},
                                       {SchemaFinding::Report, "el reporte de asistencia"},
                                       {SchemaFinding::Login, "el ingreso de administrador"},
                                       {SchemaFinding::Labels, "las etiquetas"}})
        if (!s.refusal(sala).isEmpty())
            partes << QString::fromUtf8(nombre);
    return partes.join(QStringLiteral(", "));
}

} // namespace

Revision revisar_base(Station& st) {
    Revision r = Revision::SinBase;
    OperationScope op(st, [&st](const Error& e) {
        st.prompts.msgbox(QStringLiteral("No se pudo revisar la base de datos: ") + textoError(e),
                          kExclamacion);
    });
    op.correr([&] {
        const FarmSchema& s = st.db.esquema();
        QString t = QStringLiteral("REVISIÓN DE LA BASE DE DATOS") + kCrLf + kSeparador + kCrLf +
                    QStringLiteral("ENCONTRADO") + kCrLf + encontrado(s) + kSeparador + kCrLf +
                    QStringLiteral("LO QUE HARÁ LA ESTACIÓN") + kCrLf + plan(st.db, s) +
                    kSeparador + kCrLf + QStringLiteral("RECHAZOS") + kCrLf + hallazgos(s, true) +
                    kSeparador + kCrLf + QStringLiteral("NOTAS") + kCrLf + hallazgos(s, false) +
                    kSeparador + kCrLf;
        const QString no = s.refusal(kTodas);
        t += no.isEmpty() ? QStringLiteral("La estación puede trabajar con esta base.")
                          : QStringLiteral("Hasta cambiar lo de RECHAZOS no funcionará: ") +
                                detenido(s) + QLatin1Char('.');
        st.report.set(t + kCrLf, true);
        st.report.show();
        r = no.isEmpty() ? Revision::Servible : Revision::Rechazada;
    });
    return r;
}

void avisarEsquema(Conexion& db, Prompts& prompts) {
    if (!db.abierta())
        return;
    try {
        if (const QString no = db.esquema().refusal(kTodas); !no.isEmpty())
            prompts.msgbox(QStringLiteral("La base de datos de la finca tiene columnas que la "
                                          "estación no puede usar así; lo que dependa de ellas "
                                          "no se hará hasta cambiarlas:\n") +
                               no + QStringLiteral("\n(velmar-cli revisar_base lo detalla)"),
                           kExclamacion);
    } catch (const Error&) {
        // the first operation meets the database's trouble and says it
    }
}

} // namespace velmar
