// Scans kept on the station while the link is down, recorded when it is back.

#include "clock/attendance_clock.h"
#include "fault_proxy.h"
#include "gui/velmar_form.h"
#include "kept/kept_scans.h"
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
        , k(archivo, t.prompts) {
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
            e.k.marcar(e.t.st, QString::number(i));
        }
        red_.caer(false);
        return reloj;
    }

private slots:
    void init() {
        red_.soltar(), red_.caer(false); // what a failed case left
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

    // velmar-cli killed while its batch is on the way: none lost or doubled.
    void killedDuringBatch() {
        Estacion e(cadena_, diario_);
        guardar(e, 3);
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
        QTRY_COMPARE(TestDb::get().valor("select count(*) from control_asistencia"), "3");
        QCOMPARE(e.k.esperando(), 3);
        const QList<MarcaGuardada> m = e.k.pendientes();
        QCOMPARE(cli({"enviar_marcaciones"}).out,
                 "EL USUARIO N A1 YA FUE INGRESADO A LAS " + m[0].hora.toUtf8() +
                     "\r\nEL USUARIO N A2 YA FUE INGRESADO A LAS " + m[1].hora.toUtf8() +
                     "\r\nEL USUARIO N A3 YA FUE INGRESADO A LAS " + m[2].hora.toUtf8() +
                     "\r\n\t* Marcaciones enviadas: 3; en espera: 0\r\n");
        QCOMPARE(TestDb::get().filas("select hora_entrada, hora_salida from control_asistencia"),
                 QStringList({m[0].hora + "|NULL", m[1].hora + "|NULL", m[2].hora + "|NULL"}));
    }

    // Sent in a batch or one at a time, the same lines and rows: an entry; a re-scan, an exit 5
    // h in, an exit recorded, an early exit (never unasked) of days other stations entered; an
    // unknown card; the first again.
    void batchAsOneByOne_data() {
        QTest::addColumn<int>("maximo");
        QTest::newRow("batch") << -1;
        QTest::newRow("one by one") << 1;
    }
    void batchAsOneByOne() {
        QFETCH(int, maximo);
        Estacion e(cadena_, diario_);
        TestDb::get().sql(
            "insert into control_asistencia (personal_id, fecha_entrada, hora_entrada, "
            "hora_salida) values (2, @d := '2026-03-02', '06:59:30', null), (3, @d, "
            "'02:00', null), (4, @d, '05:00', '06:00'), (5, @d, '06:00', null)");
        ScanJournal diario(diario_);
        for (const char* c : {"1", "2", "3", "4", "5", "99", "1"})
            diario.guardar(c, "2026-03-02", diario.cuantas() < 6 ? "07:00:00" : "07:01:00");
        for (int i = 0; i < 7; ++i)
            e.k.enviar(e.t.st, maximo);
        QCOMPARE(e.t.history.texto(),
                 "Ingreso del usuario N A1 a las 07:00:00\r\nEL USUARIO N A2 YA FUE INGRESADO A "
                 "LAS 06:59:30\r\nEL USUARIO N A4 YA REGISTRO SU SALIDA A LAS 06:00:00\r\n"
                 "Marcación guardada de la cédula 5 a las 07:00:00: salida temprana sin "
                 "confirmar, debe marcar de nuevo\r\nNo se encontró la cédula 99\r\nEL USUARIO "
                 "N A1 YA FUE INGRESADO A LAS 07:00:00\r\n");
        QCOMPARE(TestDb::get().valor(
                     "select group_concat(personal_id, ' ', hora_entrada, ' ', "
                     "ifnull(hora_salida, '-') order by personal_id) from control_asistencia"),
                 "1 07:00:00 -,2 06:59:30 -,3 02:00:00 -,4 05:00:00 06:00:00,5 06:00:00 -");
        // The supervisor's record, read by velmar-cli with no data source at all (no
        // box): what each became, and the entry's time another station made.
        QProcessEnvironment sinDsn = QProcessEnvironment::systemEnvironment();
        sinDsn.insert("ODBCINI", dir_.filePath("ninguno.ini"));
        const SalidaCli r = correr(VELMAR_CLI_BIN, {"registro_marcaciones", "2026-03-02"}, sinDsn);
        QCOMPARE(r.err, QByteArray());
        QStringList vistos;
        for (const QString& l : QString(r.out).split("\r\n", Qt::SkipEmptyParts))
            vistos << (l.startsWith("\t*") ? l : l.section('\t', 4, 7));
        QCOMPARE(vistos, QStringList({"1\tN A1\tingreso\t07:00:00",
                                      "2\tN A2\tya_ingresado\t06:59:30", "3\t\tsin_efecto\t",
                                      "4\tN A4\tya_salio\t06:00:00", "5\t\tsin_confirmar\t",
                                      "99\t\tno_encontrada\t", "1\tN A1\tya_ingresado\t07:00:00",
                                      "\t* Marcaciones guardadas: 7; en espera: 0; salidas sin "
                                      "confirmar: 1"}));
    }

    // The window, its link silent or refused: found down off the window's
    // thread, then cards are kept before the link answered anything. Back, the
    // replay is held on person 1's lock (another station has it): a card of
    // person 3, who waits too, is kept behind that scan at once; one of
    // person 20 is recorded at once; the others go, and person 1's once the
    // lock is free.
    void windowKeepsThenScansBesideReplay_data() {
        QTest::addColumn<bool>("mudo");
        QTest::newRow("silent") << true;
        QTest::newRow("refused") << false;
    }
    void windowKeepsThenScansBesideReplay() {
        QFETCH(bool, mudo);
        TestStation t(cadena_);
        VelmarForm form(t.db, &t.prompts, &t.printer);
        form.show();
        KeptScans* k = form.guardadas();
        k->cadencia(50, 50);
        QTRY_VERIFY(k->horaServidor());
        mudo ? red_.retener() : red_.caer();
        QTRY_VERIFY_WITH_TIMEOUT(k->enlaceCaido(), 15000);
        const auto pasar = [&](const char* c) {
            QTest::keyClicks(form.text1(), c), QTest::keyClick(form.text1(), Qt::Key_Return);
        };
        for (const char* c : {"1", "2", "3", "4", "5"})
            pasar(c);
        QVERIFY(!mudo || red_.reteniendo());
        const QList<MarcaGuardada> m = k->pendientes();
        auto* espera = form.findChild<QLabel*>("lblEspera");
        QVERIFY(espera->isVisible() && espera->text() == "Marcaciones en espera: 5");
        const auto candado = [](const QString& f) {
            return TestDb::get().valor("select " + f + "(CONCAT('velmar-asistencia-', MD5('" +
                                       TestDb::get().nombre() + "/1'))" +
                                       (f == "GET_LOCK" ? ", 0)" : ")"));
        };
        QCOMPARE(candado("GET_LOCK"), "1");
        mudo ? red_.soltar() : red_.caer(false);
        const QString esperaCandado = "select count(*) from information_schema.processlist "
                                      "where state = 'User lock'";
        QTRY_COMPARE_WITH_TIMEOUT(TestDb::get().valor(esperaCandado), "1", 15000);
        QTRY_VERIFY(!k->enlaceCaido());
        pasar("3"), pasar("20");
        const QStringList h = form.station().history.texto().split("\r\n");
        QVERIFY2(h.value(5).startsWith("Marcación de la cédula 3 a las ") &&
                     h.value(6).startsWith("Ingreso del usuario N A20 a las "),
                 qPrintable(h.join('/')));
        QTRY_COMPARE_WITH_TIMEOUT(k->esperando(), 1, 15000); // the others go on meanwhile
        candado("RELEASE_LOCK");
        QTRY_VERIFY_WITH_TIMEOUT(!espera->isVisible(), 15000);
        QVERIFY(form.station().history.texto().contains("EL USUARIO N A3 YA FUE INGRESADO A LAS " +
                                                        m[2].hora));
        QCOMPARE(TestDb::get().valor("select count(*) from control_asistencia"), "6");
        QCOMPARE(t.prompts.eventos, QStringList());
    }

    // Not kept: the clock's own boxes at each card, today's bytes. Off; no
    // server clock seen since start; a station that slept since it saw one
    // (its wall clock moved 2 minutes more than its monotonic one); the
    // journal's disk full, told once in a box and the history.
    void notKeptGivesTheBoxes_data() {
        QTest::addColumn<QString>("caso");
        for (const char* c : {"off", "no clock", "slept", "disk full"})
            QTest::newRow(c) << c;
    }
    void notKeptGivesTheBoxes() {
        QFETCH(QString, caso);
        TestStation t(cadena_);
        KeptScans k(diario_, t.prompts);
        KeptScans* g = caso == "off" ? nullptr : &k;
        if (caso != "no clock")
            k.latido(t.st);
        if (const auto h = k.horaServidor(); caso == "slept")
            k.relojServidor(h->toString("yyyy-MM-dd"), h->toString("hh:mm:ss.zzz"), true,
                            QDateTime::currentMSecsSinceEpoch() - 120000);
        const bool lleno = caso == "disk full";
        rlimit antes, cero;
        getrlimit(RLIMIT_FSIZE, &antes), std::signal(SIGXFSZ, SIG_IGN), cero = {0, antes.rlim_max};
        if (lleno)
            setrlimit(RLIMIT_FSIZE, &cero);
        red_.caer();
        marcarTarjeta(t.st, g, "1"), marcarTarjeta(t.st, g, "2");
        red_.caer(false);
        setrlimit(RLIMIT_FSIZE, &antes);
        // The server's and the file system's own words cut off.
        const QRegularExpression motivo("(No hay conexión|de marcaciones:) [^\r\n]*");
        const QStringList partes = {"0|velmar|Consulta Sql No hay conexión", "beep",
                                    "0|velmar|" + kErrorSistema};
        const QString diario = "No se pudo escribir en el diario de marcaciones:";
        QCOMPARE(t.prompts.eventos.replaceInStrings(motivo, "\\1"),
                 (lleno ? QStringList{"48|velmar|" + diario} : QStringList()) + partes + partes);
        QCOMPARE(QString(t.history.texto()).replace(motivo, "\\1"),
                 (lleno ? diario + "\r\n" : "") + "\t" + kErrorSistema + "\t" + kErrorSistema);
        QCOMPARE(k.esperando(), 0);
    }
};

QTEST_MAIN(TestKeptScans)
#include "test_kept_scans.moc"
