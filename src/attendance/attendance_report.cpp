#include "attendance/attendance_report.h"

#include "attendance/attendance_rows.h"
#include "db/farm_schema.h"
#include "db/server_codes.h"
#include "errors/errors.h"
#include "files/file_output.h"
#include "station/operation_scope.h"
#include "station/velmo.h"

#include <QDate>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <tuple>
#include <vector>

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

const QString kSinReporte =
    QStringLiteral("No se puede hacer el reporte de asistencia con esta base de datos:\n");

struct Rango {
    QDate desde;
    QDate hasta;
};

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

// A stored text on one report line: a CR, LF or TAB in it would break the row.
QString enUnaLinea(QString t) {
    for (QChar& c : t)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return t;
}

// Texts shared from one place (a day's, a person's) are equal without being
// read.
bool mismo(const QString& x, const QString& y) {
    return x.size() == y.size() && (x.constData() == y.constData() || x == y);
}

// One decimal integer up to `separador` (or the end, when it is ';'); an
// empty one is a Null.
bool leerEntero(const char*& p, const char* fin, char separador, qint64& valor, bool& nulo) {
    const bool negativo = p < fin && *p == '-';
    if (negativo)
        ++p;
    const char* inicio = p;
    const char* hasta = fin - p > 18 ? p + 18 : fin;
    valor = 0;
    for (unsigned d; p < hasta && (d = unsigned(*p - '0')) <= 9; ++p)
        valor = valor * 10 + d;
    nulo = p == inicio;
    if (negativo && nulo)
        return false;
    if (negativo)
        valor = -valor;
    if (p == fin)
        return separador == ';';
    return *p++ == separador;
}

// The table as the station creates it (DATE, TIME and integer columns) is
// read the cheap way: the server gives one value per day holding that day's
// rows as numbers, instead of five values per row through the ODBC driver.
// False, with nothing read, for other column types or anything this would
// not read back exactly (a cut value); the caller then reads the rows one by
// one.
bool porDia(const FarmSchema& s) {
    using K = FarmColumn::Kind;
    const auto es = [&s](const char* nombre, std::initializer_list<K> tipos) {
        const FarmColumn* c = s.column(QStringLiteral("control_asistencia"), QLatin1String(nombre));
        return c && std::find(tipos.begin(), tipos.end(), c->kind) != tipos.end();
    };
    return s.integerKeys() && es("fecha_entrada", {K::Date}) && es("hora_entrada", {K::Time}) &&
           es("hora_salida", {K::Time}) && es("horas_dif", {K::Integer, K::Time});
}

// Texts of whole seconds, each made once and shared by the rows that hold
// it: those of a day found by a table's index, without hashing; the rare
// others (past the day, before it) in a hash.
class TextoDeSegundos {
public:
    explicit TextoDeSegundos(QString (*hacer)(qint64))
        : hacer_(hacer)
        , delDia_(kDia, -1) {}
    const QString& de(qint64 v) {
        if (v < 0 || v >= kDia) {
            auto i = otros_.find(v);
            return i != otros_.end() ? *i : *otros_.insert(v, hacer_(v));
        }
        int& i = delDia_[size_t(v)];
        if (i < 0) {
            i = int(hechos_.size());
            hechos_ << hacer_(v);
        }
        return hechos_.at(i);
    }

private:
    static constexpr qint64 kDia = 24 * 3600;
    QString (*hacer_)(qint64);
    std::vector<int> delDia_; // a place in `hechos_`, -1 while not made
    QStringList hechos_;
    QHash<qint64, QString> otros_;
};

// A month repeats its people and its times: each text is made once and
// shared by the rows that hold it; each person's key is numbered once.
struct TextosHechos {
    TextoDeSegundos horas{horaDelDia};
    QHash<qint64, int> quien; // personal_id -> its place in `claves`
    QStringList& claves;
    const QString& hora(qint64 v) { return horas.de(v); }
    int persona(qint64 v) {
        auto i = quien.find(v);
        if (i == quien.end()) {
            i = quien.insert(v, int(claves.size()));
            claves << QString::number(v);
        }
        return *i;
    }
};

