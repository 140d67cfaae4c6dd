// The three box-detail labels against a real MariaDB server, received on a
// real loopback socket as a networked label printer's raw port receives them,
// and once through a private CUPS scheduler's raw queue.

#include "context/errors.h"
#include "labels/box_labels.h"
#include "labels/label_printer.h"
#include "test_support.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

#include <cups/cups.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmar;
using namespace velmar::test;

namespace {

// A label printer's raw port: accepts connections on a thread of its own and
// keeps each connection's bytes, up to the sender's close, as one job.
class Receptor : public QThread {
public:
    Receptor() {
        start();
        listo_.acquire();
    }
    ~Receptor() override {
        parar_ = true;
        wait();
    }
    QString destino() const {
        return QStringLiteral("socket://127.0.0.1:") + QString::number(port_);
    }
    quint16 port() const { return port_; }

    // The next `n` jobs, in the order their connections came.
    QList<QByteArray> tomar(int n) {
        QMutexLocker l(&mutex_);
        QDeadlineTimer plazo(30000);
        while (trabajos_.size() < n && cond_.wait(&mutex_, plazo)) {
        }
        QList<QByteArray> out = trabajos_.mid(0, n);
        trabajos_.remove(0, out.size());
        return out;
    }

protected:
    void run() override {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        port_ = server.serverPort();
        listo_.release();
        while (!parar_) {
            if (!server.waitForNewConnection(50))
                continue;
            while (QTcpSocket* s = server.nextPendingConnection()) {
                QByteArray datos;
                while (!parar_) {
                    datos += s->readAll();
                    if (s->state() != QAbstractSocket::ConnectedState)
                        break;
                    s->waitForReadyRead(50);
                }
                datos += s->readAll();
                delete s;
                QMutexLocker l(&mutex_);
                trabajos_ << datos;
                cond_.wakeAll();
            }
        }
    }

private:
    QSemaphore listo_;
    std::atomic<bool> parar_{false};
    quint16 port_ = 0;
    QMutex mutex_;
    QWaitCondition cond_;
    QList<QByteArray> trabajos_;
};

quint16 puertoCerrado() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

QByteArray esperado(const QString& nombre) {
    QFile f(fuente(QStringLiteral("tests/data/labels/") + nombre + QStringLiteral(".epl")));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing expected label %s", qPrintable(nombre));
    return f.readAll();
}

// A station whose printer is the one VELMAR_IMPRESORA names right now.
struct Puesto {
    explicit Puesto(const QString& dsn = Conexion::kDsn)
        : t(dsn) {}
    TestStation t;
    std::unique_ptr<LabelPrinter> impresora = impresoraPorDefecto();
    Station st{t.db, t.history, t.report, t.busy, t.prompts, *impresora, t.input, {}, {}, {}};
};

using Etiqueta = void (*)(Station&, const QString&, const QString&, const QString&);

// The lock that serialises the label runs of one database.
const QString kCandado = QStringLiteral("CONCAT('velmar-tmp_caja-', MD5(IFNULL(DATABASE(), '')))");

const QStringList kMarcoNormal = {QStringLiteral("Inicializando ..."),
                                  QStringLiteral("Buscando ...")};

// A rose farm's packings: 100 (waybill with master and house numbers), 200
// (master only), 300 (none).
void cargarDatos() {
    TestDb& db = TestDb::get();
    db.sql("INSERT INTO flores VALUES ('FRE','ROJO','FREEDOM'), ('RNB','MIX','RAINBOW MIX'), "
           "('VEN','blanco','VENDELA'), ('CAN','Rojo','CANDY')");
    db.sql("INSERT INTO variedad VALUES ('FRE040','FREEDOM 40 CMS'), ('FRE050','FREEDOM 50 CMS'), "
           "('RNB040','RAINBOW 40 CMS'), ('RNB050','RAINBOW 50 CMS'), "
           "('VEN040','VENDELA 40 CMS'), ('VEN050','VENUS 50 CMS'), "
           "('VEN060','VERSILIA 60 CMS'), ('VEN070','VOODOO 70 CMS'), "
           "('VEN080','VITALITY 80 CMS'), ('MIN050','MINI'), "
           "('PIN060','PINK O''HARA 60 CMS'), ('NUS070','ÑUSTA \"X\\\\Z\" 70 CMS'), "
           "('CAN060','CANDY 60 CMS')");
    db.sql("INSERT INTO clientes (cod_client, cnombre) VALUES "
           "('C1','SUPERFLORES INTERNACIONAL'), ('C2','ROSAS DEL NORTE'), ('C3',NULL), "
           "('C4','D''Amé \"X\\\\Y\" Ltda')");
    db.sql("INSERT INTO prepacking (packing, caja, guia_aerea, marca) VALUES "
           "(100,1,'MAWB-123/HAWB-456','MARCA UNO'), (100,2,'MAWB-123/HAWB-456',NULL), "
           "(100,3,'MAWB-123/HAWB-456','CAJA TRES MARCADA LARGA'), "
           "(100,4,'MAWB-123/HAWB-456',''), (100,5,'',NULL), "
           "(100,7,'MAWB-123/HAWB-456','SIETE'), "
           "(100,8,'MAWB-123/HAWB-456','Ω \"OCHO\" \\\\ 8'), (200,1,'999-0000','DOS')");
    QStringList b;
    auto bunche = [&](const QString& id, int pack, int caja, const QString& varie, int tallos,
                      const QString& cliente) {
        b << QStringLiteral("('%1',%2,%3,'%4',%5,'%6')")
                 .arg(id)
                 .arg(pack)
                 .arg(caja)
                 .arg(varie)
                 .arg(tallos)
                 .arg(cliente);
    };
    // 100/1: red and rainbow; one variety for two customers
    bunche("b1001", 100, 1, "FRE040", 25, "C1");
    bunche("b1002", 100, 1, "FRE040", 25, "C1");
    bunche("b1003", 100, 1, "RNB050", 20, "C1");
    bunche("b1004", 100, 1, "VEN060", 20, "C1");
    bunche("b1005", 100, 1, "VEN060", 20, "C2");
    // 100/2: rainbow; no mark of its own
    bunche("b1011", 100, 2, "RNB040", 20, "C2");
    bunche("b1012", 100, 2, "RNB040", 20, "C2");
    bunche("b1013", 100, 2, "VEN050", 15, "C2");
    // 100/5: colour, five stem lengths, customer without a name, mark of box 3
    bunche("b1051", 100, 5, "VEN040", 10, "C3");
    bunche("b1052", 100, 5, "VEN050", 12, "C3");
    bunche("b1053", 100, 5, "VEN060", 14, "C3");
    bunche("b1054", 100, 5, "VEN070", 16, "C3");
    bunche("b1055", 100, 5, "VEN080", 18, "C3");
    bunche("b1056", 100, 5, "VEN080", 18, "C3");
    // 100/8: a name too short to shorten, quotes, backslashes, accents
    bunche("b1081", 100, 8, "FRE040", 25, "C4");
    bunche("b1082", 100, 8, "MIN050", 10, "C4");
    bunche("b1083", 100, 8, "MIN050", 10, "C4");
    bunche("b1084", 100, 8, "PIN060", 12, "C4");
    bunche("b1085", 100, 8, "NUS070", 14, "C4");
    // 200/1 and 300/1
    bunche("b2001", 200, 1, "FRE050", 30, "C1");
    bunche("b3001", 300, 1, "CAN060", 12, "C2");
    db.sql("INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos, cod_client) "
           "VALUES " +
           b.join(','));

    // 100/7: sixteen varieties, 31 grouped rows
    QStringList v;
    b.clear();
    for (int i = 1; i <= 16; ++i) {
        const QString nn = QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
        const QString cod = QStringLiteral("V") + nn + QStringLiteral("060");
        v << QStringLiteral("('%1','VAR%2 60 CMS')").arg(cod, nn);
        bunche(QStringLiteral("b7%1a").arg(nn), 100, 7, cod, 10, "C1");
        if (i > 1)
            bunche(QStringLiteral("b7%1b").arg(nn), 100, 7, cod, 10, "C2");
    }
    db.sql("INSERT INTO variedad VALUES " + v.join(','));
    db.sql("INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos, cod_client) "
           "VALUES " +
           b.join(','));
}

// ---------------------------------------------------------------- private CUPS

// A CUPS scheduler of the test's own: its own ServerRoot, listening on a unix
// socket in a temporary folder, reached through CUPS_SERVER.
class CupsPrivado {
public:
    ~CupsPrivado() {
        if (proc_.state() != QProcess::NotRunning) {
            proc_.terminate();
            if (!proc_.waitForFinished(5000))
                proc_.kill();
            proc_.waitForFinished(5000);
        }
    }

