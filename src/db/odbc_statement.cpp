#include "db/odbc_statement.h"

#include "errors/errors.h"

#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QTime>

#include <sqlext.h>

namespace velmar {

// The statement's diagnostics, as the Qt driver words them: the messages, and
// the first native error number.
QSqlError odbcError(SQLHANDLE h, const QString& step, SQLSMALLINT type) {
    QString text, states;
    int code = 0;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLWCHAR message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        const SQLRETURN r = SQLGetDiagRecW(type, h, i, state, &native, message,
                                           SQLSMALLINT(std::size(message)), &length);
        if (!SQL_SUCCEEDED(r))
            break;
        if (i == 1)
            code = int(native);
        if (!text.isEmpty())
            text += QLatin1Char(' ');
        text += QString::fromUtf16(reinterpret_cast<const char16_t*>(message),
                                   qMin<qsizetype>(length, std::size(message) - 1));
        states +=
            QLatin1Char(' ') + QString::fromUtf16(reinterpret_cast<const char16_t*>(state), 5);
    }
    // The states ("08S01", "HYT00") tell a lost link when there is no number.
    return QSqlError(QStringLiteral("QODBC: ") + step + states, text, QSqlError::StatementError,
                     QString::number(code));
}

SQLHDBC odbcHandle(const QString& name) {
    const QSqlDatabase db = QSqlDatabase::database(name, false);
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    if (h.metaType() != QMetaType::fromType<SQLHANDLE>())
        throw DbError(QStringLiteral("El controlador de base de datos no es ODBC"));
    return *static_cast<const SQLHDBC*>(h.constData());
}

bool odbcAlive(SQLHDBC connection) {
    SQLUINTEGER muerta = SQL_CD_FALSE;
    const SQLRETURN r =
        SQLGetConnectAttr(connection, SQL_ATTR_CONNECTION_DEAD, &muerta, 0, nullptr);
    return SQL_SUCCEEDED(r) && muerta == SQL_CD_FALSE;
}

