#pragma once
// The attendance rows of a range of days as the report and both exports read
// them (internal to attendance_report.cpp and attendance_workbook.cpp).

#include <QString>
#include <QVector>
#include <optional>

namespace velmar {

struct Persona {
    QString cedula;
    QString apellidos;
    QString nombres;
};

struct Fila {
    int orden;       // the person's place in the server's order of names
    QString dia;     // yyyy-mm-dd
    QString entrada; // hh:mm:ss, or as the server wrote a time outside the day
    QString salida;  // the same; empty when no exit was recorded
    // The time present, in whole seconds: only for a row with an exit, and
    // only when its horas_dif holds a number. The report, both sheets and the
    // CSV show and count this one figure, so a column's sum is the summary's.
    std::optional<qint64> segundos;
    int clave = 0; // the rank of personal_id, ordering people without a name
    int quien = 0; // the person: its key's place among the range's distinct keys
};

struct Asistencia {
    QVector<Persona> personas; // by `orden`; the first one stands for a person gone
    QVector<Fila> filas;       // day by day, each day's people in the order of names
};

// One person's summary: the days with an entry, the early exits and their
// total time.
struct Resumen {
    int orden = 0;
    int dias = 0;
    int salidas = 0;
    qint64 segundos = 0;
};

// Per person, in the order of names then id: what the report's RESUMEN and the
// workbook's Resumen sheet show.
QVector<Resumen> resumir(const Asistencia& a);

// A stored text as a field of an export: a leading character that makes a
// spreadsheet read a formula is neutralised by an apostrophe.
QString sinFormula(QString v);

// Why a sheet cannot hold `filas` rows; empty when it can.
QString filasDeMas(qint64 filas);

// Writes the workbook of `a` to `archivo`; throws FileError with the reason
// in Spanish.
void escribirLibro(const Asistencia& a, const QString& archivo);

} // namespace velmar
