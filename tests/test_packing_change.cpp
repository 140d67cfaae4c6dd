// The packing change and the national write-off of a bunch, against a real
// MariaDB server.

#include "context/errors.h"
#include "packing/packing_change.h"
#include "packing/write_off.h"
#include "test_support.h"

#include <QTest>

using namespace velmar;
using namespace velmar::test;

namespace {

void bunche(const QString& num, const QString& pack, const QString& caja, const QString& estado,
            const QString& cliente) {
    TestDb::get().sql(QString("INSERT INTO bunche (num_bunch, num_pack, caja, estado, cod_client) "
                              "VALUES ('%1', %2, %3, %4, %5)")
                          .arg(num, pack, caja, estado, cliente));
}

QStringList bunches() {
    return TestDb::get().filas(
        "select num_bunch, num_pack, caja, estado, cod_client from bunche order by num_bunch");
}

const QStringList kCaptions = {"Inicializando ...", "Buscando ...", ""};

} // namespace

class TestPackingChange : public QObject {
    Q_OBJECT

private slots:
    void init() { TestDb::get().reset(); }

    // -------------------------------------------------------- cambiar_packing

    void wholePackingMovesOnlyStateR() {
        TestStation t;
        bunche("A1", "100", "1", "'R'", "'C1'");
        bunche("A2", "100", "2", "'R'", "'C1'");
        bunche("A3", "100", "2", "'D'", "'C1'");
        bunche("A4", "100", "1", "NULL", "'C1'");
        bunche("D1", "200", "5", "'X'", "'C2'");
        TestDb::get().sql("INSERT INTO prepacking (packing, cod_client) VALUES (200, 'P9')");
        cambiar_packing(t.st, "100", "200");
        QCOMPARE(bunches(), QStringList({"A1|200|1|R|C2", "A2|200|2|R|C2", "A3|100|2|D|C1",
                                         "A4|100|1|NULL|C1", "D1|200|5|X|C2"}));
        QCOMPARE(t.history.texto(), QString("\t* Packing 100 cambiado al Packing 200\r\n"));
        // neither trimmed nor scrolled to the end
        QCOMPARE(t.history.caret(), 0);
        QCOMPARE(t.busy.punteros, QList<int>({11, 0}));
        QCOMPARE(t.busy.captions, kCaptions);
        QCOMPARE(t.busy.repintados, QList<bool>({true, true, true}));
        QVERIFY(t.prompts.eventos.isEmpty());
        QVERIFY(!t.report.escrito());
    }

    void boxMoveMovesOnlyThatBox() {
        TestStation t;
        bunche("A1", "100", "1", "'R'", "'C1'");
        bunche("A2", "100", "2", "'R'", "'C1'");
        bunche("A3", "100", "2", "'R'", "'C1'");
        bunche("A4", "100", "2", "'E'", "'C1'");
        bunche("D1", "200", "1", "'R'", "'C2'");
        cambiar_packing(t.st, "100", "200", "2", "7");
        QCOMPARE(bunches(), QStringList({"A1|100|1|R|C1", "A2|200|7|R|C2", "A3|200|7|R|C2",
                                         "A4|100|2|E|C1", "D1|200|1|R|C2"}));
        QCOMPARE(t.history.texto(),
                 QString("\t* Packing 100 caja: 2 cambiada al Packing 200 caja 7\r\n"));
        QCOMPARE(t.busy.captions, kCaptions);
        QVERIFY(t.prompts.eventos.isEmpty());
    }

    void destinationCustomer_data() {
        QTest::addColumn<QString>("destino");    // bunch of the destination, or empty
        QTest::addColumn<QString>("prepacking"); // its planned customer, or empty
        QTest::addColumn<QString>("esperado");
        QTest::newRow("from its bunches") << "'C2'"
                                          << "'P9'"
                                          << "C2";
        QTest::newRow("from prepacking") << ""
                                         << "'P9'"
                                         << "P9";
        QTest::newRow("bunch without customer") << "NULL"
                                                << "'P9'"
                                                << "P9";
        QTest::newRow("blank customer") << "'   '"
                                        << "'P9'"
                                        << "P9";
        QTest::newRow("neither") << ""
                                 << ""
                                 << "000000";
        QTest::newRow("blank planned customer") << ""
                                                << "' '"
                                                << "000000";
        QTest::newRow("null planned customer") << ""
                                               << "NULL"
                                               << "000000";
    }

