// What a farm meets: the database server killed or hung under a running
// station, many stations scanning at once, hostile text in every argument.

#include "db/errors.h"
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
    QString port = [] {
        QTcpServer s;
        s.listen(QHostAddress::LocalHost, 0);
        return QString::number(s.serverPort());
    }();
    ~PrivateServer() { resume(), dbScript({"stop", dir.path()}); }
    QString cadena() const {
        return TestDb::get().cadena("velmar").replace(QRegularExpression("PORT=\\d+"),
                                                      "PORT=" + port);
    }
    pid_t pid() const {
        QFile f(dir.path() + "/mariadbd.pid");
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toInt() : 0;
    }
    void start() {
        if (!dbScript({"start", dir.path(), port}))
            qFatal("a private MariaDB server does not start");
    }
    void kill9() {
        const pid_t p = pid();
        ::kill(p, SIGKILL);
        for (int i = 0; i < 100 && ::kill(p, 0) == 0; ++i)
            QTest::qWait(50);
        QFile::remove(dir.path() + "/mariadbd.pid");
    }
    void pause() { // and wait until stopped: the signal is asynchronous
        ::kill(pid(), SIGSTOP);
        for (int i = 0; i < 200; ++i, QTest::qSleep(5)) {
            QFile f(QString("/proc/%1/stat").arg(pid()));
            if (f.open(QIODevice::ReadOnly) && f.readAll().contains(") T "))
                break;
        }
    }
    void resume() { ::kill(pid(), SIGCONT); }
};

const QString kErrorSistema = "Error en el sistema, revise la última operación ";
const QString kSinConexion = "No hay conexión con el servidor de base de datos: ";
const QString kCandado = "SELECT GET_LOCK(";

// Classic payloads and, from a fixed seed, strings of quotes, backslashes,
// comment marks and control characters. None of the random ones begins with
// a digit, a sign or a blank, which the server would read as a number.
QStringList cargas() {
    QStringList c =
        QString::fromUtf8(
            "' or '1'='1¦'; drop table bunche; --¦\\'¦\\\\'¦\" or \"\"=\"¦' union select "
            "usu_login, usu_password, usu_permiso from usuario -- ¦%' or '%'='¦%¦_¦'¦''¦"
            "'/**/or/**/1=1#¦abc\\¦\\0'¦\\N¦\r\n' or 1=1¦ʼ or ʼ1ʼ=ʼ1¦＇ or ＇1＇=＇1¦🌹'¦\x1a")
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

// How the card box cleans a card: blanks around off, upper case, no apostrophes.
QString limpia(const QString& t) {
    return QString(t).remove(QRegularExpression("^ +| +$")).toUpper().remove('\'');
}

} // namespace

class TestRobustness : public QObject {
    Q_OBJECT

    PrivateServer server_;

