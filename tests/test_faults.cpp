// The faults a farm meets, on loopback only: the database server killed and
// restarted under a running station, a hung database server, and label
// printers that refuse, drop the connection or never take the label.

#include "db/errors.h"
#include "finca.h"
#include "login/login.h"
#include "packing/completion.h"
#include "packing/packing_report.h"
#include "printer_peer.h"
#include "station/attendance_clock.h"
#include "station/velmo.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <atomic>
#include <functional>
#include <thread>

using namespace velmar;
using namespace velmar::test;

namespace {

const QString kErrorSistema = QStringLiteral("Error en el sistema, revise la última operación ");
const QString kSinConexion = QStringLiteral("No hay conexión con el servidor de base de datos: ");
const QString kSistema = "0|velmar|" + kErrorSistema;
const QString kConsulta = "0|velmar|Consulta Sql " + kSinConexion; // the query routine's box
const QString kEjecutar = "0|velmar|" + kSinConexion;              // the statement routine's
const QString kRed = "0|velmar|" + kErrorRed;
const QString kCandado = QStringLiteral("SELECT GET_LOCK(");

// Boxes and beeps, the driver's own words after the lost-connection text cut off.
QStringList sinDetalle(const QStringList& eventos) {
    return eventos.join('\n')
        .replace(QRegularExpression(kSinConexion + "[^\n]*"), kSinConexion)
        .split('\n');
}

// Runs `accion` while a connection of its own watches `server` and kills it as
// soon as a statement starting with `inicio` runs there; gives up after 15 s.
bool matarDurante(PrivateServer& server, const QString& inicio,
                  const std::function<void()>& accion) {
    std::atomic<bool> muerto{false};
    std::thread vigia([&] {
        Conexion c(server.cadena());
        const QString lista =
            "select count(*) from information_schema.processlist where info like '";
        QDeadlineTimer plazo(15000);
        try {
            c.abrir();
            while (!muerto && !plazo.hasExpired()) {
                if (c.consulta(lista + c.esc(inicio) + "%' and id <> connection_id()").text(0) !=
                    "0") {
                    server.kill9();
                    muerto = true;
                }
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

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

    PrivateServer server_;
    QByteArray completas_[3]; // each label of 852/4
    QString reporteRef_;

    void arrancar() {
        QElapsedTimer reloj;
        reloj.start();
        server_.start();
        qDebug("server (re)started in %lld ms", reloj.elapsed());
    }

    // Runs the statements, then the query if any, on a connection of the test's own.
    QString sql(const QStringList& sentencias, const QString& consulta = {}) {
        Conexion c(server_.cadena());
        c.abrir();
        for (const QString& s : sentencias)
            c.ejecutar(s);
        return consulta.isEmpty() ? QString() : c.consulta(consulta).text(0);
    }
    QString valor(const QString& consulta) { return sql({}, consulta); }
    // A person's entry lines as the server recorded them.
    QString ingreso(const QString& id) {
        return valor("select group_concat('Ingreso del usuario ', nombres, ' ', apellidos, ' a "
                     "las ', hora_entrada, '\r\n' separator '') from control_asistencia join "
                     "personal using (personal_id) where personal_id = '" +
                     id + "'");
    }

private slots:
    void initTestCase() {
        TestDb::get().reset();
        cargarFinca(TestDb::get().admin());
        arrancar();
        QFile f(fuente("db/schema.sql"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        sql(sentencias(QString::fromUtf8(f.readAll())) +
            QStringList{"INSERT INTO personal (personal_id, cedula, nombres, apellidos) VALUES "
                        "(8, '0102030405', 'PEDRO', 'PAZ'), (9, '0908070605', 'ROSA', 'ALBA'), "
                        "(10, '1010101010', 'LUIS', 'CAIZA'), (11, '1111111111', 'ANA', 'MORA')"});
        Conexion admin(server_.cadena());
        admin.abrir();
        cargarFinca(admin);

        // What a healthy station gives for the same data.
        PrinterPeer impresora;
        impresora.usar();
        Puesto p;
        reporte_pck(p.st, "851");
        reporteRef_ = p.t.report.texto();
        for (const Etiqueta e : kEtiquetas)
            e(p.st, "852", "4", QString());
        const QList<QByteArray> t = impresora.trabajos(3);
        QCOMPARE(t.size(), 3);
        for (int e = 0; e < 3; ++e) {
            completas_[e] = t[e];
            QVERIFY(t[e].startsWith("N\r\n") && t[e].endsWith("P2\r\n\r\n"));
        }
        QCOMPARE(p.t.prompts.eventos, QStringList());
    }

    // Whatever the test before did to it, each test starts with the server up.
    void init() {
        server_.resume();
        server_.start();
        sql({"drop trigger if exists lento", "drop table if exists freno"});
    }

    void serverKilledMidOperation_data() {
        QTest::addColumn<QString>("operacion"); // a card number: its scan
        // the statement the server dies in (the lock held by another connection
        // when it is the lock's); none: before; "pausa": hung, not killed
        QTest::addColumn<QString>("vigilar");
        QTest::addColumn<QStringList>("cajas");
        const auto fila = [](const char* nombre, QString op, QString vigilar, QStringList cajas) {
            QTest::newRow(nombre) << op << vigilar << cajas;
        };
        // the query routine's box, the beep, the handler's box
        fila("scan", "0102030405", {}, {kConsulta, "beep", kSistema});
        fila("label", "etiqueta", {}, {kConsulta, kRed});
        // the login goes on reading the missing record set
        fila("login", "login", {},
             {kConsulta, "48|velmar|Login La consulta no devolvió un conjunto de registros"});
        fila("report", "reporte", {}, {kConsulta, kConsulta});
        fila("completion", "completo", {}, {kEjecutar});
        fila("scan waiting for the person's lock", "0908070605",
             kCandado + "CONCAT('velmar-asistencia-', MD5(CONCAT(DATABASE(), '/', '9'))), 0)",
             {"beep", kSistema});
        fila("label waiting for its work table", "etiqueta",
             kCandado + "CONCAT('velmar-tmp_caja-', MD5(DATABASE())), 0)", {kRed});
        // the server lists the trigger's statement while the insert runs it; a
        // failed insert is no entry: the error path follows
        fila("entry insert", "1010101010", "do sleep(", {kEjecutar, "beep", kSistema});
        // a scan on a working connection: within the read timeout
        fila("hung server", "1111111111", "pausa", {kConsulta, "beep", kSistema});
    }

    // The server dies before or in the middle of an operation: the
    // operation's own message, nothing committed or sent; after the restart
    // the same station does the operation once and in full.
    void serverKilledMidOperation() {
        QFETCH(QString, operacion);
        QFETCH(QString, vigilar);
        QFETCH(QStringList, cajas);
        sql({"create table freno (x int)", "insert into freno values (1)",
             "create trigger lento before insert on control_asistencia for each row begin if "
             "(select count(*) from freno) > 0 then do sleep(30); end if; end"});
        const QString persona =
            valor("select max(personal_id) from personal where cedula = '" + operacion + "'");
        const QString marcados = "select count(*) from bunche where nacional = 'C'";
        const QString completos = valor(marcados);
        PrinterPeer impresora;
        impresora.usar();
        Puesto p(server_.cadena());
        p.st.permiso_usuario = "ANTES";
        ResultadoLogin login = ResultadoLogin::Aceptado;
        const auto op = [&] {
            if (operacion == "etiqueta")
                imprimir_detalle_peq(p.st, "852", "4");
            else if (operacion == "login")
                login = comprobar_login(p.st, "admin", "clave");
            else if (operacion == "reporte")
                reporte_pck(p.st, "851");
            else if (operacion == "completo")
                pck_completo(p.st, "851");
            else
                asistencia(p.st, operacion);
        };
        if (vigilar.isEmpty()) {
            server_.kill9();
            op();
        } else if (vigilar == "pausa") {
            server_.pause();
            QElapsedTimer reloj;
            reloj.start();
            op();
            const qint64 lectura = reloj.restart();
            // and a new connection within the connect timeout
            Conexion nueva(server_.cadena());
            RecordingPrompts prompts;
            QVERIFY(!conectar(nueva, prompts));
            const qint64 conexion = reloj.elapsed();
            server_.resume();
            qDebug("hung server: scan reported after %lld ms (read timeout %d s), new connection "
                   "after %lld ms (connect timeout %d s)",
                   lectura, Conexion::kReadTimeout, conexion, Conexion::kConnectTimeout);
            QVERIFY(lectura < 3 * 1000 * Conexion::kReadTimeout);
            QVERIFY(conexion < 3 * 1000 * Conexion::kConnectTimeout);
            QCOMPARE(sinDetalle(prompts.eventos), QStringList{"16|Tarnel Flower|" + kSinConexion});
        } else {
            Conexion otra(server_.cadena());
            otra.abrir();
            if (vigilar.startsWith(kCandado)) // held here: the operation waits for it
                QCOMPARE(otra.consulta(vigilar).text(0), QString("1"));
            QVERIFY(matarDurante(server_, vigilar.startsWith(kCandado) ? kCandado : vigilar, op));
        }
        QCOMPARE(sinDetalle(p.t.prompts.eventos), cajas);
        const QString error = persona.isEmpty() ? QString() : "\t" + kErrorSistema;
        QCOMPARE(p.t.history.texto(), error);
        QCOMPARE(p.t.input.vaciado, persona.isEmpty() ? 0 : 1);
        QCOMPARE(p.t.report.texto(),
                 operacion == "reporte" ? "No hay datos para el packing: 851" : QString());
        QCOMPARE(p.st.permiso_usuario, QString("ANTES"));
        QCOMPARE(login, operacion == "login" ? ResultadoLogin::Fallido : ResultadoLogin::Aceptado);
        QCOMPARE(impresora.aceptadas(), 0);

        arrancar();
        sql({"drop trigger lento"});
        QCOMPARE(ingreso(persona), QString());
        p.t.prompts.limpiar();
        op();
        QCOMPARE(p.t.prompts.eventos, QStringList());
        QCOMPARE(p.t.history.texto(), error + ingreso(persona));
        QCOMPARE(impresora.trabajos(2, 1000),
                 operacion == "etiqueta" ? QList<QByteArray>{completas_[0]} : QList<QByteArray>());
        QCOMPARE(p.st.permiso_usuario, QString(operacion == "login" ? "ADMIN" : "ANTES"));
        QCOMPARE(p.t.report.texto(), operacion == "reporte" ? reporteRef_ : QString());
        QCOMPARE(valor(marcados), operacion == "completo"
                                      ? valor("select count(*) from bunche where num_pack = 851")
                                      : completos);
    }

    void printerThatFailsGivesItsMessageAndNoHalfLabel_data() {
        QTest::addColumn<int>("modo");
        QTest::addColumn<int>("etiqueta");
        for (int e = 0; e < 3; ++e) {
            QTest::addRow("refuses/%d", e) << int(PrinterPeer::Modo::Rechaza) << e;
            QTest::addRow("accepts and closes/%d", e)
                << int(PrinterPeer::Modo::CierraAlAceptar) << e;
        }
        QTest::addRow("never reads") << int(PrinterPeer::Modo::NoLee) << 1;
        QTest::addRow("never accepts") << int(PrinterPeer::Modo::NoAcepta) << 2;
    }

    // A printer that refuses the connection, drops it at once, or takes it
    // and never reads: the printer message within a few seconds, and the
    // printer holds nothing or the whole label, never a part of it.
    void printerThatFailsGivesItsMessageAndNoHalfLabel() {
        QFETCH(int, modo);
        QFETCH(int, etiqueta);
        PrinterPeer peer{PrinterPeer::Modo(modo)};
        peer.usar();
        Puesto p;
        QElapsedTimer reloj;
        reloj.start();
        kEtiquetas[etiqueta](p.st, "852", "4", QString());
        const qint64 ms = reloj.elapsed();
        qDebug("printer failure reported after %lld ms", ms);
        QCOMPARE(p.t.prompts.eventos, QStringList{"0|velmar|" + kImpresoraNoLista});
        QCOMPARE(p.st.ultima_etiqueta, QByteArray());
        QVERIFY(ms < 15000);
        QCOMPARE(peer.recibidos(), QList<QByteArray>());
        for (const QByteArray& r : peer.retenido()) {
            qDebug("the printer holds %lld of the label's %lld bytes", qint64(r.size()),
                   qint64(completas_[etiqueta].size()));
            QVERIFY2(r.isEmpty() || r == completas_[etiqueta], r.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "test_faults.moc"