// One day's row of the day-at-a-time read into `filas`; false when it holds
// anything this would not read back exactly (a cut value, a day that is not
// a DATE).
bool leerDia(const RecordSet& dias, QVector<Fila>& filas, TextosHechos& t) {
    if (dias.value(0).typeId() != QMetaType::QDate)
        return false;
    const QString dia = dias.text(0);
    const QByteArray valores = dias.value(2).toByteArray();
    const char* p = valores.constData();
    const char* fin = p + valores.size();
    qint64 cuantas = 0;
    while (p < fin) {
        qint64 v[4];
        bool nulo[4];
        for (int i = 0; i < 4; ++i)
            if (!leerEntero(p, fin, i < 3 ? ',' : ';', v[i], nulo[i]))
                return false;
        if (nulo[0])
            return false;
        const int quien = t.persona(v[0]);
        filas.emplaceBack(
            0, dia, nulo[1] ? QString() : t.hora(v[1]), nulo[2] ? QString() : t.hora(v[2]),
            nulo[3] || nulo[2] ? std::nullopt : std::optional<qint64>(v[3]), 0, quien);
        ++cuantas;
    }
    return cuantas == dias.value(1).toLongLong();
}

// The rows a day at a time; `claves` gets each person once.
bool leerPorDia(Station& st, const QString& enRango, QVector<Fila>& filas, QStringList& claves) {
    const FarmSchema& s = st.db.esquema();
    if (!porDia(s))
        return false;
    RecordSet dias;
    try {
        // CONCAT_WS joins a row's values in one step, cheaper for the server
        // than GROUP_CONCAT's own pieces; a Null key it would leave out makes
        // a row of three values, which leerDia refuses.
        dias = st.db.consulta(
            QStringLiteral("SELECT fecha_entrada, COUNT(*), CAST(GROUP_CONCAT(CONCAT_WS(',', "
                           "personal_id, IFNULL(TIME_TO_SEC(hora_entrada), ''), "
                           "IFNULL(TIME_TO_SEC(") +
            s.exitRead(st.db) + QStringLiteral("), ''), IFNULL(") + s.secondsRead() +
            QStringLiteral(", '')) SEPARATOR ';') AS BINARY)") + enRango +
            QStringLiteral(" GROUP BY fecha_entrada"));
    } catch (const DbError& e) {
        // the operation's path shows it; the rows one by one would wait again
        if (e.linkLost() || faultOf(e) == ServerFault::LockWaitTimeout)
            throw;
        return false;
    }
    qint64 total = 0;
    for (; !dias.eof(); dias.moveNext())
        total += dias.value(1).toLongLong();
    filas.reserve(total);
    TextosHechos textos{.quien = {}, .claves = claves};
    for (dias.moveFirst(); !dias.eof(); dias.moveNext())
        if (!leerDia(dias, filas, textos)) {
            filas.clear();
            claves.clear();
            return false;
        }
    return true;
}

// Whole seconds in a value of any numeric type, or in the text of a number
// (a VARCHAR column), the fraction dropped; none for Null or anything else.
std::optional<qint64> segundosDe(const QVariant& v) {
    if (v.isNull())
        return std::nullopt;
    constexpr double kMaximo = 9.2e18; // inside qint64
    if (v.typeId() == QMetaType::LongLong)
        return v.toLongLong();
    if (v.typeId() == QMetaType::ULongLong)
        return v.toULongLong() <= quint64(kMaximo) ? std::optional<qint64>(qint64(v.toULongLong()))
                                                   : std::nullopt;
    double d = v.toDouble();
    bool numero = v.typeId() == QMetaType::Double;
    if (!numero) {
        const QString t = RecordSet::textOf(v).trimmed();
        static const QRegularExpression decimal(QStringLiteral("^([+-]?\\d+)(?:\\.\\d*)?$"));
        if (const auto m = decimal.match(t); m.hasMatch()) {
            const qint64 n = m.captured(1).toLongLong(&numero);
            if (numero)
                return n;
        }
        d = t.toDouble(&numero); // an exponent, or a fraction alone
    }
    if (!numero || !std::isfinite(d) || std::fabs(d) >= kMaximo)
        return std::nullopt;
    return qint64(std::trunc(d));
}

