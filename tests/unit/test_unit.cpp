// Pure logic, no server: quoting, velmo's text routines, the history bound.

#include "db/sql_quote.h"
#include "errors/errors.h"
#include "journal/kept_record.h"
#include "station/server_clock.h"
#include "station/velmo.h"

#include <QTest>
#include <QTimeZone>

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

    // (server ahead of the pair's start, station's ms, reading): a jump past a
    // minute is refused until two fresh connections in a row show it.
    void serverClockJumps() {
        using L = ServerClock::Lectura;
        const qint64 s = 1000, h = 3600 * s, noche = ServerClock::kVigencia;
        const std::tuple<qint64, qint64, L> vistas[] = {
            {0, 0, L::Acorde},
            {30 * s, s, L::Acorde}, // a first sight; within the bound
            {30 * s + h, 2 * s, L::Salto},
            {30 * s, 3 * s, L::Acorde}, // one node's clock
            {30 * s + h, 4 * s, L::Salto},
            {31 * s + h, 5 * s, L::Salto}, // not yet twice fresh
            {-2 * h, 6 * s, L::Salto},
            {-2 * h, 7 * s, L::HoraNueva}, // another jump, twice fresh
            {-2 * h, 8 * s, L::Acorde},
            {3 * h, 9 * s + noche, L::Acorde}}; // after a night idle
        const QDateTime t0(QDate(2026, 3, 8), QTime(1, 0), QTimeZone::utc());
        ServerClock reloj;
        for (const auto& [adelanto, local, lectura] : vistas)
            QCOMPARE(reloj.ver(t0.addMSecs(adelanto + local), local), lectura);
        QCOMPARE(reloj.ver(t0.addMSecs(10 * s + noche), 10 * s + noche), L::Salto);
        QCOMPARE(reloj.salto(), -3 * h);
    }

    // What a kept scan became, read from its replay's lines: the person, the time named.
    void keptScanOutcome() {
        const std::pair<QString, QStringList> casos[] = {
            {"EL USUARIO Ú YA REGISTRO SU SALIDA A LAS 12:00:00", {"ya_salio", "Ú", "12:00:00"}},
            {"No se encontró la cédula 99\r\n", {"no_encontrada", "", ""}},
            {"\tX\r\nIngreso del usuario N A a las 07:02:13\r\n", {"ingreso", "N A", "07:02:13"}},
            {"\tNo se registró la marca: falta una columna\r\n", {"no_registrada", "", ""}},
            {"", {"sin_efecto", "", ""}}};
        for (const auto& [lineas, esperado] : casos) {
            const Desenlace d = desenlaceDeEnvio(lineas, false);
            QCOMPARE(QStringList({d.resultado, d.persona, d.hora}), esperado);
        }
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
