#pragma once
// The station's error kinds. Database errors carry negative numbers, the label
// channel number 52, and anything else a positive run-time number; each
// operation's handler chooses what to do by kind.

#include <QString>
#include <exception>

namespace velmar {

class Error : public std::exception {
public:
    Error(int numero, QString texto)
        : numero_(numero)
        , texto_(std::move(texto)) {}
    int numero() const { return numero_; }
    // The station's standard text for this error, shown in message boxes.
    const QString& texto() const { return texto_; }
    const char* what() const noexcept override;

private:
    int numero_;
    QString texto_;
    mutable QByteArray what_;
};

// Anything the database access layer reports. `conexionPerdida` tells that the
// connection itself broke (server gone, timeout), not just the statement.
class DbError : public Error {
public:
    static constexpr int kNumero = -2147467259; // the access layer's generic failure
    DbError(QString texto, QString codigo = {}, bool conexionPerdida = false)
        : Error(kNumero, std::move(texto))
        , codigo_(std::move(codigo))
        , perdida_(conexionPerdida) {}
    const QString& codigo() const { return codigo_; }
    bool conexionPerdida() const { return perdida_; }

private:
    QString codigo_;
    bool perdida_;
};

// The label printer channel cannot be opened or written.
class PrinterError : public Error {
public:
    static constexpr int kNumero = 52;
    explicit PrinterError(QString detalle)
        : Error(kNumero, QStringLiteral("Nombre o número de archivo incorrecto"))
        , detalle_(std::move(detalle)) {}
    const QString& detalle() const { return detalle_; }

private:
    QString detalle_;
};

// Run-time errors of the station's own steps (no current row, a Null where a
// number is needed, an overflow); positive numbers as the classic runtime has.
class RuntimeError : public Error {
public:
    using Error::Error;
    static RuntimeError sinRegistro();    // 3021
    static RuntimeError usoNull();        // 94
    static RuntimeError desbordamiento(); // 6
    static RuntimeError argumento();      // 5
};

} // namespace velmar
