// velmo's lookup rule and the quoting round trip on a real server.

#include "station/velmo.h"
#include "test_support.h"

#include <QTest>

using namespace velmar;
using namespace velmar::test;

class TestDatabase : public QObject {
    Q_OBJECT

private slots:
    // A blank or masked criterion means no WHERE; zero stays a typed value.
    void queries() {
        TestDb::get().reset();
        TestStation t;
        TestDb::get().sql("INSERT INTO envoltura VALUES (1, 'CAPUCHON'), (2, NULL)");
        RecordSet rs = abrir_consulta(t.st, "select tipo_env, descrip from envoltura");
        QCOMPARE(rs.count(), 2);
        rs.moveNext();
        QCOMPARE(rs.text("TIPO_ENV") + "/" + rs.text("descrip"), QString("2/"));
        for (const QString& criterio : {QString(), QString("   "), QString("__-___-____")})
            QCOMPARE(buscar_valor(t.st, "descrip", "envoltura", criterio).toString(), "CAPUCHON");
        QCOMPARE(buscar_valor(t.st, "descrip", "envoltura", "tipo_env=2").toString(), "");
        QCOMPARE(buscar_valor(t.st, "count(*)", "bunche", "num_pack='12'"), QVariant(0));
        QVERIFY(t.prompts.cajas.isEmpty());
    }

    // The server's frequent refusals: a short reason in Spanish, then its text
    // (a user without rights for the last).
    void refusalsInSpanish_data() {
        QTest::addColumn<QString>("sentencia");
        QTest::addColumn<QString>("caja");
        QTest::newRow("unknown column") << "select horas_diff from personal"
                                        << "Consulta Sql Falta una columna en la base de datos o "
                                           "no es la esperada: Unknown column 'horas_diff' in";
        QTest::newRow("unknown table") << "select * from asistencia"
                                       << "Consulta Sql Falta una tabla en la base de datos: Table";
        QTest::newRow("table full") << "insert into llena select 'x' from seq_1_to_1000"
                                    << "El servidor de base de datos no tiene espacio: The "
                                       "table 'llena' is full";
        QTest::newRow("access denied") << "select * from " + TestDb::get().nombre() + ".personal"
                                       << "Consulta Sql Acceso denegado a la base de datos: "
                                          "SELECT command denied to user 'velmar_nadie'@";
    }
    void refusalsInSpanish() {
        QFETCH(QString, sentencia);
        QFETCH(QString, caja);
        TestDb::get().sql("create user if not exists 'velmar_nadie'@'%' identified by 'nadie'");
        const bool nadie = caja.contains("velmar_nadie");
        TestStation t(!nadie ? Conexion::kDsn
                             : TestDb::get().cadena().replace("USER=velmar;PASSWORD=velmar",
                                                              "USER=velmar_nadie;PASSWORD=nadie"));
        if (!nadie)
            for (const char* s : {"set max_heap_table_size = 16384",
                                  "create temporary table llena (x char(255)) engine=memory"})
                t.db.ejecutar(s);
        if (sentencia.startsWith("select"))
            QVERIFY(!abrir_consulta(t.st, sentencia).abierto());
        else
            QVERIFY(!ejecutar_sql(t.st, sentencia));
        QCOMPARE(t.prompts.cajas.size(), 1);
        QVERIFY2(t.prompts.cajas[0].texto.startsWith(caja), qPrintable(t.prompts.cajas[0].texto));
    }

    // What a column holds is what the station reads and writes, in both quoting
    // modes: every letter up to U+024F, other planes, injections, long texts in
    // pieces, empty and Null, four-byte letters filling a column, many rows (in
    // blocks without the TEXT), in each text type (a NUL where the mode holds it).
    void textsArriveWhole() {
        QStringList valores = {"NÚÑEZ TUQUERRES", "Ñandú — 玫瑰 🌹\r\n", "", "abc\\", "\\'"};
        valores << "x'; DROP TABLE bunche; --" << QString("a") + QChar(0) + "b" + QChar(0x1a)
                << QString("🌹").repeated(255);
        for (char32_t c = 0x20; c < 0x250; ++c) // every letter, 80 to a value
            (c % 0x50 == 0x20 ? valores.emplaceBack() : valores.last()) += QString::fromUcs4(&c, 1);
        for (const bool nbe : {false, true}) {
            TestStation t(TestDb::get().cadena(TestDb::get().nombre()) +
                          (nbe ? ";INITSTMT=SET SESSION sql_mode='NO_BACKSLASH_ESCAPES'" : ""));
            QCOMPARE(t.db.noBackslashEscapes(), nbe);
            t.db.ejecutar("CREATE TEMPORARY TABLE textos (n INT, c CHAR(255), v VARCHAR(255), "
                          "x TEXT) CHARACTER SET utf8mb4");
            for (int i = 0; i < valores.size(); ++i) {
                const QString v = "'" + t.db.esc(valores[i]) + "'";
                t.db.ejecutar(QString("INSERT INTO textos VALUES (%1, %2, %2, %2)").arg(i).arg(v));
            }
            t.db.ejecutar("INSERT INTO textos VALUES (98, NULL, NULL, REPEAT('ØÚ', 3000))");
            t.db.ejecutar("INSERT INTO textos SELECT n+100*seq, c, v, x FROM textos, seq_1_to_25");
            RecordSet rs =
                t.db.consulta(QString("SELECT n,c,v,%1,HEX(c),HEX(%1) FROM textos ORDER BY n")
                                  .arg(nbe ? "v" : "x"));
            for (; !rs.eof(); rs.moveNext()) {
                QString v = valores.value(rs.value(0).toInt() % 100);
                if (nbe)
                    v.remove(QChar(0));
                const bool larga = !nbe && rs.value(0).toInt() % 100 == 98;
                const QString x = larga ? QString("ØÚ").repeated(3000) : v;
                const QVariant e = v.isNull() ? QVariant(QMetaType::fromType<QString>()) : v;
                if (!v.contains(QChar(0)))
                    QCOMPARE(QVariantList({rs.value(1), rs.value(2), rs.value(3)}),
                             QVariantList({e, e, x}));
                QCOMPARE(rs.text(4) + "/" + rs.text(5), QString(v.toUtf8().toHex().toUpper() + "/" +
                                                                x.toUtf8().toHex().toUpper()));
            }
            QCOMPARE(rs.count(), (valores.size() + 1) * 26);
        }
    }

    // Every value the server holds reads as the server writes it (a time past
    // the day or before it, a zero date, a decimal without fraction as the
    // whole number, unsigned and FLOAT values), named with its accents.
    void valuesAsTheServerWritesThem() {
        TestStation t;
        t.db.ejecutar("set session sql_mode = ''"); // zero dates, as old farms hold them
        RecordSet rs = t.db.consulta(
            "select cast('30:00:00' as time) as `cédula`, cast('-01:00:00' as time) as `Año`, "
            "cast('0000-00-00' as date), cast(75 as decimal(9,2)), cast(-0.5 as decimal(9,2)), "
            "cast(3.14159 as float), cast(1234567 as float), ~0");
        QStringList leido;
        for (int i = 0; i < rs.columnas(); ++i)
            leido << rs.text(i);
        QCOMPARE(leido.join(' '), "30:00:00 -01:00:00 0000-00-00 75 -0.50 3.14159 1234570 "
                                  "18446744073709551615");
        QCOMPARE(rs.nombres().mid(0, 2), QStringList({"cédula", "Año"}));
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "test_db.moc"