// The SQL after the columns for the rows of a range. A half-open range serves
// DATE, DATETIME and text columns alike, and the index on fecha_entrada. The
// calendar's last day has no day after it: up to its last second.
QString enRangoDe(Station& st, const Rango& r) {
    const QDate despues = r.hasta.addDays(1);
    return QStringLiteral(" FROM control_asistencia WHERE fecha_entrada >= '") +
           st.db.esc(r.desde.toString(Qt::ISODate)) +
           (despues.isValid() && !despues.toString(Qt::ISODate).isEmpty()
                ? QStringLiteral("' AND fecha_entrada < '") +
                      st.db.esc(despues.toString(Qt::ISODate)) + QStringLiteral("'")
                : QStringLiteral("' AND fecha_entrada <= '") +
                      st.db.esc(r.hasta.toString(Qt::ISODate)) + QStringLiteral(" 23:59:59'"));
}

// Each key's rank, ordering the rows of people gone from personal (who share
// the first place): keys that are numbers in numeric order, then the others
// in text order.
QVector<int> ordenarClaves(const QStringList& claves) {
    struct Clave {
        bool texto;
        qint64 numero;
        QString clave;
        int i;
    };
    QVector<Clave> todas;
    todas.reserve(claves.size());
    for (int i = 0; i < claves.size(); ++i) {
        bool numero = false;
        const qint64 n = claves[i].toLongLong(&numero);
        todas.append({!numero, numero ? n : 0, claves[i], i});
    }
    std::sort(todas.begin(), todas.end(), [](const Clave& x, const Clave& y) {
        return std::tie(x.texto, x.numero, x.clave) < std::tie(y.texto, y.numero, y.clave);
    });
    QVector<int> rango(claves.size());
    for (int i = 0; i < todas.size(); ++i)
        rango[todas[i].i] = i;
    return rango;
}

// Where the keys are not integers on both sides, each row's person is the
// one the server matches as it joins the two tables ('0003' and 3, 'emp001'
// and 'EMP001' under a case-blind collation): asked of the server with the row.
QString personaDeLaFila(const FarmSchema& s) {
    return s.integerKeys()
               ? QString()
               : QStringLiteral(", (SELECT p.personal_id FROM personal p WHERE p.personal_id = "
                                "control_asistencia.personal_id ORDER BY p.apellidos, "
                                "p.nombres, p.personal_id LIMIT 1)");
}

// The rows one by one, for any column types; gives the keys personal has.
// `claves` gets each person once.
QSet<QString> leerFilas(Station& st, const QString& enRango, QVector<Fila>& filas,
                        QStringList& claves) {
    const FarmSchema& s = st.db.esquema();
    const bool enteras = s.integerKeys();
    // A month is tens of thousands of rows: joining and sorting them on the
    // server costs more than fetching them bare and then their people by key.
    RecordSet asistencia =
        abrir_consulta(st, QStringLiteral("SELECT personal_id, fecha_entrada, hora_entrada, ") +
                               s.exitRead(st.db) + QStringLiteral(", ") + s.secondsRead() +
                               personaDeLaFila(s) + enRango);
    filas.reserve(asistencia.count());
    QSet<QString> conPersona;
    QHash<QString, int> quien;
    QHash<QDate, QString> dias; // a month has 31 of them: each written once
    for (; !asistencia.eof(); asistencia.moveNext()) {
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
        const bool hallada = enteras || !asistencia.value(5).isNull();
        const QString persona = asistencia.text(enteras || !hallada ? 0 : 5);
        if (hallada)
            conPersona.insert(persona);
        auto q = quien.find(persona);
        if (q == quien.end()) {
            q = quien.insert(persona, int(claves.size()));
            claves << persona;
        }
        const QString salida = horaDe(asistencia.value(3));
        filas.append({0, diaTexto, horaDe(asistencia.value(2)), salida,
                      salida.isEmpty() ? std::nullopt : segundosDe(asistencia.value(4)), 0, *q});
    }
    return conPersona;
}

