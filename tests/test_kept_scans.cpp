// Scans kept on the station while the link is down, recorded when it is back.

#include "clock/attendance_clock.h"
#include "clock/kept_scans.h"
#include "fault_proxy.h"
#include "gui/velmar_form.h"
#include "test_support.h"

#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <sys/resource.h>

using namespace velmar;
using namespace velmar::test;

// A station over the proxy whose scans are kept in `archivo`.
struct Estacion {
    Estacion(const QString& cadena, const QString& archivo)
        : t(cadena)
        , k(archivo, t.prompts, asistencia) {
        t.sesion.guardadas = &k;
        k.latido(t.st); // the server's clock seen
    }
    TestStation t;
    KeptScans k;
};

class TestKeptScans : public QObject {
    Q_OBJECT
    FaultProxy red_{qEnvironmentVariableIntValue("VELMAR_TEST_DB_PORT")};
    QRegularExpression puerto_{"PORT=\\d+"};
    QString cadena_ = TestDb::get().cadena(TestDb::get().nombre()).replace(puerto_, porRed());
    QString porRed() const { return "PORT=" + QString::number(red_.port()); }
    QTemporaryDir dir_;
    QString diario_;

    // Scans of cédulas 1..n kept while the link is down; the server's clock at each.
    QStringList guardar(Estacion& e, int n) {
        red_.caer();
        QStringList reloj;
        for (int i = 1; i <= n; ++i, QTest::qWait(50)) {
            reloj << TestDb::get().valor("select current_time()");
            asistencia(e.t.st, QString::number(i));
        }
        red_.caer(false);
        return reloj;
    }

private slots:
    void init() {
        TestDb::get().reset();
        for (int i = 1; i <= 20; ++i)
            TestDb::get().sql(QString("insert into personal values (%1, '%1', 'N', 'A%1')").arg(i));
        diario_ = dir_.filePath(QTest::currentTestFunction() + QString(QTest::currentDataTag()));
        qputenv("VELMAR_DIARIO", diario_.toUtf8()); // velmar-cli's and the window's
    }

