// The report box's text: a block a day, then each person's summary.

#include "attendance/attendance_rows.h"
#include "station/texts.h"

#include <algorithm>
#include <cstdlib>

namespace velmar {

// A stored text on one report line: a CR, LF or TAB in it would break the row.
QString enUnaLinea(QString t) {
    for (QChar& c : t)
        if ((c.unicode() < 0x20 || c.unicode() >= 0x7f) &&
            (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
             c == QChar::ParagraphSeparator))
            c = QLatin1Char(' ');
    return t;
}

namespace {

QString horasMinutos(qint64 segundos) {
    const qint64 s = std::llabs(segundos);
    const int minutos = int(s % 3600 / 60);
    return (segundos < 0 ? QStringLiteral("-") : QString()) + QString::number(s / 3600) +
           QLatin1Char(':') + QLatin1Char(char('0' + minutos / 10)) +
           QLatin1Char(char('0' + minutos % 10));
}

// The report's text written in place: its room grown by doubling, each field
// copied and padded by hand rather than appended piece by piece (a month is
// tens of thousands of lines).
class Escritor {
public:
    // `largo`: the characters it will likely take, made room for at once
    explicit Escritor(qsizetype largo = 0) { crecer(largo); }
    void texto(QStringView s) { std::copy_n(s.utf16(), s.size(), hueco(s.size())); }
    // A field padded to its column's width, and the gap to the next.
    void columna(QStringView campo, qsizetype ancho, bool aLaDerecha = false) {
        const qsizetype relleno = std::max<qsizetype>(0, ancho - campo.size());
        char16_t* p = hueco(relleno + campo.size() + 2);
        if (aLaDerecha)
            p = std::fill_n(p, relleno, u' ');
        p = std::copy_n(campo.utf16(), campo.size(), p);
        std::fill_n(p, (aLaDerecha ? 0 : relleno) + 2, u' ');
    }
    // Ends a row without trailing blanks.
    void finDeFila(QStringView nombre) {
        texto(nombre);
        while (n_ > 0 && base_[n_ - 1] == u' ')
            --n_;
        texto(kCrLf);
    }
    QString terminar() {
        t_.resize(n_);
        return std::move(t_);
    }

private:
    char16_t* hueco(qsizetype n) {
        if (t_.size() - n_ < n)
            crecer(std::max(n_ + n, t_.size() * 2 + 256));
        char16_t* p = base_ + n_;
        n_ += n;
        return p;
    }
    // The text is this writer's alone: its start is taken once a growth,
    // not asked of the string (and checked for sharing) at every field.
    void crecer(qsizetype largo) {
        t_.resize(largo);
        base_ = reinterpret_cast<char16_t*>(t_.data());
    }

