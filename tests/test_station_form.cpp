// velmar_form on real widgets (offscreen): controls, layout rule, history
// conventions, busy indication, start-up without a server, and a station that
// outlives a database restart.

#include "context/errors.h"
#include "startup/velmo.h"
#include "station/velmar_form.h"
#include "test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

using namespace velmar;
using namespace velmar::test;

namespace {

// twips to pixels at 96 dpi
constexpr int px(int twips) {
    return twips / 15;
}

QString vista(const QPlainTextEdit* e) {
    return e->toPlainText();
}

} // namespace

class TestStationForm : public QObject {
    Q_OBJECT

private slots:
    void init() { TestDb::get().reset(); }

    void controlsAsDesigned() {
        TestStation t;
        VelmarForm form(t.db, &t.prompts, &t.printer);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        QCOMPARE(form.windowTitle(), QString("VELMAR"));
        QVERIFY(!form.windowIcon().isNull());
        QCOMPARE(form.client()->size(), QSize(px(10560), px(5460)));

        QCOMPARE(form.label2()->text(), QString("Control de Asistencia"));
        QCOMPARE(form.label2()->geometry(), QRect(px(240), px(120), px(2655), px(375)));
        QVERIFY(form.label2()->font().bold());
        QCOMPARE(form.label2()->font().pointSizeF(), 12.0);
        QCOMPARE(form.label1()->text(), QString("Cédula"));
        QCOMPARE(form.label1()->geometry(), QRect(px(3360), px(240), px(975), px(255)));
        QVERIFY(form.label1()->alignment() & Qt::AlignRight);
        QCOMPARE(form.text1()->geometry(), QRect(px(4560), px(240), px(2535), px(285)));
        QCOMPARE(form.image2()->geometry(), QRect(px(8160), 0, px(2235), px(570)));
        QCOMPARE(form.image2()->pixmap().size(), QSize(341, 110));
        QCOMPARE(form.frame1()->title(), QString("Historia de las Operaciones"));
        QCOMPARE(form.frame1()->geometry(), QRect(px(120), px(720), px(10335), px(4575)));
        QCOMPARE(form.text2()->parentWidget(), form.frame1());
        QCOMPARE(form.text2()->geometry(), QRect(px(120), px(240), px(10095), px(4215)));
        QVERIFY(form.text2()->isReadOnly());
        QCOMPARE(form.text2()->font().family(), QString("Arial"));
        QVERIFY(!form.text2()->font().bold());
        QCOMPARE(form.text2()->font().pointSizeF(), 8.25);
        QCOMPARE(form.text2()->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(form.txtReporte()->geometry(), QRect(px(6720), 0, px(3735), px(5295)));
        QVERIFY(form.txtReporte()->isReadOnly());
        QVERIFY(!form.txtReporte()->isVisible());

        // Text1 has the focus when the window opens, and typing goes there.
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form.text1()));
        QTest::keyClicks(QApplication::focusWidget(), "17");
        QCOMPARE(form.text1()->text(), QString("17"));
        QCOMPARE(form.text1()->nextInFocusChain() != nullptr, true);
    }

    // The frame and the history follow every resize; nothing moves; sizes
    // clamp at zero when the window gets too small.
    void layoutRule() {
        TestStation t;
        VelmarForm form(t.db, &t.prompts, &t.printer);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QSize menu = form.size() - form.client()->size();

        const int grow = px(1005);
        form.resize(form.client()->width() + grow + menu.width(),
                    form.client()->height() + grow + menu.height());
        QTRY_COMPARE(form.client()->size(), QSize(px(10560) + grow, px(5460) + grow));
        QCOMPARE(form.frame1()->geometry(),
                 QRect(px(120), px(720), px(10335) + grow, px(4575) + grow));
        QCOMPARE(form.text2()->geometry(),
                 QRect(px(120), px(240), px(10095) + grow, px(4215) + grow));
        QCOMPARE(form.txtReporte()->geometry(), QRect(px(6720), 0, px(3735), px(5295)));
        QCOMPARE(form.text1()->geometry(), QRect(px(4560), px(240), px(2535), px(285)));

        form.client()->resize(20, 40); // smaller than the margins
        QCOMPARE(form.text2()->size(), QSize(0, 0));
        QCOMPARE(form.frame1()->size(), QSize(5, 0));

        form.client()->resize(px(10560), px(5460));
        QCOMPARE(form.frame1()->size(), QSize(px(10335), px(4575)));
        QCOMPARE(form.text2()->size(), QSize(px(10095), px(4215)));
    }

    void historyConventionsOnTheView() {
        TestStation t;
        VelmarForm form(t.db, &t.prompts, &t.printer);
        History& h = form.station().history;

        h.agregar_historia("a");
        h.agregar_historia("b");
        h.agregar_historia("c");
        QCOMPARE(h.texto(), QString("a\r\nb\r\nc\r\n"));
        QCOMPARE(vista(form.text2()), QString("a\nb\nc\n"));
        // replacing a text box's text leaves the caret at the start
        QCOMPARE(form.text2()->textCursor().position(), 0);

        h.agregar_texto("\tError");
        h.agregar_historia("d");
        QCOMPARE(vista(form.text2()), QString("a\nb\nc\n\tErrord\n"));

        // exactly 20480 characters: untouched, caret to the end
        History& limpio = form.station().history;
        limpio.recortar_historia();
        QCOMPARE(form.text2()->textCursor().position(), vista(form.text2()).size());
    }

    void historyTrimBoundary() {
        TestStation t;
        VelmarForm form(t.db, &t.prompts, &t.printer);
        History& h = form.station().history;
        // 20480 characters in lines of 8 + CR LF, then the rest
        QString linea = "1234567";
        while (h.texto().size() + 9 <= History::kLimite)
            h.agregar_historia(linea);
        h.agregar_texto(QString(History::kLimite - h.texto().size(), 'x'));
        QCOMPARE(h.texto().size(), 20480);
        const QString antes = h.texto();
        h.recortar_historia();
        QCOMPARE(h.texto(), antes);
        QCOMPARE(h.caret(), 20480);

        h.agregar_texto("Z");
        h.recortar_historia();
        QCOMPARE(h.texto().size(), 16384);
        QCOMPARE(h.texto(), (antes + "Z").right(16384));
        QCOMPARE(h.caret(), 16384);
        QCOMPARE(vista(form.text2()), paraVista(h.texto()));
        QCOMPARE(form.text2()->textCursor().position(), vista(form.text2()).size());
    }

    void busyIndicationOnTheForm() {
        TestStation t;
        VelmarForm form(t.db, &t.prompts, &t.printer);
        Busy& b = form.station().busy;
        b.setPuntero(Busy::kReloj);
        b.setCaption("Buscando ...");
        QCOMPARE(form.frame1()->title(), QString("Buscando ..."));
        QCOMPARE(form.cursor().shape(), Qt::WaitCursor);
        b.setPuntero(Busy::kFlecha);
        b.setCaption(Busy::kCaptionError, false);
        QCOMPARE(form.frame1()->title(), QString("Historia de operaciones"));
        QCOMPARE(form.cursor().shape(), Qt::ArrowCursor);
    }

    // Main's path with the server down: one real critical box titled
    // "Tarnel Flower", then the window still shows.
    void startWithoutServer() {
        TestDb::get();
        Conexion conexion(TestDb::get().cadena() + ";PORT=1");
        WidgetPrompts prompts;
        QString titulo, texto;
        QMessageBox::Icon icono = QMessageBox::NoIcon;
        int cajas = 0;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                ++cajas;
                titulo = box->windowTitle();
                texto = box->text();
                icono = box->icon();
                box->accept();
            }
        });
        closer.start(50);
        QVERIFY(!conectar(conexion, prompts));
        closer.stop();
        QCOMPARE(cajas, 1);
        QCOMPARE(titulo, QString("Tarnel Flower"));
        QCOMPARE(icono, QMessageBox::Critical);
        QVERIFY2(texto.startsWith("No hay conexión con el servidor de base de datos"),
                 qPrintable(texto));

        VelmarForm form(conexion, &prompts);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }

    // The next card's keys, typed by the scanner while a question is up, must
    // not answer it: early keys are dropped, and Enter later means No.
    void questionIsNotAnsweredByAScan() {
        WidgetPrompts prompts;
        bool abiertaTrasEscaneo = false;
        QString texto;
        QTimer::singleShot(100, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            texto = box->text();
            QWidget* foco = QApplication::focusWidget() ? QApplication::focusWidget() : box;
            QTest::keyClicks(foco, "1712345678");
            QTest::keyClick(foco, Qt::Key_Return);
            abiertaTrasEscaneo = box->isVisible();
            QTimer::singleShot(WidgetPrompts::kGuardaMs, [box] {
                QWidget* f = QApplication::focusWidget() ? QApplication::focusWidget() : box;
                QTest::keyClick(f, Qt::Key_Return);
            });
        });
        const int r =
            prompts.msgbox("El usuario desea salir a los 135 minutos de haber ingresado ?", kSiNo);
        QVERIFY(abiertaTrasEscaneo);
        QCOMPARE(texto, QString("El usuario desea salir a los 135 minutos de haber ingresado ?"));
        QCOMPARE(r, int(kNo));

        // the operator's own answer still counts
        QTimer::singleShot(WidgetPrompts::kGuardaMs + 100, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            for (QAbstractButton* b : box->buttons())
                if (b->text() == "&Sí")
                    b->click();
        });
        QCOMPARE(prompts.msgbox("¿Salir?", kSiNo), int(kSi));
    }

    // A station keeps running across a database restart: the failure is
    // reported, the statement is not run again, and the next one works.
    void survivesServerRestart() {
        PrivateServer server;
        server.start();
        TestStation t(server.cadena());
        t.db.ejecutar("create table t (v int)");
        ejecutar_sql(t.st, "insert into t values (1)");
        QVERIFY(t.prompts.cajas.isEmpty());

        server.kill9();
        ejecutar_sql(t.st, "insert into t values (2)");
        QCOMPARE(t.prompts.cajas.size(), 1);
        QVERIFY2(t.prompts.cajas[0].texto.startsWith("No hay conexión"),
                 qPrintable(t.prompts.cajas[0].texto));
        RecordSet rs = abrir_consulta(t.st, "select count(*) from t");
        QVERIFY(!rs.abierto());
        QCOMPARE(t.prompts.cajas.size(), 2);
        QVERIFY(t.prompts.cajas[1].texto.startsWith("Consulta Sql No hay conexión"));

        server.start();
        ejecutar_sql(t.st, "insert into t values (3)");
        QCOMPARE(t.prompts.cajas.size(), 2);
        QCOMPARE(abrir_consulta(t.st, "select group_concat(v order by v) from t").text(0),
                 QString("1,3"));
    }
};

QTEST_MAIN(TestStationForm)
#include "test_station_form.moc"
