#include "db/conexion.h"

#include "db/errors.h"
#include "db/sql_quote.h"

#include <QAtomicInt>
#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTime>

#include <algorithm>
#include <sql.h>
#include <sqlext.h>

namespace velmar {

// ---------------------------------------------------------------- RecordSet

RecordSet::RecordSet(QStringList columnas, QVector<QVector<QVariant>> filas)
    : abierto_(true)
    , columnas_(std::move(columnas))
    , filas_(std::move(filas)) {}

void RecordSet::requireOpen() const {
    // The query behind it failed; what the caller does with it now fails too,
    // and as a database failure, which is what it is.
    if (!abierto_)
        throw DbError(QStringLiteral("La consulta no devolvió un conjunto de registros"));
}

int RecordSet::count() const {
    requireOpen();
    return int(filas_.size());
}

bool RecordSet::eof() const {
    requireOpen();
    return fila_ >= filas_.size();
}

void RecordSet::moveNext() {
    requireOpen();
    if (fila_ >= filas_.size())
        throw Error::sinRegistro();
    ++fila_;
}

void RecordSet::moveFirst() {
    requireOpen();
    fila_ = 0;
}

int RecordSet::columnas() const {
    requireOpen();
    return int(columnas_.size());
}

int RecordSet::indexOf(const QString& columna) const {
    for (int i = 0; i < columnas_.size(); ++i)
        if (columnas_[i].compare(columna, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant RecordSet::value(const QString& columna) const {
    requireOpen();
    const int i = indexOf(columna);
    if (i < 0)
        throw Error(QStringLiteral("No se encontró el elemento en la colección: ") + columna);
    return value(i);
}

QVariant RecordSet::value(int posicion) const {
    requireOpen();
    if (fila_ >= filas_.size())
        throw Error::sinRegistro();
    if (posicion < 0 || posicion >= columnas_.size())
        throw Error(QStringLiteral("No se encontró el elemento en la colección"));
    return filas_[fila_][posicion];
}

QString RecordSet::textOf(const QVariant& v) {
    if (v.isNull())
        return {};
    switch (v.typeId()) {
    case QMetaType::QDate:
        return v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QTime:
        return v.toTime().toString(QStringLiteral("hh:mm:ss"));
    case QMetaType::QDateTime:
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    case QMetaType::Double:
        return QString::number(v.toDouble(), 'g', 15);
    case QMetaType::QByteArray:
        return QString::fromUtf8(v.toByteArray());
    default:
        return v.toString();
    }
}

// ---------------------------------------------------------------- Conexion

namespace {

QString nuevoNombre() {
    static QAtomicInt n;
    return QStringLiteral("velmar-conexion-%1").arg(n.fetchAndAddRelaxed(1));
}

// Client errors that mean the link to the server is gone, not the statement:
// the client library's numbers (can't connect, gone away, lost connection,
// read or write error on the socket). A server message may quote any value,
// "Lost connection" or "2013" included, so the words count only when the
// driver gives no number.
bool esPerdida(const QSqlError& e) {
    static const QStringList codigos = {
        QStringLiteral("2002"), QStringLiteral("2003"), QStringLiteral("2005"),
        QStringLiteral("2006"), QStringLiteral("2013"), QStringLiteral("2026"),
        QStringLiteral("2055"), QStringLiteral("5013"), QStringLiteral("5014")};
    if (e.databaseText().trimmed().isEmpty())
        return true; // the driver says nothing after a broken link
    const QString codigo = e.nativeErrorCode().trimmed();
    if (!codigo.isEmpty() && codigo != QLatin1String("0") && codigo != QLatin1String("-1"))
        return codigos.contains(codigo);
    const QString todo = e.databaseText() + QLatin1Char(' ') + e.driverText();
    for (const char* c : {"08S01", "08003", "HYT00"})
        if (todo.contains(QLatin1String(c)))
            return true;
    return todo.contains(QLatin1String("gone away"), Qt::CaseInsensitive) ||
           todo.contains(QLatin1String("Lost connection"), Qt::CaseInsensitive) ||
           todo.contains(QLatin1String("timed out"), Qt::CaseInsensitive) ||
           todo.contains(QLatin1String("Can't connect"), Qt::CaseInsensitive);
}

QString textoDe(const QSqlError& e) {
    QString t = e.databaseText().trimmed();
    if (t.isEmpty())
        t = e.driverText().trimmed();
    if (t.isEmpty())
        t = QStringLiteral("Se perdió la conexión con el servidor de base de datos");
    return t;
}

} // namespace

Conexion::Conexion(QString dsn)
    : dsn_(std::move(dsn))
    , nombre_(nuevoNombre()) {}

Conexion::~Conexion() {
    esperarLatido(false);
    {
        QSqlDatabase db = QSqlDatabase::database(nombre_, false);
        if (db.isValid())
            db.close();
    }
    if (QSqlDatabase::contains(nombre_))
        QSqlDatabase::removeDatabase(nombre_);
}

void Conexion::abrir() {
    esperarLatido(false);
    if (!QSqlDatabase::contains(nombre_))
        QSqlDatabase::addDatabase(QStringLiteral("QODBC"), nombre_);
    QSqlDatabase db = QSqlDatabase::database(nombre_, false);
    if (!db.isValid())
        throw DbError(QStringLiteral("No está instalado el controlador de base de datos QODBC"));
    if (db.isOpen())
        db.close();
    // Qt puts "DSN=" in front of the name; the driver's own keys follow it. The
    // user and password stay those of the data source. AUTO_RECONNECT must
    // never be set: the driver crashes with it.
    db.setDatabaseName(QStringLiteral("%1;CHARSET=utf8mb4;CONN_TIMEOUT=%2;READ_TIMEOUT=%3;"
                                      "WRITE_TIMEOUT=%3")
                           .arg(dsn_)
                           .arg(kConnectTimeout)
                           .arg(kReadTimeout));
    db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(kConnectTimeout));
    if (!db.open(QString(), QString())) {
        perdida_ = true;
        const QSqlError e = db.lastError();
        throw DbError(textoDe(e), e.nativeErrorCode(), true);
    }
    perdida_ = false;
    prepararSesion();
    actividad_.start();
}

bool Conexion::abierta() const {
    QSqlDatabase db = QSqlDatabase::database(nombre_, false);
    return db.isValid() && db.isOpen() && !perdida_;
}

void Conexion::cerrar() {
    esperarLatido(false);
    QSqlDatabase db = QSqlDatabase::database(nombre_, false);
    if (db.isValid())
        db.close();
}

void Conexion::prepararSesion() {
    QSqlQuery q(QSqlDatabase::database(nombre_, false));
    // group_concat_max_len: the month report has the server join a day's rows.
    q.exec(QStringLiteral("SET SESSION innodb_lock_wait_timeout=%1, lock_wait_timeout=%1, "
                          "wait_timeout=%2, group_concat_max_len=1073741824")
               .arg(kLockWait)
               .arg(kSesionInactiva));
    bool binlogPorSentencia = false;
    if (q.exec(QStringLiteral("SELECT @@SESSION.sql_mode, @@GLOBAL.log_bin, "
                              "@@SESSION.binlog_format")) &&
        q.next()) {
        noBackslash_ = q.value(0).toString().contains(QLatin1String("NO_BACKSLASH_ESCAPES"),
                                                      Qt::CaseInsensitive);
        binlogPorSentencia =
            q.value(1).toInt() == 1 &&
            q.value(2).toString().compare(QLatin1String("STATEMENT"), Qt::CaseInsensitive) == 0;
    }
    // Read committed: the entry insert's "not exists" reads the day as
    // committed, without the gap locks that deadlock two people's inserts on
    // the table's auto-increment lock. A server logging statements refuses
    // InnoDB writes at that level: there the insert's retries must do.
    if (!binlogPorSentencia)
        q.exec(QStringLiteral("SET SESSION TRANSACTION ISOLATION LEVEL READ COMMITTED"));
}

namespace {

// The ODBC connection handle under Qt's connection; throws when the driver is
// not ODBC.
SQLHDBC manejadorOdbc(const QString& nombre) {
    const QSqlDatabase db = QSqlDatabase::database(nombre, false);
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    if (h.metaType() != QMetaType::fromType<SQLHANDLE>())
        throw DbError(QStringLiteral("El controlador de base de datos no es ODBC"));
    return *static_cast<const SQLHDBC*>(h.constData());
}

} // namespace

bool Conexion::esperaAgotada(const QElapsedTimer& espera) {
    return espera.elapsed() >= kReadTimeout * 1000 / 2;
}

namespace {

// The driver answers SQL_ATTR_CONNECTION_DEAD with a ping to the server.
bool vivaEn(SQLHDBC h) {
    SQLUINTEGER muerta = SQL_CD_FALSE;
    const SQLRETURN r = SQLGetConnectAttr(h, SQL_ATTR_CONNECTION_DEAD, &muerta, 0, nullptr);
    return SQL_SUCCEEDED(r) && muerta == SQL_CD_FALSE;
}

DbError noResponde() {
    return DbError(QStringLiteral("El servidor de base de datos no responde (timed out)"),
                   QStringLiteral("2013"), true);
}

} // namespace

bool Conexion::viva() {
    return vivaEn(manejadorOdbc(nombre_));
}

void Conexion::comprobar() {
    esperarLatido(true);
    if (!abierta()) {
        abrir();
        return;
    }
    if (actividad_.isValid() && actividad_.elapsed() < kComprobarTras * 1000)
        return;
    QElapsedTimer ping;
    ping.start();
    if (viva()) {
        actividad_.start();
        return;
    }
    perdida_ = true;
    // A server that stopped answering: its timeout is the one failure.
    if (esperaAgotada(ping))
        throw noResponde();
    abrir();
}

void Conexion::mantener(qint64 inactivoMs) {
    if (latido_.joinable() || !abierta() ||
        (actividad_.isValid() && actividad_.elapsed() < inactivoMs))
        return;
    SQLHDBC h = nullptr;
    try {
        h = manejadorOdbc(nombre_);
    } catch (const DbError&) {
        return;
    }
    // Nothing else uses the handle until the answer is waited for.
    latido_ = std::thread([this, h] {
        QElapsedTimer ping;
        ping.start();
        latidoViva_ = vivaEn(h);
        latidoAgotado_ = !latidoViva_ && esperaAgotada(ping);
    });
}

void Conexion::esperarLatido(bool informar) {
    if (!latido_.joinable())
        return;
    latido_.join();
    if (latidoViva_) {
        actividad_.start();
        return;
    }
    perdida_ = true;
    if (informar && latidoAgotado_)
        throw noResponde();
}

void Conexion::fallo(const QSqlError& e) {
    const bool perdida = esPerdida(e);
    if (perdida)
        perdida_ = true; // reopened before the next statement, never retried
    throw DbError(textoDe(e), e.nativeErrorCode(), perdida);
}

namespace {

// How a column's values are read off the statement. Text is read as the raw
// utf8mb4 bytes the server sent: the driver's own conversion to wide characters
// drops the end of a value holding some capital letters (Ø Ù Ú Û). Dates,
// times, decimals and FLOAT come as the server's text: the driver refuses a
// time outside the day (30:00:00, -01:00:00) or a zero date as a C structure,
// and a FLOAT widened to a double shows digits the farm never wrote.
enum class Lectura { Texto, Bytes, Entero, Natural, Real, Cifra, Decimal, Fecha, Hora, FechaHora };

Lectura lecturaDe(SQLSMALLINT tipo, bool sinSigno) {
    switch (tipo) {
    case SQL_BIGINT:
        return sinSigno ? Lectura::Natural : Lectura::Entero;
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
        return Lectura::Entero;
    case SQL_REAL:
        return Lectura::Cifra;
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return Lectura::Real;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        return Lectura::Decimal;
    case SQL_TYPE_DATE:
    case SQL_DATE:
        return Lectura::Fecha;
    case SQL_TYPE_TIME:
    case SQL_TIME:
        return Lectura::Hora;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
        return Lectura::FechaHora;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return Lectura::Bytes;
    default: // characters and the rest
        return Lectura::Texto;
    }
}

QMetaType tipoDe(Lectura l) {
    switch (l) {
    case Lectura::Bytes:
        return QMetaType::fromType<QByteArray>();
    case Lectura::Entero:
        return QMetaType::fromType<qlonglong>();
    case Lectura::Natural:
        return QMetaType::fromType<qulonglong>();
    case Lectura::Real:
        return QMetaType::fromType<double>();
    case Lectura::Fecha:
        return QMetaType::fromType<QDate>();
    case Lectura::Hora:
        return QMetaType::fromType<QTime>();
    case Lectura::FechaHora:
        return QMetaType::fromType<QDateTime>();
    case Lectura::Texto:
    case Lectura::Cifra:
    case Lectura::Decimal:
        break;
    }
    return QMetaType::fromType<QString>();
}

// Digits at `p`, exactly `n` of them; -1 otherwise.
int digitos(const char* p, const char* fin, int n) {
    if (fin - p < n)
        return -1;
    int v = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return -1;
        v = v * 10 + (p[i] - '0');
    }
    return v;
}

// "hh:mm:ss[.ffffff]" of the day at `p`, up to `fin`; invalid otherwise.
QTime horaDeTexto(const char* p, const char* fin) {
    const int h = digitos(p, fin, 2), m = digitos(p + 3, fin, 2), s = digitos(p + 6, fin, 2);
    if (h < 0 || m < 0 || s < 0 || p[2] != ':' || p[5] != ':')
        return {};
    int ms = 0;
    if (fin - p > 8) {
        if (p[8] != '.')
            return {};
        int peso = 100;
        for (const char* q = p + 9; q < fin; ++q, peso /= 10) {
            if (*q < '0' || *q > '9')
                return {};
            ms += (*q - '0') * peso;
        }
    }
    return QTime(h, m, s, ms); // invalid past 23:59:59
}

QDate fechaDeTexto(const char* p, const char* fin) {
    const int a = digitos(p, fin, 4), m = digitos(p + 5, fin, 2), d = digitos(p + 8, fin, 2);
    if (fin - p != 10 || a < 0 || m < 0 || d < 0 || p[4] != '-' || p[7] != '-')
        return {};
    return QDate(a, m, d); // invalid for a zero date
}

// A date or time the server wrote, as Qt's own type when it is one; else its
// text as the server wrote it.
QVariant fechaHoraDeTexto(const QByteArray& t, Lectura l) {
    const char* p = t.constData();
    const char* fin = p + t.size();
    if (l == Lectura::Fecha) {
        if (const QDate d = fechaDeTexto(p, fin); d.isValid())
            return d;
    } else if (l == Lectura::Hora) {
        if (const QTime h = horaDeTexto(p, fin); h.isValid())
            return h;
    } else if (t.size() >= 19 && p[10] == ' ') {
        const QDate d = fechaDeTexto(p, p + 10);
        const QTime h = horaDeTexto(p + 11, fin);
        if (d.isValid() && h.isValid())
            return QDateTime(d, h);
    }
    return QString::fromLatin1(t);
}

// A decimal without a fraction is the whole number it holds ("75.00" is 75).
QString decimalDeTexto(QByteArray t) {
    if (const qsizetype punto = t.indexOf('.'); punto >= 0) {
        qsizetype fin = t.size();
        while (fin > punto + 1 && t[fin - 1] == '0')
            --fin;
        if (fin == punto + 1)
            t.truncate(punto);
        if (t == "-0")
            t = "0";
    }
    return QString::fromLatin1(t);
}

// The statement's diagnostics, as the Qt driver words them: the messages, and
// the first native error number.
QSqlError errorDe(SQLHANDLE h, const QString& paso, SQLSMALLINT tipo = SQL_HANDLE_STMT) {
    QString texto, estados;
    int codigo = 0;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR estado[6] = {};
        SQLWCHAR mensaje[1024] = {};
        SQLINTEGER nativo = 0;
        SQLSMALLINT largo = 0;
        const SQLRETURN r = SQLGetDiagRecW(tipo, h, i, estado, &nativo, mensaje,
                                           SQLSMALLINT(std::size(mensaje)), &largo);
        if (!SQL_SUCCEEDED(r))
            break;
        if (i == 1)
            codigo = int(nativo);
        if (!texto.isEmpty())
            texto += QLatin1Char(' ');
        texto += QString::fromUtf16(reinterpret_cast<const char16_t*>(mensaje),
                                    qMin<qsizetype>(largo, std::size(mensaje) - 1));
        estados +=
            QLatin1Char(' ') + QString::fromUtf16(reinterpret_cast<const char16_t*>(estado), 5);
    }
    // The states ("08S01", "HYT00") tell a lost link when there is no number.
    return QSqlError(QStringLiteral("QODBC: ") + paso + estados, texto, QSqlError::StatementError,
                     QString::number(codigo));
}

class LectorOdbc {
public:
    explicit LectorOdbc(SQLHSTMT h)
        : h_(h) {}

    // Every piece of a variable-length value; false for Null. As characters
    // each piece ends in a NUL that is not part of the value.
    bool bytes(SQLUSMALLINT col, QByteArray& out, SQLSMALLINT tipoC = SQL_C_BINARY) {
        out.clear();
        const qsizetype cabe = qsizetype(sizeof buf_) - (tipoC == SQL_C_CHAR ? 1 : 0);
        for (;;) {
            SQLLEN ind = 0;
            const SQLRETURN r = SQLGetData(h_, col, tipoC, buf_, SQLLEN(sizeof buf_), &ind);
            if (r == SQL_NO_DATA)
                return true;
            if (!SQL_SUCCEEDED(r))
                throw errorDe(h_, QStringLiteral("Unable to fetch value"));
            if (ind == SQL_NULL_DATA)
                return false;
            // A piece that filled the buffer may have more behind it.
            const bool lleno = ind == SQL_NO_TOTAL || ind > SQLLEN(cabe);
            out.append(buf_, lleno ? cabe : qsizetype(ind));
            if (!lleno)
                return true;
        }
    }

    template <typename T> bool fijo(SQLUSMALLINT col, SQLSMALLINT tipoC, T& out) {
        SQLLEN ind = 0;
        const SQLRETURN r = SQLGetData(h_, col, tipoC, &out, SQLLEN(sizeof out), &ind);
        if (!SQL_SUCCEEDED(r))
            throw errorDe(h_, QStringLiteral("Unable to fetch value"));
        return ind != SQL_NULL_DATA;
    }

    QVariant valor(SQLUSMALLINT col, Lectura l) {
        switch (l) {
        case Lectura::Texto:
            if (bytes(col, bytes_))
                return QString::fromUtf8(bytes_);
            break;
        case Lectura::Bytes:
            if (bytes(col, bytes_))
                return bytes_;
            break;
        case Lectura::Entero: {
            SQLBIGINT v = 0;
            if (fijo(col, SQL_C_SBIGINT, v))
                return qlonglong(v);
            break;
        }
        case Lectura::Natural: {
            SQLUBIGINT v = 0;
            if (fijo(col, SQL_C_UBIGINT, v))
                return qulonglong(v);
            break;
        }
        case Lectura::Real: {
            SQLDOUBLE v = 0;
            if (fijo(col, SQL_C_DOUBLE, v))
                return double(v);
            break;
        }
        case Lectura::Cifra:
            if (bytes(col, bytes_, SQL_C_CHAR))
                return QString::fromLatin1(bytes_);
            break;
        case Lectura::Decimal:
            if (bytes(col, bytes_, SQL_C_CHAR))
                return decimalDeTexto(bytes_);
            break;
        case Lectura::Fecha:
        case Lectura::Hora:
        case Lectura::FechaHora:
            if (bytes(col, bytes_, SQL_C_CHAR))
                return fechaHoraDeTexto(bytes_, l);
            break;
        }
        return QVariant(tipoDe(l)); // Null of the column's type
    }

private:
    SQLHSTMT h_;
    char buf_[4096];
    QByteArray bytes_;
};

} // namespace

// A statement handle of its own for one statement, freed with it.
class Sentencia {
public:
    Sentencia(const Sentencia&) = delete;
    Sentencia& operator=(const Sentencia&) = delete;
    ~Sentencia() {
        if (h_)
            SQLFreeHandle(SQL_HANDLE_STMT, h_);
    }
    SQLHSTMT handle() const { return h_; }

private:
    friend class Conexion;
    Sentencia() = default;
    SQLHSTMT h_ = nullptr;
};

// The statement's text goes to the driver as UTF-16 ended by a NUL. Given
// Qt's way (a length and no NUL), the driver now and then rejects a statement
// holding some capital letters (SQLSTATE 22018); its narrow entry point
// mangles letters outside the Basic Multilingual Plane.
void Conexion::enviar(Sentencia& s, const QString& sql) {
    // a connection idle long enough for the server to have closed it (a
    // restart, the session's timeout) is checked first
    comprobar();
    const SQLHDBC h = manejadorOdbc(nombre_);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, h, &s.h_))) {
        s.h_ = nullptr;
        fallo(errorDe(h, QStringLiteral("Unable to allocate statement"), SQL_HANDLE_DBC));
    }
    // UTF-16 ended by a NUL, whose length the driver measures itself.
    static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));
    QString texto = sql;
    texto.append(QChar(0));
    const SQLRETURN r = SQLExecDirectW(
        s.h_, reinterpret_cast<SQLWCHAR*>(const_cast<QChar*>(texto.constData())), SQL_NTS);
    if (!SQL_SUCCEEDED(r) && r != SQL_NO_DATA)
        fallo(errorDe(s.h_, QStringLiteral("Unable to execute statement")));
}

