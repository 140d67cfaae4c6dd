#include "station/attendance_report.h"

#include "db/errors.h"
#include "station/attendance_clock.h"
#include "station/velmo.h"

#include <QDate>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <tuple>

namespace velmar {

namespace {

const QString kFinLinea = QStringLiteral("\r\n");
const QString kSeparador = QStringLiteral("---------------------------------------");
const QString kEntreColumnas = QStringLiteral("  ");

struct Rango {
    QDate desde;
    QDate hasta;
};

// Both dates readable as yyyy-mm-dd and in order; otherwise the operator gets
// a box and nothing is asked of the server.
bool leerRango(Station& st, const QString& desde, const QString& hasta, Rango& r) {
    const auto leer = [&](const QString& texto, QDate& fecha) {
        static const QRegularExpression forma(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
        const QString t = sinBlancos(texto);
        fecha = forma.match(t).hasMatch() ? QDate::fromString(t, QStringLiteral("yyyy-MM-dd"))
                                          : QDate();
        if (!fecha.isValid())
            st.prompts.msgbox(QStringLiteral("Fecha no válida: \"") + texto +
                                  QStringLiteral("\". Escríbala como aaaa-mm-dd, por ejemplo "
                                                 "2026-03-02."),
                              kExclamacion);
        return fecha.isValid();
    };
    if (!leer(desde, r.desde) || !leer(hasta, r.hasta))
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

// A stored text on one report line: a CR, LF or TAB in it would break the row.
QString enUnaLinea(QString t) {
    for (QChar& c : t)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return t;
}

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

// The range's rows and their people. The order of names is the server's (its
// collation, not ours).
Asistencia leer(Station& st, const Rango& r) {
    st.busy.ponerLeyenda(QStringLiteral("Buscando ..."));
    // A half-open range serves DATE, DATETIME and text columns alike, and the
    // index on fecha_entrada.
    const QString enRango =
        QStringLiteral(" WHERE fecha_entrada >= '") + st.db.esc(r.desde.toString(Qt::ISODate)) +
        QStringLiteral("' AND fecha_entrada < '") +
        st.db.esc(r.hasta.addDays(1).toString(Qt::ISODate)) + QStringLiteral("'");
    // A month is tens of thousands of rows: joining and sorting them on the
    // server costs more than fetching them bare and then their people by key.
    RecordSet asistencia = abrir_consulta(
        st, QStringLiteral("SELECT personal_id, fecha_entrada, hora_entrada, hora_salida, "
                           "horas_dif FROM control_asistencia") +
                enRango);
    Asistencia a;
    a.personas.append(Persona());
    a.filas.reserve(asistencia.count());
    QHash<qint64, int> orden;
    QHash<QDate, QString> dias; // a month has 31 of them: each written once
    for (; !asistencia.eof(); asistencia.moveNext()) {
        const qint64 id = asistencia.value(0).toLongLong();
        orden.insert(id, 0);
        const QVariant dia = asistencia.value(1);
        QString diaTexto;
        if (dia.typeId() == QMetaType::QDate) {
            auto d = dias.find(dia.toDate());
            if (d == dias.end())
                d = dias.insert(dia.toDate(), asistencia.text(1));
            diaTexto = *d;
        } else {
            diaTexto = asistencia.text(1).left(10);
        }
        a.filas.append({0, id, diaTexto, horaDe(asistencia.value(2)), horaDe(asistencia.value(3)),
                        asistencia.value(4)});
    }
    if (a.filas.isEmpty())
        return a;
    QStringList ids;
    for (auto i = orden.cbegin(); i != orden.cend(); ++i)
        ids << st.db.num(QString::number(i.key()));
    RecordSet personal = abrir_consulta(
        st, QStringLiteral("SELECT personal_id, cedula, apellidos, nombres FROM personal WHERE "
                           "personal_id IN (") +
                ids.join(QLatin1Char(',')) +
                QStringLiteral(") ORDER BY apellidos, nombres, personal_id"));
    for (; !personal.eof(); personal.moveNext()) {
        orden[personal.value(0).toLongLong()] = int(a.personas.size());
        a.personas.append({personal.text(1), personal.text(2), personal.text(3)});
    }
    // a row whose person is gone comes first, as Null names do
    for (Fila& f : a.filas)
        f.orden = orden.value(f.persona);
    // Sorted by day, name, person and entry; a month's rows are sorted as
    // integer keys and moved once, not compared and swapped as texts.
    QStringList diasVistos;
    for (const Fila& f : a.filas)
        if (diasVistos.isEmpty() || diasVistos.last() != f.dia)
            diasVistos << f.dia;
    diasVistos.sort();
    diasVistos.removeDuplicates();
    QHash<QString, int> rango;
    for (int i = 0; i < diasVistos.size(); ++i)
        rango.insert(diasVistos[i], i);
    struct Clave {
        int dia, orden;
        qint64 persona;
        qsizetype fila;
    };
    QVector<Clave> claves;
    claves.reserve(a.filas.size());
    for (qsizetype i = 0; i < a.filas.size(); ++i)
        claves.append({rango.value(a.filas[i].dia), a.filas[i].orden, a.filas[i].persona, i});
    std::sort(claves.begin(), claves.end(), [&a](const Clave& x, const Clave& y) {
        return std::tie(x.dia, x.orden, x.persona, a.filas[x.fila].entrada) <
               std::tie(y.dia, y.orden, y.persona, a.filas[y.fila].entrada);
    });
    QVector<Fila> ordenadas;
    ordenadas.reserve(a.filas.size());
    for (const Clave& c : claves)
        ordenadas.append(std::move(a.filas[c.fila]));
    a.filas = std::move(ordenadas);
    return a;
}

void empezar(Station& st) {
    st.busy.ponerPuntero(Busy::kReloj);
    st.busy.ponerLeyenda(QStringLiteral("Inicializando ..."));
}

void terminar(Station& st) {
    st.busy.ponerPuntero(Busy::kFlecha);
    st.busy.ponerLeyenda(QString());
}

void fallo(Station& st) {
    st.busy.ponerPuntero(Busy::kFlecha);
    st.busy.ponerLeyenda(Busy::kCaptionError, false);
}

QString horaCorta(const QString& hora) {
    const bool hms = hora.size() == 8 && hora[2] == QLatin1Char(':') && hora[5] == QLatin1Char(':');
    return hms ? hora.left(5) : enUnaLinea(hora);
}

QString horasMinutos(qint64 segundos) {
    const qint64 s = std::llabs(segundos);
    return (segundos < 0 ? QStringLiteral("-") : QString()) + QString::number(s / 3600) +
           QLatin1Char(':') + QStringLiteral("%1").arg(s % 3600 / 60, 2, 10, QLatin1Char('0'));
}

// Appends a field padded to its column's width, and the gap to the next.
void columna(QString& t, const QString& campo, qsizetype ancho, bool aLaDerecha = false) {
    const qsizetype relleno = std::max<qsizetype>(0, ancho - campo.size());
    if (aLaDerecha)
        t.resize(t.size() + relleno, QLatin1Char(' '));
    t += campo;
    if (!aLaDerecha)
        t.resize(t.size() + relleno, QLatin1Char(' '));
    t += kEntreColumnas;
}

// Ends a row without trailing blanks.
void finDeFila(QString& t, const QString& nombre) {
    t += nombre;
    while (t.endsWith(QLatin1Char(' ')))
        t.chop(1);
    t += kFinLinea;
}

struct Resumen {
    int dias = 0;
    int salidas = 0;
    qint64 segundos = 0;
};

QString textoDelReporte(const Rango& r, const Asistencia& a) {
    // Each person's column texts once, a row each.
    QStringList cedulas, nombres;
    qsizetype anchoCedula = 6;
    for (const Persona& p : a.personas) {
        cedulas << enUnaLinea(p.cedula);
        nombres << enUnaLinea(sinBlancos(p.apellidos + QLatin1Char(' ') + p.nombres));
        anchoCedula = std::max(anchoCedula, p.cedula.size());
    }
    QString texto = QStringLiteral("ASISTENCIA DEL ") + r.desde.toString(Qt::ISODate) +
                    QStringLiteral(" AL ") + r.hasta.toString(Qt::ISODate) + kFinLinea;
    texto.reserve(a.filas.size() * 60 + a.personas.size() * 60 + 256);
    QString encabezado;
    columna(encabezado, QStringLiteral("Cédula"), anchoCedula);
    columna(encabezado, QStringLiteral("Entrada"), 7);
    columna(encabezado, QStringLiteral("Salida"), 6);
    columna(encabezado, QStringLiteral("Tiempo"), 6);
    finDeFila(encabezado, QStringLiteral("Nombre"));

    // per person (by order of names, then id)
    std::map<std::pair<int, qint64>, Resumen> resumen;
    const Fila* anterior = nullptr;
    for (const Fila& f : a.filas) {
        if (!anterior || f.dia != anterior->dia)
            texto += kSeparador + kFinLinea + QStringLiteral("DÍA ") + enUnaLinea(f.dia) +
                     kFinLinea + encabezado;
        Resumen& total = resumen[{f.orden, f.persona}];
        if (!anterior || f.dia != anterior->dia || f.persona != anterior->persona)
            ++total.dias;
        anterior = &f;

        bool conTiempo = false;
        const qint64 segundos = f.segundos.toLongLong(&conTiempo);
        const bool salida = !f.salida.isEmpty();
        if (salida) {
            ++total.salidas;
            total.segundos += segundos;
        }
        columna(texto, cedulas[f.orden], anchoCedula);
        columna(texto, horaCorta(f.entrada), 7);
        columna(texto, salida ? horaCorta(f.salida) : QString(), 6);
        columna(texto, salida && conTiempo ? horasMinutos(segundos) : QString(), 6, true);
        finDeFila(texto, f.orden ? nombres[f.orden] : QString());
    }
    texto += kSeparador + kFinLinea + QStringLiteral("RESUMEN") + kFinLinea;
    columna(texto, QStringLiteral("Cédula"), anchoCedula);
    columna(texto, QStringLiteral("Días"), 4, true);
    columna(texto, QStringLiteral("Salidas"), 7, true);
    columna(texto, QStringLiteral("Tiempo"), 6, true);
    finDeFila(texto, QStringLiteral("Nombre"));
    for (const auto& [quien, total] : resumen) {
        columna(texto, cedulas[quien.first], anchoCedula);
        columna(texto, QString::number(total.dias), 4, true);
        columna(texto, QString::number(total.salidas), 7, true);
        columna(texto, horasMinutos(total.segundos), 6, true);
        finDeFila(texto, nombres[quien.first]);
    }
    texto += kSeparador + kFinLinea;
    return texto;
}

// RFC 4180, and a leading character that makes a spreadsheet read a formula
// is neutralised by an apostrophe.
QString campoCsv(QString v) {
    if (!v.isEmpty() && QStringLiteral("=+-@\t\r").contains(v.front()))
        v.prepend(QLatin1Char('\''));
    static const QRegularExpression especial(QStringLiteral("[,\"\r\n]"));
    if (v.contains(especial))
        v = QLatin1Char('"') + v.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
            QLatin1Char('"');
    return v;
}

QByteArray textoCsv(const Asistencia& a) {
    QString csv = QStringLiteral("fecha,cedula,apellidos,nombres,entrada,salida,segundos\r\n");
    for (const Fila& f : a.filas) {
        const Persona& p = a.personas[f.orden];
        bool entero = false;
        const qint64 n = f.segundos.toLongLong(&entero);
        // A number stays a number: only text could be run as a formula.
        const QString segundos = f.segundos.isNull() ? QString()
                                 : entero            ? QString::number(n)
                                                     : campoCsv(RecordSet::textOf(f.segundos));
        csv += QStringList{campoCsv(f.dia),
                           campoCsv(p.cedula),
                           campoCsv(p.apellidos),
                           campoCsv(p.nombres),
                           campoCsv(f.entrada),
                           campoCsv(f.salida),
                           segundos}
                   .join(QLatin1Char(',')) +
               kFinLinea;
    }
    return csv.toUtf8();
}

} // namespace

void reporte_asistencia(Station& st, const QString& desde, const QString& hasta) {
    Rango r;
    if (!leerRango(st, desde, sinBlancos(hasta).isEmpty() ? desde : hasta, r))
        return;
    empezar(st);
    st.report.show();
    try {
        const Asistencia a = leer(st, r);
        if (a.filas.isEmpty()) {
            st.report.set(QStringLiteral("No hay asistencia del ") + r.desde.toString(Qt::ISODate) +
                          QStringLiteral(" al ") + r.hasta.toString(Qt::ISODate));
        } else {
            st.busy.ponerLeyenda(QStringLiteral("Recuperando información ..."));
            st.report.set(textoDelReporte(r, a), true);
        }
        terminar(st);
    } catch (const Error&) {
        fallo(st);
    }
}

void exportar_asistencia(Station& st, const QString& desde, const QString& hasta,
                         const QString& archivo) {
    Rango r;
    if (!leerRango(st, desde, hasta, r))
        return;
    empezar(st);
    try {
        const Asistencia a = leer(st, r);
        st.busy.ponerLeyenda(QStringLiteral("Escribiendo archivo ..."));
        const QByteArray csv = textoCsv(a);
        // Written beside the target and renamed over it: a failure leaves the
        // old file, or none, never half of one.
        QSaveFile f(archivo);
        if (f.open(QIODevice::WriteOnly) && f.write(csv) == csv.size() && f.commit())
            st.history.agregar_historia(QStringLiteral("\t* Asistencia exportada: ") +
                                        QString::number(a.filas.size()) +
                                        QStringLiteral(" filas en ") + archivo);
        else
            st.prompts.msgbox(QStringLiteral("No se pudo escribir el archivo ") + archivo +
                                  QStringLiteral(": ") + f.errorString(),
                              kExclamacion);
        terminar(st);
    } catch (const Error&) {
        fallo(st);
    }
}

} // namespace velmar
