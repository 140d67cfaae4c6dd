#include "db/odbc_statement.h"

#include "errors/errors.h"

#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QTime>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <sqlext.h>
#include <vector>

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
    SQLUINTEGER dead = SQL_CD_FALSE;
    const SQLRETURN r = SQLGetConnectAttr(connection, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
    return SQL_SUCCEEDED(r) && dead == SQL_CD_FALSE;
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

ColumnRead columnReadOf(SQLSMALLINT sqlType, bool isUnsigned) {
    switch (sqlType) {
    case SQL_BIGINT:
        return isUnsigned ? ColumnRead::Unsigned : ColumnRead::Integer;
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
int digits(const char* p, const char* stop, int n) {
    if (stop - p < n)
        return -1;
    int v = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return -1;
        v = v * 10 + (p[i] - '0');
    }
    return v;
}

// "hh:mm:ss[.ffffff]" of the day at `p`, up to `stop`; invalid otherwise.
QTime timeFromText(const char* p, const char* stop) {
    const int h = digits(p, stop, 2), m = digits(p + 3, stop, 2), s = digits(p + 6, stop, 2);
    if (h < 0 || m < 0 || s < 0 || p[2] != ':' || p[5] != ':')
        return {};
    int ms = 0;
    if (stop - p > 8) {
        if (p[8] != '.')
            return {};
        int weight = 100;
        for (const char* q = p + 9; q < stop; ++q, weight /= 10) {
            if (*q < '0' || *q > '9')
                return {};
            ms += (*q - '0') * weight;
        }
    }
    return QTime(h, m, s, ms); // invalid past 23:59:59
}

QDate dateFromText(const char* p, const char* stop) {
    const int a = digits(p, stop, 4), m = digits(p + 5, stop, 2), d = digits(p + 8, stop, 2);
    if (stop - p != 10 || a < 0 || m < 0 || d < 0 || p[4] != '-' || p[7] != '-')
        return {};
    return QDate(a, m, d); // invalid for a zero date
}

// A date or time the server wrote, as Qt's own type when it is one; else its
// text as the server wrote it.
QVariant dateTimeFromText(const char* p, qsizetype n, ColumnRead l) {
    const char* stop = p + n;
    if (l == ColumnRead::Date) {
        if (const QDate d = dateFromText(p, stop); d.isValid())
            return d;
    } else if (l == ColumnRead::Time) {
        if (const QTime h = timeFromText(p, stop); h.isValid())
            return h;
    } else if (n >= 19 && p[10] == ' ') {
        const QDate d = dateFromText(p, p + 10);
        const QTime h = timeFromText(p + 11, stop);
        if (d.isValid() && h.isValid())
            return QDateTime(d, h);
    }
    return QString::fromLatin1(p, n);
}

// A decimal without a fraction is the whole number it holds ("75.00" is 75).
QString decimalFromText(QByteArray t) {
    if (const qsizetype point = t.indexOf('.'); point >= 0) {
        qsizetype stop = t.size();
        while (stop > point + 1 && t[stop - 1] == '0')
            --stop;
        if (stop == point + 1)
            t.truncate(point);
        if (t == "-0")
            t = "0";
    }
    return QString::fromLatin1(t);
}

// A value the driver gave as bytes: a text, or the server's own text of a
// FLOAT, decimal, date or time.
QVariant fromBytes(ColumnRead l, const char* p, qsizetype n) {
    switch (l) {
    case ColumnRead::Text:
        return QString::fromUtf8(p, n);
    case ColumnRead::Bytes:
        return QByteArray(p, n);
    case ColumnRead::Float:
        return QString::fromLatin1(p, n);
    case ColumnRead::Decimal:
        return decimalFromText(QByteArray(p, n));
    default:
        return dateTimeFromText(p, n, l);
    }
}

class OdbcReader {
public:
    explicit OdbcReader(SQLHSTMT h)
        : h_(h) {}

    // Every piece of a variable-length value; false for Null. As characters
    // each piece ends in a NUL that is not part of the value. Pieces land in
    // `out` itself; once the driver tells how much is left, the rest comes in
    // one piece.
    bool bytes(SQLUSMALLINT col, QByteArray& out, SQLSMALLINT cType = SQL_C_BINARY) {
        const SQLLEN nul = cType == SQL_C_CHAR ? 1 : 0;
        SQLLEN request = kFirstChunk;
        out.resize(0);
        for (;;) {
            const qsizetype before = out.size();
            out.resize(before + request);
            SQLLEN ind = 0;
            const SQLRETURN r = SQLGetData(h_, col, cType, out.data() + before, request, &ind);
            if (r == SQL_NO_DATA) {
                out.resize(before);
                return true;
            }
            if (!SQL_SUCCEEDED(r))
                throw odbcError(h_, QStringLiteral("Unable to fetch value"));
            if (ind == SQL_NULL_DATA) {
                out.clear();
                return false;
            }
            // A piece that filled the buffer may have more behind it.
            const SQLLEN fits = request - nul;
            const bool full = ind == SQL_NO_TOTAL || ind > fits;
            out.resize(before + (full ? fits : ind));
            if (!full)
                return true;
            if (ind != SQL_NO_TOTAL)
                request = ind - fits + nul;
        }
    }

    template <typename T> bool fixed(SQLUSMALLINT col, SQLSMALLINT cType, T& out) {
        SQLLEN ind = 0;
        const SQLRETURN r = SQLGetData(h_, col, cType, &out, SQLLEN(sizeof out), &ind);
        if (!SQL_SUCCEEDED(r))
            throw odbcError(h_, QStringLiteral("Unable to fetch value"));
        return ind != SQL_NULL_DATA;
    }

    QVariant value(SQLUSMALLINT col, ColumnRead l) {
        switch (l) {
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
        default: {
            const bool asBytes = l == ColumnRead::Text || l == ColumnRead::Bytes;
            if (bytes(col, bytes_, asBytes ? SQL_C_BINARY : SQL_C_CHAR))
                return fromBytes(l, bytes_.constData(), bytes_.size());
        }
        }
        return QVariant(nullTypeOf(l)); // Null of the column's type
    }

private:
    static constexpr SQLLEN kFirstChunk = 4096;
    SQLHSTMT h_;
    QByteArray bytes_;
};

// How a column is bound for a block of rows: its C type and the room of one
// value.
struct Binding {
    SQLSMALLINT cType = SQL_C_BINARY;
    SQLLEN width = 0;
};

// Texts of up to this many bytes are bound; longer ones are read by pieces.
constexpr SQLLEN kMaxWidth = 16384;
// The room of one block of rows, all columns together.
constexpr SQLLEN kBytesPerBlock = 256 * 1024;
constexpr SQLULEN kRowsPerBlock = 256;

// The binding of a column whose values have a known bound; none otherwise.
// `columnSize` is the column's size as described, `octets` its length in bytes.
// The room is the most its values can take: a value cut in a block cannot be
// read again (the driver does not position SQLGetData within a block).
std::optional<Binding> bindingOf(ColumnRead l, SQLULEN columnSize, SQLLEN octets) {
    switch (l) {
    case ColumnRead::Integer:
        return Binding{SQL_C_SBIGINT, SQLLEN(sizeof(SQLBIGINT))};
    case ColumnRead::Unsigned:
        return Binding{SQL_C_UBIGINT, SQLLEN(sizeof(SQLUBIGINT))};
    case ColumnRead::Real:
        return Binding{SQL_C_DOUBLE, SQLLEN(sizeof(SQLDOUBLE))};
    case ColumnRead::Text:
    case ColumnRead::Bytes: {
        // utf8mb4 takes up to four bytes a character, whichever the driver counts
        if (columnSize == 0 || columnSize > SQLULEN(kMaxWidth))
            return std::nullopt;
        const SQLLEN width = std::max(octets, SQLLEN(columnSize) * 4);
        if (width > kMaxWidth)
            return std::nullopt;
        return Binding{SQL_C_BINARY, width};
    }
    default: // the server's text of a number, date or time: short by its type
        if (columnSize == 0 || columnSize > 128)
            return std::nullopt;
        return Binding{SQL_C_CHAR, SQLLEN(columnSize) + 32};
    }
}

// A block of rows per fetch, each column bound to an array of its own: the
// driver fills them in one call instead of one call per value.
class Block {
public:
    // `reportedRows`: the rows the driver says the result holds; 0 or less
    // when it does not say.
    Block(SQLHSTMT h, const QVector<Binding>& bindings, SQLLEN reportedRows)
        : h_(h)
        , bindings_(bindings) {
        SQLLEN row = 0;
        for (const Binding& b : bindings)
            row += b.width;
        rows_ = std::clamp<SQLULEN>(SQLULEN(kBytesPerBlock / std::max<SQLLEN>(row, 1)), 1,
                                    kRowsPerBlock);
        if (reportedRows > 0) // a person's lookup is one row, not a block's room
            rows_ = std::min(rows_, SQLULEN(reportedRows));
        data_.resize(bindings.size());
        indicators_.resize(bindings.size());
        bind();
    }
    ~Block() {
        SQLFreeStmt(h_, SQL_UNBIND);
        SQLSetStmtAttr(h_, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
        SQLSetStmtAttr(h_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(1)), 0);
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    // The next block; how many rows it brought, 0 at the end.
    SQLULEN next() {
        fetched_ = 0;
        const SQLRETURN r = SQLFetch(h_);
        if (r == SQL_NO_DATA)
            return 0;
        if (!SQL_SUCCEEDED(r))
            throw odbcError(h_, QStringLiteral("Unable to fetch row"));
        return fetched_;
    }

    // Row `row` (from 0) of the block, column `c` (from 0).
    QVariant value(SQLULEN row, int c, ColumnRead read) {
        const Binding& b = bindings_[c];
        const char* p = data_[c].get() + row * b.width;
        const SQLLEN ind = indicators_[c][row];
        if (ind == SQL_NULL_DATA)
            return QVariant(nullTypeOf(read));
        if (read == ColumnRead::Integer || read == ColumnRead::Unsigned || read == ColumnRead::Real)
            return fixedValue(p, read);
        const SQLLEN room = b.width - (b.cType == SQL_C_CHAR ? 1 : 0);
        // longer than its column said: refused, never shown cut
        if (ind == SQL_NO_TOTAL || ind > room)
            throw QSqlError(
                QStringLiteral("QODBC: Unable to fetch value"),
                QStringLiteral("Un valor es más largo que el tamaño declarado de su columna"),
                QSqlError::StatementError);
        return fromBytes(read, p, qsizetype(ind));
    }

private:
    void bind() {
        const auto failure = [this] {
            return odbcError(h_, QStringLiteral("Unable to bind column"));
        };
        if (!SQL_SUCCEEDED(SQLSetStmtAttr(h_, SQL_ATTR_ROW_BIND_TYPE,
                                          reinterpret_cast<SQLPOINTER>(SQLULEN(SQL_BIND_BY_COLUMN)),
                                          0)) ||
            !SQL_SUCCEEDED(SQLSetStmtAttr(h_, SQL_ATTR_ROW_ARRAY_SIZE,
                                          reinterpret_cast<SQLPOINTER>(rows_), 0)) ||
            !SQL_SUCCEEDED(SQLSetStmtAttr(h_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0)))
            throw failure();
        for (qsizetype c = 0; c < bindings_.size(); ++c) {
            // only what the driver wrote is read: no need to clear them
            data_[c] = std::make_unique_for_overwrite<char[]>(size_t(bindings_[c].width) * rows_);
            indicators_[c].resize(rows_);
            if (!SQL_SUCCEEDED(SQLBindCol(h_, SQLUSMALLINT(c + 1), bindings_[c].cType,
                                          data_[c].get(), bindings_[c].width,
                                          indicators_[c].data())))
                throw failure();
        }
    }

    static QVariant fixedValue(const char* p, ColumnRead read) {
        if (read == ColumnRead::Integer) {
            SQLBIGINT v;
            std::memcpy(&v, p, sizeof v);
            return qlonglong(v);
        }
        if (read == ColumnRead::Unsigned) {
            SQLUBIGINT v;
            std::memcpy(&v, p, sizeof v);
            return qulonglong(v);
        }
        SQLDOUBLE v;
        std::memcpy(&v, p, sizeof v);
        return double(v);
    }

    SQLHSTMT h_;
    QVector<Binding> bindings_;
    SQLULEN rows_ = 1;
    SQLULEN fetched_ = 0;
    std::vector<std::unique_ptr<char[]>> data_;
    std::vector<std::vector<SQLLEN>> indicators_;
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
    QString text = sql;
    text.append(QChar(0));
    const SQLRETURN r = SQLExecDirectW(
        h_, reinterpret_cast<SQLWCHAR*>(const_cast<QChar*>(text.constData())), SQL_NTS);
    if (!SQL_SUCCEEDED(r) && r != SQL_NO_DATA)
        throw odbcError(h_, QStringLiteral("Unable to execute statement"));
}

namespace {

// The columns' names, how each is read, and how each would be bound (none
// when its values have no known bound).
struct Columns {
    QStringList names;
    QVector<ColumnRead> reads;
    QVector<std::optional<Binding>> bindings;
};

Columns describeColumns(SQLHSTMT h, SQLSMALLINT n) {
    Columns cols;
    for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(qMax<SQLSMALLINT>(n, 0)); ++c) {
        // The name runs to its NUL: the driver counts its length in
        // characters, not in the units it wrote (cédula would lose its a).
        SQLWCHAR columnName[512] = {};
        SQLSMALLINT nameLength = 0, sqlType = 0, decimalDigits = 0, nullable = 0;
        SQLULEN columnSize = 0;
        SQLLEN isUnsigned = SQL_FALSE, octets = 0;
        if (!SQL_SUCCEEDED(SQLDescribeColW(h, c, columnName, SQLSMALLINT(std::size(columnName)),
                                           &nameLength, &sqlType, &columnSize, &decimalDigits,
                                           &nullable)) ||
            !SQL_SUCCEEDED(
                SQLColAttributeW(h, c, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned)) ||
            !SQL_SUCCEEDED(
                SQLColAttributeW(h, c, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr, &octets)))
            throw odbcError(h, QStringLiteral("Unable to describe column"));
        columnName[std::size(columnName) - 1] = 0;
        cols.names << QString::fromUtf16(reinterpret_cast<const char16_t*>(columnName));
        cols.reads << columnReadOf(sqlType, isUnsigned == SQL_TRUE);
        cols.bindings << bindingOf(cols.reads.last(), columnSize, octets);
    }
    return cols;
}

// Every row, a block at a time.
void readInBlocks(SQLHSTMT h, const Columns& cols, QVector<QVector<QVariant>>& rows) {
    QVector<Binding> bindings;
    for (const std::optional<Binding>& b : cols.bindings)
        bindings << *b;
    SQLLEN reportedRows = 0;
    if (!SQL_SUCCEEDED(SQLRowCount(h, &reportedRows)))
        reportedRows = 0;
    Block block(h, bindings, reportedRows);
    const int n = int(bindings.size());
    while (const SQLULEN fetched = block.next()) {
        for (SQLULEN i = 0; i < fetched; ++i) {
            QVector<QVariant> row(n);
            for (int c = 0; c < n; ++c)
                row[c] = block.value(i, c, cols.reads[c]);
            rows.push_back(std::move(row));
        }
    }
}

// Every row, each value asked of the driver by itself.
void readOneByOne(SQLHSTMT h, const Columns& cols, QVector<QVector<QVariant>>& rows) {
    const int n = int(cols.reads.size());
    OdbcReader reader(h);
    for (;;) {
        const SQLRETURN r = SQLFetch(h);
        if (r == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(r))
            throw odbcError(h, QStringLiteral("Unable to fetch row"));
        QVector<QVariant> row(n);
        for (int i = 0; i < n; ++i)
            row[i] = reader.value(SQLUSMALLINT(i + 1), cols.reads[i]);
        rows.push_back(std::move(row));
    }
}

} // namespace

RecordSet OdbcStatement::fetchAll() {
    // The driver reports no size: everything is fetched (see ColumnRead).
    SQLSMALLINT n = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(h_, &n)))
        throw odbcError(h_, QStringLiteral("Unable to count columns"));
    Columns cols = describeColumns(h_, n);
    QVector<QVector<QVariant>> rows;
    if (n > 0) {
        // Values without a known bound (long texts, a day's rows joined) are
        // read by pieces, and then every column so.
        const bool bounded = std::all_of(cols.bindings.cbegin(), cols.bindings.cend(),
                                         [](const auto& b) { return b.has_value(); });
        bounded ? readInBlocks(h_, cols, rows) : readOneByOne(h_, cols, rows);
    }
    return RecordSet(std::move(cols.names), std::move(rows));
}

int OdbcStatement::rowCount() {
    SQLLEN rows = 0;
    if (!SQL_SUCCEEDED(SQLRowCount(h_, &rows)))
        return -1;
    return int(rows);
}

} // namespace velmar
