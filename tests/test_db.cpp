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

    // Every byte comes back, in both modes (a NUL only where the mode can hold it).
    void quotingRoundTrips() {
        const QString valores[] = {"x'; DROP TABLE bunche; --", "\\'", "abc\\",
                                   QString("a") + QChar(0) + "b" + QChar(0x1a),
                                   "Ñandú — 玫瑰 🌹\r\n"};
        for (const bool nbe : {false, true}) {
            TestStation t(TestDb::get().cadena(TestDb::get().nombre()) +
                          (nbe ? ";INITSTMT=SET SESSION sql_mode='NO_BACKSLASH_ESCAPES'" : ""));
            QCOMPARE(t.db.noBackslashEscapes(), nbe);
            for (const QString& valor : valores) {
                const QString lit = "'" + t.db.esc(valor) + "'";
                RecordSet rs = t.db.consulta("select " + lit + ", hex(" + lit + ")");
                const QString esperado = nbe ? QString(valor).remove(QChar(0)) : valor;
                QCOMPARE(rs.text(1), QString(esperado.toUtf8().toHex().toUpper()));
                if (!esperado.contains(QChar(0)))
                    QCOMPARE(rs.text(0), esperado);
            }
        }
    }

    // What a column holds is what the station reads, and what it writes is
    // what the column holds: every letter up to U+024F, other planes, long
    // texts read in pieces, empty and Null, in each text type the farm uses.
    void textsArriveWhole() {
        TestStation t;
        t.db.ejecutar("CREATE TEMPORARY TABLE textos (n INT, c CHAR(255), v VARCHAR(255), x TEXT) "
                      "CHARACTER SET utf8mb4");
        QStringList valores = {"NÚÑEZ TUQUERRES", "JESÚS ØRSTED", "玫瑰 🌹", ""};
        for (char32_t desde = 0x20; desde < 0x250; desde += 0x50) {
            QString trozo;
            for (char32_t c = desde; c < desde + 0x50 && c < 0x250; ++c)
                trozo += QString::fromUcs4(&c, 1);
            valores << trozo;
        }
        for (int i = 0; i < valores.size(); ++i) {
            const QString v = "'" + t.db.esc(valores[i]) + "'";
            t.db.ejecutar(QString("INSERT INTO textos VALUES (%1, %2, %2, %2)").arg(i).arg(v));
        }
        t.db.ejecutar("INSERT INTO textos VALUES (98, NULL, NULL, REPEAT('ØÚ', 3000))");
        RecordSet rs = t.db.consulta("SELECT n, c, v, x, HEX(c), HEX(x) FROM textos ORDER BY n");
        for (; !rs.eof(); rs.moveNext()) {
            const QString v = valores.value(rs.value(0).toInt());
            const QString x = rs.value(0).toInt() == 98 ? QString("ØÚ").repeated(3000) : v;
            const QVariant e = v.isNull() ? QVariant(QMetaType::fromType<QString>()) : v;
            QCOMPARE(QVariantList({rs.value(1), rs.value(2), rs.value(3)}),
                     QVariantList({e, e, x}));
            QCOMPARE(rs.text(4) + "/" + rs.text(5),
                     QString(v.toUtf8().toHex().toUpper() + "/" + x.toUtf8().toHex().toUpper()));
        }
        QCOMPARE(rs.count(), valores.size() + 1);
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "test_db.moc"
