// velmo's lookup rule and the quoting round trip on a real server.

#include "station/velmo.h"
#include "test_support.h"

#include <QTest>

using namespace velmar;
using namespace velmar::test;

class TestVelmo : public QObject {
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
};

QTEST_GUILESS_MAIN(TestVelmo)
#include "test_velmo.moc"
