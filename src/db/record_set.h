#pragma once
// A query's rows, fetched whole.

#include <QStringList>
#include <QVariant>
#include <QVector>

namespace velmar {

// A query's result, fetched whole into memory: its count is exact and it stays
// readable after the routine that opened it has returned. A record set that
// failed to open is "missing": touching it raises a database error.
class RecordSet {
public:
    RecordSet() = default; // missing
    RecordSet(QStringList columnas, QVector<QVector<QVariant>> filas);

    bool abierto() const { return abierto_; }
    int count() const;
    bool eof() const;
    void moveNext();
    void moveFirst();
    int columnas() const;
    const QStringList& nombres() const { return columnas_; }

    // Field of the current row by name (case-insensitive) or position.
    QVariant value(const QString& columna) const;
    QVariant value(int posicion) const;
    bool isNull(const QString& columna) const { return value(columna).isNull(); }
    // The field as text: Null gives the empty text, dates "yyyy-mm-dd", times
    // "hh:mm:ss".
    QString text(const QString& columna) const { return textOf(value(columna)); }
    QString text(int posicion) const { return textOf(value(posicion)); }

    static QString textOf(const QVariant& v);

private:
    void requireOpen() const;
    int indexOf(const QString& columna) const;

    bool abierto_ = false;
    QStringList columnas_;
    QVector<QVector<QVariant>> filas_;
    int fila_ = 0;
};

} // namespace velmar
