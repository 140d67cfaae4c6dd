#pragma once
// The station's failures, one family of kinds on the ground floor (what a
// server's code means is db/server_codes.h's), and the one path they travel
// to the operator.
//
// 1. Thrown where they happen, as one of three kinds:
//    - DbError (thrown by db/): the server's code and text, and whether the link itself
//      was lost (the connection is then reopened before the next statement;
//      nothing is ever sent twice);
//    - PrinterError (printing/): the label could not be delivered;
//    - FileError (files/): a file could not be written, and why;
//    - SchemaError (db/, clock/, attendance/): a farm table the station
//      cannot use as it is;
//    - Error: the station's own steps (no current row, a field that is not
//      there, a time that is not a time).
// 2. Every operation runs in one OperationScope (station/operation_scope.h):
//    it checks the connection before the first statement (a closed one is
//    re-opened; nothing is sent twice) and hands whatever escapes to the
//    operation's one path, chosen by kind: the attendance clock's error line,
//    the labels' printer, work-table and network boxes, the query box of the
//    reports and moves (caminoDeConsulta), a schema refusal's box.
// 3. Inside an operation, velmo's query routines show their own box and go
//    on, as the station always has: abrir_consulta shows "Consulta Sql " + the
//    text and gives a missing record set, ejecutar_sql shows the text and
//    returns false; the packing reports' steps go on after a failed one
//    (`paso`). So a query that fails inside an operation gives two boxes where
//    its path adds one (the clock: the query's, then "Error en el sistema");
//    touching the missing record set throws DbError, and the path follows.
//    buscar_valor and the statements a step must not lose throw.
// 4. The front ends (window, velmar-cli) catch only what escapes an operation.

#include <QString>
#include <exception>

namespace velmar {

class Error : public std::exception {
public:
    explicit Error(QString text)
        : text_(std::move(text)) {}
    // The station's text for it, as a box shows it (see textoError).
    const QString& text() const { return text_; }
    const char* what() const noexcept override;

    static Error noCurrentRecord();

private:
    QString text_;
    mutable QByteArray what_;
};

// Anything the database access layer reports. `linkLost` tells that the
// connection itself broke (server gone, timeout), not just the statement;
// `readOnly`, that the statement only read (nothing was to change).
class DbError : public Error {
public:
    DbError(QString text, QString code = {}, bool linkLost = false, bool readOnly = false)
        : Error(std::move(text))
        , code_(std::move(code))
        , linkLost_(linkLost)
        , readOnly_(readOnly) {}
    // The driver's native error number as text ("1205", "2013", "IM002", …).
    const QString& code() const { return code_; }
    bool linkLost() const { return linkLost_; }
    bool readOnly() const { return readOnly_; }

private:
    QString code_;
    bool linkLost_;
    bool readOnly_;
};

// A farm table the station cannot use soundly as it is: the text names the
// table, the column and what to change. Nothing was written.
class SchemaError : public Error {
public:
    using Error::Error;
};

// A file the station writes could not be: the text is the reason in Spanish
// ("la carpeta no existe"); the operation names the file in its box.
class FileError : public Error {
public:
    using Error::Error;
};

// The label could not be delivered; the text says why, for the log of the
// front end (the operator's box has its fixed text).
class PrinterError : public Error {
public:
    using Error::Error;
};

} // namespace velmar
