// Labels without a server, in milliseconds: layout -> document -> bytes
// against the expected files, writer and parser round trip, the emulated
// printer's state, control characters in values, the code page.

#include "epl2/cp1252.h"
#include "epl2/epl2_parser.h"
#include "epl2/epl2_printer.h"
#include "epl2/epl2_writer.h"
#include "labels/label_composer.h"

#include <QDir>
#include <QTest>

using namespace velmar;

class TestLabelModel : public QObject {
    Q_OBJECT

    static inline const QString kData = VELMAR_SOURCE_DIR "/tests/data/labels/";

    static QByteArray expected(const QString& file) {
        QFile f(kData + file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // What the test farm's database gives for det_200_1; the other layouts are
    // checked from the database by test_labels.
    static inline const BoxData kDos = {"200",       "1",
                                        "999-0000",  "",
                                        "RED",       "SUPERFLORES INTERNACIONAL",
                                        "DOS",       {"50"},
                                        {"FREEDOM"}, {{"FREEDOM", "50", "1"}},
                                        1,           30};

private slots:
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
};

QTEST_GUILESS_MAIN(TestLabelModel)
#include "test_label_model.moc"
