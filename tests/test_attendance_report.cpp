// The attendance report and CSV export over a real server: exact text and
// bytes, bad ranges, a file that cannot be written, and velmar-cli.

#include "attendance/attendance_report.h"
#include "gui/widget_context.h"
#include "test_support.h"

#include <QFontInfo>
#include <QPlainTextEdit>
#include <QTest>

using namespace velmar;
using namespace velmar::test;

class TestAttendanceReport : public QObject {
    Q_OBJECT

    static QByteArray esperado(const QString& n) {
        return leer(fuente("tests/data/attendance/" + n));
    }

private slots:
    void init() {
        TestDb& db = TestDb::get();
        db.recrear();
        db.script(QString::fromUtf8(leer(fuente("tests/data/attendance/asistencia.sql"))));
    }

    // The same report, CSV and workbook whatever the farm's column types (read
    // a day at a time or row by row). A "set" is for the station's session.
    void sameFiguresWhateverTheColumnTypes_data() {
        QTest::addColumn<QStringList>("cambios");
        const QString ca = "alter table control_asistencia modify ";
        QTest::newRow("station's types") << QStringList();
        for (const char* tipo : {"decimal(12,2)", "double", "varchar(20)"})
            QTest::newRow(tipo) << QStringList{ca + "horas_dif " + tipo,
                                               "update control_asistencia set horas_dif = "
                                               "'19490.75' where horas_dif = 19490"};
        QTest::newRow("dates and times as text")
            << QStringList{ca + "fecha_entrada varchar(10), modify hora_entrada varchar(9), "
                                "modify hora_salida varchar(9)"};
        // personal_id as `tipo` in both tables, set to `personal` and `control`
        const auto claves = [](const QString& tipo, const QString& personal,
                               const QString& control) {
            QStringList out;
            for (const QString t : {"personal", "control_asistencia"})
                out << "alter table " + t + " modify personal_id " + tipo + " not null"
                    << "update " + t +
                           " set personal_id = " + (t == "personal" ? personal : control);
            return out;
        };
        // keys in another case are one person, as the server matches them
        QTest::newRow("text keys")
            << claves("varchar(10)", "elt(personal_id, 'emp001', 'EMP002', '0003')",
                      "elt(personal_id, 'EMP001', 'EMP002', '0003')");
        QTest::newRow("integer keys, personal's as text")
            << QStringList{"alter table personal modify personal_id varchar(10) not null",
                           "update personal set personal_id = lpad(personal_id, 4, '0')"};
        QTest::newRow("seconds as TIME")
            << QStringList{"alter table control_asistencia add hd time",
                           "update control_asistencia set hd = sec_to_time(horas_dif)",
                           ca + "hd time after hora_salida, drop horas_dif",
                           "alter table control_asistencia rename column hd to horas_dif"};
        QTest::newRow("no exit kept as 00:00:00")
            << QStringList{"update control_asistencia set hora_salida = '00:00:00' where "
                           "hora_salida is null",
                           ca + "hora_salida time not null default '00:00:00'"};
        // one person's days under two spellings of the key are one total
        QTest::newRow("text keys as the server matches them")
            << QStringList{ca + "personal_id varchar(20) not null",
                           "update control_asistencia set personal_id = if(fecha_entrada = "
                           "'2026-03-02', lpad(personal_id, 4, '0'), concat(personal_id, ' '))"};
        // read a day at a time, past the keys a table finds directly
        const QString lejos = "elt(personal_id, -5, 2, 1712345678)";
        QTest::newRow("keys below 0 and past a million") << claves("bigint", lejos, lejos);
        const QString grande = "if(personal_id = 3, 18446744073709551615, personal_id)";
        QTest::newRow("a key above 2^63") << claves("bigint unsigned", grande, grande);
        QTest::newRow("a day over the concat limit")
            << QStringList{"set session group_concat_max_len = 40"};
    }
    void sameFiguresWhateverTheColumnTypes() {
        QFETCH(QStringList, cambios);
        TestStation t;
        for (const QString& c : cambios)
            c.startsWith("set") ? void(t.db.ejecutar(c)) : TestDb::get().sql(c);
        reporte_asistencia(t.st, "2026-03-02", "2026-03-03");
        QCOMPARE(t.report.texto(), QString::fromUtf8(esperado("reporte.txt")));
        QVERIFY(t.report.visible() && t.report.columnas());
        QTemporaryDir dir;
        const QString csv = dir.filePath("a.csv"), libro = dir.filePath("a.XLSX");
        for (const QString& a : {csv, libro})
            exportar_asistencia(t.st, "2026-03-02", "2026-03-03", a);
        QCOMPARE(t.prompts.eventos, QStringList());
        QCOMPARE(t.history.texto(), "\t* Asistencia exportada: 7 filas en " + csv +
                                        "\r\n\t* Asistencia exportada: 7 filas en " + libro +
                                        "\r\n");
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), esperado("asistencia.csv"));
        // the workbook, as a reader of its own sees it (a CR is kept as the
        // format escapes it, _x000D_, which this reader shows)
        const SalidaCli leido =
            correr("/usr/bin/python3", {fuente("tests/data/attendance/leer_libro.py"), libro});
        QCOMPARE(leido.err, QByteArray());
        QCOMPARE(QString::fromUtf8(leido.out), QString::fromUtf8(esperado("asistencia.xlsx.txt")));
        // the calendar's last day has no day after it
        reporte_asistencia(t.st, "2026-03-04", "9999-12-31");
        QVERIFY2(t.report.texto().contains("DÍA 9999-12-31\r\n"), qPrintable(t.report.texto()));
    }

    // One box each, and no query: with the table gone a query adds its own box.
    void badRangeGetsABoxAndNoQuery() {
        TestDb::get().sql("rename table control_asistencia to ca_x");
        TestStation t;
        QTemporaryDir dir;
        const QString mal = "Fecha no válida: \"%1\". Escríbala como aaaa-mm-dd, por ejemplo "
                            "2026-03-02.";
        for (const QStringList& r :
             {QStringList{"2026-3-2", "", mal.arg("2026-3-2")},
              {"2026-03-02", "2026-02-30", mal.arg("2026-02-30")},
              {"2026-03-03", "2026-03-02",
               "La fecha final 2026-03-02 es anterior a la inicial 2026-03-03."}}) {
            t.prompts.limpiar();
            reporte_asistencia(t.st, r[0], r[1]);
            exportar_asistencia(t.st, r[0], r[1], dir.filePath("a.csv"));
            QCOMPARE(t.prompts.eventos, QStringList(2, "48|velmar|" + r[2]));
        }
        t.prompts.limpiar();
        exportar_asistencia(t.st, "2026-03-02", "2026-03-03", " ");
        QCOMPARE(t.prompts.eventos, QStringList("48|velmar|Falta el nombre del archivo."));
        TestDb::get().sql("rename table ca_x to control_asistencia");
        QVERIFY(!t.report.escrito() && t.busy.punteros.isEmpty() && QDir(dir.path()).isEmpty());
    }

    // Days kept as text the server cannot read as a date would drop out of
    // every total: the range is refused, naming the column.
    void unreadableTextDaysRefuseTheReport() {
        TestDb::get().script("alter table control_asistencia modify fecha_entrada varchar(10);\n"
                             "update control_asistencia set fecha_entrada = '02/03/2026' where "
                             "personal_id = 2 and hora_entrada = '07:10:00';\n");
        TestStation t;
        reporte_asistencia(t.st, "2026-03-02", "2026-03-03");
        QCOMPARE(t.prompts.eventos,
                 QStringList("48|velmar|No se puede hacer el reporte de asistencia con esta base "
                             "de datos:\ncontrol_asistencia.fecha_entrada: 1 filas tienen una "
                             "fecha que no es aaaa-mm-dd (por ejemplo '02/03/2026'): no se sabe a "
                             "qué día pertenecen. Escríbalas como aaaa-mm-dd."));
        QVERIFY(!t.report.texto().contains("DÍA"));
    }

    // A file that cannot be written: the box says why (each writer's reasons:
    // test_unit), nothing in the history.
    void exportRefusedOrFailedSaysWhy() {
        QTemporaryDir dir;
        const QString d = dir.path() + "/";
        {
            TestStation t;
            exportar_asistencia(t.st, "2026-03-01", "2026-03-04", d + "no/a.xlsx");
            QCOMPARE(t.prompts.eventos, QStringList("48|velmar|No se pudo escribir el archivo " +
                                                    d + "no/a.xlsx: la carpeta no existe"));
            QCOMPARE(t.history.texto(), QString());
        }
        // more rows than a sheet holds: refused before they are read (the
        // next test's schema makes the table again)
        TestDb::get().sql("drop table control_asistencia");
        TestDb::get().sql("create view control_asistencia as select 1 as personal_id, date "
                          "'2026-03-02' as fecha_entrada, null as hora_entrada, null as "
                          "hora_salida, null as horas_dif from seq_1_to_1048576");
        TestStation t;
        exportar_asistencia(t.st, "2026-03-02", "2026-03-02", d + "a.xlsx");
        const qint64 filas =
            t.db.consulta("show session status like 'Rows_sent'").value(1).toLongLong();
        TestDb::get().sql("drop view control_asistencia");
        QCOMPARE(t.prompts.eventos, QStringList("48|velmar|No se pudo escribir el archivo " + d +
                                                "a.xlsx: una hoja admite 1048575 filas; exporte "
                                                "a CSV"));
        QVERIFY2(filas < 10, qPrintable(QString::number(filas)));
    }

    // velmar-cli writes the same file and says so; the window shows a table in
    // a fixed-pitch font, other reports not.
    void exportThroughCliAndReportFont() {
        QTemporaryDir dir;
        const QString archivo = dir.filePath("asistencia.csv");
        QCOMPARE(cli({"exportar_asistencia", "2026-03-02", "2026-03-03", archivo}),
                 (SalidaCli{0, "\t* Asistencia exportada: 7 filas en " + archivo.toUtf8() + "\r\n",
                            ""}));
        QCOMPARE(leer(archivo), esperado("asistencia.csv"));
        QPlainTextEdit edit;
        ReportView vista(&edit);
        for (bool tabla : {true, false, true}) {
            vista.set("x", tabla);
            QCOMPARE(QFontInfo(edit.font()).fixedPitch(), tabla);
        }
    }
};

QTEST_MAIN(TestAttendanceReport)
#include "test_attendance_report.moc"
