// Pure logic, no server: quoting, text routines, the history bound, the yes
// answer, files that cannot be written, labels' bytes, the emulated printer.

#include "attendance/attendance_rows.h"
#include "cli/cli_station.h"
#include "db/sql_quote.h"
#include "epl2/cp1252.h"
#include "epl2/epl2_parser.h"
#include "epl2/epl2_printer.h"
#include "epl2/epl2_writer.h"
#include "errors/errors.h"
#include "files/file_output.h"
#include "journal/kept_record.h"
#include "labels/label_composer.h"
#include "printing/label_printer.h"
#include "station/server_clock.h"
#include "station/velmo.h"
#include "test_support.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QTimeZone>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace velmar;

class TestUnit : public QObject {
    Q_OBJECT

    static QByteArray expected(const QString& f) { return test::leer(kData + f); }
    static inline const QString kData = test::fuente("tests/data/labels/");

    // What the test farm's database gives for det_200_1; the other layouts are
    // checked from the database by test_labels.
    static inline const BoxData kDos = {"200",       "1",
                                        "999-0000",  "",
                                        "RED",       "SUPERFLORES INTERNACIONAL",
                                        "DOS",       {"50"},
                                        {"FREEDOM"}, {{"FREEDOM", "50", "1"}},
                                        1,           30};

private slots:
    void quoting() {
        const QString todo = QString("a'b\\c") + QChar(0) + "d" + QChar(0x1a) + "ñ";
        QCOMPARE(sqlEscape(todo, false), QString("a''b\\\\c\\0d\\Zñ"));
        QCOMPARE(sqlEscape(todo, true), QString("a''b\\cd") + QChar(0x1a) + "ñ");
        const std::pair<QString, QString> numeros[] = {
            {" 7 ", "7"},   {"-3.5", "-3.5"},       {"5A", "'5A'"}, {"", "''"},
            {"1.", "'1.'"}, {"\u0661", "'\u0661'"}, {"1'", "'1'''"}};
        for (const auto& [valor, sql] : numeros) // bare only when a plain number
            QCOMPARE(sqlNumber(valor, false), sql);
    }

    void textRoutines() {
        QVERIFY(es_vacio("   ") && es_vacio("__-___-____") && !es_vacio(" __-___-____"));
        QCOMPARE(sinBlancos("  \ta b\t  "), QString("\ta b\t")); // the farm's TABs stay
        const std::pair<QString, double> numeros[] = {
            {"  \t-12.5x", -12.5}, {".5", 0.5}, {"CMS 50", 0}, {"-", 0}, {"\u0665", 0}};
        for (const auto& [texto, valor] : numeros)
            QCOMPARE(valorNumerico(texto), valor);
        const QString largo = QString(40000, 'x') + "/fin"; // past 16-bit positions
        const std::tuple<QString, qsizetype, QString, QString> partes[] = {
            {"1/2", 2, "/", "2"},
            {"1/2", 3, "/", ""},
            {"1/2", 0, "/", ""},
            {"12", 1, "/", "12"},
            {"a, b", 2, ", ", " b"},
            {"a,,c", 3, ",", "c"},
            {"a/b", 1000000000000, "/", ""},
            {largo, 2, "/", "fin"}};
        for (const auto& [texto, n, separador, parte] : partes)
            QCOMPARE(extraer_parte(texto, n, separador), parte);
    }

    // A database error's box gives a reason, also when the driver names
    // itself and nothing more.
    void errorHasAReason() {
        const QString sin = "No hay conexión con el servidor de base de datos: el controlador no "
                            "dio el motivo";
        const std::pair<DbError, QString> errores[] = {
            {DbError("[ma-3.1.15][10.11.6-MariaDB] ", "2002", true), sin + " (código 2002)"},
            {DbError("", "", true), sin}};
        for (const auto& [error, texto] : errores)
            QCOMPARE(textoError(error), texto);
    }