    void destinationCustomer() {
        QFETCH(QString, destino);
        QFETCH(QString, prepacking);
        QFETCH(QString, esperado);
        TestStation t;
        bunche("A1", "100", "1", "'R'", "'C1'");
        if (!destino.isEmpty())
            bunche("D1", "200", "1", "'X'", destino);
        if (!prepacking.isEmpty())
            TestDb::get().sql("INSERT INTO prepacking (packing, cod_client) VALUES (200, " +
                              prepacking + ")");
        cambiar_packing(t.st, "100", "200");
        QCOMPARE(TestDb::get().valor("select cod_client from bunche where num_bunch='A1'"),
                 esperado);
        QVERIFY(t.prompts.eventos.isEmpty());
    }

    void emptyMaskCountsAsNoCustomer() {
        TestDb::get().sql("ALTER TABLE bunche MODIFY cod_client VARCHAR(20)");
        TestDb::get().sql("ALTER TABLE prepacking MODIFY cod_client VARCHAR(20)");
        TestStation t;
        bunche("A1", "100", "1", "'R'", "'C1'");
        bunche("A2", "100", "2", "'R'", "'C1'");
        bunche("D1", "200", "1", "'X'", "'__-___-____'");
        TestDb::get().sql("INSERT INTO prepacking (packing, cod_client) VALUES (200, 'P9'), "
                          "(300, '__-___-____')");
        cambiar_packing(t.st, "100", "200", "1", "1");
        cambiar_packing(t.st, "100", "300", "2", "1");
        QCOMPARE(TestDb::get().filas("select num_bunch, num_pack, cod_client from bunche "
                                     "where num_bunch like 'A%' order by num_bunch"),
                 QStringList({"A1|200|P9", "A2|300|000000"}));
        TestDb::get().recrear();
    }

    void historyLineEvenWhenNothingMoves() {
        TestStation t;
        bunche("A1", "100", "1", "'D'", "'C1'");
        cambiar_packing(t.st, "100", "200");
        cambiar_packing(t.st, "300", "200", "4", "5");
        QCOMPARE(bunches(), QStringList({"A1|100|1|D|C1"}));
        QCOMPARE(t.history.texto(), QString("\t* Packing 100 cambiado al Packing 200\r\n"
                                            "\t* Packing 300 caja: 4 cambiada al Packing 200 "
                                            "caja 5\r\n"));
        QVERIFY(t.prompts.eventos.isEmpty());
    }

    void textKeysBlankBoxAndApostrophes() {
        TestDb::get().sql(
            "ALTER TABLE bunche MODIFY num_pack VARCHAR(20), MODIFY caja VARCHAR(20)");
        TestStation t;
        bunche("A1", "'1''0'", "'2'", "'R'", "'C1'");
        bunche("A2", "'1''0'", "' '", "'R'", "'C1'");
        bunche("A3", "'1''0'", "'3'", "'R'", "'C1'");
        bunche("D1", "'2''0'", "'1'", "'X'", "'O''K'");
        // no destination box: the bunches get an empty box
        cambiar_packing(t.st, "1'0", "2'0", "2");
        // a box of blanks is a box, not the whole packing
        cambiar_packing(t.st, "1'0", "2'0", " ", "9");
        QCOMPARE(bunches(), QStringList({"A1|2'0||R|O'K", "A2|2'0|9|R|O'K", "A3|1'0|3|R|C1",
                                         "D1|2'0|1|X|O'K"}));
        QCOMPARE(t.history.texto(), QString("\t* Packing 1'0 caja: 2 cambiada al Packing 2'0 caja "
                                            "\r\n"
                                            "\t* Packing 1'0 caja:   cambiada al Packing 2'0 caja "
                                            "9\r\n"));
        // an injection through the origin moves nothing
        cambiar_packing(t.st, "x' or '1'='1", "2'0");
        QCOMPARE(TestDb::get().valor("select count(*) from bunche where num_pack='1''0'"),
                 QString("1"));
        QVERIFY(t.prompts.eventos.isEmpty());
        TestDb::get().recrear();
    }

    void lookupFailureResumesWithTheNextFallback() {
        TestStation t;
        bunche("A1", "100", "1", "'R'", "'C1'");
        TestDb::get().sql("RENAME TABLE prepacking TO prepacking_x");
        cambiar_packing(t.st, "100", "200");
        TestDb::get().sql("RENAME TABLE prepacking_x TO prepacking");
        QCOMPARE(t.prompts.cajas.size(), 1);
        QVERIFY(t.prompts.cajas[0].texto.startsWith("Consulta Sql "));
        QCOMPARE(bunches(), QStringList({"A1|200|1|R|000000"}));
        QCOMPARE(t.history.texto(), QString("\t* Packing 100 cambiado al Packing 200\r\n"));
        QCOMPARE(t.busy.captions,
                 QStringList({"Inicializando ...", "Buscando ...", "Historia de operaciones", ""}));
        QCOMPARE(t.busy.repintados, QList<bool>({true, true, false, true}));
        QCOMPARE(t.busy.punteros, QList<int>({11, 0, 0}));
    }

