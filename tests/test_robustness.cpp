// What a farm meets: the database server killed or hung under a running
// station, printers that fail mid-label, many stations at once, and hostile
// text in every argument an operator can type.

#include "db/errors.h"
#include "finca.h"
#include "login/login.h"
#include "operations/catalogo.h"
#include "packing/completion.h"
#include "packing/packing_change.h"
#include "printer_peer.h"
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
    int port = [] {
        QTcpServer s;
        s.listen(QHostAddress::LocalHost, 0);
        return int(s.serverPort());
    }();
    ~PrivateServer() { resume(), dbScript({"stop", dir.path()}); }
    QString cadena() const {
        return TestDb::get().cadena("velmar").replace(QRegularExpression("PORT=\\d+"),
                                                      "PORT=" + QString::number(port));
    }
    qint64 pid() const {
        QFile f(dir.path() + "/mariadbd.pid");
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : 0;
    }
    void start() {
        if (!dbScript({"start", dir.path(), QString::number(port)}))
            qFatal("a private MariaDB server does not start");
        Conexion c(QString(cadena()).remove(";DATABASE=velmar"));
        c.abrir();
        c.ejecutar("CREATE DATABASE IF NOT EXISTS velmar");
    }
    void kill9() {
        const qint64 p = pid();
        ::kill(pid_t(p), SIGKILL);
        for (int i = 0; i < 100 && ::kill(pid_t(p), 0) == 0; ++i)
            QTest::qWait(50);
        QFile::remove(dir.path() + "/mariadbd.pid");
    }
    void pause() { // and wait: the signal is asynchronous
        ::kill(pid_t(pid()), SIGSTOP);
        QFile f(QString("/proc/%1/stat").arg(pid()));
        for (int i = 0; i < 200 && f.open(QIODevice::ReadOnly); ++i, f.close(), QTest::qSleep(5))
            if (const QByteArray s = f.readAll(); s.mid(s.lastIndexOf(')') + 2, 1) == "T")
                break;
    }
    void resume() { ::kill(pid_t(pid()), SIGCONT); }
};

const QString kErrorSistema = "Error en el sistema, revise la última operación ";
const QString kSinConexion = "No hay conexión con el servidor de base de datos: ";
const QString kSistema = "0|velmar|" + kErrorSistema;
const QString kConsulta = "0|velmar|Consulta Sql " + kSinConexion;
const QString kEjecutar = "0|velmar|" + kSinConexion;
const QString kCandado = "SELECT GET_LOCK(";

enum class Op { Escaneo, Etiqueta, Completo };
struct Falla {
    Op op;
    QString cedula;  // of the scan
    QString vigilar; // the statement the server dies in; empty: before; "pausa": hung
    QStringList cajas;
};

// Runs `accion` while a connection of its own kills the server as soon as a
// statement starting with `inicio` runs there.
bool matarDurante(PrivateServer& server, const QString& inicio,
                  const std::function<void()>& accion) {
    std::atomic<bool> muerto{false};
    std::thread vigia([&] {
        Conexion c(server.cadena());
        QDeadlineTimer plazo(15000);
        try {
            c.abrir();
            while (!muerto && !plazo.hasExpired()) {
                if (c.consulta("select count(*) from information_schema.processlist where info "
                               "like '" +
                               c.esc(inicio) + "%' and id <> connection_id()")
                        .text(0) != "0")
                    server.kill9(), muerto = true;
                QThread::msleep(20);
            }
        } catch (const Error& e) {
            qWarning("the watcher failed: %s", qPrintable(e.texto()));
        }
    });
    accion();
    vigia.join();
    return muerto;
}

