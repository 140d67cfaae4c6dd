// What a farm meets: the database server killed or hung under a running
// station, many stations scanning at once, hostile text in every argument.

#include "finca.h"
#include "operations/catalogo.h"
#include "station/attendance_clock.h"
#include "station/velmo.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>
#include <barrier>
#include <csignal>
#include <thread>

using namespace velmar;
using namespace velmar::test;

namespace {

// A MariaDB server of this test's own, to kill, pause and restart.
struct PrivateServer {
    QTemporaryDir dir;
    QString port = [] { // a free one
        QTcpServer s;
        return s.listen(QHostAddress::LocalHost) ? QString::number(s.serverPort()) : QString();
    }();
    ~PrivateServer() { dbScript({"stop", dir.path()}); }
    QString cadena() const {
        return TestDb::get().cadena("velmar").replace(QRegularExpression("PORT=\\d+"),
                                                      "PORT=" + port);
    }
    pid_t pid() const {
        QFile f(dir.path() + "/mariadbd.pid");
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toInt() : 0;
    }
    void kill9() {
        for (const pid_t p = pid(); p > 0 && ::kill(p, SIGKILL) == 0;)
            QTest::qWait(50);
        QFile::remove(dir.path() + "/mariadbd.pid");
    }
};

// Classic payloads and, from a fixed seed, strings of quotes, backslashes,
// comment marks and control characters. None of the random ones begins with
// a digit, a sign or a blank, which the server would read as a number.
QStringList cargas() {
    QStringList c =
        QString::fromUtf8(
            "' or '1'='1¦'; drop table bunche; --¦\\'¦\\\\'¦\" or \"\"=\"¦' union select "
            "usu_login, usu_password from usuario -- ¦%' or '%'='¦%¦_¦'¦''¦abc\\¦\\0'¦"
            "\\N¦\r\n' or 1=1¦ʼ or ʼ1ʼ=ʼ1¦＇ or ＇1＇=＇1¦🌹'¦\x1a")
            .split(u'¦');
    c << QString("a") + QChar(0) + "' or '1'='1" << QString(5000, u'A') + "' or '1'='1";
    const QStringList piezas = QString::fromUtf8("'¦\"¦\\¦`¦;¦--¦#¦/*¦%¦_¦(¦=¦ ¦\r¦\n¦\t¦or¦"
                                                 "select¦1¦\\0¦\\Z¦\x1a¦ñ¦ʼ¦＇¦🌹")
                                   .split(u'¦');
    QRandomGenerator azar(20240307);
    for (int i = 0; i < 30; ++i) {
        QString s = piezas[azar.bounded(4)];
        for (int k = azar.bounded(1, 30); k > 0; --k)
            s += piezas[azar.bounded(int(piezas.size()))];
        c << s;
    }
    return c;
}

} // namespace

class TestRobustness : public QObject {
    Q_OBJECT

    PrivateServer server_;

