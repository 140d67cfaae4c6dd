#pragma once
// The station's failures, and the one path they travel to the operator.
//
// 1. Thrown where they happen, as one of three kinds:
//    - DbError (db/): the server's code and text, and whether the link itself
//      was lost (the connection is then reopened before the next statement;
//      nothing is ever sent twice);
//    - PrinterError (labels/): the label could not be delivered;
//    - Error: the station's own steps (no current row, a field that is not
//      there, a time that is not a time).
// 2. The query routines of velmo are the database's "show the box and go on"
//    helpers: abrir_consulta shows "Consulta Sql " + the text and gives a
//    missing record set (touching it throws DbError, so the caller's own path
//    follows), ejecutar_sql shows the text and returns false. buscar_valor and
//    the statements a step must not lose run on Conexion directly and throw.
// 3. Each operation catches once, at its end, and chooses by kind what the
//    operator sees: a box and the end of the operation (attendance's error
//    line, the labels' printer and network messages), or, for the packing
//    operations' steps, the pointer and caption reset and the next step
//    (packing/steps.h, `paso`). textoError gives a box's text for any kind.
// 4. The front ends (window, velmar-cli) catch only what escapes an operation.

#include <QString>
#include <exception>

namespace velmar {

class Error : public std::exception {
public:
    explicit Error(QString texto)
        : texto_(std::move(texto)) {}
    // The station's text for it, as a box shows it (see textoError).
    const QString& texto() const { return texto_; }
    const char* what() const noexcept override;

    static Error sinRegistro();

private:
    QString texto_;
    mutable QByteArray what_;
};

// Anything the database access layer reports. `conexionPerdida` tells that the
// connection itself broke (server gone, timeout), not just the statement.
class DbError : public Error {
public:
    DbError(QString texto, QString codigo = {}, bool conexionPerdida = false)
        : Error(std::move(texto))
        , codigo_(std::move(codigo))
        , perdida_(conexionPerdida) {}
    // The driver's native error number as text ("1205", "2013", "IM002", …).
    const QString& codigo() const { return codigo_; }
    bool conexionPerdida() const { return perdida_; }

private:
    QString codigo_;
    bool perdida_;
};

// The label could not be delivered; the text says why, for the log of the
// front end (the operator's box has its fixed text).
class PrinterError : public Error {
public:
    using Error::Error;
};

} // namespace velmar
