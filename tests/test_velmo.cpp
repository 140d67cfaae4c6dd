// The query routines, the quoting routine and the connection against a real
// MariaDB server.

#include "context/errors.h"
#include "startup/sql_quote.h"
#include "startup/velmo.h"
#include "test_support.h"

#include <QTest>

using namespace velmar;
using namespace velmar::test;

class TestVelmo : public QObject {
    Q_OBJECT

private slots:
    void init() { TestDb::get().reset(); }

    void recordSetIsFullyFetchedWithExactCount() {
        TestStation t;
        TestDb::get().sql("INSERT INTO personal (cedula, nombres, apellidos) VALUES "
                          "('1', 'ANA', NULL), ('2', 'LUIS', 'PAZ'), ('3', NULL, 'MORA')");
        RecordSet rs = abrir_consulta(t.st, "select cedula, nombres, apellidos from personal "
                                            "order by cedula");
        QCOMPARE(rs.count(), 3);
        QStringList vistos;
        while (!rs.eof()) {
            vistos << rs.text("cedula") + "/" + rs.text("NOMBRES") + "/" + rs.text(2);
            rs.moveNext();
        }
        QCOMPARE(vistos, QStringList({"1/ANA/", "2/LUIS/PAZ", "3//MORA"}));
        QVERIFY_THROWS_EXCEPTION(RuntimeError, rs.moveNext());
        QVERIFY(t.prompts.cajas.isEmpty());
    }

    void serverDatesAndTimesAsText() {
        TestStation t;
        t.reloj("2024-03-07 09:15:40");
        RecordSet rs = abrir_consulta(t.st, "select current_date() as f, current_time() as h, "
                                            "cast(null as date) as n, 0 as cero");
        QCOMPARE(rs.text("f"), QString("2024-03-07"));
        QCOMPARE(rs.text("h"), QString("09:15:40"));
        QCOMPARE(rs.text("n"), QString());
        QCOMPARE(rs.text("cero"), QString("0"));
    }

    void abrirConsultaFailureShowsBoxAndGivesMissingRecordSet() {
        TestStation t;
        RecordSet rs = abrir_consulta(t.st, "select * from no_existe");
        QCOMPARE(t.prompts.cajas.size(), 1);
        QCOMPARE(t.prompts.cajas[0].estilo, 0);
        QCOMPARE(t.prompts.cajas[0].titulo, QString("velmar"));
        QVERIFY2(t.prompts.cajas[0].texto.startsWith("Consulta Sql "),
                 qPrintable(t.prompts.cajas[0].texto));
        QVERIFY(t.prompts.cajas[0].texto.contains("no_existe"));
        QVERIFY(!rs.abierto());
        QVERIFY_THROWS_EXCEPTION(DbError, rs.count());
    }

    void ejecutarSqlFailureShowsOneBoxAndGoesOn() {
        TestStation t;
        ejecutar_sql(t.st, "update no_existe set a=1");
        QCOMPARE(t.prompts.cajas.size(), 1);
        QVERIFY(!t.prompts.cajas[0].texto.startsWith("Consulta Sql"));
        QVERIFY(t.prompts.cajas[0].texto.contains("no_existe"));
        ejecutar_sql(t.st, "insert into envoltura values (1, 'CAPUCHON')");
        QCOMPARE(TestDb::get().filas("select * from envoltura"), QStringList{"1|CAPUCHON"});
        QCOMPARE(t.prompts.cajas.size(), 1);
    }

    void buscarValor_data() {
        QTest::addColumn<QString>("criterio");
        QTest::addColumn<QString>("esperado");
        QTest::newRow("match") << "tipo_env='2'"
                               << "BONCHE";
        QTest::newRow("no row") << "tipo_env='9'"
                                << "";
        QTest::newRow("null value") << "tipo_env='3'"
                                    << "";
        QTest::newRow("blank criterion: no WHERE, first row") << "   "
                                                              << "CAPUCHON";
        QTest::newRow("mask criterion: no WHERE") << "__-___-____"
                                                  << "CAPUCHON";
        QTest::newRow("missing criterion") << QString() << "CAPUCHON";
    }
    void buscarValor() {
        QFETCH(QString, criterio);
        QFETCH(QString, esperado);
        TestStation t;
        TestDb::get().sql("insert into envoltura values (1,'CAPUCHON'),(2,'BONCHE'),(3,NULL)");
        const QVariant v = buscar_valor(t.st, "descrip", "envoltura", criterio);
        QCOMPARE(RecordSet::textOf(v), esperado);
        QVERIFY(t.prompts.cajas.isEmpty());
    }

    void buscarValorKeepsZeroAndType() {
        TestStation t;
        QCOMPARE(RecordSet::textOf(buscar_valor(t.st, "count(*)", "bunche")), QString("0"));
        const QVariant v = buscar_valor(t.st, "count(*)", "bunche", "num_pack='12'");
        QVERIFY(!v.isNull());
        QCOMPARE(v.toInt(), 0);
    }

    void buscarValorFailureReachesTheCaller() {
        TestStation t;
        QVERIFY_THROWS_EXCEPTION(DbError, buscar_valor(t.st, "x", "no_existe"));
        QCOMPARE(t.prompts.cajas.size(), 1);
        QVERIFY(t.prompts.cajas[0].texto.startsWith("Consulta Sql "));
    }

