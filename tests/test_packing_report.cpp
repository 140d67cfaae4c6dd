// The packing report, the box report and the completion mark, against a real
// MariaDB server.

#include "context/errors.h"
#include "packing/completion.h"
#include "packing/packing_report.h"
#include "test_support.h"

#include <QTest>

using namespace velmar;
using namespace velmar::test;

namespace {

const QString kSep = "---------------------------------------\r\n";

void variedad(const QString& cod, const QString& nombre) {
    TestDb::get().sql(
        QString("INSERT INTO variedad (cod_varie, vnombre) VALUES ('%1', '%2')").arg(cod, nombre));
}

// n bunches of one variety in a packing's box, `tallos` stems each.
void bunches(int n, const QString& pack, const QString& caja, const QString& varie, int tallos,
             const QString& extra = "NULL", const QString& cliente = "C1") {
    static int sig = 0;
    for (int i = 0; i < n; ++i)
        TestDb::get().sql(QString("INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, "
                                  "num_tallos, nacional, cod_client) VALUES ('B%1', '%2', '%3', "
                                  "'%4', %5, %6, '%7')")
                              .arg(++sig)
                              .arg(QString(pack).replace("'", "''"), caja, varie)
                              .arg(tallos)
                              .arg(extra, cliente));
}

} // namespace

class TestPackingReport : public QObject {
    Q_OBJECT

private slots:
    void init() {
        TestDb::get().reset();
        variedad("V1", "VARIETY A 50");
        variedad("V2", "VARIETY B 60");
    }

    // ------------------------------------------------------------ reporte_pck

    void oneBoxCountOfOneAndMore() {
        TestStation t;
        bunches(3, "850", "1", "V1", 25);
        bunches(1, "850", "1", "V2", 25);
        bunches(2, "851", "1", "V1", 25); // another packing
        reporte_pck(t.st, "850");
        QCOMPARE(t.report.texto(), "PACKING: 850 EN PROCESO \r\n" + kSep +
                                       " Caja: 1\r\n"
                                       "  (3) bunches de VARIETY A 50 / 75\r\n"
                                       "  (1) bunche de VARIETY B 60 / 25\r\n"
                                       "Total bunches: 4, Total tallos: 100\r\n" +
                                       kSep);
        QVERIFY(t.report.visible());
        QCOMPARE(t.busy.punteros, QList<int>({11, 0}));
        QCOMPARE(t.busy.captions, QStringList({"Inicializando ...", "Buscando ...",
                                               "Recuperando información ...", ""}));
        QCOMPARE(t.busy.repintados, QList<bool>({true, true, true, true}));
        QVERIFY(t.prompts.eventos.isEmpty());
        QCOMPARE(t.history.texto(), QString());
    }

    void severalBoxesInOrderAndOneBoxAlone() {
        TestStation t;
        // inserted out of order: the report still groups each box's rows
        bunches(2, "850", "10", "V1", 20);
        bunches(1, "850", "2", "V2", 30);
        bunches(3, "850", "1", "V1", 25);
        bunches(2, "850", "2", "V1", 25);
        bunches(1, "850", "10", "V2", 40);
        reporte_pck(t.st, "850");
        QCOMPARE(t.report.texto(), "PACKING: 850 EN PROCESO \r\n" + kSep +
                                       " Caja: 1\r\n"
                                       "  (3) bunches de VARIETY A 50 / 75\r\n"
                                       "Total bunches: 3, Total tallos: 75\r\n" +
                                       kSep +
                                       " Caja: 2\r\n"
                                       "  (2) bunches de VARIETY A 50 / 50\r\n"
                                       "  (1) bunche de VARIETY B 60 / 30\r\n"
                                       "Total bunches: 3, Total tallos: 80\r\n" +
                                       kSep +
                                       " Caja: 10\r\n"
                                       "  (2) bunches de VARIETY A 50 / 40\r\n"
                                       "  (1) bunche de VARIETY B 60 / 40\r\n"
                                       "Total bunches: 3, Total tallos: 80\r\n" +
                                       kSep);

        reporte_pck(t.st, "850", "2");
        QCOMPARE(t.report.texto(), "PACKING: 850 EN PROCESO \r\n" + kSep +
                                       " Caja: 2\r\n"
                                       "  (2) bunches de VARIETY A 50 / 50\r\n"
                                       "  (1) bunche de VARIETY B 60 / 30\r\n"
                                       "Total bunches: 3, Total tallos: 80\r\n" +
                                       kSep);
        QVERIFY(t.prompts.eventos.isEmpty());
    }

