// The attendance as CSV: RFC 4180, never a formula.

#include "attendance/attendance_rows.h"
#include "station/texts.h"

#include <QRegularExpression>

namespace velmar {

namespace {

// RFC 4180, never a formula. Any separator a spreadsheet may split at (the
// comma, the semicolon of regional settings, a TAB) is quoted too.
QString campoCsv(QString v) {
    v = sinFormula(std::move(v));
    static const QRegularExpression especial(QStringLiteral("[,;\t\"\r\n]"));
    if (v.contains(especial))
        v = QLatin1Char('"') + v.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
            QLatin1Char('"');
    return v;
}

} // namespace

QByteArray textoCsv(const Asistencia& a) {
    QString csv = QStringLiteral("fecha,cedula,apellidos,nombres,entrada,salida,segundos\r\n");
    for (const Fila& f : a.filas) {
        const Persona& p = a.personas[f.orden];
        const QString segundos = f.segundos ? QString::number(*f.segundos) : QString();
        csv += QStringList{campoCsv(a.textos[f.dia]),
                           campoCsv(p.cedula),
                           campoCsv(p.apellidos),
                           campoCsv(p.nombres),
                           campoCsv(a.textos[f.entrada]),
                           campoCsv(a.textos[f.salida]),
                           segundos}
                   .join(QLatin1Char(',')) +
               kCrLf;
    }
    return csv.toUtf8();
}

QString sinFormula(QString v) {
    if (!v.isEmpty() && QStringLiteral("=+-@\t\r").contains(v.front()))
        v.prepend(QLatin1Char('\''));
    return v;
}

} // namespace velmar
