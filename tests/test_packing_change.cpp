// The packing change and the national write-off of a bunch, against a real
// MariaDB server. Hostile packing, box and bunch texts: test_hostile_input.

#include "db/errors.h"
#include "packing/packing_change.h"
#include "packing/write_off.h"
#include "test_support.h"

#include <QTest>

using namespace velmar;
using namespace velmar::test;

namespace {

const QString kBunches = "INSERT INTO bunche (num_bunch, num_pack, caja, estado, cod_client) "
                         "VALUES ";
QStringList bunches() {
    return TestDb::get().filas(
        "select num_bunch, num_pack, caja, estado, cod_client from bunche order by num_bunch");
}

QString bloque(const QString& tallo, const QString& botones, const QString& envoltura) {
    return "Datos anteriores\r\n----------------\r\nLong.Tallo: " + tallo +
           "\r\nBotones: " + botones + "\r\nEnvoltura: " + envoltura + "\r\nCategoria: \r\n";
}

const QString kTodo = "\t* Packing 100 cambiado al Packing 200\r\n";

} // namespace

class TestPackingChange : public QObject {
    Q_OBJECT

private slots:
    void init() { TestDb::get().reset(); }

    void cambiar_data() {
        QTest::addColumn<QString>("alter");      // a column change first, or empty
        QTest::addColumn<QString>("filas");      // bunches before, SQL values of kBunches
        QTest::addColumn<QString>("prepacking"); // planned (packing, cod_client), or empty
        QTest::addColumn<QString>("args");       // packing/new packing[/box/new box]
        QTest::addColumn<QString>("esperado");   // bunches after
        QTest::addColumn<QString>("historia");
        const auto fila = [](const char* nombre, const QString& filas, const QString& plan,
                             const QString& args, const QString& esperado,
                             const QString& historia = kTodo, const QString& alter = "") {
            QTest::newRow(nombre) << alter << filas << plan << args << esperado << historia;
        };
        fila("whole packing, state R only",
             "('A1',100,1,'R','C1'), ('A2',100,2,'R','C1'), ('A3',100,2,'D','C1'), "
             "('A4',100,1,NULL,'C1'), ('D1',200,5,'X','C2')",
             "(200, 'P9')", "100/200",
             "A1|200|1|R|C2 A2|200|2|R|C2 A3|100|2|D|C1 A4|100|1|NULL|C1 D1|200|5|X|C2");
        fila("one box",
             "('A1',100,1,'R','C1'), ('A2',100,2,'R','C1'), ('A3',100,2,'R','C1'), "
             "('A4',100,2,'E','C1'), ('D1',200,1,'R','C2')",
             "", "100/200/2/7",
             "A1|100|1|R|C1 A2|200|7|R|C2 A3|200|7|R|C2 A4|100|2|E|C1 D1|200|1|R|C2",
             "\t* Packing 100 caja: 2 cambiada al Packing 200 caja 7\r\n");
        // the statement ran: the line is written though nothing moved
        fila("nothing to move", "('A1',100,1,'D','C1')", "", "100/200", "A1|100|1|D|C1");
        // an INT box cannot take the empty new box: refused, so no line either
        fila("refused move", "('A1',100,1,'R','C1')", "", "100/200/1", "A1|100|1|R|C1", "");
        // a box of blanks is a box, not the whole packing; no new box: an empty one
        fila("blank box, no new box, text boxes", "('A1',100,' ','R','C1'), ('A2',100,2,'R','C1')",
             "", "100/200/ ", "A1|200||R|000000 A2|100|2|R|C1",
             "\t* Packing 100 caja:   cambiada al Packing 200 caja \r\n",
             "ALTER TABLE bunche MODIFY caja VARCHAR(20)");

        // The destination's customer: its first bunch's, else its planned one.
        // (A Null read as empty: test_velmo's buscarValor; the empty mask: its textRoutines.)
        const auto cliente = [&](const char* nombre, const QString& destino, const QString& plan,
                                 const QString& esperado) {
            QString filas = "('A1',100,1,'R','C1')", despues = "A1|200|1|R|" + esperado;
            if (!destino.isNull()) {
                filas += ", ('D1',200,1,'X'," + destino + ")";
                despues += " D1|200|1|X|" + QString(destino).remove('\'');
            }
            fila(nombre, filas, plan.isNull() ? "" : "(200, " + plan + ")", "100/200", despues);
        };
        cliente("from its bunches", "'C2'", "'P9'", "C2");
        cliente("from prepacking", QString(), "'P9'", "P9");
        cliente("blank customer", "'   '", "'P9'", "P9");
        cliente("neither", QString(), QString(), "000000");
        cliente("blank planned customer", QString(), "' '", "000000");
    }

