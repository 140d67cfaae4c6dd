// Packing operations on a real server.

#include "errors/errors.h"
#include "packing/completion.h"
#include "packing/packing_change.h"
#include "packing/packing_report.h"
#include "packing/write_off.h"
#include "test_support.h"

#include <QTest>

using namespace velmar;
using namespace velmar::test;

namespace {

// "\n" for CR LF and "~" for the separator line.
QString crlf(QString s) {
    return s.replace("~", "---------------------------------------").replace("\n", "\r\n");
}

} // namespace

class TestPacking : public QObject {
    Q_OBJECT

private slots:
    void init() {
        TestDb::get().reset();
        TestDb::get().sql("INSERT INTO variedad VALUES ('V1', 'VARIETY A 50'), ('V2', 'VARIETY B "
                          "60'), ('V3', 'VARIETY A 50')");
    }

    // Boxes in numeric order, varieties grouped by name, a blank box is a box.
    void packingReport() {
        TestDb::get().sql("INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos, "
                          "nacional) VALUES ('a',850,10,'V1',20,NULL), ('b',850,2,'V2',30,NULL), "
                          "('c',850,10,'V1',20,NULL), ('d',850,1,'V1',25,NULL), ('e',850,1,'V1',"
                          "25,NULL), ('f',850,1,'V3',25,NULL), ('g',851,1,'V1',25,'C'), "
                          "('h',851,1,'V1',25,'C')");
        TestStation t;
        const QString dos = " Caja: 2\n  (1) bunche de VARIETY B 60 / 30\nTotal bunches: 1, "
                            "Total tallos: 30\n~\n";
        const QString uno = " Caja: 1\n  (%1) bunches de VARIETY A 50 / %2\nTotal bunches: %1, "
                            "Total tallos: %2\n~\n";
        const std::pair<QStringList, QString> pedidos[] = {
            {{"850", ""},
             "PACKING: 850 EMBARCADO  \n~\n" + uno.arg(3).arg(75) + dos +
                 " Caja: 10\n  (2) bunches de VARIETY A 50 / 40\nTotal bunches: 2, "
                 "Total tallos: 40\n~\n"},
            {{"851", "1"}, "PACKING: 851 EN PROCESO \n~\n" + uno.arg(2).arg(50)},
            {{"850", "2"}, "PACKING: 850 EMBARCADO  \n~\n" + dos},
            {{"851", " "}, "No hay datos para el packing: 851"}};
        pck_abrir(t.st, "851");
        pck_completo(t.st, "850");
        // a decimal without fraction is the whole number
        for (const char* tallos : {"decimal(10,2)", "int"}) {
            TestDb::get().sql(QString("ALTER TABLE bunche MODIFY num_tallos ") + tallos);
            for (const auto& [args, texto] : pedidos) {
                reporte_pck(t.st, args[0], args[1]);
                QCOMPARE(t.report.texto(), crlf(texto));
            }
        }
        QCOMPARE(TestDb::get().filas("select num_pack, count(*) from bunche where nacional = 'C' "
                                     "group by 1"),
                 QStringList{"850|6"});
        QVERIFY(t.report.visible() && t.prompts.eventos.isEmpty() && t.history.texto().isEmpty());
        // A read that failed says so, after its box: never "no data", nor the
        // report before it left in view.
        TestDb::get().sql("ALTER TABLE variedad RENAME COLUMN vnombre TO nombre");
        const std::pair<std::function<void()>, QString> fallidas[] = {
            {[&] { reporte_pck(t.st, "850"); }, "No se pudo consultar el packing: 850"},
            {[&] { imprimir_caja(t.st, "850", "2", "G"); }, "No se pudo consultar la caja: 2"}};
        for (const auto& [operacion, texto] : fallidas) {
            t.prompts.limpiar();
            operacion();
            QCOMPARE(t.report.texto(), texto);
            QCOMPARE(t.prompts.eventos.size(), 1);
            QVERIFY2(t.prompts.eventos[0].startsWith("0|velmar|Consulta Sql Falta una columna"),
                     qPrintable(t.prompts.eventos[0]));
        }
        TestDb::get().sql("ALTER TABLE variedad RENAME COLUMN nombre TO vnombre");
    }