    // (server ahead of the pair's start, station's ms, reading): a jump past a
    // minute is refused until two fresh connections in a row show it.
    void serverClockJumps() {
        using L = ServerClock::Lectura;
        const qint64 s = 1000, h = 3600 * s, noche = ServerClock::kVigencia;
        const std::tuple<qint64, qint64, L> vistas[] = {
            {0, 0, L::Acorde},
            {30 * s, s, L::Acorde}, // a first sight; within the bound
            {30 * s + h, 2 * s, L::Salto},
            {30 * s, 3 * s, L::Acorde}, // one node's clock
            {30 * s + h, 4 * s, L::Salto},
            {31 * s + h, 5 * s, L::Salto}, // not yet twice fresh
            {-2 * h, 6 * s, L::Salto},
            {-2 * h, 7 * s, L::HoraNueva}, // another jump, twice fresh
            {-2 * h, 8 * s, L::Acorde},
            {3 * h, 9 * s + noche, L::Acorde}}; // after a night idle
        const QDateTime t0(QDate(2026, 3, 8), QTime(1, 0), QTimeZone::utc());
        ServerClock reloj;
        for (const auto& [adelanto, local, lectura] : vistas)
            QCOMPARE(reloj.ver(t0.addMSecs(adelanto + local), local), lectura);
        QCOMPARE(reloj.ver(t0.addMSecs(10 * s + noche), 10 * s + noche), L::Salto);
        QCOMPARE(reloj.salto(), -3 * h);
    }

    // What a kept scan became, read from its replay's lines: the person, the time named.
    void keptScanOutcome() {
        const std::pair<QString, QStringList> casos[] = {
            {"EL USUARIO Ú YA REGISTRO SU SALIDA A LAS 12:00:00", {"ya_salio", "Ú", "12:00:00"}},
            {"No se encontró la cédula 99\r\n", {"no_encontrada", "", ""}},
            {"\tX\r\nIngreso del usuario N A a las 07:02:13\r\n", {"ingreso", "N A", "07:02:13"}},
            {"\tNo se registró la marca: falta una columna\r\n", {"no_registrada", "", ""}},
            {"", {"sin_efecto", "", ""}}};
        for (const auto& [lineas, esperado] : casos) {
            const Desenlace d = desenlaceDeEnvio(lineas, false);
            QCOMPARE(QStringList({d.resultado, d.persona, d.hora}), esperado);
        }
    }

    // A Yes as a Spanish speaker types it, in UTF-8 or an ANSI answer file.
    void yesAnswers() {
        for (const QByteArray si :
             {"s", "SI", "s\xc3\xad", "\tS\xc3\x8d\r", "si\xcc\x81", "\xef\xbb\xbfsi", "S\xed\r"})
            QVERIFY2(velmar::esRespuestaSi(si), si.toPercentEncoding());
        for (const QByteArray no : {"no", "", "sin", "s i", "s\xc3\xad."})
            QVERIFY2(!velmar::esRespuestaSi(no), no.toPercentEncoding());
    }

    // Then every expected file parsed and written back; reverse text, white
    // and exclusive-or lines; a variable between pieces is dropped.
    void layoutsAndRoundTripGiveTheExpectedBytes() {
        const Epl2Document doc = composeLabel(boxLabel(), kDos);
        QCOMPARE(writeEpl2(doc), expected("det_200_1.epl"));
        QCOMPARE(parseEpl2(writeEpl2(doc)), doc);
        const QStringList files = QDir(kData).entryList({"*.epl"});
        QVERIFY(files.size() >= 11);
        for (const QString& f : files)
            QCOMPARE(writeEpl2(parseEpl2(expected(f))), expected(f));
        const QByteArray job =
            "A5,5,1,2,1,1,R,\"x\\\"y\\\\\"V00\"z\"\r\nLW1,2,3,4\r\nLE5,6,7,8\r\n";
        QCOMPARE(std::get<Epl2Text>(parseEpl2(job).commands[0]).pieces,
                 QStringList({"x\"y\\", "z"}));
        QCOMPARE(writeEpl2(parseEpl2(job)), QByteArray(job).replace("V00", ""));
    }

