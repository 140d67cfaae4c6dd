#include "db/conexion.h"

#include "db/errors.h"
#include "db/sql_quote.h"

#include <QAtomicInt>
#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTime>

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
    {
        QSqlDatabase db = QSqlDatabase::database(nombre_, false);
        if (db.isValid())
            db.close();
    }
    if (QSqlDatabase::contains(nombre_))
        QSqlDatabase::removeDatabase(nombre_);
}

void Conexion::abrir() {
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
}

bool Conexion::abierta() const {
    QSqlDatabase db = QSqlDatabase::database(nombre_, false);
    return db.isValid() && db.isOpen() && !perdida_;
}

void Conexion::cerrar() {
    QSqlDatabase db = QSqlDatabase::database(nombre_, false);
    if (db.isValid())
        db.close();
}

void Conexion::prepararSesion() {
    QSqlQuery q(QSqlDatabase::database(nombre_, false));
    q.exec(QStringLiteral("SET SESSION innodb_lock_wait_timeout=%1, lock_wait_timeout=%1")
               .arg(kLockWait));
    if (q.exec(QStringLiteral("SELECT @@SESSION.sql_mode")) && q.next())
        noBackslash_ = q.value(0).toString().contains(QLatin1String("NO_BACKSLASH_ESCAPES"),
                                                      Qt::CaseInsensitive);
}

void Conexion::asegurarAbierta() {
    QSqlDatabase db = QSqlDatabase::database(nombre_, false);
    if (!db.isValid() || !db.isOpen() || perdida_)
        abrir();
}

void Conexion::fallo(const QSqlError& e) {
    const bool perdida = esPerdida(e);
    if (perdida)
        perdida_ = true; // reopened before the next statement, never retried
    throw DbError(textoDe(e), e.nativeErrorCode(), perdida);
}

RecordSet Conexion::consulta(const QString& sql) {
    asegurarAbierta();
    QSqlQuery q(QSqlDatabase::database(nombre_, false));
    q.setForwardOnly(true);
    if (!q.exec(sql))
        fallo(q.lastError());
    // The driver reports no size: fetch everything and count it here.
    QStringList columnas;
    const QSqlRecord rec = q.record();
    columnas.reserve(rec.count());
    for (int i = 0; i < rec.count(); ++i)
        columnas << rec.fieldName(i);
    QVector<QVector<QVariant>> filas;
    while (q.next()) {
        QVector<QVariant> fila(rec.count());
        for (int i = 0; i < rec.count(); ++i)
            fila[i] = q.value(i);
        filas.push_back(std::move(fila));
    }
    if (q.lastError().isValid())
        fallo(q.lastError());
    return RecordSet(std::move(columnas), std::move(filas));
}

int Conexion::ejecutar(const QString& sql) {
    asegurarAbierta();
    QSqlQuery q(QSqlDatabase::database(nombre_, false));
    q.setForwardOnly(true);
    if (!q.exec(sql))
        fallo(q.lastError());
    return q.numRowsAffected();
}

QString Conexion::esc(const QString& value) const {
    return sqlEscape(value, noBackslash_);
}

QString Conexion::num(const QString& value) const {
    return sqlNumber(value, noBackslash_);
}

} // namespace velmar