namespace {

// How a column's values are read off the statement. Text is read as the raw
// utf8mb4 bytes the server sent: the driver's own conversion to wide characters
// drops the end of a value holding some capital letters (Ø Ù Ú Û). Dates,
// times, decimals and FLOAT come as the server's text: the driver refuses a
// time outside the day (30:00:00, -01:00:00) or a zero date as a C structure,
// and a FLOAT widened to a double shows digits the farm never wrote.
enum class ColumnRead {
    Text,
    Bytes,
    Integer,
    Unsigned,
    Real,
    Float,
    Decimal,
    Date,
    Time,
    DateTime
};

ColumnRead columnReadOf(SQLSMALLINT tipo, bool sinSigno) {
    switch (tipo) {
    case SQL_BIGINT:
        return sinSigno ? ColumnRead::Unsigned : ColumnRead::Integer;
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
        return ColumnRead::Integer;
    case SQL_REAL:
        return ColumnRead::Float;
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return ColumnRead::Real;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        return ColumnRead::Decimal;
    case SQL_TYPE_DATE:
    case SQL_DATE:
        return ColumnRead::Date;
    case SQL_TYPE_TIME:
    case SQL_TIME:
        return ColumnRead::Time;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
        return ColumnRead::DateTime;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return ColumnRead::Bytes;
    default: // characters and the rest
        return ColumnRead::Text;
    }
}

QMetaType nullTypeOf(ColumnRead l) {
    switch (l) {
    case ColumnRead::Bytes:
        return QMetaType::fromType<QByteArray>();
    case ColumnRead::Integer:
        return QMetaType::fromType<qlonglong>();
    case ColumnRead::Unsigned:
        return QMetaType::fromType<qulonglong>();
    case ColumnRead::Real:
        return QMetaType::fromType<double>();
    case ColumnRead::Date:
        return QMetaType::fromType<QDate>();
    case ColumnRead::Time:
        return QMetaType::fromType<QTime>();
    case ColumnRead::DateTime:
        return QMetaType::fromType<QDateTime>();
    case ColumnRead::Text:
    case ColumnRead::Float:
    case ColumnRead::Decimal:
        break;
    }
    return QMetaType::fromType<QString>();
}

// Digits at `p`, exactly `n` of them; -1 otherwise.
int digits(const char* p, const char* fin, int n) {
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
QTime timeFromText(const char* p, const char* fin) {
    const int h = digits(p, fin, 2), m = digits(p + 3, fin, 2), s = digits(p + 6, fin, 2);
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

QDate dateFromText(const char* p, const char* fin) {
    const int a = digits(p, fin, 4), m = digits(p + 5, fin, 2), d = digits(p + 8, fin, 2);
    if (fin - p != 10 || a < 0 || m < 0 || d < 0 || p[4] != '-' || p[7] != '-')
        return {};
    return QDate(a, m, d); // invalid for a zero date
}

// A date or time the server wrote, as Qt's own type when it is one; else its
// text as the server wrote it.
QVariant dateTimeFromText(const QByteArray& t, ColumnRead l) {
    const char* p = t.constData();
    const char* fin = p + t.size();
    if (l == ColumnRead::Date) {
        if (const QDate d = dateFromText(p, fin); d.isValid())
            return d;
    } else if (l == ColumnRead::Time) {
        if (const QTime h = timeFromText(p, fin); h.isValid())
            return h;
    } else if (t.size() >= 19 && p[10] == ' ') {
        const QDate d = dateFromText(p, p + 10);
        const QTime h = timeFromText(p + 11, fin);
        if (d.isValid() && h.isValid())
            return QDateTime(d, h);
    }
    return QString::fromLatin1(t);
}

// A decimal without a fraction is the whole number it holds ("75.00" is 75).
QString decimalFromText(QByteArray t) {
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

class OdbcReader {
public:
    explicit OdbcReader(SQLHSTMT h)
        : h_(h) {}

    // Every piece of a variable-length value; false for Null. As characters
    // each piece ends in a NUL that is not part of the value. Pieces land in
    // `out` itself; once the driver tells how much is left, the rest comes in
    // one piece.
    bool bytes(SQLUSMALLINT col, QByteArray& out, SQLSMALLINT tipoC = SQL_C_BINARY) {
        const SQLLEN nul = tipoC == SQL_C_CHAR ? 1 : 0;
        SQLLEN pedir = kPrimerTrozo;
        out.resize(0);
        for (;;) {
            const qsizetype antes = out.size();
            out.resize(antes + pedir);
            SQLLEN ind = 0;
            const SQLRETURN r = SQLGetData(h_, col, tipoC, out.data() + antes, pedir, &ind);
            if (r == SQL_NO_DATA) {
                out.resize(antes);
                return true;
            }
            if (!SQL_SUCCEEDED(r))
                throw odbcError(h_, QStringLiteral("Unable to fetch value"));
            if (ind == SQL_NULL_DATA) {
                out.clear();
                return false;
            }
            // A piece that filled the buffer may have more behind it.
            const SQLLEN cabe = pedir - nul;
            const bool lleno = ind == SQL_NO_TOTAL || ind > cabe;
            out.resize(antes + (lleno ? cabe : ind));
            if (!lleno)
                return true;
            if (ind != SQL_NO_TOTAL)
                pedir = ind - cabe + nul;
        }
    }

    template <typename T> bool fixed(SQLUSMALLINT col, SQLSMALLINT tipoC, T& out) {
        SQLLEN ind = 0;
        const SQLRETURN r = SQLGetData(h_, col, tipoC, &out, SQLLEN(sizeof out), &ind);
        if (!SQL_SUCCEEDED(r))
            throw odbcError(h_, QStringLiteral("Unable to fetch value"));
        return ind != SQL_NULL_DATA;
    }

    QVariant value(SQLUSMALLINT col, ColumnRead l) {
        switch (l) {
        case ColumnRead::Text:
            if (bytes(col, bytes_))
                return QString::fromUtf8(bytes_);
            break;
        case ColumnRead::Bytes:
            if (bytes(col, bytes_))
                return bytes_;
            break;
        case ColumnRead::Integer: {
            SQLBIGINT v = 0;
            if (fixed(col, SQL_C_SBIGINT, v))
                return qlonglong(v);
            break;
        }
        case ColumnRead::Unsigned: {
            SQLUBIGINT v = 0;
            if (fixed(col, SQL_C_UBIGINT, v))
                return qulonglong(v);
            break;
        }
        case ColumnRead::Real: {
            SQLDOUBLE v = 0;
            if (fixed(col, SQL_C_DOUBLE, v))
                return double(v);
            break;
        }
        case ColumnRead::Float:
            if (bytes(col, bytes_, SQL_C_CHAR))
                return QString::fromLatin1(bytes_);
            break;
        case ColumnRead::Decimal:
            if (bytes(col, bytes_, SQL_C_CHAR))
                return decimalFromText(bytes_);
            break;
        case ColumnRead::Date:
        case ColumnRead::Time:
        case ColumnRead::DateTime:
            if (bytes(col, bytes_, SQL_C_CHAR))
                return dateTimeFromText(bytes_, l);
            break;
        }
        return QVariant(nullTypeOf(l)); // Null of the column's type
    }

private:
    static constexpr SQLLEN kPrimerTrozo = 4096;
    SQLHSTMT h_;
    QByteArray bytes_;
};

} // namespace

OdbcStatement::OdbcStatement(SQLHDBC connection) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &h_))) {
        h_ = nullptr;
        throw odbcError(connection, QStringLiteral("Unable to allocate statement"), SQL_HANDLE_DBC);
    }
}

