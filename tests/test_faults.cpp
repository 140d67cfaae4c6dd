// The faults a farm meets, on loopback only: the database server killed and
// restarted under a running station, a hung database server, and label
// printers that refuse, drop the connection or never take the label.

#include "context/errors.h"
#include "finca.h"
#include "labels/box_labels.h"
#include "labels/label_printer.h"
#include "login/login.h"
#include "packing/completion.h"
#include "packing/packing_report.h"
#include "printer_peer.h"
#include "startup/velmo.h"
#include "station/attendance_clock.h"
#include "test_support.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace velmar;
using namespace velmar::test;

namespace {

const QString kErrorSistema = QStringLiteral("Error en el sistema, revise la última operación ");
const QString kSinConexion = QStringLiteral("No hay conexión con el servidor de base de datos: ");

using Etiqueta = void (*)(Station&, const QString&, const QString&, const QString&);
const Etiqueta kEtiquetas[] = {imprimir_detalle_peq, imprimir_detalle, imprimir_detalle_bqt};

// A station whose label printer is the one VELMAR_IMPRESORA names when it is
// made.
struct Puesto {
    explicit Puesto(const QString& dsn = Conexion::kDsn)
        : t(dsn) {}
    TestStation t;
    std::unique_ptr<LabelPrinter> impresora = impresoraPorDefecto();
    Station st{t.db, t.history, t.report, t.busy, t.prompts, *impresora, t.input, {}, {}, {}};
};

quint16 puertoCerrado() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t largo = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &largo);
    ::close(fd);
    return ntohs(a.sin_port);
}

void cargarEsquema(Conexion& db) {
    QFile f(fuente(QStringLiteral("db/schema.sql")));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("db/schema.sql is missing");
    for (const QString& s : sentencias(QString::fromUtf8(f.readAll())))
        db.ejecutar(s);
}

// Kills `server` as soon as a statement starting with `inicio` runs on it
// (seen from a connection of its own), on a thread of its own; gives up after
// 15 s.
class Verdugo {
public:
    Verdugo(PrivateServer& server, const QString& inicio)
        : hilo_([this, &server, inicio] {
            Conexion vigia(server.cadena());
            QDeadlineTimer plazo(15000);
            try {
                vigia.abrir();
                while (!plazo.hasExpired()) {
                    const RecordSet rs = vigia.consulta(
                        QStringLiteral("select count(*) from information_schema.processlist "
                                       "where info like '") +
                        vigia.esc(inicio) + QStringLiteral("%' and id <> connection_id()"));
                    if (rs.text(0) != QLatin1String("0")) {
                        server.kill9();
                        muerto_ = true;
                        return;
                    }
                    QThread::msleep(20);
                }
            } catch (const Error& e) {
                qWarning("the watcher failed: %s", qPrintable(e.texto()));
            }
        }) {}
    ~Verdugo() { esperar(); }
    bool esperar() {
        if (hilo_.joinable())
            hilo_.join();
        return muerto_;
    }

private:
    std::atomic<bool> muerto_{false};
    std::thread hilo_;
};

// The one entry line of a person's day, as the server recorded it.
QString lineaIngreso(PrivateServer& server, const QString& personalId, const QString& nombre) {
    Conexion c(server.cadena());
    c.abrir();
    const RecordSet rs = c.consulta(
        QStringLiteral("select hora_entrada from control_asistencia where personal_id = ") +
        personalId);
    if (rs.count() != 1)
        return QStringLiteral("%1 entries for %2").arg(rs.count()).arg(personalId);
    return QStringLiteral("Ingreso del usuario ") + nombre + QStringLiteral(" a las ") +
           rs.text(0) + QStringLiteral("\r\n");
}