    void stateFromTheCompletionMark() {
        TestStation t;
        bunches(1, "850", "1", "V1", 25, "'C'");
        bunches(1, "851", "1", "V1", 25, "'X'");
        bunches(1, "852", "1", "V1", 25, "NULL");
        bunches(1, "853", "1", "V1", 25, "''");
        bunches(1, "854", "1", "V1", 25, "'c'");
        const QStringList esperado = {" EMBARCADO  ", " EN PROCESO ", " EN PROCESO ",
                                      " EN PROCESO ", " EN PROCESO "};
        for (int i = 0; i < esperado.size(); ++i) {
            const QString pack = QString::number(850 + i);
            reporte_pck(t.st, pack);
            QCOMPARE(t.report.texto().section("\r\n", 0, 0), "PACKING: " + pack + esperado[i]);
        }
        // the state belongs to the packing, not to the box asked for
        bunches(1, "850", "2", "V2", 10, "NULL");
        reporte_pck(t.st, "850", "2");
        QCOMPARE(t.report.texto().section("\r\n", 0, 0), QString("PACKING: 850 EMBARCADO  "));
    }

    void noDataWithAndWithoutABox() {
        TestStation t;
        bunches(2, "850", "1", "V1", 25);
        t.report.set("anterior");
        reporte_pck(t.st, "999");
        QCOMPARE(t.report.texto(), QString("No hay datos para el packing: 999"));
        QCOMPARE(t.busy.punteros, QList<int>({11, 0}));
        QCOMPARE(t.busy.captions, QStringList({"Inicializando ...", "Buscando ...", ""}));

        reporte_pck(t.st, "850", "7");
        QCOMPARE(t.report.texto(), QString("No hay datos para el packing: 850"));
        // a box of blanks is a box, not the whole packing
        reporte_pck(t.st, "850", " ");
        QCOMPARE(t.report.texto(), QString("No hay datos para el packing: 850"));
        QVERIFY(t.report.visible());
        QVERIFY(t.prompts.eventos.isEmpty());
    }

    void twoVarietiesOfOneNameAreOneRow() {
        TestStation t;
        variedad("V3", "VARIETY A 50");
        bunches(2, "850", "1", "V1", 25);
        bunches(3, "850", "1", "V3", 20);
        reporte_pck(t.st, "850");
        QCOMPARE(t.report.texto(), "PACKING: 850 EN PROCESO \r\n" + kSep +
                                       " Caja: 1\r\n"
                                       "  (5) bunches de VARIETY A 50 / 110\r\n"
                                       "Total bunches: 5, Total tallos: 110\r\n" +
                                       kSep);
    }

    void runTwiceKeepsOnlyTheSecond() {
        TestStation t;
        bunches(1, "850", "1", "V1", 25);
        bunches(1, "851", "4", "V2", 30);
        reporte_pck(t.st, "850");
        reporte_pck(t.st, "851");
        QCOMPARE(t.report.texto(), "PACKING: 851 EN PROCESO \r\n" + kSep +
                                       " Caja: 4\r\n"
                                       "  (1) bunche de VARIETY B 60 / 30\r\n"
                                       "Total bunches: 1, Total tallos: 30\r\n" +
                                       kSep);
    }

    void nullStemsAndBoxZeroKeepTheirLines() {
        TestStation t;
        TestDb::get().sql("INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos) "
                          "VALUES ('N1', 850, 0, 'V1', NULL), ('N2', 850, 1, 'V2', 10)");
        reporte_pck(t.st, "850");
        // box 0 is a box like any other: its own line and its own totals
        QCOMPARE(t.report.texto(), "PACKING: 850 EN PROCESO \r\n" + kSep +
                                       " Caja: 0\r\n"
                                       "  (1) bunche de VARIETY A 50 / \r\n"
                                       "Total bunches: 1, Total tallos: 0\r\n" +
                                       kSep +
                                       " Caja: 1\r\n"
                                       "  (1) bunche de VARIETY B 60 / 10\r\n"
                                       "Total bunches: 1, Total tallos: 10\r\n" +
                                       kSep);
        QVERIFY(t.prompts.eventos.isEmpty());
    }

    void textBoxNumbersAndApostrophes() {
        TestDb::get().sql(
            "ALTER TABLE bunche MODIFY num_pack VARCHAR(20), MODIFY caja VARCHAR(20)");
        TestStation t;
        bunches(1, "P'1", "B", "V1", 5);
        bunches(2, "P'1", "A", "V2", 7);
        reporte_pck(t.st, "P'1");
        QCOMPARE(t.report.texto(), "PACKING: P'1 EN PROCESO \r\n" + kSep +
                                       " Caja: A\r\n"
                                       "  (2) bunches de VARIETY B 60 / 14\r\n"
                                       "Total bunches: 2, Total tallos: 14\r\n" +
                                       kSep +
                                       " Caja: B\r\n"
                                       "  (1) bunche de VARIETY A 50 / 5\r\n"
                                       "Total bunches: 1, Total tallos: 5\r\n" +
                                       kSep);
        reporte_pck(t.st, "P'1", "x' or '1'='1");
        QCOMPARE(t.report.texto(), QString("No hay datos para el packing: P'1"));
        QVERIFY(t.prompts.eventos.isEmpty());
        TestDb::get().recrear();
    }

