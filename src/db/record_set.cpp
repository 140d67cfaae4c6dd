#include "db/record_set.h"

#include "errors/errors.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

namespace velmar {

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
        throw Error::noCurrentRecord();
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
        throw Error::noCurrentRecord();
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

} // namespace velmar