// Classic payloads and, from a fixed seed, strings of quotes, backslashes,
// comment marks and control characters. None of the random ones begins
// with a digit, a sign or a blank, which the server would read as a number.
QStringList cargas() {
    QStringList c =
        QString::fromUtf8(
            "' or '1'='1¦' or 1=1 -- ¦'; drop table bunche; --¦\\'¦\\\\'¦\" or \"\"=\"¦"
            "' union select usu_login, usu_password, usu_permiso from usuario -- ¦"
            "' or sleep(3) -- ¦%' or '%'='¦%¦_¦'¦''¦'/**/or/**/1=1#¦admin' -- ¦abc\\¦"
            "\\0'¦\\N¦NULL¦\r\n' or 1=1\r\n¦ʼ or ʼ1ʼ=ʼ1¦＇ or ＇1＇=＇1¦🌹' or '1'='1¦\x1a")
            .split(u'¦');
    c << QString("a") + QChar(0) + "' or '1'='1" << QString(5000, u'A') + "' or '1'='1";
    const QStringList piezas =
        QString::fromUtf8("'¦\"¦\\¦`¦;¦--¦#¦/*¦%¦_¦(¦=¦ ¦\r¦\n¦\t¦or¦union¦select¦1¦,¦\\0¦\\Z¦"
                          "\x1a¦ñ¦ʼ¦＇¦🌹")
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

Q_DECLARE_METATYPE(Falla)

class TestRobustness : public QObject {
    Q_OBJECT

    PrivateServer server_;
    QByteArray etiqueta_; // the small label of 852/4, printed healthy

    // A statement, or a query's first field, on a connection of the test's own.
    QString valor(const QString& sql) {
        Conexion c(server_.cadena());
        c.abrir();
        return sql.startsWith("select") ? c.consulta(sql).text(0) : (c.ejecutar(sql), QString());
    }

private slots:
    void initTestCase() {
        server_.start();
        QFile f(fuente("db/schema.sql"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        Conexion admin(server_.cadena());
        admin.abrir();
        for (const QString& s : sentencias(QString::fromUtf8(f.readAll())))
            admin.ejecutar(s);
        cargarFinca(admin);
        admin.ejecutar("INSERT INTO personal (personal_id, cedula, nombres, apellidos) VALUES "
                       "(8, '0102030405', 'PEDRO', 'PAZ'), (9, '0908070605', 'ROSA', 'ALBA'), "
                       "(10, '1010101010', 'LUIS', 'CAIZA'), (11, '1111111111', 'ANA', 'MORA')");
        // a trigger the watcher can see the entry insert in
        admin.ejecutar("create table freno (x int)");
        admin.ejecutar("create trigger lento before insert on control_asistencia for each row "
                       "begin if (select count(*) from freno) > 0 then do sleep(30); end if; end");
        PrinterPeer impresora;
        impresora.usar();
        Puesto p(server_.cadena());
        imprimir_detalle_peq(p.st, "852", "4");
        etiqueta_ = impresora.trabajos(1).value(0);
        QVERIFY(etiqueta_.startsWith("N\r\n") && etiqueta_.endsWith("P2\r\n\r\n"));
    }

    void init() { // whatever the test before did, the server is up
        server_.resume();
        server_.start();
    }

    void serverKilledMidOperation_data() {
        QTest::addColumn<Falla>("falla");
        QTest::newRow("scan") << Falla{
            Op::Escaneo, "0102030405", "", {kConsulta, "beep", kSistema}};
        QTest::newRow("scan waiting for the person's lock") << Falla{
            Op::Escaneo,
            "0908070605",
            kCandado + "CONCAT('velmar-asistencia-', MD5(CONCAT(DATABASE(), '/', '9'))), 0)",
            {"beep", kSistema}};
        // a failed insert is no entry: the error path follows
        QTest::newRow("entry insert")
            << Falla{Op::Escaneo, "1010101010", "do sleep(", {kEjecutar, "beep", kSistema}};
        QTest::newRow("hung server")
            << Falla{Op::Escaneo, "1111111111", "pausa", {kConsulta, "beep", kSistema}};
        QTest::newRow("label") << Falla{Op::Etiqueta, "", "", {kConsulta, "0|velmar|" + kErrorRed}};
        QTest::newRow("completion") << Falla{Op::Completo, "", "", {kEjecutar}};
    }

    // The server dies before or in an operation: its own message, nothing
    // committed or sent; after the restart the same station does the
    // operation once and in full.
    void serverKilledMidOperation() {
        QFETCH(Falla, falla);
        valor("insert into freno values (1)");
        const QString marcados = "select count(*) from bunche where nacional = 'C'";
        const QString antes = valor(marcados);
        PrinterPeer impresora;
        impresora.usar();
        Puesto p(server_.cadena());
        const auto op = [&] {
            if (falla.op == Op::Etiqueta)
                imprimir_detalle_peq(p.st, "852", "4");
            else if (falla.op == Op::Completo)
                pck_completo(p.st, "851");
            else
                asistencia(p.st, falla.cedula);
        };
        Conexion otra(server_.cadena());
        otra.abrir();
        if (falla.vigilar.isEmpty()) {
            server_.kill9();
            op();
        } else if (falla.vigilar == "pausa") {
            server_.pause();
            op(); // within the read timeout (else ctest's timeout fails it)
            Conexion nueva(server_.cadena());
            RecordingPrompts prompts;
            QVERIFY(!conectar(nueva, prompts));
            QCOMPARE(prompts.cajas.value(0).titulo, QString("Tarnel Flower"));
            server_.resume();
        } else {
            if (falla.vigilar.startsWith(kCandado)) // held here: the operation waits for it
                QCOMPARE(otra.consulta(falla.vigilar).text(0), QString("1"));
            QVERIFY(matarDurante(
                server_, falla.vigilar.startsWith(kCandado) ? kCandado : falla.vigilar, op));
        }
        QCOMPARE(p.t.prompts.eventos.join('\n').replace(QRegularExpression(kSinConexion + "[^\n]*"),
                                                        kSinConexion),
                 falla.cajas.join('\n'));
        const QString error = falla.cedula.isEmpty() ? QString() : "\t" + kErrorSistema;
        QCOMPARE(p.t.history.texto(), error);
        QCOMPARE(impresora.aceptadas(), 0);

        server_.start();
        QCOMPARE(valor("select count(*) from control_asistencia join personal using "
                       "(personal_id) where cedula = '" +
                       falla.cedula + "'"),
                 "0");
        valor("delete from freno");
        p.t.prompts.limpiar();
        op();
        QCOMPARE(p.t.prompts.eventos, QStringList());
        QVERIFY(falla.cedula.isEmpty() ||
                p.t.history.texto().startsWith(error + "Ingreso del usuario "));
        QCOMPARE(impresora.trabajos(2, 1000),
                 falla.op == Op::Etiqueta ? QList<QByteArray>{etiqueta_} : QList<QByteArray>());
        QCOMPARE(valor(marcados), falla.op == Op::Completo
                                      ? valor("select count(*) from bunche where num_pack = 851")
                                      : antes);
    }

    void printerThatFails_data() {
        QTest::addColumn<int>("modo");
        QTest::newRow("accepts and closes") << int(PrinterPeer::Modo::CierraAlAceptar);
        QTest::newRow("never reads") << int(PrinterPeer::Modo::NoLee);
        QTest::newRow("never accepts") << int(PrinterPeer::Modo::NoAcepta);
    }

    // The printer message, and the printer holds nothing or the whole label,
    // never a part of it.
    void printerThatFails() {
        QFETCH(int, modo);
        PrinterPeer peer{PrinterPeer::Modo(modo)};
        peer.usar();
        Puesto p(server_.cadena());
        imprimir_detalle_peq(p.st, "852", "4");
        QCOMPARE(p.t.prompts.eventos, QStringList{"0|velmar|" + kImpresoraNoLista});
        QCOMPARE(p.st.ultima_etiqueta, QByteArray());
        QCOMPARE(peer.recibidos(), QList<QByteArray>());
        for (const QByteArray& r : peer.retenido())
            QVERIFY2(r.isEmpty() || r == etiqueta_, r.constData());
    }

    // Ten stations, each on its own thread and connection, scan 400 cards,
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
        QCOMPARE(TestDb::get().valor("select concat(count(*), '/', count(distinct personal_id)) "
                                     "from control_asistencia"),
                 "160/160");
        int ingresos[2 * kPasos] = {};
        for (int s = 0; s < kEstaciones; ++s) {
            QCOMPARE(eventos[s], QStringList());
            for (int k = 0; k < kPasos; ++k) {
                const QString quien = QString("N%1 A").arg(tarjeta(s, k));
                const bool entro =
                    historia[s][k] == "Ingreso del usuario " + quien + " a las 07:00:00";
                QVERIFY2(entro || historia[s][k] ==
                                      "EL USUARIO " + quien + " YA FUE INGRESADO A LAS 07:00:00",
                         qPrintable(historia[s][k]));
                ingresos[tarjeta(s, k)] += entro;
            }
        }
        QCOMPARE(QList<int>(ingresos, ingresos + 2 * kPasos), QList<int>(2 * kPasos, 1));
    }

    // Every operation of the catalogue, each payload in each parameter, the
    // others naming real data: no SQL error, nothing changed, a card shown
    // as typed (cleaned) and not found.
    void hostileArgumentsChangeNothing() {
        TestDb::get().recrear();
        cargarFinca(TestDb::get().admin());
        const QHash<QString, QString> real = {
            {"cedula", "0000000000"}, {"packing", "851"}, {"nuevo_packing", "851"}, {"caja", "3"},
            {"nueva_caja", "3"},      {"guia", ""},       {"bunche", "D-9001"}};
        // what a strict server says of a text compared with a number column
        const QRegularExpression permitida("^0\\|velmar\\|(No se encontró el usuario|imprime caja: "
                                           "3|Truncated incorrect|Incorrect integer value|Data "
                                           "truncated for column|Out of range value)");
        const QString huella = "CHECKSUM TABLE personal, control_asistencia, usuario, variedad, "
                               "clientes, flores, envoltura, bunche, prepacking";
        const QStringList antes = TestDb::get().filas(huella);
        TestStation t;
        for (const Operacion& op : catalogo()) {
            for (int pos = 0; pos < op.parametros.size(); ++pos) {
                for (const QString& carga : cargas()) {
                    QStringList args;
                    for (const Parametro& par : op.parametros)
                        args << real.value(par.nombre);
                    args[pos] = carga;
                    t.prompts.limpiar();
                    t.history.agregar_historia(QString());
                    const qsizetype desde = t.history.texto().size();
                    op.ejecutar(t.st, args);
                    for (const QString& e : t.prompts.eventos)
                        QVERIFY2(permitida.match(e).hasMatch(), qPrintable(op.nombre + ": " + e));
                    if (op.nombre == "asistencia")
                        QCOMPARE(t.history.texto().mid(desde),
                                 "No se encontró la cédula " +
                                     QString(carga)
                                         .remove(QRegularExpression("^ +| +$"))
                                         .toUpper()
                                         .remove('\'') +
                                     "\r\n");
                }
                QVERIFY2(TestDb::get().filas(huella) == antes, qPrintable(op.nombre));
            }
        }
    }

    // A typed value that is stored comes back unchanged: a card, a login and
    // password that really read so, a packing number moved there and back.
    void hostileValuesRoundTrip() {
        TestDb& db = TestDb::get();
        db.recrear();
        cargarFinca(db.admin());
        db.sql("alter table personal modify cedula varchar(300) not null");
        db.sql("alter table usuario modify usu_login varchar(300) not null");
        db.sql("alter table bunche modify num_pack varchar(300)");
        const QString bunches = "select group_concat(num_bunch) from bunche where num_pack = ";
        const QString de851 = db.valor(bunches + "'851'");
        TestStation t;
        t.reloj("2024-03-07 07:00:00");
        int id = 100;
        for (const QString& p : cargas()) {
            if (p.size() > 300)
                continue;
            const QString
                lit = db.admin().esc(p),
                limpia = QString(p).remove(QRegularExpression("^ +| +$")).toUpper().remove('\'');
            db.sql(QString("insert into personal values (%1, '%2', 'HOSTIL', '%1')")
                       .arg(++id)
                       .arg(db.admin().esc(limpia)));
            db.sql(QString("insert into usuario (usu_nombre, usu_permiso, usu_login, usu_password) "
                           "values ('H', 'P%1', '%2', password('%2'))")
                       .arg(id)
                       .arg(lit));
            t.history.agregar_historia(QString());
            const qsizetype desde = t.history.texto().size();
            asistencia(t.st, p);
            QCOMPARE(t.history.texto().mid(desde),
                     QString("Ingreso del usuario HOSTIL %1 a las 07:00:00\r\n").arg(id));
            QCOMPARE(comprobar_login(t.st, p, p), ResultadoLogin::Aceptado);
            QCOMPARE(t.st.permiso_usuario, QString("P%1").arg(id));
            for (const char* tabla : {"usuario", "personal", "control_asistencia"})
                db.sql(QString("delete from ") + tabla);
            cambiar_packing(t.st, "851", p);
            QCOMPARE(db.valor(bunches + "'" + lit + "'"), de851);
            cambiar_packing(t.st, p, "851");
            QCOMPARE(db.valor(bunches + "'851'"), de851);
            QVERIFY2(t.prompts.eventos.isEmpty(), qPrintable(t.prompts.eventos.join('\n')));
        }
    }
};

QTEST_GUILESS_MAIN(TestRobustness)
#include "test_robustness.moc"
