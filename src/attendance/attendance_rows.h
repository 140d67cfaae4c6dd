#pragma once
// The attendance rows of a range of days as the report and both exports read
// them (internal to attendance_report.cpp and attendance_workbook.cpp).

#include <QString>
#include <QVariant>
#include <QVector>

namespace velmar {

struct Persona {
    QString cedula;
    QString apellidos;
    QString nombres;
};

struct Fila {
    int orden;       // the person's place in the server's order of names
    qint64 persona;  // personal_id
    QString dia;     // yyyy-mm-dd
    QString entrada; // hh:mm:ss
    QString salida;  // hh:mm:ss, empty when no exit was recorded
    QVariant segundos;
};

struct Asistencia {
    QVector<Persona> personas; // by `orden`; the first one stands for a person gone
    QVector<Fila> filas;       // day by day, each day's people in the order of names
};

// One person's summary: the days with an entry, the early exits and their
// total time.
struct Resumen {
    int orden = 0;
    qint64 persona = 0;
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

// Writes the workbook of `a` to `archivo`; gives an empty text when done,
// else the reason in Spanish.
QString escribirLibro(const Asistencia& a, const QString& archivo);

} // namespace velmar