RecordSet Conexion::consulta(const QString& sql) {
    Sentencia s;
    enviar(s, sql);
    // The driver reports no size: everything is fetched (see Lectura).
    const SQLHSTMT h = s.handle();
    SQLSMALLINT n = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(h, &n)))
        fallo(errorDe(h, QStringLiteral("Unable to count columns")));
    QStringList columnas;
    QVector<Lectura> lecturas;
    for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(qMax<SQLSMALLINT>(n, 0)); ++c) {
        // The name runs to its NUL: the driver counts its length in
        // characters, not in the units it wrote (cédula would lose its a).
        SQLWCHAR nombre[512] = {};
        SQLSMALLINT largo = 0, tipo = 0, decimales = 0, nulos = 0;
        SQLULEN tamano = 0;
        SQLLEN sinSigno = SQL_FALSE;
        if (!SQL_SUCCEEDED(SQLDescribeColW(h, c, nombre, SQLSMALLINT(std::size(nombre)), &largo,
                                           &tipo, &tamano, &decimales, &nulos)) ||
            !SQL_SUCCEEDED(
                SQLColAttributeW(h, c, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &sinSigno)))
            fallo(errorDe(h, QStringLiteral("Unable to describe column")));
        nombre[std::size(nombre) - 1] = 0;
        columnas << QString::fromUtf16(reinterpret_cast<const char16_t*>(nombre));
        lecturas << lecturaDe(tipo, sinSigno == SQL_TRUE);
    }
    QVector<QVector<QVariant>> filas;
    if (n > 0) {
        LectorOdbc lector(h);
        try {
            for (;;) {
                const SQLRETURN r = SQLFetch(h);
                if (r == SQL_NO_DATA)
                    break;
                if (!SQL_SUCCEEDED(r))
                    throw errorDe(h, QStringLiteral("Unable to fetch row"));
                QVector<QVariant> fila(n);
                for (SQLSMALLINT i = 0; i < n; ++i)
                    fila[i] = lector.valor(SQLUSMALLINT(i + 1), lecturas[i]);
                filas.push_back(std::move(fila));
            }
        } catch (const QSqlError& e) {
            fallo(e);
        }
    }
    actividad_.start();
    return RecordSet(std::move(columnas), std::move(filas));
}

int Conexion::ejecutar(const QString& sql) {
    Sentencia s;
    enviar(s, sql);
    SQLLEN filas = 0;
    if (!SQL_SUCCEEDED(SQLRowCount(s.handle(), &filas)))
        filas = -1;
    actividad_.start();
    return int(filas);
}

QString Conexion::esc(const QString& value) const {
    return sqlEscape(value, noBackslash_);
}

QString Conexion::num(const QString& value) const {
    return sqlNumber(value, noBackslash_);
}

} // namespace velmar