// Each key's place in the order of names; people are read by the keys
// personal holds, written as its column's type.
void ponerPersonas(Station& st, Asistencia& a, const QStringList& claves,
                   const QSet<QString>& conPersona) {
    const FarmSchema& s = st.db.esquema();
    QHash<QString, int> orden;
    QStringList ids;
    for (const QString& k : conPersona)
        ids << s.keyMatch(st.db, k);
    if (!ids.isEmpty()) {
        RecordSet personal = abrir_consulta(
            st, QStringLiteral("SELECT personal_id, cedula, apellidos, nombres FROM personal "
                               "WHERE personal_id IN (") +
                    ids.join(QLatin1Char(',')) +
                    QStringLiteral(") ORDER BY apellidos, nombres, personal_id"));
        for (; !personal.eof(); personal.moveNext()) {
            orden[personal.text(0)] = int(a.personas.size());
            a.personas.append({personal.text(1), personal.text(2), personal.text(3)});
        }
    }
    // a row whose person is gone comes first, as Null names do
    const QVector<int> rango = ordenarClaves(claves);
    QVector<int> ordenDe(claves.size());
    for (qsizetype i = 0; i < claves.size(); ++i)
        ordenDe[i] = orden.value(claves[i]);
    for (Fila& f : a.filas) {
        f.orden = ordenDe[f.quien];
        f.clave = rango[f.quien];
    }
}

// Each person's place (by `quien`) in the order of names, then of keys.
QVector<int> lugarDePersonas(const QVector<Fila>& filas) {
    int n = 0;
    for (const Fila& f : filas)
        n = std::max(n, f.quien + 1);
    QVector<std::pair<int, int>> de(n); // each person's order and key rank
    for (const Fila& f : filas)
        de[f.quien] = {f.orden, f.clave};
    QVector<int> quienes(n);
    std::iota(quienes.begin(), quienes.end(), 0);
    std::sort(quienes.begin(), quienes.end(), [&de](int x, int y) { return de[x] < de[y]; });
    QVector<int> lugar(n);
    for (int i = 0; i < n; ++i)
        lugar[quienes[i]] = i;
    return lugar;
}

