// Reading a range's attendance rows: a day at a time where the table has the
// station's own column types, else row by row; then their people and order.

#include "attendance/attendance_rows.h"
#include "db/farm_schema.h"
#include "db/server_codes.h"
#include "errors/errors.h"
#include "station/velmo.h"

#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <tuple>

namespace velmar {

int TextosDelRango::de(const QString& texto) {
    if (texto.isEmpty())
        return 0;
    auto i = lugar_.find(texto);
    if (i == lugar_.end()) {
        i = lugar_.insert(texto, int(textos_.size()));
        textos_ << texto;
    }
    return *i;
}

int TextosDelRango::deSegundos(qint64 segundos) {
    return segundos_.de(segundos, [this](qint64 s) { return de(horaDelDia(s)); });
}

namespace {

const QString kSinReporte =
    QStringLiteral("No se puede hacer el reporte de asistencia con esta base de datos:\n");

// One decimal integer up to `separador` (or the end, when it is ';'); an
// empty one is a Null. `fin` is followed by a NUL, as a QByteArray's data is:
// the digits are read up to the first non-digit without a bound check.
bool leerEntero(const char*& p, const char* fin, char separador, qint64& valor, bool& nulo) {
    const bool negativo = *p == '-';
    if (negativo)
        ++p;
    const char* inicio = p;
    quint64 v = 0;
    for (unsigned d; (d = unsigned(*p - '0')) <= 9; ++p)
        v = v * 10 + d;
    nulo = p == inicio;
    if ((negativo && nulo) || p - inicio > 18) // more would not fit a qint64
        return false;
    valor = negativo ? -qint64(v) : qint64(v);
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

// Each person's key numbered once, in the order first read; `claves` gets
// its text.
class Personas {
public:
    explicit Personas(QStringList& claves)
        : claves_(claves) {}
    int de(qint64 id) {
        auto i = quien_.find(id);
        if (i == quien_.end()) {
            i = quien_.insert(id, int(claves_.size()));
            claves_ << QString::number(id);
        }
        return *i;
    }

private:
    QStringList& claves_;
    QHash<qint64, int> quien_;
};

// One day's row of the day-at-a-time read into `a`; false when it holds
// anything this would not read back exactly (a cut value, a day that is not
// a DATE).
bool leerDia(const RecordSet& dias, Asistencia& a, Personas& personas) {
    if (dias.value(0).typeId() != QMetaType::QDate)
        return false;
    const int dia = a.textos.de(dias.text(0));
    QByteArray valores = dias.value(2).toByteArray();
    const char* p = valores.data(); // its own copy: ends in a NUL, as leerEntero needs
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
        a.filas.append({0, dia, nulo[1] ? 0 : a.textos.deSegundos(v[1]),
                        nulo[2] ? 0 : a.textos.deSegundos(v[2]),
                        nulo[3] || nulo[2] ? std::nullopt : std::optional<qint64>(v[3]), 0,
                        personas.de(v[0])});
        ++cuantas;
    }
    return cuantas == dias.value(1).toLongLong();
}

// The day-at-a-time statement: each day's rows joined as numbers.
QString consultaPorDia(Station& st, const QString& enRango) {
    const FarmSchema& s = st.db.esquema();
    // CONCAT_WS joins a row's values in one step, cheaper for the server
    // than GROUP_CONCAT's own pieces; a Null key it would leave out makes
    // a row of three values, which leerDia refuses.
    return QStringLiteral("SELECT fecha_entrada, COUNT(*), CAST(GROUP_CONCAT(CONCAT_WS(',', "
                          "personal_id, IFNULL(TIME_TO_SEC(hora_entrada), ''), "
                          "IFNULL(TIME_TO_SEC(") +
           s.exitRead(st.db) + QStringLiteral("), ''), IFNULL(") + s.secondsRead() +
           QStringLiteral(", '')) SEPARATOR ';') AS BINARY)") + enRango +
           QStringLiteral(" GROUP BY fecha_entrada");
}

// The rows a day at a time; `claves` gets each person once.
bool leerPorDia(Station& st, const QString& enRango, Asistencia& a, QStringList& claves) {
    if (!porDia(st.db.esquema()))
        return false;
    RecordSet dias;
    try {
        dias = st.db.consulta(consultaPorDia(st, enRango));
    } catch (const DbError& e) {
        // the operation's path shows it; the rows one by one would wait again
        if (e.linkLost() || faultOf(e) == ServerFault::LockWaitTimeout)
            throw;
        return false;
    }
    qint64 total = 0;
    for (; !dias.eof(); dias.moveNext())
        total += dias.value(1).toLongLong();
    a.filas.reserve(total);
    Personas personas(claves);
    for (dias.moveFirst(); !dias.eof(); dias.moveNext())
        if (!leerDia(dias, a, personas)) {
            a.filas.clear();
            a.textos = TextosDelRango();
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

// A day as text: a DATE's as the driver gives it, else the first ten
// characters of whatever the column holds.
QString textoDelDia(const RecordSet& filas) {
    const QVariant dia = filas.value(1);
    return dia.typeId() == QMetaType::QDate ? filas.text(1) : filas.text(1).left(10);
}

// The rows one by one, for any column types; gives the keys personal has.
// `claves` gets each person once.
QSet<QString> leerFilas(Station& st, const QString& enRango, Asistencia& a, QStringList& claves) {
    const FarmSchema& s = st.db.esquema();
    const bool enteras = s.integerKeys();
    // A month is tens of thousands of rows: joining and sorting them on the
    // server costs more than fetching them bare and then their people by key.
    RecordSet filas =
        abrir_consulta(st, QStringLiteral("SELECT personal_id, fecha_entrada, hora_entrada, ") +
                               s.exitRead(st.db) + QStringLiteral(", ") + s.secondsRead() +
                               personaDeLaFila(s) + enRango);
    a.filas.reserve(filas.count());
    QSet<QString> conPersona;
    QHash<QString, int> quien;
    for (; !filas.eof(); filas.moveNext()) {
        const bool hallada = enteras || !filas.value(5).isNull();
        const QString persona = filas.text(enteras || !hallada ? 0 : 5);
        if (hallada)
            conPersona.insert(persona);
        auto q = quien.find(persona);
        if (q == quien.end()) {
            q = quien.insert(persona, int(claves.size()));
            claves << persona;
        }
        const int salida = a.textos.de(horaDe(filas.value(3)));
        a.filas.append({0, a.textos.de(textoDelDia(filas)), a.textos.de(horaDe(filas.value(2))),
                        salida, salida == 0 ? std::nullopt : segundosDe(filas.value(4)), 0, *q});
    }
    return conPersona;
}

// The people asked for by key, each key written as personal's column takes
// it. Integer keys three or more in a row, as a month's staff mostly are, go
// as one range: a short statement for the driver to read.
QString personasPedidas(Station& st, const QSet<QString>& conPersona) {
    const FarmSchema& s = st.db.esquema();
    QStringList sueltas, tramos;
    std::vector<qint64> numeros;
    for (const QString& k : conPersona) {
        bool entera = false;
        const qint64 n = s.integerKeys() ? k.toLongLong(&entera) : 0;
        entera ? numeros.push_back(n) : void(sueltas << s.keyMatch(st.db, k));
    }
    std::sort(numeros.begin(), numeros.end());
    const auto clave = [&](qint64 n) { return s.keyMatch(st.db, QString::number(n)); };
    for (size_t i = 0, j; i < numeros.size(); i = j) {
        for (j = i + 1; j < numeros.size() && numeros[j] - 1 == numeros[j - 1];)
            ++j;
        if (j - i >= 3)
            tramos << QStringLiteral("personal_id BETWEEN ") + clave(numeros[i]) +
                          QStringLiteral(" AND ") + clave(numeros[j - 1]);
        else
            for (size_t k = i; k < j; ++k)
                sueltas << clave(numeros[k]);
    }
    if (!sueltas.isEmpty())
        tramos << QStringLiteral("personal_id IN (") + sueltas.join(QLatin1Char(',')) +
                      QLatin1Char(')');
    return tramos.join(QStringLiteral(" OR "));
}

// Each key's place in the order of names; people are read by the keys
// personal holds, written as its column's type.
void ponerPersonas(Station& st, Asistencia& a, const QStringList& claves,
                   const QSet<QString>& conPersona) {
    QHash<QString, int> orden;
    if (!conPersona.isEmpty()) {
        RecordSet personal = abrir_consulta(
            st, QStringLiteral("SELECT personal_id, cedula, apellidos, nombres FROM personal "
                               "WHERE ") +
                    personasPedidas(st, conPersona) +
                    QStringLiteral(" ORDER BY apellidos, nombres, personal_id"));
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

// Each day's rank in text order, by its place among the range's texts.
QVector<int> rangoDeDias(const Asistencia& a) {
    QVector<int> dias;
    for (const Fila& f : a.filas)
        if (dias.isEmpty() || dias.last() != f.dia)
            dias << f.dia;
    std::sort(dias.begin(), dias.end());
    dias.erase(std::unique(dias.begin(), dias.end()), dias.end());
    std::sort(dias.begin(), dias.end(), [&a](int x, int y) { return a.textos[x] < a.textos[y]; });
    QVector<int> rango(a.textos.size());
    for (int i = 0; i < dias.size(); ++i)
        rango[dias[i]] = i;
    return rango;
}

// `orden` stably sorted by a key below `claves`: counted, not compared.
template <typename Clave>
std::vector<qsizetype> porClave(const std::vector<qsizetype>& orden, qsizetype claves,
                                Clave clave) {
    std::vector<qsizetype> desde(size_t(claves) + 1, 0);
    for (const qsizetype i : orden)
        ++desde[size_t(clave(i)) + 1];
    std::partial_sum(desde.begin(), desde.end(), desde.begin());
    std::vector<qsizetype> ordenado(orden.size());
    for (const qsizetype i : orden)
        ordenado[size_t(desde[size_t(clave(i))]++)] = i;
    return ordenado;
}

// Sorted by day, name, person and entry: by person, then by day, each pass
// stable; the entries compared only where day and person tie. Rows alike in
// all stay in the order they were read.
void ordenar(Asistencia& a) {
    const QVector<int> dia = rangoDeDias(a);
    const QVector<int> lugar = lugarDePersonas(a.filas);
    const QVector<Fila>& filas = a.filas;
    std::vector<qsizetype> orden(size_t(filas.size()));
    std::iota(orden.begin(), orden.end(), 0);
    orden = porClave(orden, lugar.size(), [&](qsizetype i) { return lugar[filas[i].quien]; });
    orden = porClave(orden, dia.size(), [&](qsizetype i) { return dia[filas[i].dia]; });
    const auto mismos = [&](qsizetype x, qsizetype y) {
        return filas[x].dia == filas[y].dia && filas[x].quien == filas[y].quien;
    };
    const auto antes = [&](qsizetype x, qsizetype y) {
        const int ex = filas[x].entrada, ey = filas[y].entrada;
        return ex != ey && a.textos[ex] < a.textos[ey];
    };
    for (auto i = orden.begin(); i != orden.end();) {
        auto fin = std::find_if_not(i + 1, orden.end(), [&](qsizetype y) { return mismos(*i, y); });
        if (fin - i > 1)
            std::stable_sort(i, fin, antes);
        i = fin;
    }
    QVector<Fila> ordenadas;
    ordenadas.reserve(filas.size());
    for (const qsizetype i : orden)
        ordenadas.append(filas.at(i));
    a.filas = std::move(ordenadas);
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

} // namespace

// The order of names is the server's (its collation, not ours).
Asistencia leerAsistencia(Station& st, const Rango& r) {
    st.busy.ponerLeyenda(QStringLiteral("Buscando ..."));
    if (const QString no = st.db.esquema().refusal(SchemaFinding::Report); !no.isEmpty())
        throw SchemaError(kSinReporte + no);
    revisarDiasDeTexto(st);
    const QString enRango = enRangoDe(st, r);
    Asistencia a;
    a.personas.append(Persona());
    QStringList claves;
    QSet<QString> conPersona;
    if (leerPorDia(st, enRango, a, claves))
        conPersona = QSet<QString>(claves.cbegin(), claves.cend());
    else
        conPersona = leerFilas(st, enRango, a, claves);
    if (a.filas.isEmpty())
        return a;
    ponerPersonas(st, a, claves, conPersona);
    ordenar(a);
    return a;
}

// A half-open range serves DATE, DATETIME and text columns alike, and the
// index on fecha_entrada. The calendar's last day has no day after it: up to
// its last second.
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

} // namespace velmar