    QString socket() const { return dir_.path() + QStringLiteral("/cups.sock"); }

    bool iniciar(QString& motivo) {
        const QString d = dir_.path();
        // the backends run as lp and read the spool
        ::chmod(qPrintable(d), 0755);
        for (const char* sub : {"spool", "spool/tmp", "cache", "state", "log", "ppd"}) {
            QDir().mkpath(d + QLatin1Char('/') + QLatin1String(sub));
            ::chmod(qPrintable(d + QLatin1Char('/') + QLatin1String(sub)), 0755);
        }
        escribir(QStringLiteral("cups-files.conf"),
                 QStringLiteral("ServerRoot %1\nRequestRoot %1/spool\nTempDir %1/spool/tmp\n"
                                "CacheDir %1/cache\nStateDir %1/state\n"
                                "ErrorLog %1/log/error_log\nAccessLog %1/log/access_log\n"
                                "PageLog %1/log/page_log\nPrintcap %1/printcap\n"
                                "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
                                "User lp\nGroup lp\nSystemGroup root\n")
                     .arg(d));
        escribir(QStringLiteral("cupsd.conf"),
                 QStringLiteral("Listen %1\nLogLevel warn\nBrowsing No\nWebInterface No\n"
                                "DefaultAuthType None\nDefaultPolicy abierta\n"
                                "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                "<Policy abierta>\n  <Limit All>\n    Order deny,allow\n"
                                "  </Limit>\n</Policy>\n")
                     .arg(socket()));
        qputenv("CUPS_SERVER", socket().toUtf8());
        qputenv("CUPS_SERVERROOT", d.toUtf8());
        cupsSetServer(nullptr); // read CUPS_SERVER again

        proc_.setProcessChannelMode(QProcess::MergedChannels);
        proc_.start(QStringLiteral("/usr/sbin/cupsd"),
                    {QStringLiteral("-f"), QStringLiteral("-c"), d + QStringLiteral("/cupsd.conf"),
                     QStringLiteral("-s"), d + QStringLiteral("/cups-files.conf")});
        if (!proc_.waitForStarted(5000)) {
            motivo = QStringLiteral("cupsd does not start: ") + proc_.errorString();
            return false;
        }
        for (int i = 0; i < 200; ++i) {
            QString out;
            if (QFile::exists(socket()) && correr(QStringLiteral("lpstat"), {"-r"}, &out) &&
                out.contains(QLatin1String("is running")))
                return true;
            if (proc_.state() == QProcess::NotRunning)
                break;
            QThread::msleep(50);
        }
        motivo = QStringLiteral("cupsd did not answer: ") + QString::fromUtf8(proc_.readAll()) +
                 registro();
        return false;
    }