OdbcStatement::~OdbcStatement() {
    if (h_)
        SQLFreeHandle(SQL_HANDLE_STMT, h_);
}

// The statement's text goes to the driver as UTF-16 ended by a NUL. Given
// Qt's way (a length and no NUL), the driver now and then rejects a statement
// holding some capital letters (SQLSTATE 22018); its narrow entry point
// mangles letters outside the Basic Multilingual Plane.
void OdbcStatement::execute(const QString& sql) {
    static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));
    QString texto = sql;
    texto.append(QChar(0));
    const SQLRETURN r = SQLExecDirectW(
        h_, reinterpret_cast<SQLWCHAR*>(const_cast<QChar*>(texto.constData())), SQL_NTS);
    if (!SQL_SUCCEEDED(r) && r != SQL_NO_DATA)
        throw odbcError(h_, QStringLiteral("Unable to execute statement"));
}

RecordSet OdbcStatement::fetchAll() {
    // The driver reports no size: everything is fetched (see ColumnRead).
    const SQLHSTMT h = h_;
    SQLSMALLINT n = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(h, &n)))
        throw odbcError(h, QStringLiteral("Unable to count columns"));
    QStringList columnas;
    QVector<ColumnRead> lecturas;
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
            throw odbcError(h, QStringLiteral("Unable to describe column"));
        nombre[std::size(nombre) - 1] = 0;
        columnas << QString::fromUtf16(reinterpret_cast<const char16_t*>(nombre));
        lecturas << columnReadOf(tipo, sinSigno == SQL_TRUE);
    }
    QVector<QVector<QVariant>> filas;
    if (n > 0) {
        OdbcReader lector(h);
        for (;;) {
            const SQLRETURN r = SQLFetch(h);
            if (r == SQL_NO_DATA)
                break;
            if (!SQL_SUCCEEDED(r))
                throw odbcError(h, QStringLiteral("Unable to fetch row"));
            QVector<QVariant> fila(n);
            for (SQLSMALLINT i = 0; i < n; ++i)
                fila[i] = lector.value(SQLUSMALLINT(i + 1), lecturas[i]);
            filas.push_back(std::move(fila));
        }
    }
    return RecordSet(std::move(columnas), std::move(filas));
}

int OdbcStatement::rowCount() {
    SQLLEN filas = 0;
    if (!SQL_SUCCEEDED(SQLRowCount(h_, &filas)))
        return -1;
    return int(filas);
}

} // namespace velmar