QString contar(PrivateServer& server, const QString& sql) {
    Conexion c(server.cadena());
    c.abrir();
    return c.consulta(sql).text(0);
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

    PrivateServer server_;
    QByteArray etiquetaRef_;
    QString reporteRef_;

    void arrancar() {
        QElapsedTimer reloj;
        reloj.start();
        server_.start();
        qDebug("server (re)started in %lld ms", reloj.elapsed());
    }

private slots:
    // Whatever the test before did to it, each test starts with the server up.
    void init() {
        server_.resume();
        server_.start();
        Conexion admin(server_.cadena());
        admin.abrir();
        admin.ejecutar("drop trigger if exists lento");
        admin.ejecutar("drop table if exists freno");
    }

    void initTestCase() {
        TestDb& db = TestDb::get();
        db.reset();
        cargarFinca(db.admin());

        arrancar();
        Conexion admin(server_.cadena());
        admin.abrir();
        cargarEsquema(admin);
        cargarFinca(admin);
        admin.ejecutar("INSERT INTO personal (personal_id, cedula, nombres, apellidos) VALUES "
                       "(8, '0102030405', 'PEDRO', 'PAZ'), (9, '0908070605', 'ROSA', 'ALBA'), "
                       "(10, '1010101010', 'LUIS', 'CAIZA'), (11, '1111111111', 'ANA', 'MORA')");

        // What a healthy station gives for the same data.
        PrinterPeer impresora;
        qputenv("VELMAR_IMPRESORA", impresora.destino().toUtf8());
        Puesto p;
        imprimir_detalle_peq(p.st, "851", "3");
        reporte_pck(p.st, "851");
        reporteRef_ = p.t.report.texto();
        const QList<QByteArray> t = impresora.trabajos(1);
        QCOMPARE(t.size(), 1);
        etiquetaRef_ = t[0];
        QVERIFY(etiquetaRef_.startsWith("N\r\n"));
        QVERIFY(etiquetaRef_.endsWith("P2\r\n\r\n"));
        QVERIFY(p.t.prompts.eventos.isEmpty());
    }

    // The server dies between two operations: each operation reports it in
    // its own way, the station keeps its connection object, and after the
    // restart every operation works again without anything run twice.
    void serverKilledEveryOperationReportsAndRecoversAfterRestart() {
        PrinterPeer impresora;
        qputenv("VELMAR_IMPRESORA", impresora.destino().toUtf8());
        Puesto p(server_.cadena());
        RecordingPrompts& prompts = p.t.prompts;
        Conexion* const conexion = &p.st.db;
        p.st.permiso_usuario = "ANTES";

        server_.kill9();

        // card scan: the query routine's box, the beep, the handler's box and line
        asistencia(p.st, "0102030405");
        QCOMPARE(prompts.eventos.size(), 3);
        QVERIFY2(prompts.eventos[0].startsWith("0|velmar|Consulta Sql " + kSinConexion),
                 qPrintable(prompts.eventos[0]));
        QCOMPARE(prompts.eventos.mid(1), QStringList({"beep", "0|velmar|" + kErrorSistema}));
        QCOMPARE(p.t.history.texto(), "\t" + kErrorSistema);
        QCOMPARE(p.t.input.vaciado, 1);
        prompts.limpiar();

        // label: the database message, nothing sent
        imprimir_detalle_peq(p.st, "851", "3");
        QCOMPARE(prompts.cajas.size(), 2);
        QVERIFY(prompts.cajas[0].texto.startsWith("Consulta Sql " + kSinConexion));
        QCOMPARE(prompts.cajas[1], (Caja{kErrorRed, 0, "velmar"}));
        prompts.limpiar();

        // login: both boxes, permission kept
        QCOMPARE(comprobar_login(p.st, "admin", "clave"), ResultadoLogin::Fallido);
        QCOMPARE(prompts.cajas.size(), 2);
        QVERIFY(prompts.cajas[0].texto.startsWith("Consulta Sql " + kSinConexion));
        // the second box: the missing record set that the login went on reading
        QCOMPARE(prompts.cajas[1],
                 (Caja{"Login La consulta no devolvió un conjunto de registros", 48, "velmar"}));
        QCOMPARE(p.st.permiso_usuario, QString("ANTES"));
        prompts.limpiar();

        // packing report: the query routine's boxes, then what it can still write
        reporte_pck(p.st, "851");
        QCOMPARE(prompts.cajas.size(), 2);
        for (const Caja& c : prompts.cajas)
            QVERIFY(c.texto.startsWith("Consulta Sql " + kSinConexion));
        QCOMPARE(p.t.report.texto(), QString("No hay datos para el packing: 851"));
        prompts.limpiar();

        // completion mark: the statement routine's box
        pck_completo(p.st, "851");
        QCOMPARE(prompts.cajas.size(), 1);
        QVERIFY(prompts.cajas[0].texto.startsWith(kSinConexion));
        prompts.limpiar();

        QCOMPARE(impresora.aceptadas(), 0);

        arrancar();

        asistencia(p.st, "0102030405");
        QCOMPARE(p.t.history.texto(),
                 "\t" + kErrorSistema + lineaIngreso(server_, "8", "PEDRO PAZ"));
        imprimir_detalle_peq(p.st, "851", "3");
        QCOMPARE(impresora.trabajos(1), QList<QByteArray>{etiquetaRef_});
        QCOMPARE(comprobar_login(p.st, "admin", "clave"), ResultadoLogin::Aceptado);
        QCOMPARE(p.st.permiso_usuario, QString("ADMIN"));
        reporte_pck(p.st, "851");
        QCOMPARE(p.t.report.texto(), reporteRef_);
        pck_completo(p.st, "851");
        QCOMPARE(prompts.eventos, QStringList());
        QVERIFY(&p.st.db == conexion);

        QCOMPARE(contar(server_, "select count(*) from control_asistencia where personal_id = 8"),
                 QString("1"));
        QCOMPARE(contar(server_, "select count(*) from bunche where num_pack = 851 and "
                                 "nacional = 'C'"),
                 contar(server_, "select count(*) from bunche where num_pack = 851"));
        QCOMPARE(impresora.recibidos().size(), 1);
    }

    // The server dies while a scan waits for the person's lock: the scan ends
    // on the error path; after the restart the next scan records the entry.
    void serverKilledWhileScanWaitsForTheLock() {
        TestStation t(server_.cadena());
        {
            Conexion otra(server_.cadena());
            otra.abrir();
            QCOMPARE(otra.consulta("SELECT GET_LOCK(CONCAT('velmar-asistencia-', "
                                   "MD5(CONCAT(DATABASE(), '/', '9'))), 0)")
                         .text(0),
                     QString("1"));
            Verdugo verdugo(server_, "SELECT GET_LOCK(");
            asistencia(t.st, "0908070605");
            QVERIFY(verdugo.esperar());
        }
        QCOMPARE(t.prompts.eventos, QStringList({"beep", "0|velmar|" + kErrorSistema}));
        QCOMPARE(t.history.texto(), "\t" + kErrorSistema);

        arrancar();
        QCOMPARE(contar(server_, "select count(*) from control_asistencia where personal_id = 9"),
                 QString("0"));
        t.prompts.limpiar();
        asistencia(t.st, "0908070605");
        QCOMPARE(t.prompts.eventos, QStringList());
        QCOMPARE(t.history.texto(), "\t" + kErrorSistema + lineaIngreso(server_, "9", "ROSA ALBA"));
    }

    // The server dies while a label waits for the labels' work table: the
    // database message, nothing sent; after the restart the label prints whole.
    void serverKilledWhileALabelWaitsForItsWorkTable() {
        PrinterPeer impresora;
        qputenv("VELMAR_IMPRESORA", impresora.destino().toUtf8());
        Puesto p(server_.cadena());
        {
            Conexion otra(server_.cadena());
            otra.abrir();
            QCOMPARE(
                otra.consulta("SELECT GET_LOCK(CONCAT('velmar-tmp_caja-', MD5(DATABASE())), 0)")
                    .text(0),
                QString("1"));
            Verdugo verdugo(server_, "SELECT GET_LOCK(");
            imprimir_detalle_peq(p.st, "851", "3");
            QVERIFY(verdugo.esperar());
        }
        QCOMPARE(p.t.prompts.eventos, QStringList{"0|velmar|" + kErrorRed});
        QCOMPARE(p.st.ultima_etiqueta, QByteArray());
        QCOMPARE(impresora.aceptadas(), 0);

        arrancar();
        p.t.prompts.limpiar();
        imprimir_detalle_peq(p.st, "851", "3");
        QCOMPARE(p.t.prompts.eventos, QStringList());
        QCOMPARE(impresora.trabajos(1), QList<QByteArray>{etiquetaRef_});
    }

    // The server dies in the middle of the entry's INSERT: the statement
    // routine's box; the insert is neither committed nor sent again, and the
    // first scan after the restart records the one entry.
    void serverKilledDuringTheEntryInsert() {
        {
            Conexion admin(server_.cadena());
            admin.abrir();
            admin.ejecutar("create table freno (x int)");
            admin.ejecutar("insert into freno values (1)");
            admin.ejecutar("create trigger lento before insert on control_asistencia for each "
                           "row begin if (select count(*) from freno) > 0 then do sleep(30); "
                           "end if; end");
        }
        TestStation t(server_.cadena());
        {
            // the server lists the trigger's statement while the insert runs it
            Verdugo verdugo(server_, "do sleep(");
            asistencia(t.st, "1010101010");
            QVERIFY(verdugo.esperar());
        }
        QCOMPARE(t.prompts.cajas.size(), 2);
        QVERIFY2(t.prompts.cajas[0].texto.startsWith(kSinConexion),
                 qPrintable(t.prompts.cajas[0].texto));
        // a failed insert is not reported as an entry: the error path follows
        QCOMPARE(
            t.prompts.eventos.mid(1),
            QStringList({"beep", "0|velmar|Error en el sistema, revise la última operación "}));
        QCOMPARE(t.history.texto(), QString("\tError en el sistema, revise la última operación "));
        const QString antes = t.history.texto();

        arrancar();
        QCOMPARE(
            contar(server_, "select count(*) from control_asistencia"),
            contar(server_, "select count(*) from control_asistencia where personal_id <> 10"));
        {
            Conexion admin(server_.cadena());
            admin.abrir();
            admin.ejecutar("delete from freno");
        }
        t.prompts.limpiar();
        asistencia(t.st, "1010101010");
        const QString ingreso = lineaIngreso(server_, "10", "LUIS CAIZA");
        QCOMPARE(t.history.texto(), antes + ingreso);
        asistencia(t.st, "1010101010");
        QVERIFY(t.history.texto().endsWith(" YA FUE INGRESADO A LAS " +
                                           ingreso.section(' ', -1).trimmed() + "\r\n"));
        QCOMPARE(t.prompts.eventos, QStringList());
        QCOMPARE(contar(server_, "select count(*) from control_asistencia where personal_id = 10"),
                 QString("1"));
    }

    // A hung server (stopped): a scan reports within the read timeout, a new
    // connection within the connect timeout, and after it resumes the next
    // scan records the entry.
    void hungServerIsReportedWithinTheTimeouts() {
        TestStation t(server_.cadena());
        asistencia(t.st, "1712345678"); // a warm, working connection
        QCOMPARE(t.prompts.eventos, QStringList());
        const QString inicio = t.history.texto();

        server_.pause();
        QElapsedTimer reloj;
        reloj.start();
        asistencia(t.st, "1111111111");
        const qint64 lectura = reloj.elapsed();
        reloj.restart();
        Conexion nueva(server_.cadena());
        RecordingPrompts prompts;
        const bool abierta = conectar(nueva, prompts);
        const qint64 conexion = reloj.elapsed();
        server_.resume();
        qDebug("hung server: scan reported after %lld ms (read timeout %d s), new connection "
               "after %lld ms (connect timeout %d s)",
               lectura, Conexion::kReadTimeout, conexion, Conexion::kConnectTimeout);

        QVERIFY(lectura < 3 * 1000 * Conexion::kReadTimeout);
        QVERIFY(conexion < 3 * 1000 * Conexion::kConnectTimeout);
        QCOMPARE(t.prompts.eventos.size(), 3);
        QVERIFY2(t.prompts.eventos[0].startsWith("0|velmar|Consulta Sql " + kSinConexion),
                 qPrintable(t.prompts.eventos[0]));
        QCOMPARE(t.prompts.eventos.mid(1), QStringList({"beep", "0|velmar|" + kErrorSistema}));
        QCOMPARE(t.history.texto(), inicio + "\t" + kErrorSistema);
        QVERIFY(!abierta);
        QCOMPARE(prompts.cajas.size(), 1);
        QCOMPARE(prompts.cajas[0].titulo, QString("Tarnel Flower"));
        QCOMPARE(prompts.cajas[0].estilo, 16);
        QVERIFY2(prompts.cajas[0].texto.startsWith(kSinConexion),
                 qPrintable(prompts.cajas[0].texto));

        t.prompts.limpiar();
        asistencia(t.st, "1111111111");
        QCOMPARE(t.prompts.eventos, QStringList());
        QCOMPARE(t.history.texto(),
                 inicio + "\t" + kErrorSistema + lineaIngreso(server_, "11", "ANA MORA"));
    }

    void printerThatFailsGivesItsMessageAndNoHalfLabel_data() {
        QTest::addColumn<int>("modo"); // -1: nothing listens
        QTest::addColumn<int>("etiqueta");
        for (int e = 0; e < 3; ++e) {
            QTest::addRow("refuses/%d", e) << -1 << e;
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
        std::unique_ptr<PrinterPeer> peer;
        if (modo < 0)
            qputenv("VELMAR_IMPRESORA",
                    "socket://127.0.0.1:" + QByteArray::number(puertoCerrado()));
        else {
            peer = std::make_unique<PrinterPeer>(PrinterPeer::Modo(modo));
            qputenv("VELMAR_IMPRESORA", peer->destino().toUtf8());
        }
        // the label this box gives on a healthy printer
        QByteArray completa;
        {
            PrinterPeer sana;
            const QByteArray antes = qgetenv("VELMAR_IMPRESORA");
            qputenv("VELMAR_IMPRESORA", sana.destino().toUtf8());
            Puesto ref;
            kEtiquetas[etiqueta](ref.st, "852", "4", QString());
            completa = sana.trabajos(1).value(0);
            QVERIFY(completa.endsWith("P2\r\n\r\n"));
            qputenv("VELMAR_IMPRESORA", antes);
        }

        Puesto p;
        QElapsedTimer reloj;
        reloj.start();
        kEtiquetas[etiqueta](p.st, "852", "4", QString());
        const qint64 ms = reloj.elapsed();
        qDebug("printer failure reported after %lld ms", ms);
        QCOMPARE(p.t.prompts.eventos, QStringList{"0|velmar|" + kImpresoraNoLista});
        QCOMPARE(p.t.busy.captions,
                 QStringList({"Inicializando ...", "Buscando ...", "Historia de operaciones"}));
        QCOMPARE(p.t.busy.punteros, QList<int>({11, 0}));
        QCOMPARE(p.st.ultima_etiqueta, QByteArray());
        QVERIFY(ms < 15000);
        if (peer) {
            QCOMPARE(peer->recibidos(), QList<QByteArray>());
            for (const QByteArray& r : peer->retenido()) {
                qDebug("the printer holds %lld of the label's %lld bytes", qint64(r.size()),
                       qint64(completa.size()));
                QVERIFY2(r.isEmpty() || r == completa, r.constData());
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "test_faults.moc"