    QString registro() const {
        QFile f(dir_.path() + QStringLiteral("/log/error_log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    static bool correr(const QString& programa, const QStringList& args, QString* out = nullptr) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(programa, args);
        const bool ok =
            p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        const QString texto = QString::fromUtf8(p.readAll());
        if (out)
            *out = texto;
        if (!ok)
            qWarning("%s %s: %s", qPrintable(programa), qPrintable(args.join(' ')),
                     qPrintable(texto));
        return ok;
    }

private:
    void escribir(const QString& nombre, const QString& texto) {
        QFile f(dir_.path() + QLatin1Char('/') + nombre);
        if (!f.open(QIODevice::WriteOnly) || f.write(texto.toUtf8()) < 0)
            qFatal("cannot write %s", qPrintable(nombre));
        f.close();
        ::chmod(qPrintable(f.fileName()), 0644);
    }

    QTemporaryDir dir_;
    QProcess proc_;
};

} // namespace

class TestLabels : public QObject {
    Q_OBJECT

    Receptor receptor_;

    // Proves that nothing reached the printer since the last job taken: a
    // marker sent now must be the next job.
    void nadaEnviado() {
        auto marcador = impresoraPorDefecto();
        marcador->send("MARCADOR");
        QCOMPARE(receptor_.tomar(1), QList<QByteArray>{"MARCADOR"});
    }

private slots:
    void initTestCase() { qputenv("VELMAR_IMPRESORA", receptor_.destino().toUtf8()); }