    void fechaServidorIsTheServersClock() {
        TestStation t;
        t.reloj("2024-03-07 06:05:04");
        const QDateTime f = fecha_servidor(t.st);
        // sysdate() ignores SET timestamp: it is the server's real clock
        QVERIFY(f.isValid());
        QVERIFY(qAbs(f.secsTo(QDateTime::currentDateTime())) < 120);
        QVERIFY(t.prompts.cajas.isEmpty());
    }

    void fechaServidorFailureGivesNoValue() {
        TestStation t(TestDb::get().cadena(TestDb::get().nombre()) + ";PORT=1");
        // a closed port: the open fails, the box is shown, no value comes back
        const QDateTime f = fecha_servidor(t.st);
        QVERIFY(!f.isValid());
        QCOMPARE(t.prompts.cajas.size(), 1);
        QVERIFY(t.prompts.cajas[0].texto.startsWith("Consulta Sql "));
    }

    void esVacio() {
        QVERIFY(es_vacio(""));
        QVERIFY(es_vacio("    "));
        QVERIFY(es_vacio("__-___-____"));
        QVERIFY(!es_vacio(" __-___-____"));
        QVERIFY(!es_vacio("0"));
        QVERIFY(!es_vacio("\t"));
    }

    void extraerParte() {
        QCOMPARE(extraer_parte("123/456", 1, "/"), QString("123"));
        QCOMPARE(extraer_parte("123/456", 2, "/"), QString("456"));
        QCOMPARE(extraer_parte("123/456", 3, "/"), QString());
        QCOMPARE(extraer_parte("123/456", 0, "/"), QString());
        QCOMPARE(extraer_parte("123/456", -4, "/"), QString());
        QCOMPARE(extraer_parte("123456", 1, "/"), QString("123456"));
        QCOMPARE(extraer_parte("AB/", 2, "/"), QString());
        QCOMPARE(extraer_parte("/CD", 1, "/"), QString());
        QCOMPARE(extraer_parte("a, b", 2, ","), QString(" b"));
        QCOMPARE(extraer_parte("a, b", 2, ", "), QString(" b"));
        QCOMPARE(extraer_parte("a,,c", 3, ","), QString("c"));
        QCOMPARE(extraer_parte("a/b", 1000000000000, "/"), QString());
        // beyond the 16-bit positions of old
        const QString largo = QString(40000, 'x') + "/fin";
        QCOMPARE(extraer_parte(largo, 2, "/"), QString("fin"));
        QCOMPARE(extraer_parte(largo, 1, "/").size(), 40000);
    }

    // Values round-trip byte for byte through the server, in both quoting modes.
    void quotingRoundTrips_data() {
        QTest::addColumn<QString>("valor");
        QTest::newRow("apostrophe") << "O'Brien";
        QTest::newRow("closing quote") << "x'; DROP TABLE bunche; --";
        QTest::newRow("backslash") << "C:\\flores\\";
        QTest::newRow("backslash quote") << "\\'";
        QTest::newRow("trailing backslash") << "abc\\";
        QTest::newRow("NUL") << QString("a") + QChar(0) + "b";
        QTest::newRow("ctrl-z") << QString("a") + QChar(0x1a) + "b";
        QTest::newRow("double quote") << "\"quoted\"";
        QTest::newRow("percent underscore") << "50%_";
        QTest::newRow("multibyte") << QString::fromUtf8("Ñandú — 玫瑰 🌹");
        QTest::newRow("newlines") << "a\r\nb\n";
    }
    void quotingRoundTrips() {
        QFETCH(QString, valor);
        for (const bool nbe : {false, true}) {
            QString dsn = TestDb::get().cadena(TestDb::get().nombre());
            if (nbe)
                dsn += ";INITSTMT=SET SESSION sql_mode='NO_BACKSLASH_ESCAPES'";
            TestStation t(dsn);
            QCOMPARE(t.db.noBackslashEscapes(), nbe);
            RecordSet rs = t.db.consulta("select '" + t.db.esc(valor) + "' as v, hex('" +
                                         t.db.esc(valor) + "') as h");
            // the server holds exactly the value (a NUL only where the mode can
            // carry it); reading a NUL back through the driver stops at it
            QString esperado = valor;
            if (nbe)
                esperado.remove(QChar(0));
            QCOMPARE(rs.text("h"), QString(esperado.toUtf8().toHex().toUpper()));
            if (!esperado.contains(QChar(0)))
                QCOMPARE(rs.text("v"), esperado);
            // and into a table and back
            t.db.ejecutar("insert into clientes (cod_client, marcar) values ('Q', '" +
                          t.db.esc(valor) + "')");
            QCOMPARE(t.db.consulta("select marcar from clientes where marcar = '" +
                                   t.db.esc(valor) + "'")
                         .count(),
                     1);
            t.db.ejecutar("delete from clientes");
        }
    }

    void numbersStayBareAndTextIsQuoted() {
        QCOMPARE(sqlNumber("12", false), QString("12"));
        QCOMPARE(sqlNumber(" 7 ", false), QString("7"));
        QCOMPARE(sqlNumber("-3.5", false), QString("-3.5"));
        QCOMPARE(sqlNumber("5A", false), QString("'5A'"));
        QCOMPARE(sqlNumber("", false), QString("''"));
        QCOMPARE(sqlNumber("1 or 1=1", false), QString("'1 or 1=1'"));
        QCOMPARE(sqlNumber("\u0661", false), QString("'\u0661'")); // Arabic-Indic one
    }
};

QTEST_GUILESS_MAIN(TestVelmo)
#include "test_velmo.moc"
