#pragma once
// The attendance rows of a range of days as the report and both exports read
// them, and the steps that read, write and sum them (internal to this folder).

#include "station/station.h"

#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>
#include <vector>

namespace velmar {

struct Rango {
    QDate desde;
    QDate hasta;
};

struct Persona {
    QString cedula;
    QString apellidos;
    QString nombres;
};

// A value of whole seconds, made once and shared by the rows that hold it:
// those of a day found by a table's index, without hashing; the rare others
// (past the day, before it) in a hash.
template <typename V> class PorSegundo {
public:
    template <typename Hacer> const V& de(qint64 s, Hacer hacer) {
        if (s < 0 || s >= kDia) {
            auto i = otros_.find(s);
            return i != otros_.end() ? *i : *otros_.insert(s, hacer(s));
        }
        if (delDia_.empty())
            delDia_.assign(kDia, -1);
        int& i = delDia_[size_t(s)];
        if (i < 0) {
            V hecho = hacer(s);
            i = int(hechos_.size());
            hechos_.push_back(std::move(hecho));
        }
        return hechos_[size_t(i)];
    }

private:
    static constexpr qint64 kDia = 24 * 3600;
    std::vector<int> delDia_; // a place in `hechos_`, -1 while not made
    std::vector<V> hechos_;
    QHash<qint64, V> otros_;
};

// Each distinct text of a range's days and times, kept once: a month repeats
// a few thousand of them over tens of thousands of rows, and a row that holds
// places here is copied and sorted as plain numbers.
class TextosDelRango {
public:
    TextosDelRango()
        : textos_{QString()} {}
    const QString& operator[](int lugar) const { return textos_.at(lugar); }
    qsizetype size() const { return textos_.size(); }
    // The text's place; the empty text (a Null included) is place 0.
    int de(const QString& texto);
    // The place of a time given in whole seconds, as the server writes it
    // (30:00:00 past the day, -01:00:00 before it).
    int deSegundos(qint64 segundos);

private:
    QStringList textos_;
    QHash<QString, int> lugar_;
    PorSegundo<int> segundos_;
};

struct Fila {
    int orden;   // the person's place in the server's order of names
    int dia;     // yyyy-mm-dd, a place in Asistencia::textos
    int entrada; // hh:mm:ss, or as the server wrote a time outside the day
    int salida;  // the same; 0 (the empty text) when no exit was recorded
    // The time present, in whole seconds: only for a row with an exit, and
    // only when its horas_dif holds a number. The report, both sheets and the
    // CSV show and count this one figure, so a column's sum is the summary's.
    std::optional<qint64> segundos;
    int clave = 0; // the rank of personal_id, ordering people without a name
    int quien = 0; // the person: its key's place among the range's distinct keys
};

struct Asistencia {
    QVector<Persona> personas; // by `orden`; the first one stands for a person gone
    TextosDelRango textos;
    QVector<Fila> filas; // day by day, each day's people in the order of names
};

// One person's summary: the days with an entry, the early exits and their
// total time.
struct Resumen {
    int orden = 0;
    int dias = 0;
    int salidas = 0;
    qint64 segundos = 0;
};

// The range's rows and their people, sorted by day, name, person and entry.
Asistencia leerAsistencia(Station& st, const Rango& r);

// The SQL after the columns for the rows of a range.
QString enRangoDe(Station& st, const Rango& r);

// The report box's text of `a`.
QString textoDelReporte(const Rango& r, const Asistencia& a);

// A stored text on one report line: a CR, LF or TAB in it would break the row.
QString enUnaLinea(QString t);

// Per person, in the order of names then id: what the report's RESUMEN and the
// workbook's Resumen sheet show.
QVector<Resumen> resumir(const Asistencia& a);

// The CSV export of `a`, in UTF-8.
QByteArray textoCsv(const Asistencia& a);

// A stored text as a field of an export: a leading character that makes a
// spreadsheet read a formula is neutralised by an apostrophe.
QString sinFormula(QString v);

// Why a sheet cannot hold `filas` rows; empty when it can.
QString filasDeMas(qint64 filas);

// Writes the workbook of `a` to `archivo`; throws FileError with the reason
// in Spanish.
void escribirLibro(const Asistencia& a, const QString& archivo);

} // namespace velmar
