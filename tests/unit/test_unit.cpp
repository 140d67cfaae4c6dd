// Pure logic, no server: quoting, velmo's text routines, the history and
// report models.

#include "db/sql_quote.h"
#include "station/context.h"
#include "station/velmo.h"

#include <QTest>

using namespace velmar;

namespace {

// Records which hooks a view would have been told about.
struct VistaHistoria : History {
    QStringList avisos;
    void onAppended(const QString& p) override { avisos << "+" + p; }
    void onReplaced() override { avisos << "="; }
};

} // namespace

class TestUnit : public QObject {
    Q_OBJECT

private slots:
    void quoting() {
        const QString todo = QString("a'b\\c") + QChar(0) + "d" + QChar(0x1a) + "ñ";
        QCOMPARE(sqlEscape(todo, false), QString("a''b\\\\c\\0d\\Zñ"));
        QCOMPARE(sqlEscape(todo, true), QString("a''b\\cd") + QChar(0x1a) + "ñ");
        // numbers stay bare, anything else is quoted
        const struct {
            QString valor, sql;
        } numeros[] = {{"12", "12"},   {" 7 ", "7"},     {"-3.5", "-3.5"},
                       {"5A", "'5A'"}, {"", "''"},       {"1 or 1=1", "'1 or 1=1'"},
                       {"1.", "'1.'"}, {"\t7", "'\t7'"}, {"\u0661", "'\u0661'"}};
        for (const auto& n : numeros)
            QCOMPARE(sqlNumber(n.valor, false), n.sql);
        QCOMPARE(sqlNumber("x'\\", true), QString("'x''\\'"));
    }

    void textRoutines() {
        for (const char* v : {"", "    ", "__-___-____"})
            QVERIFY(es_vacio(v));
        for (const char* v : {" __-___-____", "0", "\t"})
            QVERIFY(!es_vacio(v));
        // spaces only: the farm's TABs survive
        QCOMPARE(sin_blancos("  \ta b\t  "), QString("\ta b\t"));

        const struct {
            QString texto;
            double valor;
        } numeros[] = {{"50", 50},    {"  \t-12.5x", -12.5},
                       {"+3", 3},     {".5", 0.5},
                       {"CMS 50", 0}, {"-", 0},
                       {"", 0},       {"7.", 7},
                       {"\u0665", 0}, {"12\u0663", 12}};
        for (const auto& n : numeros)
            QCOMPARE(valor_numerico(n.texto), n.valor);

        const QString largo = QString(40000, 'x') + "/fin"; // past the 16-bit positions of old
        const struct {
            QString texto;
            qsizetype n;
            QString separador, parte;
        } partes[] = {{"123/456", 1, "/", "123"},
                      {"123/456", 2, "/", "456"},
                      {"123/456", 3, "/", ""},
                      {"123/456", 0, "/", ""},
                      {"123/456", -4, "/", ""},
                      {"123456", 1, "/", "123456"},
                      {"AB/", 2, "/", ""},
                      {"/CD", 1, "/", ""},
                      {"a, b", 2, ", ", " b"},
                      {"a,,c", 3, ",", "c"},
                      {"a/b", 1000000000000, "/", ""},
                      {largo, 2, "/", "fin"},
                      {largo, 1, "/", QString(40000, 'x')}};
        for (const auto& p : partes)
            QCOMPARE(extraer_parte(p.texto, p.n, p.separador), p.parte);
    }

    // Lines end in CR LF, each line puts the caret at the start; the text is
    // cut back to its last 16384 characters only past 20480, and the view is
    // told of every piece and of the cut.
    void historyBound() {
        for (const auto& [largo, queda] : {std::pair{20480, 20480}, std::pair{20481, 16384}}) {
            VistaHistoria h;
            h.agregar_texto("\tError");
            h.agregar_historia("a");
            QCOMPARE(h.texto(), QString("\tErrora\r\n"));
            QCOMPARE(h.caret(), 0);
            h.agregar_texto(QString(largo - 9, 'x'));
            const QString antes = h.texto();
            h.recortar_historia();
            QCOMPARE(h.texto(), antes.right(queda));
            QCOMPARE(h.caret(), queda);
            QCOMPARE(h.avisos.size(), largo > History::kLimite ? 4 : 3);
        }
    }

    void reportBox() {
        ReportBox r;
        QVERIFY(!r.visible() && !r.escrito());
        r.set("a");
        r.append("b");
        QCOMPARE(r.texto(), QString("ab"));
        QVERIFY(r.escrito() && !r.visible());
        r.reiniciarEscrito();
        r.show();
        QVERIFY(!r.escrito() && r.visible());
        r.set(QString());
        QVERIFY(r.escrito());
    }
};

QTEST_APPLESS_MAIN(TestUnit)
#include "test_unit.moc"
