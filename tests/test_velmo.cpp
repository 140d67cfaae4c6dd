// velmo's query routines, and the quoting round trip, on a real server.

#include "db/errors.h"
#include "station/velmo.h"
#include "test_support.h"

#include <QTest>

using namespace velmar;
using namespace velmar::test;

class TestVelmo : public QObject {
    Q_OBJECT

private slots:
    void init() { TestDb::get().reset(); }

    // Fully fetched with an exact count, fields by name (any case) or
    // position, Null as empty text, the session's dates and times as text.
    void recordSets() {
        TestStation t;
        TestDb::get().sql("INSERT INTO personal (cedula, nombres, apellidos) VALUES "
                          "('1', 'ANA', NULL), ('2', 'LUIS', 'PAZ'), ('3', NULL, 'MORA')");
        RecordSet rs = abrir_consulta(t.st, "select cedula, nombres, apellidos from personal "
                                            "order by cedula");
        QCOMPARE(rs.count(), 3);
        QStringList vistos;
        for (; !rs.eof(); rs.moveNext())
            vistos << rs.text("cedula") + "/" + rs.text("NOMBRES") + "/" + rs.text(2);
        QCOMPARE(vistos, QStringList({"1/ANA/", "2/LUIS/PAZ", "3//MORA"}));
        QVERIFY_THROWS_EXCEPTION(RuntimeError, rs.moveNext());

        t.reloj("2024-03-07 09:15:40");
        rs = abrir_consulta(t.st, "select current_date() as f, current_time() as h, "
                                  "cast(null as date) as n, 0 as cero");
        QCOMPARE(rs.text("f") + "|" + rs.text("h") + "|" + rs.text("n") + "|" + rs.text("cero"),
                 QString("2024-03-07|09:15:40||0"));
        // fecha_servidor reads the real clock (sysdate), not the frozen one
        QVERIFY(qAbs(fecha_servidor(t.st).secsTo(QDateTime::currentDateTime())) < 120);
        QVERIFY(t.prompts.cajas.isEmpty());
    }

    // Each routine's box on a database error: abrir_consulta gives a missing
    // record set, ejecutar_sql goes on, buscar_valor's error reaches the
    // caller, fecha_servidor gives no value.
    void failuresShowTheirBox() {
        TestStation t;
        RecordSet rs = abrir_consulta(t.st, "select * from no_existe");
        QVERIFY(!rs.abierto());
        QVERIFY_THROWS_EXCEPTION(DbError, rs.count());
        QVERIFY(!ejecutar_sql(t.st, "update no_existe set a=1"));
        QVERIFY(ejecutar_sql(t.st, "insert into envoltura values (1, 'CAPUCHON')"));
        QCOMPARE(TestDb::get().filas("select * from envoltura"), QStringList{"1|CAPUCHON"});
        QVERIFY_THROWS_EXCEPTION(DbError, buscar_valor(t.st, "x", "no_existe"));
        const QString tabla = "Table '" + TestDb::get().nombre() + ".no_existe' doesn't exist";
        QCOMPARE(t.prompts.cajas, QList<Caja>({{"Consulta Sql " + tabla, 0, "velmar"},
                                               {tabla, 0, "velmar"},
                                               {"Consulta Sql " + tabla, 0, "velmar"}}));

        TestStation cerrado(TestDb::get().cadena(TestDb::get().nombre()) + ";PORT=1");
        QVERIFY(!fecha_servidor(cerrado.st).isValid());
        QCOMPARE(cerrado.prompts.cajas.size(), 1);
        QVERIFY(cerrado.prompts.cajas[0].texto.startsWith("Consulta Sql "));
    }

    // A blank, masked or missing criterion means no WHERE: the first row.
    // Zero stays a typed value, not Null; a Null field reads as empty.
    void buscarValor() {
        TestStation t;
        const QVariant cero = buscar_valor(t.st, "count(*)", "bunche", "num_pack='12'");
        QVERIFY(!cero.isNull());
        QCOMPARE(cero.toInt(), 0);
        TestDb::get().sql("insert into envoltura values (1,'CAPUCHON'),(2,'BONCHE'),(3,NULL)");
        const struct {
            QString criterio, valor;
        } casos[] = {{"tipo_env='2'", "BONCHE"},  {"tipo_env='9'", ""},
                     {"tipo_env='3'", ""},        {"   ", "CAPUCHON"},
                     {"__-___-____", "CAPUCHON"}, {QString(), "CAPUCHON"}};
        for (const auto& c : casos)
            QCOMPARE(RecordSet::textOf(buscar_valor(t.st, "descrip", "envoltura", c.criterio)),
                     c.valor);
        QVERIFY(t.prompts.cajas.isEmpty());
    }

    // Values round-trip byte for byte through the server, in both quoting modes.
    void quotingRoundTrips_data() {
        QTest::addColumn<QString>("valor");
        QTest::newRow("closing quote") << "x'; DROP TABLE bunche; --";
        QTest::newRow("backslash quote") << "\\'";
        QTest::newRow("trailing backslash") << "abc\\";
        QTest::newRow("NUL") << QString("a") + QChar(0) + "b";
        QTest::newRow("ctrl-z") << QString("a") + QChar(0x1a) + "b";
        QTest::newRow("multibyte") << QString::fromUtf8("Ñandú — 玫瑰 🌹");
        QTest::newRow("newlines") << "a\r\nb\n";
    }
    void quotingRoundTrips() {
        QFETCH(QString, valor);
        for (const bool nbe : {false, true}) {
            TestStation t(TestDb::get().cadena(TestDb::get().nombre()) +
                          (nbe ? ";INITSTMT=SET SESSION sql_mode='NO_BACKSLASH_ESCAPES'" : ""));
            QCOMPARE(t.db.noBackslashEscapes(), nbe);
            const QString lit = "'" + t.db.esc(valor) + "'";
            RecordSet rs = t.db.consulta("select " + lit + " as v, hex(" + lit + ") as h");
            // exactly the value (a NUL only where the mode can carry it);
            // the driver's text stops at a NUL
            const QString esperado = nbe ? QString(valor).remove(QChar(0)) : valor;
            QCOMPARE(rs.text("h"), QString(esperado.toUtf8().toHex().toUpper()));
            if (!esperado.contains(QChar(0)))
                QCOMPARE(rs.text("v"), esperado);
            t.db.ejecutar("insert into clientes (cod_client, marcar) values ('Q', " + lit + ")");
            QCOMPARE(t.db.consulta("select marcar from clientes where marcar = " + lit).count(), 1);
            t.db.ejecutar("delete from clientes");
        }
    }
};

QTEST_GUILESS_MAIN(TestVelmo)
#include "test_velmo.moc"
