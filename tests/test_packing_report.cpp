// The packing report, the box report and the completion mark, against a real
// MariaDB server. Hostile packing and box texts: test_hostile_input.

#include "packing/completion.h"
#include "packing/packing_report.h"
#include "test_support.h"

#include <QTest>

using namespace velmar;
using namespace velmar::test;

namespace {

// Report text written with "\n" line ends and "~" for the separator line.
QString crlf(QString s) {
    return s.replace("~", "---------------------------------------").replace("\n", "\r\n");
}

// Rows "n,packing,box,variety,stems[,national mark[,customer]]" apart by
// blanks: n bunches each.
void cargar(const QString& filas) {
    static int sig = 0;
    for (const QString& f : filas.split(' ')) {
        const QStringList c = f.split(',');
        TestDb::get().sql(
            QString("INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, "
                    "num_tallos, nacional, cod_client) SELECT concat('B%1-', seq), "
                    "%2, %3, '%4', %5, %6, '%7' FROM seq_1_to_%8")
                .arg(++sig, 5, 10, QChar('0'))
                .arg(c[1], c[2], c[3], c[4], c.value(5, "NULL"), c.value(6, "C1"), c[0]));
    }
}

const QStringList kCaptions = {"Inicializando ...", "Buscando ...", "Recuperando información ...",
                               ""};
const QStringList kDescarga = {"Inicializando ...", "Buscando ...", "Historia de operaciones"};

} // namespace

class TestPackingReport : public QObject {
    Q_OBJECT

private slots:
    void init() {
        TestDb::get().reset();
        TestDb::get().sql("INSERT INTO variedad (cod_varie, vnombre) VALUES ('V1', 'VARIETY A "
                          "50'), ('V2', 'VARIETY B 60'), ('V3', 'VARIETY A 50'), ('S2', 'AB'), "
                          "('S3', 'ABC'), ('S4', '  ROSA   50')");
        TestDb::get().sql("INSERT INTO clientes VALUES ('C1', 'UNO', 'MARCA UNO'), "
                          "('C2', 'DOS', 'MARCA DOS'), ('C3', 'TRES', NULL)");
    }

    void reporte_data() {
        QTest::addColumn<QString>("filas");
        QTest::addColumn<QString>("caja");
        QTest::addColumn<QString>("esperado");
        const auto fila = [](const char* nombre, const QString& filas, const QString& caja,
                             const QString& esperado) {
            QTest::newRow(nombre) << filas << caja << esperado;
        };
        const QString varias = "2,850,10,V1,20 1,850,2,V2,30 3,850,1,V1,25 2,850,2,V1,25 "
                               "1,850,10,V2,40";
        fila("one box, other packing left out", "3,850,1,V1,25 1,850,1,V2,25 2,851,1,V1,25", "",
             "PACKING: 850 EN PROCESO \n~\n Caja: 1\n  (3) bunches de VARIETY A 50 / 75\n"
             "  (1) bunche de VARIETY B 60 / 25\nTotal bunches: 4, Total tallos: 100\n~\n");
        // inserted out of order: each box's rows still come together
        fila("boxes in order", varias, "",
             "PACKING: 850 EN PROCESO \n~\n Caja: 1\n  (3) bunches de VARIETY A 50 / 75\n"
             "Total bunches: 3, Total tallos: 75\n~\n Caja: 2\n  (2) bunches de VARIETY A 50 / "
             "50\n  (1) bunche de VARIETY B 60 / 30\nTotal bunches: 3, Total tallos: 80\n~\n"
             " Caja: 10\n  (2) bunches de VARIETY A 50 / 40\n  (1) bunche de VARIETY B 60 / 40\n"
             "Total bunches: 3, Total tallos: 80\n~\n");
        fila("one box of several", varias, "2",
             "PACKING: 850 EN PROCESO \n~\n Caja: 2\n  (2) bunches de VARIETY A 50 / 50\n"
             "  (1) bunche de VARIETY B 60 / 30\nTotal bunches: 3, Total tallos: 80\n~\n");
        fila("two varieties of one name", "2,850,1,V1,25 3,850,1,V3,20", "",
             "PACKING: 850 EN PROCESO \n~\n Caja: 1\n  (5) bunches de VARIETY A 50 / 110\n"
             "Total bunches: 5, Total tallos: 110\n~\n");
        fila("null stems, box 0", "1,850,0,V1,NULL 1,850,1,V2,10", "",
             "PACKING: 850 EN PROCESO \n~\n Caja: 0\n  (1) bunche de VARIETY A 50 / \n"
             "Total bunches: 1, Total tallos: 0\n~\n Caja: 1\n  (1) bunche de VARIETY B 60 / "
             "10\nTotal bunches: 1, Total tallos: 10\n~\n");
        // the mark belongs to the packing, not to the box asked for
        fila("shipped", "1,850,1,V1,25,'C' 1,850,2,V2,10", "2",
             "PACKING: 850 EMBARCADO  \n~\n Caja: 2\n  (1) bunche de VARIETY B 60 / 10\n"
             "Total bunches: 1, Total tallos: 10\n~\n");
        for (const char* marca : {"'c'", "'X'", "''"})
            fila(marca, QString("1,850,1,V1,25,") + marca, "",
                 "PACKING: 850 EN PROCESO \n~\n Caja: 1\n  (1) bunche de VARIETY A 50 / 25\n"
                 "Total bunches: 1, Total tallos: 25\n~\n");
        fila("no packing", "2,851,1,V1,25", "", "No hay datos para el packing: 850");
        fila("no such box", "2,850,1,V1,25", "7", "No hay datos para el packing: 850");
        // a box of blanks is a box, not the whole packing
        fila("blank box", "2,850,1,V1,25", " ", "No hay datos para el packing: 850");
    }