    void init() {
        qputenv("VELMAR_IMPRESORA", receptor_.destino().toUtf8());
        TestDb::get().reset();
        cargarDatos();
    }

    void labelsByteForByte_data() {
        QTest::addColumn<int>("tipo");
        QTest::addColumn<QString>("packing");
        QTest::addColumn<QString>("caja");
        QTest::addColumn<QString>("archivo");
        QTest::addColumn<QString>("guia");
        const QString guia100 = QStringLiteral("MAWB-123/HAWB-456");
        QTest::newRow("small red, two customers for one variety") << 0 << "100"
                                                                  << "1"
                                                                  << "peq_100_1" << guia100;
        QTest::newRow("small colour, five stem lengths, mark of box 3, Null customer")
            << 0 << "100"
            << "5"
            << "peq_100_5" << guia100;
        QTest::newRow("small, 16 short names, 31 entries") << 0 << "100"
                                                           << "7"
                                                           << "peq_100_7" << guia100;
        QTest::newRow("small, short name, quotes, backslashes, accents") << 0 << "100"
                                                                         << "8"
                                                                         << "peq_100_8" << guia100;
        QTest::newRow("full rainbow, mark of box 1") << 1 << "100"
                                                     << "2"
                                                     << "det_100_2" << guia100;
        QTest::newRow("full, more than 7 names and entries") << 1 << "100"
                                                             << "7"
                                                             << "det_100_7" << guia100;
        QTest::newRow("full, short name, quotes, backslashes, accents") << 1 << "100"
                                                                        << "8"
                                                                        << "det_100_8" << guia100;
        QTest::newRow("full, waybill without house number") << 1 << "200"
                                                            << "1"
                                                            << "det_200_1"
                                                            << "999-0000";
        QTest::newRow("bouquet red") << 2 << "100"
                                     << "1"
                                     << "bqt_100_1" << guia100;
        QTest::newRow("bouquet, 14 headings, 30 entries") << 2 << "100"
                                                          << "7"
                                                          << "bqt_100_7" << guia100;
        QTest::newRow("bouquet, Rojo is not RED, no waybill, no mark") << 2 << "300"
                                                                       << "1"
                                                                       << "bqt_300_1"
                                                                       << "";
    }