    // A printer keeps its form from job to job, N clears the image only, a
    // label prints on P alone, and multipliers are bound to 1..8.
    void printerKeepsItsFormAcrossJobs() {
        Epl2Printer printer;
        const auto a = printer.run(parseEpl2("N\r\nq400\r\nQ300, 24 + 0\r\nS2\r\n"
                                             "A20,30,0,3,12,0,N,\"TOTAL  \"\"12\"\r\n"
                                             "LO10,200,300,4\r\nP2\r\n\r\n"));
        QCOMPARE(printer.run(parseEpl2("N\r\nA5,5,0,1,1,1,N,\"x\"\r\n")).size(), 0);
        const auto b = printer.run(parseEpl2("N\r\nA5,5,0,1,1,1,N,\"y\"\r\nP1\r\n"));
        QCOMPARE(QList({a.size(), b.size()}), QList<qsizetype>({1, 1}));
        QCOMPARE(QList({a[0].width, a[0].length, a[0].gap, a[0].copies, b[0].width, b[0].length}),
                 QList({400, 300, 24, 2, 400, 300}));
        const Epl2Text total{20, 30, 0, 3, 8, 1, false, {"TOTAL  ", "12"}};
        QCOMPARE(a[0].fields, (QVector<Epl2Field>{total, Epl2Line{{}, 10, 200, 300, 4}}));
        QCOMPARE(b[0].fields, (QVector<Epl2Field>{Epl2Text{5, 5, 0, 1, 1, 1, false, {"y"}}}));
    }

    // A CR LF in a value would end the field's line and run the rest as
    // commands: "P50" would print fifty copies of half a label.
    void controlCharactersInValuesBecomeBlanks() {
        QString all;
        for (char16_t c = 0; c < 0x20; ++c)
            all += QChar(c);
        QCOMPARE(quotedPiece(all + QChar(0x7F) + "a\"b\\"),
                 QString("\"") + QString(33, ' ') + "a\\\"b\\\\\"");
        BoxData d = kDos;
        const auto lines = composeLabel(boxLabel(), d).commands.size();
        d.mark = "DOS\r\nP50";
        d.customer = "SUPER\tFLORES";
        d.box = "1\n";
        d.masterWaybill = "999\r0000";
        d.rows = {"FREE\nDOM"};
        d.columns = {"5\x1b"
                     "0"};
        const QByteArray bytes = writeEpl2(composeLabel(boxLabel(), d));
        QCOMPARE(parseEpl2(bytes).commands.size(), lines);
        const auto printed = Epl2Printer().run(parseEpl2(bytes));
        QCOMPARE(printed.size(), 1);
        QCOMPARE(printed[0].copies, 2);
        for (const char* line :
             {"N,\"DOS  P50\"\r\n", "N,\"SUPER FLORES\"\r\n", "N,\"[# 1  ]\"\r\n",
              "N,\"AWB #999 0000\"\r\n", "N,\"FREE DOM\"\r\n", "N,\"5 0\"\r\n"})
            QVERIFY2(bytes.contains(line), line);
    }

    void codePage() {
        QCOMPARE(toCp1252(QString::fromUtf8("Ñ€Ω") + QChar(0x81)), QByteArray("\xd1\x80??"));
        // decomposed accents: composed where the code page has the letter
        QCOMPARE(toCp1252("Jose\u0301 N\u0303 q\u0303"), QByteArray("Jos\xe9 \xd1 q?"));
        QCOMPARE(fromCp1252("\xd1\x80\x81"), QString::fromUtf8("Ñ€") + QChar(0xFFFD));
        for (int b = 0; b < 256; ++b) {
            const QByteArray one(1, char(b));
            if (fromCp1252(one) != QChar(0xFFFD))
                QCOMPARE(toCp1252(fromCp1252(one)), one);
        }
    }