    void refusedMoveIsNotWrittenAsDone() {
        TestStation t;
        bunche("A1", "100", "1", "'R'", "'C1'");
        // an INT box cannot take the empty destination box: the statement fails
        cambiar_packing(t.st, "100", "200", "1");
        QCOMPARE(t.history.texto(), QString());
        QCOMPARE(t.prompts.cajas.size(), 1);
        QCOMPARE(t.prompts.cajas[0].estilo, 0);
        QVERIFY(!t.prompts.cajas[0].texto.startsWith("Consulta Sql"));
        QCOMPARE(bunches(), QStringList({"A1|100|1|R|C1"}));
        QCOMPARE(t.busy.caption(), QString());
        QCOMPARE(t.busy.puntero(), 0);
    }

    // ---------------------------------------------------------- baja_nacional

    void writeOffUnavailable() {
        TestStation t;
        TestDb::get().sql("INSERT INTO bunche (num_bunch, estado, observa) VALUES ('R1', 'R', "
                          "NULL)");
        t.history.agregar_historia("antes");
        for (const char* b : {"R1", "NO1"})
            baja_nacional(t.st, b);
        QCOMPARE(t.history.texto(),
                 QString("antes\r\n"
                         "\t* Error: Bunche: R1 no se encuentra en disponibilidad\r\n"
                         "\t* Error: Bunche: NO1 no se encuentra en disponibilidad\r\n"));
        QCOMPARE(t.history.caret(), int(t.history.texto().size()));
        QCOMPARE(t.input.enfocado, 2);
        QCOMPARE(TestDb::get().filas("select categoria, transformado, observa, fecha_embarque "
                                     "from bunche"),
                 QStringList({"NULL|NULL|NULL|NULL"}));
        QVERIFY(t.prompts.eventos.isEmpty());
    }

    void writeOffAvailableBuildsTheBlockOnce() {
        TestStation t;
        TestDb::get().sql("INSERT INTO envoltura VALUES (3, 'CAPUCHON')");
        TestDb::get().sql("INSERT INTO bunche (num_bunch, estado, cod_varie, num_tallos, tipo_env, "
                          "observa, categoria) VALUES ('B1', NULL, 'FRE50', 25, 3, NULL, 'E'), "
                          "('B2', '', 'FRE60', 20, 3, '', NULL)");
        baja_nacional(t.st, "B1");
        baja_nacional(t.st, "B2");
        const QString bloque1 = "Datos anteriores\r\n----------------\r\nLong.Tallo: 50\r\n"
                                "Botones: 25\r\nEnvoltura: CAPUCHON\r\nCategoria: \r\n";
        const QString bloque2 = "Datos anteriores\r\n----------------\r\nLong.Tallo: 60\r\n"
                                "Botones: 20\r\nEnvoltura: CAPUCHON\r\nCategoria: \r\n";
        const QString hoy = TestDb::get().valor("select current_date()");
        QCOMPARE(TestDb::get().filas("select num_bunch, estado, categoria, transformado, "
                                     "fecha_embarque from bunche order by num_bunch"),
                 QStringList({"B1|NULL|N|SI|" + hoy, "B2||N|SI|" + hoy}));
        QCOMPARE(TestDb::get().valor("select observa from bunche where num_bunch='B1'"), bloque1);
        QCOMPARE(TestDb::get().valor("select observa from bunche where num_bunch='B2'"), bloque2);
        QCOMPARE(t.history.texto(), QString("\t* Bunche: B1 dado de baja a NACIONAL\r\n"
                                            "\t* Bunche: B2 dado de baja a NACIONAL\r\n"));
        QCOMPARE(t.history.caret(), int(t.history.texto().size()));
        QCOMPARE(t.input.enfocado, 2);

        // still available: a second write-off keeps the first remarks
        TestDb::get().sql("UPDATE bunche SET num_tallos=99, fecha_embarque='2000-01-01'");
        baja_nacional(t.st, "B1");
        QCOMPARE(TestDb::get().valor("select observa from bunche where num_bunch='B1'"), bloque1);
        QCOMPARE(TestDb::get().valor("select fecha_embarque from bunche where num_bunch='B1'"),
                 hoy);
        QVERIFY(t.prompts.eventos.isEmpty());
    }