    void labelsByteForByte() {
        QFETCH(int, tipo);
        QFETCH(QString, packing);
        QFETCH(QString, caja);
        QFETCH(QString, archivo);
        QFETCH(QString, guia);
        const Etiqueta etiquetas[] = {imprimir_detalle_peq, imprimir_detalle, imprimir_detalle_bqt};
        Puesto p;
        p.st.guia_actual = QStringLiteral("ANTERIOR");
        // the guia parameter is accepted and has no influence
        etiquetas[tipo](p.st, packing, caja, QStringLiteral("GUIA-IGNORADA"));

        const QByteArray e = esperado(archivo);
        const QList<QByteArray> recibidas = receptor_.tomar(1);
        QCOMPARE(recibidas.size(), 1);
        QCOMPARE(recibidas[0], e);
        QCOMPARE(p.st.ultima_etiqueta, e);
        QCOMPARE(p.t.prompts.eventos, QStringList());
        QCOMPARE(p.t.busy.captions, kMarcoNormal);
        QCOMPARE(p.t.busy.repintados, QList<bool>({true, true}));
        QCOMPARE(p.t.busy.punteros, QList<int>({11, 0}));
        QCOMPARE(p.st.guia_actual, guia);
        QCOMPARE(TestDb::get().valor("SELECT IS_FREE_LOCK(" + kCandado + ")"), QString("1"));
    }

    void workTableHoldsTheBoxByPosition() {
        Puesto p;
        imprimir_detalle_peq(p.st, "100", "8");
        receptor_.tomar(1);
        // a name shorter than seven characters gives the empty short name
        QCOMPARE(TestDb::get().filas("SELECT * FROM tmp_caja ORDER BY vnombre"),
                 QStringList({"8|FREEDOM 40 CMS|1|25|FREEDOM|100|40|TAB", "8|MINI|2|20||100|50|TAB",
                              "8|ÑUSTA \"X\\Z\" 70 CMS|1|14|ÑUSTA \"X\\Z\"|100|70|TAB",
                              "8|PINK O'HARA 60 CMS|1|12|PINK O'HARA|100|60|TAB"}));
        // every run empties it first, whatever box it held
        imprimir_detalle(p.st, "200", "1");
        receptor_.tomar(1);
        QCOMPARE(TestDb::get().filas("SELECT * FROM tmp_caja"),
                 QStringList({"1|FREEDOM 50 CMS|1|30|FREEDOM|200|50|TAB"}));
    }

    void boxWithoutBunchesSendsNothing() {
        TestDb::get().sql("INSERT INTO tmp_caja VALUES (9,'X',1,1,'X','1','1','TAB')");
        const Etiqueta etiquetas[] = {imprimir_detalle_peq, imprimir_detalle, imprimir_detalle_bqt};
        for (int tipo = 0; tipo < 3; ++tipo) {
            Puesto p;
            p.st.guia_actual = QStringLiteral("ANTERIOR");
            etiquetas[tipo](p.st, "100", "9", QString());
            QCOMPARE(p.t.prompts.eventos, QStringList());
            QCOMPARE(p.t.busy.captions, kMarcoNormal);
            QCOMPARE(p.t.busy.caption(), QString("Buscando ..."));
            QCOMPARE(p.t.busy.punteros, QList<int>({11, 0}));
            QCOMPARE(p.st.ultima_etiqueta, QByteArray());
            // the small label looks the waybill up first, the others after the box
            QCOMPARE(p.st.guia_actual, tipo == 0 ? QString("MAWB-123/HAWB-456") : "ANTERIOR");
            nadaEnviado();
        }
        QCOMPARE(TestDb::get().filas("SELECT caja, vnombre FROM tmp_caja"), QStringList{"9|X"});
    }