    void databaseFailureResumesToTheNoDataText() {
        TestStation t;
        bunches(2, "850", "1", "V1", 25, "'C'");
        TestDb::get().sql("RENAME TABLE variedad TO variedad_x");
        reporte_pck(t.st, "850");
        TestDb::get().sql("RENAME TABLE variedad_x TO variedad");
        QCOMPARE(t.prompts.cajas.size(), 1);
        QVERIFY2(t.prompts.cajas[0].texto.startsWith("Consulta Sql ") &&
                     t.prompts.cajas[0].texto.contains("variedad"),
                 qPrintable(t.prompts.cajas[0].texto));
        QCOMPARE(t.prompts.cajas[0].estilo, 0);
        QCOMPARE(t.report.texto(), QString("No hay datos para el packing: 850"));
        QCOMPARE(t.busy.punteros, QList<int>({11, 0, 0}));
        QCOMPARE(t.busy.captions,
                 QStringList({"Inicializando ...", "Buscando ...", "Historia de operaciones", ""}));
        QCOMPARE(t.busy.repintados, QList<bool>({true, true, false, true}));

        // both queries fail: a box for each, and the run still ends
        t.prompts.limpiar();
        TestDb::get().sql("RENAME TABLE bunche TO bunche_x");
        reporte_pck(t.st, "850");
        TestDb::get().sql("RENAME TABLE bunche_x TO bunche");
        QCOMPARE(t.prompts.cajas.size(), 2);
        QCOMPARE(t.report.texto(), QString("No hay datos para el packing: 850"));
        QCOMPARE(t.busy.caption(), QString());
        QCOMPARE(t.busy.puntero(), 0);
    }

    // ---------------------------------------------------------- imprimir_caja

    void boxReportOneVariety() {
        TestStation t;
        TestDb::get().sql("INSERT INTO clientes VALUES ('C1', 'CLIENTE UNO', 'MARK TEXT')");
        bunches(12, "850", "3", "V1", 25);
        bunches(1, "850", "4", "V2", 25);
        imprimir_caja(t.st, "850", "3", "123-456 789");
        QCOMPARE(t.report.texto(), "PACKING: 850\r\n" + kSep +
                                       "ROSES\r\n"
                                       "\r\n"
                                       " AWB:123-456 789\r\n"
                                       " Caja: 3\r\n"
                                       " Marcar: MARK TEXT\r\n"
                                       " Variedad:VARIETY A-12\r\n");
        QCOMPARE(t.prompts.eventos, QStringList({"0|velmar|imprime caja: 3"}));
        QVERIFY(t.report.visible());
        QCOMPARE(t.busy.punteros, QList<int>({11, 0}));
        QCOMPARE(t.busy.captions, QStringList({"Inicializando ...", "Buscando ...",
                                               "Recuperando información ...", ""}));
        QCOMPARE(t.history.texto(), QString());
    }

    void boxReportMixAndTheFirstCustomersMarking() {
        TestStation t;
        TestDb::get().sql("INSERT INTO clientes VALUES ('C1', 'UNO', 'MARCA UNO'), "
                          "('C2', 'DOS', 'MARCA DOS')");
        bunches(1, "850", "1", "V1", 25, "NULL", "C1");
        bunches(2, "850", "2", "V1", 25, "NULL", "C2");
        bunches(1, "850", "2", "V2", 25, "NULL", "C2");
        imprimir_caja(t.st, "850", "2", "");
        QCOMPARE(t.report.texto(), "PACKING: 850\r\n" + kSep +
                                       "ROSES\r\n"
                                       "\r\n"
                                       " AWB:\r\n"
                                       " Caja: 2\r\n"
                                       " Marcar: MARCA UNO\r\n"
                                       " Variedad:MIX\r\n");
        QCOMPARE(t.prompts.eventos, QStringList({"0|velmar|imprime caja: 2"}));
    }

