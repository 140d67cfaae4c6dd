// velmar_form on real widgets (offscreen): controls, layout rule, history
// conventions, busy indication, start-up without a server, and the question
// box a scanner cannot answer.

#include "gui/velmar_form.h"
#include "station/velmo.h"
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
QRect tw(int x, int y, int w, int h) {
    return QRect(px(x), px(y), px(w), px(h));
}

QMessageBox* caja() {
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}
QWidget* foco(QWidget* box) {
    return QApplication::focusWidget() ? QApplication::focusWidget() : box;
}

// The window over a station of the test database, shown.
struct Ventana {
    Ventana() {
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }
    TestStation t;
    VelmarForm form{t.db, &t.prompts, &t.printer};
};

} // namespace

class TestStationForm : public QObject {
    Q_OBJECT

private slots:
    // Controls as designed; the frame and the history follow every resize,
    // nothing else moves, sizes clamp at zero when the window gets too small.
    void controlsAndLayoutRule() {
        Ventana v;
        VelmarForm& f = v.form;
        QCOMPARE(f.windowTitle(), QString("VELMAR"));
        QVERIFY(!f.windowIcon().isNull());
        QCOMPARE(f.label2()->text(), QString("Control de Asistencia"));
        QVERIFY(f.label2()->font().bold());
        QCOMPARE(f.label2()->font().pointSizeF(), 12.0);
        QCOMPARE(f.label1()->text(), QString("Cédula"));
        QVERIFY(f.label1()->alignment() & Qt::AlignRight);
        QCOMPARE(f.image2()->pixmap().size(), QSize(341, 110));
        QCOMPARE(f.frame1()->title(), QString("Historia de las Operaciones"));
        QCOMPARE(f.text2()->parentWidget(), f.frame1());
        QVERIFY(f.text2()->isReadOnly());
        QCOMPARE(f.text2()->font().family(), QString("Arial"));
        QVERIFY(!f.text2()->font().bold());
        QCOMPARE(f.text2()->font().pointSizeF(), 8.25);
        QCOMPARE(f.text2()->lineWrapMode(), QPlainTextEdit::NoWrap);
        QVERIFY(f.txtReporte()->isReadOnly());
        QVERIFY(!f.txtReporte()->isVisible());
        // Text1 has the focus when the window opens, and typing goes there.
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.text1()));
        QTest::keyClicks(QApplication::focusWidget(), "17");
        QCOMPARE(f.text1()->text(), QString("17"));

        const QList<std::pair<QWidget*, QRect>> fijos = {{f.label2(), tw(240, 120, 2655, 375)},
                                                         {f.label1(), tw(3360, 240, 975, 255)},
                                                         {f.text1(), tw(4560, 240, 2535, 285)},
                                                         {f.image2(), tw(8160, 0, 2235, 570)},
                                                         {f.txtReporte(), tw(6720, 0, 3735, 5295)}};
        const QSize menu = f.size() - f.client()->size();
        for (const int g : {0, px(1005)}) {
            f.resize(QSize(px(10560) + g, px(5460) + g) + menu);
            QTRY_COMPARE(f.client()->size(), QSize(px(10560) + g, px(5460) + g));
            for (const auto& [w, r] : fijos)
                QCOMPARE(w->geometry(), r);
            QCOMPARE(f.frame1()->geometry(), tw(120, 720, 10335, 4575).adjusted(0, 0, g, g));
            QCOMPARE(f.text2()->geometry(), tw(120, 240, 10095, 4215).adjusted(0, 0, g, g));
        }
        f.client()->resize(20, 40); // smaller than the margins
        QCOMPARE(f.text2()->size(), QSize(0, 0));
        QCOMPARE(f.frame1()->size(), QSize(5, 0));
        f.client()->resize(px(10560), px(5460));
        QCOMPARE(f.frame1()->size(), QSize(px(10335), px(4575)));
        QCOMPARE(f.text2()->size(), QSize(px(10095), px(4215)));
    }

    // CR LF shown as line ends; a replaced text leaves the caret at the start;
    // a TAB line without CR LF is continued by the next one. Busy: caption and
    // pointer on the form.
    void historyAndBusyOnTheForm() {
        Ventana v;
        History& h = v.form.station().history;
        for (const char* linea : {"a", "b", "c"})
            h.agregar_historia(linea);
        QCOMPARE(h.texto(), QString("a\r\nb\r\nc\r\n"));
        QCOMPARE(v.form.text2()->toPlainText(), QString("a\nb\nc\n"));
        QCOMPARE(v.form.text2()->textCursor().position(), 0);
        h.agregar_texto("\tError");
        h.agregar_historia("d");
        QCOMPARE(v.form.text2()->toPlainText(), QString("a\nb\nc\n\tErrord\n"));

        Busy& b = v.form.station().busy;
        b.setPuntero(Busy::kReloj);
        b.setCaption("Buscando ...");
        QCOMPARE(v.form.frame1()->title(), QString("Buscando ..."));
        QCOMPARE(v.form.cursor().shape(), Qt::WaitCursor);
        b.setPuntero(Busy::kFlecha);
        b.setCaption(Busy::kCaptionError, false);
        QCOMPARE(v.form.frame1()->title(), QString("Historia de operaciones"));
        QCOMPARE(v.form.cursor().shape(), Qt::ArrowCursor);
    }

    // Main's path with the server down: one real critical box titled
    // "Tarnel Flower", then the window still shows.
    void startWithoutServer() {
        Conexion conexion(TestDb::get().cadena() + ";PORT=1");
        WidgetPrompts prompts;
        QStringList cajas; // "title|icon|text"
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (QMessageBox* box = caja()) {
                cajas << box->windowTitle() + "|" + QString::number(box->icon()) + "|" +
                             box->text();
                box->accept();
            }
        });
        closer.start(50);
        QVERIFY(!conectar(conexion, prompts));
        closer.stop();
        QCOMPARE(cajas.size(), 1);
        QVERIFY2(cajas[0].startsWith("Tarnel Flower|3|No hay conexión con el servidor de base de "
                                     "datos"),
                 qPrintable(cajas[0])); // 3: critical
        VelmarForm form(conexion, &prompts);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }

    // The next card's keys, typed by the scanner while a question is up, must
    // not answer it: early keys are dropped, and Enter later means No.
    void questionIsNotAnsweredByAScan() {
        WidgetPrompts prompts;
        const QString pregunta = "El usuario desea salir a los 135 minutos de haber ingresado ?";
        bool abiertaTrasEscaneo = false;
        QString texto;
        QTimer::singleShot(100, [&] {
            QMessageBox* box = caja();
            QVERIFY(box);
            texto = box->text();
            QTest::keyClicks(foco(box), "1712345678");
            QTest::keyClick(foco(box), Qt::Key_Return);
            abiertaTrasEscaneo = box->isVisible();
            QTimer::singleShot(WidgetPrompts::kGuardaMs,
                               [box] { QTest::keyClick(foco(box), Qt::Key_Return); });
        });
        QCOMPARE(prompts.msgbox(pregunta, kSiNo), int(kNo));
        QVERIFY(abiertaTrasEscaneo);
        QCOMPARE(texto, pregunta);

        // the operator's own answer still counts
        QTimer::singleShot(WidgetPrompts::kGuardaMs + 100, [] {
            QVERIFY(caja());
            for (QAbstractButton* b : caja()->buttons())
                if (b->text() == "&Sí")
                    b->click();
        });
        QCOMPARE(prompts.msgbox("¿Salir?", kSiNo), int(kSi));
    }
};

QTEST_MAIN(TestStationForm)
#include "test_station_form.moc"