    void printerDownGivesItsMessageAndKeepsNoLabel() {
        const QStringList destinos = {
            QStringLiteral("socket://127.0.0.1:") + QString::number(puertoCerrado()),
            QStringLiteral("file:/no/existe/impresora"), QStringLiteral("otra-cosa")};
        const Etiqueta etiquetas[] = {imprimir_detalle_peq, imprimir_detalle, imprimir_detalle_bqt};
        for (const QString& destino : destinos) {
            qputenv("VELMAR_IMPRESORA", destino.toUtf8());
            for (int tipo = 0; tipo < 3; ++tipo) {
                Puesto p;
                etiquetas[tipo](p.st, "100", "1", QString());
                QCOMPARE(p.t.prompts.eventos,
                         QStringList{"0|velmar|Impresora de código de barras no está lista"});
                QCOMPARE(p.t.busy.captions, kMarcoNormal + QStringList{"Historia de operaciones"});
                QCOMPARE(p.t.busy.punteros, QList<int>({11, 0}));
                QCOMPARE(p.st.ultima_etiqueta, QByteArray());
                // nothing to reprint either
                reimprimir_etiqueta(p.st);
                QCOMPARE(p.t.prompts.textos().last(), QString("No hay etiqueta para reimprimir"));
            }
        }
        qputenv("VELMAR_IMPRESORA", receptor_.destino().toUtf8());
        nadaEnviado();
    }

    void databaseDownGivesItsMessageAndSendsNothing() {
        const QString caida = QStringLiteral("DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=%1;"
                                             "USER=velmar;PASSWORD=velmar")
                                  .arg(puertoCerrado());
        const Etiqueta etiquetas[] = {imprimir_detalle_peq, imprimir_detalle, imprimir_detalle_bqt};
        for (int tipo = 0; tipo < 3; ++tipo) {
            Puesto p(caida);
            etiquetas[tipo](p.st, "100", "1", QString());
            // abrir_consulta's own box, then the label's
            const QList<Caja>& cajas = p.t.prompts.cajas;
            QCOMPARE(cajas.size(), 2);
            QVERIFY2(cajas[0].texto.startsWith("Consulta Sql "), qPrintable(cajas[0].texto));
            QCOMPARE(cajas[1],
                     (Caja{"Error de ejecución, revise que esté conectado a la red", 0, "velmar"}));
            QCOMPARE(p.t.busy.captions, kMarcoNormal + QStringList{"Historia de operaciones"});
            QCOMPARE(p.t.busy.punteros, QList<int>({11, 0}));
            QCOMPARE(p.st.ultima_etiqueta, QByteArray());
        }
        nadaEnviado();
    }

    void failureMidwaySendsNothingAndReleasesTheLock() {
        // an insert the server rejects, after the lock was taken
        TestDb::get().sql("ALTER TABLE tmp_caja DROP COLUMN marcador");
        {
            Puesto p;
            imprimir_detalle_bqt(p.st, "100", "1", QString());
            QCOMPARE(
                p.t.prompts.eventos,
                QStringList{"0|velmar|Error de ejecución, revise que esté conectado a la red"});
            QCOMPARE(p.t.busy.caption(), QString("Historia de operaciones"));
            QCOMPARE(TestDb::get().valor("SELECT IS_FREE_LOCK(" + kCandado + ")"), QString("1"));
        }
        TestDb::get().recrear();
        cargarDatos();
        nadaEnviado();

        // another station holding tmp_caja for too long
        TestDb::get().valor("SELECT GET_LOCK(" + kCandado + ", 0)");
        {
            Puesto p;
            imprimir_detalle(p.st, "100", "2", QString());
            QCOMPARE(
                p.t.prompts.eventos,
                QStringList{"0|velmar|Error de ejecución, revise que esté conectado a la red"});
            QCOMPARE(TestDb::get().filas("SELECT * FROM tmp_caja"), QStringList());
        }
        TestDb::get().valor("SELECT RELEASE_LOCK(" + kCandado + ")");
        nadaEnviado();
    }