    void boxReportWithoutBunches() {
        TestStation t;
        bunches(1, "850", "1", "V1", 25);
        imprimir_caja(t.st, "850", "9", "1/2");
        QCOMPARE(t.report.texto(), QString("PACKING: 850\r\nNo hay datos para la caja: 9"));
        QVERIFY(t.prompts.eventos.isEmpty());
        QCOMPARE(t.busy.punteros, QList<int>({11, 0}));
        QCOMPARE(t.busy.captions, QStringList({"Inicializando ...", "Buscando ...",
                                               "Recuperando información ...", ""}));
    }

    void boxReportMissingMarking() {
        TestStation t;
        // C1 has a row without marking; C9 has no row at all
        TestDb::get().sql("INSERT INTO clientes VALUES ('C1', 'UNO', NULL)");
        bunches(2, "850", "1", "V2", 25, "NULL", "C1");
        bunches(3, "851", "1", "V2", 25, "NULL", "C9");
        for (const char* pack : {"850", "851"}) {
            imprimir_caja(t.st, pack, "1", "G");
            QCOMPARE(t.report.texto().split("\r\n").value(6), QString(" Marcar: "));
        }
        QCOMPARE(t.report.texto().split("\r\n").value(7), QString(" Variedad:VARIETY B-3"));
    }

    void boxReportShortNames() {
        TestStation t;
        variedad("S2", "AB");
        variedad("S3", "ABC");
        variedad("S4", "  ROSA   50");
        bunches(5, "850", "1", "S2", 1);
        bunches(4, "850", "2", "S3", 1);
        bunches(3, "850", "3", "S4", 1);
        bunches(2, "850", "4", "NOEXISTE", 1);
        const QStringList esperado = {"-5", "-4", "ROSA-3", "-2"};
        for (int i = 0; i < esperado.size(); ++i) {
            imprimir_caja(t.st, "850", QString::number(i + 1), "G");
            QCOMPARE(t.report.texto().split("\r\n").value(7), " Variedad:" + esperado[i]);
            QCOMPARE(t.busy.caption(), QString());
        }
        QCOMPARE(t.prompts.cajas.size(), 4);
    }

    void boxReportCountAbove16Bits() {
        TestStation t;
        TestDb::get().sql("INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos) "
                          "SELECT concat('X', seq), 850, 5, 'V1', 1 FROM seq_1_to_40000");
        imprimir_caja(t.st, "850", "5", "G");
        QCOMPARE(t.report.texto().split("\r\n").value(7), QString(" Variedad:VARIETY A-40000"));
        QCOMPARE(t.prompts.eventos, QStringList({"0|velmar|imprime caja: 5"}));
    }

    void boxReportDatabaseFailureEndsIt() {
        TestStation t;
        bunches(1, "850", "1", "V1", 25);
        t.report.set("anterior");
        TestDb::get().sql("RENAME TABLE bunche TO bunche_x");
        imprimir_caja(t.st, "850", "1", "G");
        TestDb::get().sql("RENAME TABLE bunche_x TO bunche");
        QCOMPARE(t.prompts.cajas.size(), 1);
        QVERIFY(t.prompts.cajas[0].texto.startsWith("Consulta Sql "));
        QCOMPARE(t.report.texto(), QString("anterior"));
        QVERIFY(t.report.visible());
        QCOMPARE(t.busy.puntero(), 0);
        QCOMPARE(t.busy.caption(), QString("Historia de operaciones"));
        QCOMPARE(t.busy.captions,
                 QStringList({"Inicializando ...", "Buscando ...", "Historia de operaciones"}));
    }

    // --------------------------------------------------------- completion mark

    void completionMarkThenReport() {
        TestStation t;
        bunches(2, "850", "1", "V1", 25, "NULL");
        bunches(1, "851", "1", "V1", 25, "NULL");
        pck_completo(t.st, "850");
        QCOMPARE(TestDb::get().filas("select num_pack, nacional from bunche order by num_bunch"),
                 QStringList({"850|C", "850|C", "851|NULL"}));
        reporte_pck(t.st, "850");
        QVERIFY(t.report.texto().startsWith("PACKING: 850 EMBARCADO  \r\n"));

        pck_abrir(t.st, "850");
        QCOMPARE(TestDb::get().filas("select num_pack, nacional from bunche order by num_bunch"),
                 QStringList({"850|", "850|", "851|NULL"}));
        reporte_pck(t.st, "850");
        QVERIFY(t.report.texto().startsWith("PACKING: 850 EN PROCESO \r\n"));

        // a packing without bunches: nothing changes, nothing shown
        pck_completo(t.st, "999");
        QCOMPARE(TestDb::get().valor("select count(*) from bunche where nacional='C'"),
                 QString("0"));
        QVERIFY(t.prompts.eventos.isEmpty());
        QCOMPARE(t.history.texto(), QString());
    }
};

QTEST_MAIN(TestPackingReport)
#include "test_packing_report.moc"
