// The attendance report and CSV export over a real server: exact text and
// bytes, bad ranges, a file that cannot be written, and velmar-cli.

#include "attendance/attendance_report.h"
#include "db/errors.h"
#include "gui/widget_context.h"
#include "printing/label_printer.h"
#include "test_support.h"

#include <QFontInfo>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTest>
#include <unistd.h>

using namespace velmar;
using namespace velmar::test;

namespace {

// Two days of three people in range, a day before and one after.
const QString kReporte = R"(ASISTENCIA DEL 2026-03-02 AL 2026-03-03
---------------------------------------
DÍA 2026-03-02
Cédula      Entrada  Salida  Tiempo  Nombre
0912345678  07:10
0501234567  06:58                    =cmd|' /C calc'!A0,"x" -ANA  ROJA
1712345678  07:05    12:30     5:24  GUAMAN TIPAN MARIA JOSE
---------------------------------------
DÍA 2026-03-03
Cédula      Entrada  Salida  Tiempo  Nombre
0501234567  07:30    09:00     1:30  =cmd|' /C calc'!A0,"x" -ANA  ROJA
1712345678  07:00                    GUAMAN TIPAN MARIA JOSE
---------------------------------------
RESUMEN
Cédula      Días  Salidas  Tiempo  Nombre
0912345678     1        0    0:00
0501234567     2        1    1:30  =cmd|' /C calc'!A0,"x" -ANA  ROJA
1712345678     2        1    5:24  GUAMAN TIPAN MARIA JOSE
---------------------------------------
)";
const QByteArray kCsv = R"(fecha,cedula,apellidos,nombres,entrada,salida,segundos
2026-03-02,0912345678,,,07:10:00,,
2026-03-02,0501234567,"'=cmd|' /C calc'!A0,""x""","'-ANA
ROJA",06:58:00,,
2026-03-02,1712345678,GUAMAN TIPAN,MARIA JOSE,07:05:10,12:30:00,19490
2026-03-03,0501234567,"'=cmd|' /C calc'!A0,""x""","'-ANA
ROJA",07:30:00,09:00:00,5400
2026-03-03,1712345678,GUAMAN TIPAN,MARIA JOSE,07:00:00,,
)";

} // namespace

class TestAttendanceReport : public QObject {
    Q_OBJECT

private slots:
    void init() {
        TestDb& db = TestDb::get();
        db.reset();
        // a name that a spreadsheet would run as a formula, with a line break
        db.sql("insert into personal values (1, '1712345678', 'MARIA JOSE', 'GUAMAN TIPAN'), "
               "(2, '0912345678', NULL, NULL), "
               "(3, '0501234567', '-ANA\\r\\nROJA', '=cmd|'' /C calc''!A0,\"x\"')");
        db.sql("insert into control_asistencia (personal_id, fecha_entrada, hora_entrada, "
               "fecha_salida, hora_salida, horas_dif) values "
               "(1, '2026-03-01', '07:00:00', '2026-03-01', NULL, NULL), "
               "(1, '2026-03-02', '07:05:10', '2026-03-02', '12:30:00', 19490), "
               "(2, '2026-03-02', '07:10:00', '2026-03-02', NULL, NULL), "
               "(3, '2026-03-02', '06:58:00', '2026-03-02', NULL, NULL), "
               "(3, '2026-03-03', '07:30:00', '2026-03-03', '09:00:00', 5400), "
               "(1, '2026-03-03', '07:00:00', '2026-03-03', NULL, NULL), "
               "(2, '2026-03-04', '07:00:00', '2026-03-04', NULL, NULL)");
    }

    // The same text whether the table is as created (read a day at a time)
    // or holds its dates and times as text (read row by row).
    void reportDayByDayThenTotals() {
        TestStation t;
        for (const char* tipos : {"date, modify hora_entrada time, modify hora_salida time",
                                  "varchar(10), modify hora_entrada varchar(8), modify "
                                  "hora_salida varchar(8)",
                                  "date, modify hora_entrada time, modify hora_salida time"}) {
            TestDb::get().sql(QString("alter table control_asistencia modify fecha_entrada ") +
                              tipos);
            reporte_asistencia(t.st, "2026-03-02", "2026-03-03");
            QCOMPARE(t.report.texto(), QString(kReporte).replace("\n", "\r\n"));
        }
        QVERIFY(t.report.visible() && t.report.columnas() && t.prompts.eventos.isEmpty());
        // the calendar's last day has no day after it
        TestDb::get().sql("update control_asistencia set fecha_entrada = '9999-12-31' where "
                          "fecha_entrada = '2026-03-04'");
        reporte_asistencia(t.st, "2026-03-04", "9999-12-31");
        QVERIFY2(t.report.texto().contains("DÍA 9999-12-31\r\n"), qPrintable(t.report.texto()));
        // the window shows such a table in a fixed-pitch font, other reports not
        QPlainTextEdit edit;
        ReportView vista(&edit);
        for (bool tabla : {true, false, true}) {
            vista.set("x", tabla);
            QCOMPARE(QFontInfo(edit.font()).fixedPitch(), tabla);
        }
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
        TestDb::get().sql("rename table ca_x to control_asistencia");
        QVERIFY(!t.report.escrito() && t.busy.punteros.isEmpty() && QDir(dir.path()).isEmpty());
    }