    QString t_;
    char16_t* base_ = nullptr;
    qsizetype n_ = 0;
};

// A column of times, each distinct text padded once: without its seconds
// when it ends in :mm:ss (30:00:00 past the day, -01:00:00 before it,
// included), else as stored.
class ColumnaDeHoras {
public:
    ColumnaDeHoras(const TextosDelRango& textos, qsizetype ancho)
        : textos_(textos)
        , ancho_(ancho)
        , hechas_(textos.size()) {}
    const QString& de(int lugar) {
        QString& hecha = hechas_[lugar];
        if (hecha.isNull()) {
            const QString& hora = textos_[lugar];
            const qsizetype n = hora.size();
            Escritor t;
            if (n >= 8 && hora[n - 3] == QLatin1Char(':') && hora[n - 6] == QLatin1Char(':'))
                t.columna(QStringView(hora).left(n - 3), ancho_);
            else
                t.columna(enUnaLinea(hora), ancho_);
            hecha = t.terminar();
        }
        return hecha;
    }

private:
    const TextosDelRango& textos_;
    qsizetype ancho_;
    QVector<QString> hechas_; // by place; null while not made
};

// `cedulas`: each person's column already padded.
void resumenDelReporte(Escritor& t, const Asistencia& a, const QStringList& cedulas,
                       const QStringList& nombres, qsizetype anchoCedula) {
    t.texto(kSeparador + kCrLf + QStringLiteral("RESUMEN") + kCrLf);
    t.columna(u"Cédula", anchoCedula);
    t.columna(u"Días", 4, true);
    t.columna(u"Salidas", 7, true);
    t.columna(u"Tiempo", 6, true);
    t.finDeFila(u"Nombre");
    for (const Resumen& total : resumir(a)) {
        t.texto(cedulas.at(total.orden));
        t.columna(QString::number(total.dias), 4, true);
        t.columna(QString::number(total.salidas), 7, true);
        t.columna(horasMinutos(total.segundos), 6, true);
        t.finDeFila(nombres.at(total.orden));
    }
    t.texto(kSeparador + kCrLf);
}

} // namespace

QString textoDelReporte(const Rango& r, const Asistencia& a) {
    // Each person's column texts once, padded, a row each.
    QStringList cedulas, nombres;
    qsizetype anchoCedula = 6;
    for (const Persona& p : a.personas) {
        nombres << enUnaLinea(sinBlancos(p.apellidos + QLatin1Char(' ') + p.nombres));
        anchoCedula = std::max(anchoCedula, p.cedula.size());
    }
    for (const Persona& p : a.personas) {
        Escritor cedula;
        cedula.columna(enUnaLinea(p.cedula), anchoCedula);
        cedulas << cedula.terminar();
    }
    Escritor texto(a.filas.size() * 60 + a.personas.size() * 60 + 256);
    texto.texto(QStringLiteral("ASISTENCIA DEL ") + r.desde.toString(Qt::ISODate) +
                QStringLiteral(" AL ") + r.hasta.toString(Qt::ISODate) + kCrLf);
    Escritor encabezado;
    encabezado.columna(u"Cédula", anchoCedula);
    encabezado.columna(u"Entrada", 7);
    encabezado.columna(u"Salida", 6);
    encabezado.columna(u"Tiempo", 6);
    encabezado.finDeFila(u"Nombre");
    const QString cabeza = encabezado.terminar();

    // each time present written once, padded
    PorSegundo<QString> tiempos;
    const auto tiempo = [&tiempos](qint64 s) -> const QString& {
        return tiempos.de(s, [](qint64 v) {
            Escritor t;
            t.columna(horasMinutos(v), 6, true);
            return t.terminar();
        });
    };
    const QString sinTiempo(6 + 2, QLatin1Char(' '));
    ColumnaDeHoras entradas(a.textos, 7), salidas(a.textos, 6);
    const Fila* anterior = nullptr;
    for (const Fila& f : a.filas) {
        if (!anterior || f.dia != anterior->dia)
            texto.texto(kSeparador + kCrLf + QStringLiteral("DÍA ") + enUnaLinea(a.textos[f.dia]) +
                        kCrLf + cabeza);
        anterior = &f;

        texto.texto(cedulas.at(f.orden));
        texto.texto(entradas.de(f.entrada));
        texto.texto(salidas.de(f.salida));
        texto.texto(f.segundos ? tiempo(*f.segundos) : sinTiempo);
        texto.finDeFila(f.orden ? nombres.at(f.orden) : QString());
    }
    resumenDelReporte(texto, a, cedulas, nombres, anchoCedula);
    return texto.terminar();
}

QVector<Resumen> resumir(const Asistencia& a) {
    // each person's total by the rank of its key, which is one person's alone
    int claves = 0;
    for (const Fila& f : a.filas)
        claves = std::max(claves, f.clave + 1);
    QVector<Resumen> porClave(claves);
    QVector<int> vistas; // the ranks present
    const Fila* anterior = nullptr;
    for (const Fila& f : a.filas) {
        Resumen& total = porClave[f.clave];
        if (total.dias == 0)
            vistas << f.clave;
        total.orden = f.orden;
        if (!anterior || f.dia != anterior->dia || f.quien != anterior->quien)
            ++total.dias;
        anterior = &f;
        if (f.salida != 0) {
            ++total.salidas;
            total.segundos += f.segundos.value_or(0);
        }
    }
    // by order of names, then id
    std::sort(vistas.begin(), vistas.end(), [&porClave](int x, int y) {
        return std::pair(porClave[x].orden, x) < std::pair(porClave[y].orden, y);
    });
    QVector<Resumen> lista;
    lista.reserve(vistas.size());
    for (const int c : vistas)
        lista.append(porClave[c]);
    return lista;
}

} // namespace velmar