    // A target not a regular file is left as it is; a file that cannot be
    // written says why and the old one stays (as root: device, full, read-only).
    void filesSayWhy() {
        QTemporaryDir dir;
        const QString d = dir.path() + "/";
        QVERIFY(QDir(d).mkdir("carpeta.csv") && QDir(d).mkdir("lleno") && QDir(d).mkdir("ro"));
        QCOMPARE(::mkfifo(qPrintable(d + "fifo.csv"), 0600), 0);
        const bool root = ::geteuid() == 0;
        const auto desmontar = qScopeGuard([&] {
            if (root)
                QProcess::execute("umount", {"-l", d + "lleno", d + "ro"});
        });
        QList<std::pair<QString, QString>> casos = {
            {d + "fifo.csv", "es una tubería (FIFO), no un archivo; se deja como está"},
            {d + "carpeta.csv", "es una carpeta, no un archivo"},
            {d + "no/a.csv", "la carpeta no existe"}};
        if (root) {
            QCOMPARE(::mknod(qPrintable(d + "nulo.csv"), S_IFCHR | 0666, makedev(1, 3)), 0);
            QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=16k", "tmpfs", d + "lleno"});
            QProcess::execute("mount", {"-t", "tmpfs", "-o", "ro,size=16k", "tmpfs", d + "ro"});
            escribirArchivo(d + "lleno/viejo.xlsx", "anterior");
            QFile relleno(d + "lleno/relleno");
            QVERIFY(relleno.open(QIODevice::WriteOnly));
            relleno.write(QByteArray(64 * 1024, 'x'));
            casos += {{d + "nulo.csv", "es un dispositivo, no un archivo; se deja como está"},
                      {d + "lleno/viejo.xlsx", "no queda espacio en el disco"},
                      {d + "ro/a.csv", "el disco es de sólo lectura"}};
        }
        Asistencia una{{Persona{}}, {}, {}};
        una.filas = {{0, una.textos.de("2026-03-02"), una.textos.de("07:00:00"), 0, {}}};
        for (const auto& [archivo, motivo] : casos) {
            try {
                archivo.endsWith(".xlsx") ? escribirLibro(una, archivo)
                                          : escribirArchivo(archivo, QByteArray(1000, 'x'));
                QFAIL(qPrintable(archivo));
            } catch (const FileError& e) {
                QCOMPARE(e.text(), motivo);
            }
        }
        QVERIFY(!QFileInfo(d + "fifo.csv").isFile() && !QFileInfo(d + "carpeta.csv").isFile());
        if (root) {
            QVERIFY(!QFileInfo(d + "nulo.csv").isFile());
            QCOMPARE(test::leer(d + "lleno/viejo.xlsx"), "anterior");
            QCOMPARE(QDir(d + "lleno").entryList(QDir::Files | QDir::Hidden),
                     QStringList({"relleno", "viejo.xlsx"}));
        }
        qputenv("VELMAR_IMPRESORA", "file:/dev/full");
        try {
            defaultLabelPrinter()->send("N\r\nP1\r\n");
            QFAIL("a full device took the label");
        } catch (const PrinterError& e) {
            QCOMPARE(e.text(), "no queda espacio en el disco");
        }
        qunsetenv("VELMAR_IMPRESORA");
    }

    // Cut back to the last 16384 characters only past 20480.
    void historyBound() {
        for (const int largo : {History::kLimite, History::kLimite + 1}) {
            History h;
            h.agregar_historia("a");
            QCOMPARE(h.caret(), 0);
            h.agregarTexto(QString(largo - 3, 'x'));
            const QString antes = h.texto();
            QVERIFY(antes.startsWith("a\r\nx"));
            h.recortar_historia();
            const int queda = largo > History::kLimite ? History::kConserva : largo;
            QCOMPARE(h.texto(), antes.right(queda));
            QCOMPARE(h.caret(), queda);
        }
    }
};

QTEST_GUILESS_MAIN(TestUnit)
#include "test_unit.moc"