// Sorted by day, name, person and entry; a month's rows are sorted as
// integer keys and moved once, not compared and swapped as texts.
void ordenar(Asistencia& a) {
    QStringList diasVistos;
    for (const Fila& f : a.filas)
        if (diasVistos.isEmpty() || !mismo(diasVistos.last(), f.dia))
            diasVistos << f.dia;
    diasVistos.sort();
    diasVistos.removeDuplicates();
    QHash<QString, int> rango;
    for (int i = 0; i < diasVistos.size(); ++i)
        rango.insert(diasVistos[i], i);
    const QVector<int> lugar = lugarDePersonas(a.filas);
    struct Clave {
        quint64 llave; // the day's rank, then the person's
        qsizetype fila;
    };
    QVector<Clave> claves;
    claves.reserve(a.filas.size());
    int dia = 0; // a day's rows mostly come together: its rank looked up once
    for (qsizetype i = 0; i < a.filas.size(); ++i) {
        const Fila& f = a.filas.at(i);
        if (i == 0 || !mismo(f.dia, a.filas.at(i - 1).dia))
            dia = rango.value(f.dia);
        claves.append({quint64(dia) << 32 | quint32(lugar.at(f.quien)), i});
    }
    // the entries only where the rest ties: a row is touched only then; rows
    // alike in all stay in the order they were read
    const QVector<Fila>& filas = a.filas;
    std::sort(claves.begin(), claves.end(), [&filas](const Clave& x, const Clave& y) {
        if (x.llave != y.llave)
            return x.llave < y.llave;
        if (const int c = filas.at(x.fila).entrada.compare(filas.at(y.fila).entrada); c != 0)
            return c < 0;
        return x.fila < y.fila;
    });
    // each row moved to its place along the cycles of the order: no second
    // copy of a month's rows
    QVector<bool> puesta(a.filas.size());
    for (qsizetype i = 0; i < claves.size(); ++i) {
        if (puesta[i])
            continue;
        Fila suelta = std::move(a.filas[i]);
        qsizetype j = i;
        for (qsizetype k = claves[j].fila; k != i; j = k, k = claves[j].fila) {
            a.filas[j] = std::move(a.filas[k]);
            puesta[j] = true;
        }
        a.filas[j] = std::move(suelta);
        puesta[j] = true;
    }
}

// Days a farm keeps as text in another form ('07/03/2024') would fall out of
// every range without a word: the report is refused, naming them.
void revisarDiasDeTexto(Station& st) {
    const FarmColumn* c = st.db.esquema().column(QStringLiteral("control_asistencia"),
                                                 QStringLiteral("fecha_entrada"));
    if (!c || c->kind != FarmColumn::Kind::Text)
        return;
    const RecordSet ilegibles = abrir_consulta(
        st, QStringLiteral("SELECT COUNT(*), MIN(fecha_entrada) FROM control_asistencia WHERE "
                           "fecha_entrada NOT REGEXP '^[0-9]{4}-[0-9]{2}-[0-9]{2}'"));
    if (const qint64 n = ilegibles.value(0).toLongLong(); n > 0)
        throw SchemaError(kSinReporte +
                          QStringLiteral("control_asistencia.fecha_entrada: %1 filas tienen una "
                                         "fecha que no es aaaa-mm-dd (por ejemplo '%2'): no se "
                                         "sabe a qué día pertenecen. Escríbalas como aaaa-mm-dd.")
                              .arg(n)
                              .arg(enUnaLinea(ilegibles.text(1))));
}

// The range's rows and their people. The order of names is the server's (its
// collation, not ours).
Asistencia leer(Station& st, const Rango& r) {
    st.busy.ponerLeyenda(QStringLiteral("Buscando ..."));
    if (const QString no = st.db.esquema().refusal(SchemaFinding::Report); !no.isEmpty())
        throw SchemaError(kSinReporte + no);
    revisarDiasDeTexto(st);
    const QString enRango = enRangoDe(st, r);
    Asistencia a;
    a.personas.append(Persona());
    QStringList claves;
    QSet<QString> conPersona;
    if (leerPorDia(st, enRango, a.filas, claves))
        conPersona = QSet<QString>(claves.cbegin(), claves.cend());
    else
        conPersona = leerFilas(st, enRango, a.filas, claves);
    if (a.filas.isEmpty())
        return a;
    ponerPersonas(st, a, claves, conPersona);
    ordenar(a);
    return a;
}

void terminar(Station& st) {
    st.busy.ponerPuntero(Busy::kFlecha);
    st.busy.ponerLeyenda(QString());
}

QString horasMinutos(qint64 segundos) {
    const qint64 s = std::llabs(segundos);
    char b[32];
    const int n =
        std::snprintf(b, sizeof b, "%s%lld:%02lld", segundos < 0 ? "-" : "",
                      static_cast<long long>(s / 3600), static_cast<long long>(s % 3600 / 60));
    return QString::fromLatin1(b, n);
}