    void reporte() {
        QFETCH(QString, filas);
        QFETCH(QString, caja);
        QFETCH(QString, esperado);
        cargar(filas);
        TestStation t;
        t.report.set("anterior");
        reporte_pck(t.st, "850", caja);
        QCOMPARE(t.report.texto(), crlf(esperado));
        QVERIFY(t.report.visible());
        QCOMPARE(t.busy.punteros, QList<int>({11, 0}));
        QStringList captions = kCaptions;
        if (esperado.startsWith("No"))
            captions.removeAt(2);
        QCOMPARE(t.busy.captions, captions);
        QVERIFY(!t.busy.repintados.contains(false));
        QVERIFY(t.prompts.eventos.isEmpty());
        QCOMPARE(t.history.texto(), QString());
    }

    void caja_data() {
        QTest::addColumn<QString>("filas");
        QTest::addColumn<QString>("caja");
        QTest::addColumn<QString>("esperado"); // marking and variety lines, or the no-data line
        const auto fila = [](const char* nombre, const QString& filas, const QString& caja,
                             const QString& marcar, const QString& variedad = "") {
            QTest::newRow(nombre) << filas << caja
                                  << (variedad.isEmpty() ? marcar
                                                         : " Marcar: " + marcar +
                                                               "\n Variedad:" + variedad + "\n");
        };
        fila("one variety", "12,850,3,V1,25 1,850,4,V2,25", "3", "MARCA UNO", "VARIETY A-12");
        // the marking of the packing's first customer
        fila("mix", "1,850,1,V1,25 2,850,2,V1,25,NULL,C2 1,850,2,V2,25,NULL,C2", "2", "MARCA UNO",
             "MIX");
        fila("null marking", "3,850,1,V2,25,NULL,C3", "1", "", "VARIETY B-3");
        fila("no customer row", "3,850,1,V2,25,NULL,C9", "1", "", "VARIETY B-3");
        fila("name of two", "5,850,1,S2,1", "1", "MARCA UNO", "-5");
        fila("name of three", "4,850,1,S3,1", "1", "MARCA UNO", "-4");
        fila("blanks dropped", "3,850,1,S4,1", "1", "MARCA UNO", "ROSA-3");
        fila("unknown variety", "2,850,1,NOEXISTE,1", "1", "MARCA UNO", "-2");
        fila("above 16 bits", "40000,850,5,V1,1", "5", "MARCA UNO", "VARIETY A-40000");
        fila("no bunches", "1,850,1,V1,25", "9", "No hay datos para la caja: 9");
    }

    void caja() {
        QFETCH(QString, filas);
        QFETCH(QString, caja);
        QFETCH(QString, esperado);
        cargar(filas);
        TestStation t;
        imprimir_caja(t.st, "850", caja, "123-456 789");
        if (esperado.startsWith("No")) {
            QCOMPARE(t.report.texto(), "PACKING: 850\r\n" + esperado);
            QVERIFY(t.prompts.eventos.isEmpty());
        } else {
            QCOMPARE(t.report.texto(), crlf("PACKING: 850\n~\nROSES\n\n AWB:123-456 789\n Caja: " +
                                            caja + "\n" + esperado));
            QCOMPARE(t.prompts.eventos, QStringList({"0|velmar|imprime caja: " + caja}));
        }
        QVERIFY(t.report.visible());
        QCOMPARE(t.busy.punteros, QList<int>({11, 0}));
        QCOMPARE(t.busy.captions, kCaptions);
        QCOMPARE(t.history.texto(), QString());
    }

    // A failed query is shown; then the packing report goes on with what it
    // has, the box report ends where it stood.
    void databaseFailures() {
        TestStation t;
        cargar("2,850,1,V1,25,'C'");
        TestDb::get().sql("RENAME TABLE variedad TO variedad_x");
        reporte_pck(t.st, "850");
        TestDb::get().sql("RENAME TABLE bunche TO bunche_x");
        imprimir_caja(t.st, "850", "1", "G");
        TestDb::get().sql("RENAME TABLE variedad_x TO variedad, bunche_x TO bunche");
        QCOMPARE(t.prompts.cajas.size(), 2);
        for (const Caja& c : t.prompts.cajas)
            QVERIFY2(c.texto.startsWith("Consulta Sql ") && c.estilo == 0, qPrintable(c.texto));
        QCOMPARE(t.report.texto(), QString("No hay datos para el packing: 850"));
        QCOMPARE(t.busy.punteros, QList<int>({11, 0, 0, 11, 0}));
        QCOMPARE(t.busy.captions, kDescarga + QStringList{""} + kDescarga);
        QCOMPARE(t.busy.repintados, QList<bool>({true, true, false, true, true, true, false}));
    }

    void completionMarkThenReport() {
        TestStation t;
        cargar("2,850,1,V1,25 1,851,1,V1,25");
        const QString filas = "select num_pack, nacional from bunche order by num_bunch";
        pck_completo(t.st, "850");
        QCOMPARE(TestDb::get().filas(filas), QStringList({"850|C", "850|C", "851|NULL"}));
        pck_abrir(t.st, "850");
        QCOMPARE(TestDb::get().filas(filas), QStringList({"850|", "850|", "851|NULL"}));
        // a packing without bunches: nothing changes, nothing shown
        pck_completo(t.st, "999");
        QCOMPARE(TestDb::get().filas(filas), QStringList({"850|", "850|", "851|NULL"}));
        QVERIFY(t.prompts.eventos.isEmpty());
        QCOMPARE(t.history.texto(), QString());
    }
};

QTEST_MAIN(TestPackingReport)
#include "test_packing_report.moc"