    // A statement, or a query's first field, on a connection of its own.
    QString sql(const QString& s, const QString& db = "velmar") {
        Conexion c(QString(server_.cadena()).replace("DATABASE=velmar", "DATABASE=" + db));
        c.abrir();
        return s.startsWith("select") ? c.consulta(s).text(0) : (c.ejecutar(s), QString());
    }

private slots:
    void initTestCase() {
        server_.start();
        sql("CREATE DATABASE IF NOT EXISTS velmar", "");
        QFile f(fuente("db/schema.sql"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        for (const QString& s :
             sentencias(QString::fromUtf8(f.readAll())) +
                 QStringList{
                     "INSERT INTO personal (personal_id, cedula, nombres, apellidos) VALUES (8, "
                     "'0102030405', 'PEDRO', 'PAZ'), (9, '0908070605', 'ROSA', 'ALBA'), (10, "
                     "'1010101010', 'LUIS', 'CAIZA'), (11, '1111111111', 'ANA', 'MORA')",
                     "create table freno (x int)",
                     // the watcher sees the insert in the sleep
                     "create trigger lento before insert on control_asistencia for each row begin "
                     "if (select count(*) from freno) > 0 then do sleep(30); end if; end"})
            sql(s);
    }

    void serverKilledMidScan_data() {
        QTest::addColumn<QString>("cedula");
        // the statement the server dies in; empty: before; "pausa": hung
        QTest::addColumn<QString>("vigilar");
        QTest::addColumn<QStringList>("cajas");
        const QString consulta = "0|velmar|Consulta Sql " + kSinConexion;
        const QStringList fin = {"beep", "0|velmar|" + kErrorSistema};
        QTest::newRow("before") << "0102030405"
                                << "" << QStringList(consulta) + fin;
        QTest::newRow("waiting for the person's lock")
            << "0908070605"
            << kCandado + "CONCAT('velmar-asistencia-', MD5(CONCAT(DATABASE(), '/', '9'))), 0)"
            << fin;
        // a failed insert is no entry: the error path follows
        QTest::newRow("in the entry insert")
            << "1010101010"
            << "do sleep(" << QStringList("0|velmar|" + kSinConexion) + fin;
        QTest::newRow("hung server") << "1111111111"
                                     << "pausa" << QStringList(consulta) + fin;
    }

    // The operation's own messages, nothing recorded; after the restart the
    // same station records the entry once.
    void serverKilledMidScan() {
        QFETCH(QString, cedula);
        QFETCH(QString, vigilar);
        QFETCH(QStringList, cajas);
        server_.resume();
        server_.start();
        sql("insert into freno values (1)");
        TestStation t(server_.cadena());
        Conexion otra(server_.cadena());
        otra.abrir();
        if (vigilar.isEmpty()) {
            server_.kill9();
            asistencia(t.st, cedula);
        } else if (vigilar == "pausa") {
            server_.pause();
            asistencia(t.st, cedula); // within the read timeout, or ctest's timeout fails it
            Conexion nueva(server_.cadena());
            RecordingPrompts prompts; // and the connect timeout
            QVERIFY(!conectar(nueva, prompts));
            server_.resume();
        } else {
            if (vigilar.startsWith(kCandado)) // held here: the scan waits for it
                QCOMPARE(otra.consulta(vigilar).text(0), QString("1"));
            const QString inicio = vigilar.startsWith(kCandado) ? kCandado : vigilar;
            std::atomic<bool> muerto = false;
            std::thread vigia([&] { // kills the server once the statement runs
                Conexion c(server_.cadena());
                c.abrir();
                for (QDeadlineTimer plazo(15000); !muerto && !plazo.hasExpired();
                     QThread::msleep(20))
                    if (c.consulta("select count(*) from information_schema.processlist where info "
                                   "like '" +
                                   c.esc(inicio) + "%' and id <> connection_id()")
                            .text(0) != "0")
                        server_.kill9(), muerto = true;
            });
            asistencia(t.st, cedula);
            vigia.join();
            QVERIFY(muerto);
        }
        QCOMPARE(t.prompts.eventos.join('\n').replace(QRegularExpression(kSinConexion + "[^\n]*"),
                                                      kSinConexion),
                 cajas.join('\n'));
        QCOMPARE(t.history.texto(), "\t" + kErrorSistema);
        server_.start();
        sql("delete from freno");
        t.prompts.limpiar();
        asistencia(t.st, cedula);
        QCOMPARE(t.prompts.eventos, QStringList());
        QVERIFY(t.history.texto().startsWith("\t" + kErrorSistema + "Ingreso del usuario "));
        QCOMPARE(sql("select count(*) from control_asistencia join personal using (personal_id) "
                     "where cedula = '" +
                     cedula + "'"),
                 "1");
    }

    // Ten stations, each on its own thread and connection, scan 160 cards,
    // each card by five stations at the same moment: one entry per person,
    // and each scan's line says the entry or that it was already recorded.
    void stationsScanningTheSameCards() {
        constexpr int kEstaciones = 10, kPasos = 80;
        const auto tarjeta = [](int s, int k) { return 2 * k + (k % 2 == 0 ? s % 2 : s / 5); };
        TestDb::get().reset();
        TestDb::get().sql("insert into personal (personal_id, cedula, nombres, apellidos) select "
                          "1000 + seq, 1000 + seq, concat('N', seq), 'A' from seq_0_to_159");
        std::barrier barrera(kEstaciones);
        QStringList historia[kEstaciones], eventos[kEstaciones];
        std::vector<std::thread> hilos;
        for (int s = 0; s < kEstaciones; ++s)
            hilos.emplace_back([&, s] {
                TestStation t;
                t.reloj("2024-03-07 07:00:00");
                for (int k = 0; k < kPasos; ++k) {
                    barrera.arrive_and_wait();
                    asistencia(t.st, QString::number(1000 + tarjeta(s, k)));
                }
                historia[s] = t.history.texto().split("\r\n");
                eventos[s] = t.prompts.eventos;
            });
        for (std::thread& h : hilos)
            h.join();
        QList<int> ingresos(2 * kPasos);
        for (int s = 0; s < kEstaciones; ++s) {
            QCOMPARE(eventos[s], QStringList());
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
    // others naming real data: no SQL error, nothing changed, a card shown as
    // typed (cleaned) and not found; a person whose card reads so is found.
    void hostileText() {
        TestDb& db = TestDb::get();
        db.recrear();
        cargarFinca(db.admin());
        const QHash<QString, QString> real = {
            {"cedula", "0000000000"}, {"packing", "851"}, {"nuevo_packing", "851"}, {"caja", "3"},
            {"nueva_caja", "3"},      {"guia", ""},       {"bunche", "D-9001"}};
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
                    if (op.nombre == "asistencia")
                        QCOMPARE(t.history.texto().mid(desde),
                                 "No se encontró la cédula " + limpia(carga) + "\r\n");
                }
                QVERIFY2(db.filas(huella) == antes, qPrintable(op.nombre));
            }
        }
        db.sql("alter table personal modify cedula varchar(5100) not null");
        t.reloj("2024-03-07 07:00:00");
        for (const QString& carga : cargas()) {
            db.sql("insert into personal values (1, '" + db.admin().esc(limpia(carga)) +
                   "', 'HOSTIL', 'UNO')");
            const qsizetype desde = t.history.texto().size();
            asistencia(t.st, carga);
            QCOMPARE(t.history.texto().mid(desde),
                     QString("Ingreso del usuario HOSTIL UNO a las 07:00:00\r\n"));
            db.sql("delete from personal");
            db.sql("delete from control_asistencia");
        }
        QVERIFY(t.prompts.eventos.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRobustness)
#include "test_robustness.moc"