    // A target that is not a regular file is left as it is; a file that
    // cannot be written says why in Spanish, and the old one stays.
    void exportRefusedOrFailedSaysWhy() {
        QTemporaryDir dir;
        const QString d = dir.path() + "/";
        QVERIFY(QDir(d).mkdir("carpeta.csv") && QDir(d).mkdir("lleno") && QDir(d).mkdir("ro"));
        QVERIFY(QProcess::execute("mkfifo", {d + "fifo.csv"}) == 0);
        // as root: a device node of our own, a disk with no room left and
        // one mounted read-only
        const bool root = ::geteuid() == 0;
        struct Desmontar {
            QString d;
            ~Desmontar() {
                if (!d.isEmpty())
                    QProcess::execute("umount", {"-l", d + "lleno", d + "ro"});
            }
        } desmontar{root ? d : QString()};
        QFile viejo(d + "lleno/viejo.xlsx");
        if (root) {
            QCOMPARE(QProcess::execute("mknod", {d + "nulo.csv", "c", "1", "3"}), 0);
            QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=16k", "tmpfs", d + "lleno"});
            QProcess::execute("mount", {"-t", "tmpfs", "-o", "ro,size=16k", "tmpfs", d + "ro"});
            QVERIFY(viejo.open(QIODevice::WriteOnly) && viejo.write("anterior") == 8);
            viejo.close();
            QFile relleno(d + "lleno/relleno");
            QVERIFY(relleno.open(QIODevice::WriteOnly));
            relleno.write(QByteArray(64 * 1024, 'x'));
        }
        struct Caso {
            QString archivo;
            QString motivo;
            bool soloRoot = false;
        };
        for (const Caso& c :
             {Caso{d + "nulo.csv", "es un dispositivo, no un archivo; se deja como está", true},
              {d + "fifo.csv", "es una tubería (FIFO), no un archivo; se deja como está"},
              {d + "carpeta.csv", "es una carpeta, no un archivo"},
              {d + "no/a.csv", "la carpeta no existe"},
              {d + "lleno/viejo.xlsx", "no queda espacio en el disco", true},
              {d + "ro/a.csv", "el disco es de sólo lectura", true}}) {
            if (c.soloRoot && !root)
                continue;
            TestStation t;
            exportar_asistencia(t.st, "2026-03-01", "2026-03-04", c.archivo);
            QCOMPARE(t.prompts.eventos, QStringList("48|velmar|No se pudo escribir el archivo " +
                                                    c.archivo + ": " + c.motivo));
            QCOMPARE(t.history.texto(), QString());
        }
        QVERIFY(!QFileInfo(d + "fifo.csv").isFile() && !QFileInfo(d + "carpeta.csv").isFile());
        if (root) {
            QVERIFY(!QFileInfo(d + "nulo.csv").isFile());
            QVERIFY(viejo.open(QIODevice::ReadOnly));
            QCOMPARE(viejo.readAll(), "anterior");
            viejo.close();
            QCOMPARE(QDir(d + "lleno").entryList(QDir::Files | QDir::Hidden),
                     QStringList({"relleno", "viejo.xlsx"}));
        }
        // the printer's file: destination, a device that is full
        qputenv("VELMAR_IMPRESORA", "file:/dev/full");
        try {
            defaultLabelPrinter()->send("N\r\nP1\r\n");
            QFAIL("a full device took the label");
        } catch (const PrinterError& e) {
            QCOMPARE(e.texto(), "no queda espacio en el disco");
        }
        qunsetenv("VELMAR_IMPRESORA");
    }

    // velmar-cli writes the file and says so; a target that cannot be
    // replaced gets a box and leaves no temporary file behind.
    void exportThroughCliAndFailure() {
        QTemporaryDir dir;
        const QString archivo = dir.filePath("asistencia.csv");
        QCOMPARE(cli({"exportar_asistencia", "2026-03-02", "2026-03-03", archivo}),
                 (SalidaCli{0, "\t* Asistencia exportada: 5 filas en " + archivo.toUtf8() + "\r\n",
                            ""}));
        QFile f(archivo);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray(kCsv).replace("\n", "\r\n"));

        // the workbook, as a reader of its own sees it
        TestStation t;
        exportar_asistencia(t.st, "2026-03-02", "2026-03-03", dir.filePath("a.XLSX"));
        QCOMPARE(t.history.texto(),
                 "\t* Asistencia exportada: 5 filas en " + dir.filePath("a.XLSX") + "\r\n");
        // (a CR is kept as the format escapes it, _x000D_, which this reader shows)
        QProcess p;
        p.start("/usr/bin/python3",
                {fuente("tests/data/attendance/leer_libro.py"), dir.filePath("a.XLSX")});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.readAllStandardError(), QByteArray());
        QFile libro(fuente("tests/data/attendance/asistencia.xlsx.txt"));
        QVERIFY(libro.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(libro.readAll()));
    }
};

QTEST_MAIN(TestAttendanceReport)
#include "test_attendance_report.moc"
