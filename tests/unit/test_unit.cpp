// Pure logic, no server: quoting, velmo's text routines, the history bound.

#include "db/errors.h"
#include "db/sql_quote.h"
#include "station/velmo.h"

#include <QTest>

using namespace velmar;

class TestUnit : public QObject {
    Q_OBJECT

private slots:
    void quoting() {
        const QString todo = QString("a'b\\c") + QChar(0) + "d" + QChar(0x1a) + "ñ";
        QCOMPARE(sqlEscape(todo, false), QString("a''b\\\\c\\0d\\Zñ"));
        QCOMPARE(sqlEscape(todo, true), QString("a''b\\cd") + QChar(0x1a) + "ñ");
        const std::pair<QString, QString> numeros[] = {
            {" 7 ", "7"},   {"-3.5", "-3.5"},       {"5A", "'5A'"}, {"", "''"},
            {"1.", "'1.'"}, {"\u0661", "'\u0661'"}, {"1'", "'1'''"}};
        for (const auto& [valor, sql] : numeros) // bare only when a plain number
            QCOMPARE(sqlNumber(valor, false), sql);
    }

    void textRoutines() {
        QVERIFY(es_vacio("   ") && es_vacio("__-___-____") && !es_vacio(" __-___-____"));
        QCOMPARE(sinBlancos("  \ta b\t  "), QString("\ta b\t")); // the farm's TABs stay
        const std::pair<QString, double> numeros[] = {
            {"  \t-12.5x", -12.5}, {".5", 0.5}, {"CMS 50", 0}, {"-", 0}, {"\u0665", 0}};
        for (const auto& [texto, valor] : numeros)
            QCOMPARE(valorNumerico(texto), valor);
        const QString largo = QString(40000, 'x') + "/fin"; // past 16-bit positions
        const std::tuple<QString, qsizetype, QString, QString> partes[] = {
            {"1/2", 2, "/", "2"},
            {"1/2", 3, "/", ""},
            {"1/2", 0, "/", ""},
            {"12", 1, "/", "12"},
            {"a, b", 2, ", ", " b"},
            {"a,,c", 3, ",", "c"},
            {"a/b", 1000000000000, "/", ""},
            {largo, 2, "/", "fin"}};
        for (const auto& [texto, n, separador, parte] : partes)
            QCOMPARE(extraer_parte(texto, n, separador), parte);
    }

    // A database error's box gives a reason, also when the driver names
    // itself and nothing more.
    void errorHasAReason() {
        const QString sin = "No hay conexión con el servidor de base de datos: el controlador no "
                            "dio el motivo";
        const std::pair<DbError, QString> errores[] = {
            {DbError("[ma-3.1.15][10.11.6-MariaDB] ", "2002", true), sin + " (código 2002)"},
            {DbError("", "", true), sin}};
        for (const auto& [error, texto] : errores)
            QCOMPARE(textoError(error), texto);
    }

    // Cut back to the last 16384 characters only past 20480.
    void historyBound() {
        for (const int largo : {History::kLimite, History::kLimite + 1}) {
            History h;
            h.agregar_historia("a");
            QCOMPARE(h.caret(), 0);
            h.agregarTexto(QString(largo - 3, 'x'));
            const QString antes = h.texto();
            QVERIFY(antes.startsWith("a\r\nx"));
            h.recortar_historia();
            const int queda = largo > History::kLimite ? History::kConserva : largo;
            QCOMPARE(h.texto(), antes.right(queda));
            QCOMPARE(h.caret(), queda);
        }
    }
};

QTEST_APPLESS_MAIN(TestUnit)
#include "test_unit.moc"