    void cambiar() {
        QFETCH(QString, alter);
        QFETCH(QString, filas);
        QFETCH(QString, prepacking);
        QFETCH(QString, args);
        QFETCH(QString, esperado);
        QFETCH(QString, historia);
        if (!alter.isEmpty())
            TestDb::get().sql(alter);
        TestDb::get().sql(kBunches + filas);
        if (!prepacking.isEmpty())
            TestDb::get().sql("INSERT INTO prepacking (packing, cod_client) VALUES " + prepacking);
        TestStation t;
        const QStringList a = args.split('/');
        cambiar_packing(t.st, a[0], a[1], a.value(2), a.value(3));
        QCOMPARE(bunches().join(' '), esperado);
        QCOMPARE(t.history.texto(), historia);
        // neither trimmed nor scrolled to the end
        QCOMPARE(t.history.caret(), 0);
        QCOMPARE(t.busy.punteros, QList<int>({11, 0}));
        QCOMPARE(t.busy.captions, QStringList({"Inicializando ...", "Buscando ...", ""}));
        QCOMPARE(t.busy.repintados, QList<bool>({true, true, true}));
        QCOMPARE(t.prompts.eventos.size(), historia.isEmpty() ? 1 : 0);
        if (historia.isEmpty())
            QVERIFY(t.prompts.eventos[0].startsWith("0|velmar|") &&
                    !t.prompts.eventos[0].contains("Consulta Sql"));
        QVERIFY(!t.report.escrito());
        if (!alter.isEmpty())
            TestDb::get().recrear();
    }

    void lookupFailureResumesWithTheNextFallback() {
        TestStation t;
        TestDb::get().sql(kBunches + "('A1',100,1,'R','C1')");
        TestDb::get().sql("RENAME TABLE prepacking TO prepacking_x");
        cambiar_packing(t.st, "100", "200");
        TestDb::get().sql("RENAME TABLE prepacking_x TO prepacking");
        QCOMPARE(t.prompts.cajas.size(), 1);
        QVERIFY(t.prompts.cajas[0].texto.startsWith("Consulta Sql "));
        QCOMPARE(bunches().join(' '), QString("A1|200|1|R|000000"));
        QCOMPARE(t.history.texto(), kTodo);
        QCOMPARE(t.busy.captions,
                 QStringList({"Inicializando ...", "Buscando ...", "Historia de operaciones", ""}));
        QCOMPARE(t.busy.repintados, QList<bool>({true, true, false, true}));
        QCOMPARE(t.busy.punteros, QList<int>({11, 0, 0}));
    }

    void baja_data() {
        QTest::addColumn<QString>("fila");    // (num_bunch, estado, cod_varie, num_tallos,
                                              // tipo_env, observa, categoria); only a number: none
        QTest::addColumn<QString>("observa"); // remarks written, empty: not available
        const auto baja = [](const char* nombre, const QString& fila, const QString& observa) {
            QTest::newRow(nombre) << fila << observa;
        };
        baja("state R", "'R1','R',NULL,NULL,NULL,NULL,NULL", "");
        baja("no such bunch", "'NO1'", "");
        baja("null state", "'B1',NULL,'FRE50',25,3,NULL,'E'", bloque("50", "25", "CAPUCHON"));
        baja("blank state and remarks", "'B2','','FRE60',20,3,'',NULL",
             bloque("60", "20", "CAPUCHON"));
        baja("remarks kept", "'B3',NULL,'FRE50',25,3,'nota\r\nsegunda',NULL", "nota\r\nsegunda");
        baja("nulls", "'N1',NULL,NULL,NULL,NULL,NULL,NULL", bloque("", "0", "SIN ENVOLTURA"));
        baja("short code, unknown wrapping", "'N2',NULL,'FRE',7,8,NULL,NULL", bloque("", "7", ""));
    }

    void baja() {
        QFETCH(QString, fila);
        QFETCH(QString, observa);
        const QString bunche = fila.section(',', 0, 0).remove('\'');
        TestDb& db = TestDb::get();
        db.sql("INSERT INTO envoltura VALUES (3, 'CAPUCHON'), (0, 'SIN ENVOLTURA')");
        if (fila.contains(','))
            db.sql("INSERT INTO bunche (num_bunch, estado, cod_varie, num_tallos, tipo_env, "
                   "observa, categoria) VALUES (" +
                   fila + ")");
        TestStation t;
        // the session's zone puts the server's date a day off the workstation's
        t.db.ejecutar(
            QString("SET time_zone = '%1'")
                .arg(QDateTime::currentDateTimeUtc().time().hour() < 12 ? "-12:00" : "+14:00"));
        const QString hoy = t.db.consulta("select date(sysdate())").text(0);
        QVERIFY(hoy != QDate::currentDate().toString("yyyy-MM-dd"));
        t.history.agregar_historia("antes");
        baja_nacional(t.st, bunche);
        // still available after it: a second write-off dates it again and
        // keeps the first remarks
        db.sql("UPDATE bunche SET num_tallos=99, fecha_embarque=NULL");
        baja_nacional(t.st, bunche);
        QCOMPARE(db.filas("select categoria, transformado, observa, fecha_embarque from bunche"),
                 !fila.contains(',') ? QStringList()
                 : observa.isEmpty() ? QStringList{"NULL|NULL|NULL|NULL"}
                                     : QStringList{"N|SI|" + observa + "|" + hoy});
        const QString linea =
            observa.isEmpty()
                ? "\t* Error: Bunche: " + bunche + " no se encuentra en disponibilidad\r\n"
                : "\t* Bunche: " + bunche + " dado de baja a NACIONAL\r\n";
        QCOMPARE(t.history.texto(), "antes\r\n" + linea + linea);
        QCOMPARE(t.history.caret(), int(t.history.texto().size()));
        QCOMPARE(t.input.enfocado, 2);
        QVERIFY(t.prompts.eventos.isEmpty());
    }

    // A failing update reaches the caller: nothing written, no success line.
    void writeOffFailureReachesTheCaller() {
        TestStation t;
        TestDb::get().sql("INSERT INTO bunche (num_bunch) VALUES ('B1')");
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
