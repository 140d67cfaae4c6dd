// The attendance report and CSV export over a real server: exact text and
// bytes, bad ranges, a file that cannot be written, and velmar-cli.

#include "gui/widget_context.h"
#include "station/attendance_report.h"
#include "test_support.h"

#include <QFontInfo>
#include <QPlainTextEdit>
#include <QTest>

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

    void reportDayByDayThenTotals() {
        TestStation t;
        reporte_asistencia(t.st, "2026-03-02", "2026-03-03");
        QCOMPARE(t.report.texto(), QString(kReporte).replace("\n", "\r\n"));
        QVERIFY(t.report.visible() && t.report.columnas() && t.prompts.eventos.isEmpty());
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

        QVERIFY(QDir(dir.path()).mkdir("carpeta.csv"));
        TestStation t;
        exportar_asistencia(t.st, "2026-03-02", "2026-03-03", dir.filePath("carpeta.csv"));
        QCOMPARE(t.prompts.cajas.size(), 1);
        QVERIFY(t.prompts.cajas[0].texto.startsWith("No se pudo escribir el archivo "));
        QCOMPARE(t.history.texto(), QString());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList({"asistencia.csv", "carpeta.csv"}));
    }
};

QTEST_MAIN(TestAttendanceReport)
#include "test_attendance_report.moc"