    // State R only moves; the customer: destination's, else planned, else 000000.
    void change() {
        const auto mover = [](const QString& bunches, const QString& plan, const QStringList& args,
                              const QString& despues, const QString& historia) {
            TestDb::get().reset();
            TestDb::get().sql("INSERT INTO bunche (num_bunch, num_pack, caja, estado, cod_client) "
                              "VALUES " +
                              bunches);
            TestDb::get().sql("INSERT INTO prepacking (packing, cod_client) VALUES (200, '" + plan +
                              "')");
            TestStation t;
            cambiar_packing(t.st, args[0], args[1], args.value(2), args.value(3));
            QCOMPARE(TestDb::get()
                         .filas("select num_bunch, num_pack, caja, estado, cod_client "
                                "from bunche order by 1")
                         .join(' '),
                     despues);
            QCOMPARE(t.history.texto(), historia);
            // a refusal is the server's own box, not a query failure
            QCOMPARE(
                t.prompts.eventos.filter(QRegularExpression("^\\d+\\|[^|]*\\|(?!Consulta Sql)"))
                    .size(),
                historia.isEmpty() ? 1 : 0);
        };
        const QString todo = "\t* Packing 100 cambiado al Packing 200\r\n";
        mover("('A1',100,1,'R','C1'), ('A2',100,2,'R','C1'), ('A3',100,2,'D','C1'), "
              "('A4',100,1,NULL,'C1'), ('D1',200,5,'X','C2')",
              "P9", {"100", "200"},
              "A1|200|1|R|C2 A2|200|2|R|C2 A3|100|2|D|C1 A4|100|1|NULL|C1 D1|200|5|X|C2", todo);
        mover("('A1',100,1,'R','C1'), ('A2',100,2,'R','C1')", "", {"100", "200", "2", "7"},
              "A1|100|1|R|C1 A2|200|7|R|000000",
              "\t* Packing 100 caja: 2 cambiada al Packing 200 caja 7\r\n");
        // an INT box cannot take the empty new box: refused, so no line
        mover("('A1',100,1,'R','C1')", "", {"100", "200", "1"}, "A1|100|1|R|C1", "");
        mover("('A1',100,1,'R','C1'), ('D1',200,1,'X','  ')", "P9", {"100", "200"},
              "A1|200|1|R|P9 D1|200|1|X|  ", todo);
    }

    // Only unpacked bunches; old data kept in the remarks; the server's date.
    void writeOff() {
        TestDb& db = TestDb::get();
        db.sql("ALTER TABLE bunche MODIFY num_tallos decimal(10,2)"); // prints as a whole number
        db.sql("INSERT INTO envoltura VALUES (3, 'CAPUCHON'), (0, 'SIN ENVOLTURA')");
        db.sql("INSERT INTO bunche (num_bunch, estado, cod_varie, num_tallos, tipo_env, observa) "
               "VALUES ('R1','R',NULL,NULL,NULL,NULL), ('B2','','FRE60',20,3,''), "
               "('B3',NULL,'FRE50',25,3,'nota'), ('N1',NULL,NULL,NULL,NULL,NULL)");
        TestStation t;
        // the server clock on another day than the workstation (offsets run -12:00..+13:00)
        const bool manana = QDateTime::currentDateTimeUtc().time().hour() < 12;
        t.db.ejecutar(QString("SET time_zone = '") + (manana ? "-12:00'" : "+13:00'"));
        const QString hoy = t.db.consulta("select date(sysdate())").text(0);
        QVERIFY(hoy != QDate::currentDate().toString("yyyy-MM-dd"));
        for (const char* b : {"R1", "NO", "B2", "B3", "N1"})
            baja_nacional(t.st, b);
        db.sql("UPDATE bunche SET tipo_env=3, fecha_embarque=NULL WHERE num_bunch='N1'");
        baja_nacional(t.st, "N1");
        const QString antes = "N|SI|Datos anteriores\r\n----------------\r\nLong.Tallo: %1\r\n"
                              "Botones: %2\r\nEnvoltura: %3\r\nCategoria: \r\n|" +
                              hoy;
        QCOMPARE(db.filas("select categoria, transformado, observa, fecha_embarque from bunche "
                          "order by num_bunch"),
                 QStringList({antes.arg("60", "20", "CAPUCHON"), "N|SI|nota|" + hoy,
                              antes.arg("", "0", "SIN ENVOLTURA"), "NULL|NULL|NULL|NULL"}));
        const QString no = " no se encuentra en disponibilidad\r\n",
                      si = " dado de baja a NACIONAL\r\n";
        QString historia = "\t* Error: Bunche: R1" + no + "\t* Error: Bunche: NO" + no;
        for (const char* b : {"B2", "B3", "N1", "N1"})
            historia += QString("\t* Bunche: ") + b + si;
        QCOMPARE(t.history.texto(), historia);
        QCOMPARE(t.input.enfocado, 6);
        db.sql(
            "CREATE TRIGGER no_baja BEFORE UPDATE ON bunche FOR EACH ROW SIGNAL SQLSTATE '45000'");
        QVERIFY_THROWS_EXCEPTION(DbError, baja_nacional(t.st, "N1"));
        QCOMPARE(t.history.texto(), historia);
        QVERIFY(t.prompts.eventos.isEmpty());
        db.sql("DROP TRIGGER no_baja");
    }
};

QTEST_MAIN(TestPacking)
#include "test_packing.moc"