    // A journal unreadable at start: set aside (never deleted), a box names
    // it. 20 scans while down: a line each, no box; listed by velmar-cli;
    // each recorded at its own server time (within a second) once back.
    void keptWhileDownRecordedWhenBack() {
        QFile f(diario_);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(600, 'x')) && f.flush());
        Estacion e(cadena_, diario_);
        const QStringList reloj = guardar(e, 20);
        QCOMPARE(e.t.prompts.eventos,
                 {"48|velmar|No se pudo leer el diario de marcaciones " + diario_ +
                  "; se apartó como " + diario_ + ".ilegible y se empieza uno nuevo"});
        QFile aparte(diario_ + ".ilegible");
        QVERIFY(aparte.open(QIODevice::ReadOnly) && aparte.readAll() == QByteArray(600, 'x'));
        QString lineas, listado, ingresos;
        for (const MarcaGuardada& m : e.k.pendientes()) {
            lineas +=
                "Marcación guardada sin conexión: cédula " + m.cedula + " a las " + m.hora + "\r\n";
            listado += "\t" + m.fecha + " " + m.hora + " " + m.cedula + "\r\n";
            ingresos += "Ingreso del usuario N A" + m.cedula + " a las " + m.hora + "\r\n";
        }
        QCOMPARE(e.t.history.texto(), lineas);
        QCOMPARE(cli({"marcaciones_guardadas"}),
                 SalidaCli({0, (listado + "\t* Marcaciones en espera: 20\r\n").toUtf8(), {}}));
        e.k.latido(e.t.st);
        QCOMPARE(e.t.history.texto(), lineas + ingresos);
        QCOMPARE(e.k.esperando(), 0);
        const QStringList horas =
            TestDb::get().filas("select hora_entrada from control_asistencia order by personal_id");
        QCOMPARE(horas.size(), 20);
        for (int i = 0; i < 20; ++i)
            QVERIFY2(qAbs(QTime::fromString(reloj[i]).secsTo(QTime::fromString(horas[i]))) <= 1,
                     qPrintable(reloj[i] + " " + horas[i]));
    }

    // velmar-cli killed while its entry is on the way: sent again, not doubled.
    // Another station kept the same day 3 minutes later: an unconfirmed exit.
    void killedDuringReplayAndTwoStations() {
        Estacion e(cadena_, diario_), b(cadena_, diario_ + "b");
        const QDateTime luego = b.k.horaServidor()->addSecs(180);
        b.k.relojServidor(luego.toString("yyyy-MM-dd"), luego.toString("hh:mm:ss.zzz"), true);
        guardar(e, 3);
        red_.caer();
        asistencia(b.t.st, "1");
        red_.caer(false);
        QFile ini(qEnvironmentVariable("ODBCINI")), conRed(dir_.filePath("odbc.ini"));
        QVERIFY(ini.open(QIODevice::ReadOnly) && conRed.open(QIODevice::WriteOnly));
        conRed.write(QString(ini.readAll()).replace(puerto_, porRed()).toUtf8());
        conRed.close();
        red_.retener("insert into control_asistencia");
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ODBCINI", conRed.fileName());
        p.setProcessEnvironment(env);
        p.start(VELMAR_CLI_BIN, {"enviar_marcaciones"});
        QTRY_VERIFY_WITH_TIMEOUT(red_.reteniendo(), 20000);
        p.kill(), p.waitForFinished();
        red_.soltar();
        QTRY_COMPARE(TestDb::get().valor("select count(*) from control_asistencia"), "1");
        QCOMPARE(e.k.esperando(), 3);
        const QList<MarcaGuardada> m = e.k.pendientes();
        QCOMPARE(cli({"enviar_marcaciones"}).out,
                 "EL USUARIO N A1 YA FUE INGRESADO A LAS " + m[0].hora.toUtf8() +
                     "\r\nIngreso del usuario N A2 a las " + m[1].hora.toUtf8() +
                     "\r\nIngreso del usuario N A3 a las " + m[2].hora.toUtf8() +
                     "\r\n\t* Marcaciones enviadas: 3; en espera: 0\r\n");
        const QString hb = b.k.pendientes()[0].hora;
        b.k.latido(b.t.st);
        QCOMPARE(TestDb::get().filas("select hora_entrada, hora_salida from control_asistencia"),
                 QStringList({m[0].hora + "|NULL", m[1].hora + "|NULL", m[2].hora + "|NULL"}));
        QCOMPARE(b.t.history.texto().split("\r\n")[1],
                 "Marcación guardada de la cédula 1 a las " + hb +
                     ": salida temprana sin confirmar, debe marcar de nuevo");
    }

    // The window: the kept scan's line and the count under the card box; its
    // retry timer sends the scan once the link is back.
    void windowKeepsAndSends() {
        TestStation t(cadena_);
        VelmarForm form(t.db, &t.prompts, &t.printer);
        form.show();
        auto* espera = form.findChild<QLabel*>("lblEspera");
        red_.caer();
        QTest::keyClicks(form.text1(), "7");
        QTest::keyClick(form.text1(), Qt::Key_Return);
        QVERIFY(espera->isVisible());
        QCOMPARE(espera->text(), "Marcaciones en espera: 1");
        QVERIFY(form.station().history.texto().startsWith(
            "Marcación guardada sin conexión: cédula 7 a las "));
        red_.caer(false);
        for (QTimer* r : form.findChildren<QTimer*>())
            if (r->interval() == KeptScans::kLatido)
                r->setInterval(10);
        QTRY_VERIFY_WITH_TIMEOUT(!espera->isVisible(), 10000);
        QCOMPARE(TestDb::get().valor("select count(*) from control_asistencia"), QString("1"));
        QCOMPARE(t.prompts.eventos, QStringList());
    }

    // Not kept: the clock's own boxes, today's bytes. Off; no server clock
    // seen since start; the journal's disk full.
    void notKeptGivesTheBoxes_data() {
        QTest::addColumn<QString>("caso");
        for (const char* c : {"off", "no clock", "disk full"})
            QTest::newRow(c) << c;
    }
    void notKeptGivesTheBoxes() {
        QFETCH(QString, caso);
        TestStation t(cadena_);
        KeptScans k(diario_, t.prompts, asistencia);
        t.sesion.guardadas = caso == "off" ? nullptr : &k;
        if (caso != "no clock")
            k.latido(t.st);
        rlimit antes;
        getrlimit(RLIMIT_FSIZE, &antes), std::signal(SIGXFSZ, SIG_IGN);
        const rlimit lleno{0, antes.rlim_max};
        if (caso == "disk full")
            setrlimit(RLIMIT_FSIZE, &lleno);
        red_.caer();
        asistencia(t.st, "1");
        red_.caer(false);
        setrlimit(RLIMIT_FSIZE, &antes);
        QCOMPARE(t.prompts.eventos.size(), 3);
        QVERIFY2(t.prompts.eventos[0].startsWith("0|velmar|Consulta Sql No hay conexión"),
                 qPrintable(t.prompts.eventos[0]));
        QCOMPARE(t.prompts.eventos.mid(1), QStringList({"beep", "0|velmar|" + kErrorSistema}));
        QCOMPARE(t.history.texto(), "\t" + kErrorSistema);
        QCOMPARE(k.esperando(), 0);
    }
};

QTEST_MAIN(TestKeptScans)
#include "test_kept_scans.moc"