// The report's text written in place: its room grown by doubling, each field
// copied and padded by hand rather than appended piece by piece (a month is
// tens of thousands of lines).
class Escritor {
public:
    // `largo`: the characters it will likely take, made room for at once
    explicit Escritor(qsizetype largo = 0) { t_.resize(largo); }
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
        const char16_t* t = reinterpret_cast<const char16_t*>(t_.constData());
        while (n_ > 0 && t[n_ - 1] == u' ')
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
            t_.resize(std::max(n_ + n, t_.size() * 2 + 256));
        char16_t* p = reinterpret_cast<char16_t*>(t_.data()) + n_;
        n_ += n;
        return p;
    }

    QString t_;
    qsizetype n_ = 0;
};

// A time without its seconds when it ends in :mm:ss (30:00:00 past the
// day, -01:00:00 before it, included), else as stored.
void columnaHora(Escritor& t, const QString& hora, qsizetype ancho) {
    const qsizetype n = hora.size();
    if (n >= 8 && hora[n - 3] == QLatin1Char(':') && hora[n - 6] == QLatin1Char(':'))
        t.columna(QStringView(hora).left(n - 3), ancho);
    else
        t.columna(enUnaLinea(hora), ancho);
}

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
    TextoDeSegundos tiempos([](qint64 s) {
        Escritor t;
        t.columna(horasMinutos(s), 6, true);
        return t.terminar();
    });
    const auto tiempo = [&tiempos](qint64 s) -> const QString& { return tiempos.de(s); };
    const QString sinTiempo(6 + 2, QLatin1Char(' '));
    const Fila* anterior = nullptr;
    for (const Fila& f : a.filas) {
        if (!anterior || !mismo(f.dia, anterior->dia))
            texto.texto(kSeparador + kCrLf + QStringLiteral("DÍA ") + enUnaLinea(f.dia) + kCrLf +
                        cabeza);
        anterior = &f;

        texto.texto(cedulas.at(f.orden));
        columnaHora(texto, f.entrada, 7);
        columnaHora(texto, f.salida, 6);
        texto.texto(f.segundos ? tiempo(*f.segundos) : sinTiempo);
        texto.finDeFila(f.orden ? nombres.at(f.orden) : QString());
    }
    resumenDelReporte(texto, a, cedulas, nombres, anchoCedula);
    return texto.terminar();
}

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

QByteArray textoCsv(const Asistencia& a) {
    QString csv = QStringLiteral("fecha,cedula,apellidos,nombres,entrada,salida,segundos\r\n");
    for (const Fila& f : a.filas) {
        const Persona& p = a.personas[f.orden];
        const QString segundos = f.segundos ? QString::number(*f.segundos) : QString();
        csv += QStringList{campoCsv(f.dia),
                           campoCsv(p.cedula),
                           campoCsv(p.apellidos),
                           campoCsv(p.nombres),
                           campoCsv(f.entrada),
                           campoCsv(f.salida),
                           segundos}
                   .join(QLatin1Char(',')) +
               kCrLf;
    }
    return csv.toUtf8();
}

} // namespace

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
        if (!anterior || !mismo(f.dia, anterior->dia) || f.quien != anterior->quien)
            ++total.dias;
        anterior = &f;
        if (!f.salida.isEmpty()) {
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

QString sinFormula(QString v) {
    if (!v.isEmpty() && QStringLiteral("=+-@\t\r").contains(v.front()))
        v.prepend(QLatin1Char('\''));
    return v;
}

void reporte_asistencia(Station& st, const QString& desde, const QString& hasta) {
    Rango r;
    if (!leerRango(st, desde, sinBlancos(hasta).isEmpty() ? desde : hasta, r))
        return;
    OperationScope op(st, caminoDeConsulta(st));
    op.ocupado({QStringLiteral("Inicializando ...")});
    st.report.show();
    op.correr([&] {
        const Asistencia a = leer(st, r);
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
        const Asistencia a = leer(st, r);
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