    // A statement, or a query's first field, on a connection of its own.
    QString sql(const QString& s) {
        Conexion c(server_.cadena());
        c.abrir();
        return s.startsWith("select") ? c.consulta(s).text(0) : (c.ejecutar(s), QString());
    }

private slots:
    void initTestCase() {
        QVERIFY(dbScript({"start", server_.dir.path(), server_.port}));
        Conexion raiz(QString(server_.cadena()).remove(";DATABASE=velmar"));
        raiz.abrir();
        raiz.ejecutar("CREATE DATABASE velmar");
        QFile f(fuente("db/schema.sql"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        for (const QString& s : sentencias(f.readAll()))
            sql(s);
        sql("INSERT INTO personal (personal_id, cedula, nombres, apellidos) VALUES (8, '8', "
            "'PEDRO', "
            "'PAZ'), (9, '9', 'ROSA', 'ALBA'), (10, '10', 'ANA', 'MORA')");
        // holds an entry insert in a statement a watcher can see
        sql("create table freno (x int)");
        sql("create trigger lento before insert on control_asistencia for each row begin if "
            "(select count(*) from freno) > 0 then do sleep(30); end if; end");
    }

    // Killed before a scan, killed in its entry insert, or hung: the scan's
    // own messages, no entry; after the restart the same station records the
    // entry once.
    void serverFailsUnderAScan() {
        const QString consulta = "0|velmar|Consulta Sql No hay conexión";
        const QString sistema = "beep\n0|velmar|Error en el sistema, revise la última operación ";
        for (const auto& [cedula, falla] :
             {std::pair{"8", "kill"}, {"9", "do sleep("}, {"10", "pausa"}}) {
            sql("insert into freno values (1)");
            TestStation t(server_.cadena());
            if (falla == QString("kill")) {
                server_.kill9();
                asistencia(t.st, cedula);
            } else if (falla == QString("pausa")) {
                ::kill(server_.pid(), SIGSTOP);
                QTest::qWait(200);        // the signal is asynchronous
                asistencia(t.st, cedula); // within the read timeout, or ctest's timeout fails it
                Conexion nueva(server_.cadena());
                QVERIFY(!conectar(nueva, t.prompts)); // and the connect timeout
                ::kill(server_.pid(), SIGCONT);
                QVERIFY(
                    t.prompts.eventos.takeLast().startsWith("16|Tarnel Flower|No hay conexión"));
            } else {
                std::thread vigia([&] { // kills the server once the insert runs
                    Conexion c(server_.cadena());
                    c.abrir();
                    for (QDeadlineTimer plazo(15000); !plazo.hasExpired(); QThread::msleep(20))
                        if (c.consulta("select count(*) from information_schema.processlist "
                                       "where info like 'do sleep(%'")
                                .text(0) != "0")
                            return server_.kill9();
                });
                asistencia(t.st, cedula);
                vigia.join();
            }
            const QStringList eventos = t.prompts.eventos;
            QCOMPARE(eventos.size(), 3);
            QVERIFY2(eventos[0].startsWith(
                         falla == QString("do sleep(") ? "0|velmar|No hay conexión" : consulta),
                     qPrintable(eventos[0]));
            QCOMPARE(eventos.mid(1).join('\n'), sistema);
            QCOMPARE(t.history.texto(), "\t" + sistema.mid(14));
            QVERIFY(dbScript({"start", server_.dir.path(), server_.port}));
            QCOMPARE(sql("select count(*) from control_asistencia where personal_id = " +
                         QString(cedula)),
                     "0");
            sql("delete from freno");
            asistencia(t.st, cedula);
            QCOMPARE(t.prompts.eventos, eventos);
            QVERIFY(t.history.texto().contains("Ingreso del usuario "));
            QCOMPARE(sql("select count(*) from control_asistencia where personal_id = " +
                         QString(cedula)),
                     "1");
        }
    }

    // Ten stations, each on its own thread and connection, scan 160 cards,
    // each card by five stations at the same moment: one entry per person,
    // and each scan's line says the entry or that it was already recorded.
    void stationsScanningTheSameCards() {
        constexpr int kEstaciones = 10, kPasos = 80;
        const auto tarjeta = [](int s, int k) { return 2 * k + (k % 2 == 0 ? s % 2 : s / 5); };
        TestDb::get().reset();
        TestDb::get().sql("insert into personal (personal_id, cedula, nombres, apellidos) select "
                          "seq + 1, seq, concat('N', seq), 'A' from seq_0_to_159");
        std::barrier barrera(kEstaciones);
        QStringList historia[kEstaciones];
        std::vector<std::thread> hilos;
        for (int s = 0; s < kEstaciones; ++s)
            hilos.emplace_back([&, s] {
                TestStation t;
                t.reloj("2024-03-07 07:00:00");
                for (int k = 0; k < kPasos; ++k) {
                    barrera.arrive_and_wait();
                    asistencia(t.st, QString::number(tarjeta(s, k)));
                }
                historia[s] = t.history.texto().split("\r\n") + t.prompts.eventos;
            });
        for (std::thread& h : hilos)
            h.join();
        QList<int> ingresos(2 * kPasos);
        for (int s = 0; s < kEstaciones; ++s) {
            QCOMPARE(historia[s].size(), kPasos + 1); // each line ends, no box
            for (int k = 0; k < kPasos; ++k) {
                const QString quien = QString("N%1 A").arg(tarjeta(s, k)), h = historia[s][k];
                ingresos[tarjeta(s, k)] += h == "Ingreso del usuario " + quien + " a las 07:00:00";
                QVERIFY2(h.endsWith(quien + " a las 07:00:00") ||
                             h == "EL USUARIO " + quien + " YA FUE INGRESADO A LAS 07:00:00",
                         qPrintable(h));
            }
        }
        QCOMPARE(ingresos, QList<int>(2 * kPasos, 1));
        QCOMPARE(TestDb::get().valor("select count(*) from control_asistencia"), "160");
    }

    // Every operation of the catalogue, each payload in each parameter, the
    // others naming real data: no SQL error box, nothing changed, a card
    // shown as typed (cleaned) and not found.
    void hostileArguments() {
        TestDb& db = TestDb::get();
        db.recrear();
        cargarFinca(db.admin());
        const QHash<QString, QString> real = {{"cedula", "0"},          {"packing", "851"},
                                              {"nuevo_packing", "851"}, {"caja", "3"},
                                              {"nueva_caja", "3"},      {"bunche", "D-9001"}};
        // what a strict server says of a text compared with a number column
        const QRegularExpression permitida(
            "^0\\|velmar\\|(No se encontró el usuario|imprime caja: 3|Truncated "
            "incorrect|Incorrect integer value|Data truncated for column|Out of range value)");
        const QString huella = "CHECKSUM TABLE personal, control_asistencia, usuario, variedad, "
                               "clientes, flores, envoltura, bunche, prepacking";
        const QStringList antes = db.filas(huella);
        TestStation t;
        for (const Operacion& op : catalogo()) {
            for (int pos = 0; pos < op.parametros.size(); ++pos) {
                for (const QString& carga : cargas()) {
                    QStringList args;
                    for (const Parametro& par : op.parametros)
                        args << real.value(par.nombre);
                    args[pos] = carga;
                    t.prompts.limpiar();
                    const qsizetype desde = t.history.texto().size();
                    op.ejecutar(t.st, args);
                    for (const QString& e : t.prompts.eventos)
                        QVERIFY2(permitida.match(e).hasMatch(), qPrintable(op.nombre + ": " + e));
                    if (op.nombre == "asistencia") // blanks around off, upper case, no apostrophes
                        QCOMPARE(t.history.texto().mid(desde),
                                 "No se encontró la cédula " +
                                     QString(carga)
                                         .remove(QRegularExpression("^ +| +$"))
                                         .toUpper()
                                         .remove('\'') +
                                     "\r\n");
                }
                QVERIFY2(db.filas(huella) == antes, qPrintable(op.nombre));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestRobustness)
#include "test_robustness.moc"