    void twoStationsAtOnceGetTheirOwnLabels() {
        constexpr int kVueltas = 6;
        struct Resultado {
            QList<QByteArray> etiquetas;
            QStringList eventos;
        };
        Resultado a, b;
        auto trabajar = [](Etiqueta etiqueta, const char* caja, Resultado* r) {
            Puesto p;
            for (int i = 0; i < kVueltas; ++i) {
                p.st.ultima_etiqueta.clear();
                etiqueta(p.st, "100", caja, QString());
                r->etiquetas << p.st.ultima_etiqueta;
            }
            r->eventos = p.t.prompts.eventos;
        };
        std::unique_ptr<QThread> ta(QThread::create(trabajar, imprimir_detalle_peq, "1", &a));
        std::unique_ptr<QThread> tb(QThread::create(trabajar, imprimir_detalle, "8", &b));
        ta->start();
        tb->start();
        QVERIFY(ta->wait(120000));
        QVERIFY(tb->wait(120000));

        const QByteArray ea = esperado("peq_100_1");
        const QByteArray eb = esperado("det_100_8");
        QCOMPARE(a.eventos, QStringList());
        QCOMPARE(b.eventos, QStringList());
        QCOMPARE(a.etiquetas, QList<QByteArray>(kVueltas, ea));
        QCOMPARE(b.etiquetas, QList<QByteArray>(kVueltas, eb));
        const QList<QByteArray> recibidas = receptor_.tomar(2 * kVueltas);
        QCOMPARE(recibidas.count(ea), kVueltas);
        QCOMPARE(recibidas.count(eb), kVueltas);
    }

    void reprintSendsTheLastLabelWithoutTheDatabase() {
        Puesto p;
        imprimir_detalle_peq(p.st, "100", "5", QString());
        const QByteArray e = esperado("peq_100_5");
        QCOMPARE(receptor_.tomar(1), QList<QByteArray>{e});
        TestDb::get().reset();
        p.t.db.cerrar();
        reimprimir_etiqueta(p.st);
        QCOMPARE(receptor_.tomar(1), QList<QByteArray>{e});
        QCOMPARE(p.t.prompts.eventos, QStringList());
        QCOMPARE(p.t.busy.punteros, QList<int>({11, 0, 11, 0}));

        // a jam that outlasts the reprint: the printer message, the label kept
        qputenv("VELMAR_IMPRESORA",
                QByteArray("socket://127.0.0.1:") + QByteArray::number(puertoCerrado()));
        Puesto q;
        q.st.ultima_etiqueta = e;
        reimprimir_etiqueta(q.st);
        QCOMPARE(q.t.prompts.eventos,
                 QStringList{"0|velmar|Impresora de código de barras no está lista"});
        QCOMPARE(q.st.ultima_etiqueta, e);
    }

    void fileDestinationIsOverwrittenPerLabel() {
        QTemporaryDir dir;
        const QString ruta = dir.path() + QStringLiteral("/lp0");
        qputenv("VELMAR_IMPRESORA", ("file:" + ruta).toUtf8());
        Puesto p;
        imprimir_detalle_bqt(p.st, "100", "7", QString());
        imprimir_detalle_bqt(p.st, "300", "1", QString());
        QFile f(ruta);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), esperado("bqt_300_1"));
    }