    void writeOffKeepsExistingRemarks() {
        TestStation t;
        TestDb::get().sql("INSERT INTO bunche (num_bunch, cod_varie, num_tallos, observa) VALUES "
                          "('B''1', 'FRE50', 25, 'nota d''antes\r\nsegunda')");
        baja_nacional(t.st, "B'1");
        QCOMPARE(TestDb::get().filas("select num_bunch, categoria, transformado, observa from "
                                     "bunche"),
                 QStringList({"B'1|N|SI|nota d'antes\r\nsegunda"}));
        QCOMPARE(t.history.texto(), QString("\t* Bunche: B'1 dado de baja a NACIONAL\r\n"));
        // an injected criterion finds nothing
        baja_nacional(t.st, "x' or '1'='1");
        QVERIFY(t.history.texto().endsWith(
            "\t* Error: Bunche: x' or '1'='1 no se encuentra en disponibilidad\r\n"));
        QVERIFY(t.prompts.eventos.isEmpty());
    }

    void writeOffNullsAndShortCode() {
        TestStation t;
        TestDb::get().sql("INSERT INTO envoltura VALUES (0, 'SIN ENVOLTURA')");
        TestDb::get().sql("INSERT INTO bunche (num_bunch, cod_varie, num_tallos, tipo_env) VALUES "
                          "('N1', NULL, NULL, NULL), ('N2', 'FRE', 7, 8), ('N3', 'FR', 0, 0)");
        for (const char* b : {"N1", "N2", "N3"})
            baja_nacional(t.st, b);
        QCOMPARE(TestDb::get().filas("select observa from bunche order by num_bunch"),
                 QStringList({"Datos anteriores\r\n----------------\r\nLong.Tallo: \r\n"
                              "Botones: 0\r\nEnvoltura: SIN ENVOLTURA\r\nCategoria: \r\n",
                              "Datos anteriores\r\n----------------\r\nLong.Tallo: \r\n"
                              "Botones: 7\r\nEnvoltura: \r\nCategoria: \r\n",
                              "Datos anteriores\r\n----------------\r\nLong.Tallo: \r\n"
                              "Botones: 0\r\nEnvoltura: SIN ENVOLTURA\r\nCategoria: \r\n"}));
        QVERIFY(t.prompts.eventos.isEmpty());
    }

    void writeOffDateFromTheServer() {
        TestStation t;
        // The station's session lives in a zone whose date is not the
        // workstation's: the written date must be the server's.
        const int hora = QDateTime::currentDateTimeUtc().time().hour();
        t.db.ejecutar(hora < 12 ? "SET time_zone = '-12:00'" : "SET time_zone = '+14:00'");
        const QString servidor = t.db.consulta("select date(sysdate())").text(0);
        QVERIFY(servidor != QDate::currentDate().toString("yyyy-MM-dd"));
        TestDb::get().sql("INSERT INTO bunche (num_bunch) VALUES ('B1')");
        baja_nacional(t.st, "B1");
        QCOMPARE(TestDb::get().valor("select fecha_embarque from bunche"), servidor);
    }

    void writeOffFailuresReachTheCaller() {
        TestStation t;
        TestDb::get().sql("INSERT INTO bunche (num_bunch, tipo_env) VALUES ('B1', 2)");
        TestDb::get().sql("RENAME TABLE envoltura TO envoltura_x");
        QVERIFY_THROWS_EXCEPTION(DbError, baja_nacional(t.st, "B1"));
        TestDb::get().sql("RENAME TABLE envoltura_x TO envoltura");
        QCOMPARE(t.prompts.cajas.size(), 1);
        QVERIFY(t.prompts.cajas[0].texto.startsWith("Consulta Sql "));

        // a failing update: nothing written, no success line
        TestDb::get().sql("CREATE TRIGGER no_baja BEFORE UPDATE ON bunche FOR EACH ROW "
                          "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'bloqueado'");
        QVERIFY_THROWS_EXCEPTION(DbError, baja_nacional(t.st, "B1"));
        TestDb::get().sql("DROP TRIGGER no_baja");
        QCOMPARE(TestDb::get().filas("select categoria, observa from bunche"),
                 QStringList({"NULL|NULL"}));
        QCOMPARE(t.history.texto(), QString());
    }
};

QTEST_MAIN(TestPackingChange)
#include "test_packing_change.moc"