    void cliPrintsEachLabel() {
        QTemporaryDir dir;
        const QString ruta = dir.path() + QStringLiteral("/etiqueta.epl");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VELMAR_IMPRESORA", "file:" + ruta);
        const QStringList ops = {"imprimir_detalle_peq", "imprimir_detalle",
                                 "imprimir_detalle_bqt"};
        const QStringList archivos = {"peq_100_8", "det_100_8", "bqt_100_1"};
        const QStringList cajas = {"8", "8", "1"};
        for (int i = 0; i < 3; ++i) {
            QProcess cli;
            cli.setProcessEnvironment(env);
            cli.start(QStringLiteral(VELMAR_BINARY_DIR "/apps/velmar-cli"),
                      {ops[i], "100", cajas[i]});
            QVERIFY(cli.waitForFinished(60000));
            QCOMPARE(cli.exitCode(), 0);
            QCOMPARE(cli.readAllStandardOutput(), QByteArray());
            QCOMPARE(cli.readAllStandardError(), QByteArray());
            QFile f(ruta);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), esperado(archivos[i]));
        }
    }

    void cupsRawQueue() {
        if (!QFile::exists(QStringLiteral("/usr/sbin/cupsd")))
            QSKIP("cupsd is not installed (Debian package cups-daemon): no CUPS queue to test");
        if (::geteuid() != 0)
            QSKIP("cupsd runs its backends as user lp, which takes root to start it");
        if (!QFile::exists(QStringLiteral("/usr/lib/cups/backend/socket")))
            QSKIP("CUPS's socket backend is not installed (Debian package cups): a raw queue "
                  "cannot reach a printer's port");
        auto cups = std::make_unique<CupsPrivado>();
        QString motivo;
        QVERIFY2(cups->iniciar(motivo), qPrintable(motivo));
        const QString uri = QStringLiteral("socket://127.0.0.1:%1/?contimeout=5&waiteof=false");
        QVERIFY(CupsPrivado::correr(
            "lpadmin", {"-p", "q", "-E", "-v", uri.arg(receptor_.port()), "-m", "raw"}));
        QVERIFY(CupsPrivado::correr("lpadmin", {"-d", "q"}));
        QVERIFY(CupsPrivado::correr(
            "lpadmin", {"-p", "abajo", "-E", "-v", uri.arg(puertoCerrado()), "-m", "raw"}));

        // no VELMAR_IMPRESORA: the system's default printer
        qunsetenv("VELMAR_IMPRESORA");
        {
            Puesto p;
            imprimir_detalle_peq(p.st, "100", "1", QString());
            QCOMPARE(p.t.prompts.eventos, QStringList());
            QCOMPARE(receptor_.tomar(1), QList<QByteArray>{esperado("peq_100_1")});
        }
        qputenv("VELMAR_IMPRESORA", "cups:q");
        {
            Puesto p;
            imprimir_detalle(p.st, "100", "2", QString());
            QCOMPARE(p.t.prompts.eventos, QStringList());
            QCOMPARE(receptor_.tomar(1), QList<QByteArray>{esperado("det_100_2")});
        }
        // a queue whose printer is off: CUPS keeps the job, the station does not wait
        qputenv("VELMAR_IMPRESORA", "cups:abajo");
        {
            Puesto p;
            imprimir_detalle(p.st, "100", "2", QString());
            QCOMPARE(p.t.prompts.eventos,
                     QStringList{"0|velmar|Impresora de código de barras no está lista"});
            QCOMPARE(p.st.ultima_etiqueta, QByteArray());
            cups_job_t* jobs = nullptr;
            const int activos =
                cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, "abajo", 0, CUPS_WHICHJOBS_ACTIVE);
            cupsFreeJobs(activos, jobs);
            QCOMPARE(activos, 0); // cancelled, so it cannot print later
        }
        qputenv("VELMAR_IMPRESORA", "cups:no-existe");
        {
            Puesto p;
            imprimir_detalle_bqt(p.st, "100", "1", QString());
            QCOMPARE(p.t.prompts.eventos,
                     QStringList{"0|velmar|Impresora de código de barras no está lista"});
        }
        // no scheduler at all: no system printer
        cups.reset();
        qunsetenv("VELMAR_IMPRESORA");
        {
            Puesto p;
            imprimir_detalle_peq(p.st, "100", "1", QString());
            QCOMPARE(p.t.prompts.eventos,
                     QStringList{"0|velmar|Impresora de código de barras no está lista"});
        }
        qputenv("VELMAR_IMPRESORA", receptor_.destino().toUtf8());
        nadaEnviado();
    }
};

QTEST_GUILESS_MAIN(TestLabels)
#include "test_labels.moc"
