// The three box-detail labels against a real MariaDB server, received on a
// real loopback socket as a networked label printer's raw port receives them,
// and once through a private CUPS scheduler's raw queue. Printer faults and a
// server killed mid-label are in test_faults, stations printing at once in
// test_load.

#include "finca.h"
#include "printer_peer.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <cups/cups.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmar;
using namespace velmar::test;

namespace {

QByteArray esperado(const QString& nombre) {
    QFile f(fuente(QStringLiteral("tests/data/labels/") + nombre + QStringLiteral(".epl")));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing expected label %s", qPrintable(nombre));
    return f.readAll();
}

// Prints the label an expected file is named after: kind_packing_box.
void imprimir(Puesto& p, const QString& archivo, const QString& guia = QString()) {
    const QStringList parte = archivo.split('_');
    kEtiquetas[QStringList{"peq", "det", "bqt"}.indexOf(parte[0])](p.st, parte[1], parte[2], guia);
}

// The lock that serialises the label runs of one database.
const QString kCandado = QStringLiteral("CONCAT('velmar-tmp_caja-', MD5(IFNULL(DATABASE(), '')))");
const QStringList kMarcoNormal = {"Inicializando ...", "Buscando ..."};
const QString kNoLista = QStringLiteral("Impresora de código de barras no está lista");
const QString kSinRed = QStringLiteral("Error de ejecución, revise que esté conectado a la red");

// "1" when no station's connection holds the work table's lock.
QString candadoSuelto() {
    return TestDb::get().valor("SELECT IFNULL(IS_USED_LOCK(" + kCandado +
                               ") = CONNECTION_ID(), 1)");
}

// A port nothing listens on: port 1 of the loopback.
const QString kSinServidor =
    QStringLiteral("DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=1;USER=velmar;PASSWORD=velmar");

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
    // 100/7: sixteen varieties, 31 grouped rows
    QStringList v, siete;
    for (int i = 1; i <= 16; ++i) {
        v << QString::asprintf("('V%02d060','VAR%02d 60 CMS')", i, i);
        siete << QString::asprintf("V%02d060/10/C1", i);
        if (i > 1)
            siete << QString::asprintf("V%02d060/10/C2", i);
    }
    db.sql("INSERT INTO variedad VALUES " + v.join(','));
    // packing/box: variety/stems/customer of each bunch
    const QList<std::pair<QString, QString>> cajas = {
        // red and rainbow; one variety for two customers
        {"100/1", "FRE040/25/C1 FRE040/25/C1 RNB050/20/C1 VEN060/20/C1 VEN060/20/C2"},
        // rainbow; no mark of its own
        {"100/2", "RNB040/20/C2 RNB040/20/C2 VEN050/15/C2"},
        // colour, five stem lengths, customer without a name, mark of box 3
        {"100/5", "VEN040/10/C3 VEN050/12/C3 VEN060/14/C3 VEN070/16/C3 VEN080/18/C3 "
                  "VEN080/18/C3"},
        // a name too short to shorten, quotes, backslashes, accents
        {"100/8", "FRE040/25/C4 MIN050/10/C4 MIN050/10/C4 PIN060/12/C4 NUS070/14/C4"},
        {"200/1", "FRE050/30/C1"},
        {"300/1", "CAN060/12/C2"},
        {"100/7", siete.join(' ')}};
    QStringList b;
    for (const auto& [caja, bunches] : cajas)
        for (const QString& bunch : bunches.split(' ')) {
            const QStringList c = (caja + '/' + bunch).split('/');
            b << QStringLiteral("('b%1',%2,%3,'%4',%5,'%6')")
                     .arg(b.size())
                     .arg(c[0], c[1], c[2], c[3], c[4]);
        }
    db.sql("INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos, cod_client) "
           "VALUES " +
           b.join(','));
}

// Starts a CUPS scheduler of the test's own in `d`: its own ServerRoot,
// listening on a unix socket there, reached through CUPS_SERVER, with two raw
// queues: "q", the default, and "abajo".
bool iniciarCups(const QString& d, QProcess& cupsd, const QString& q, const QString& abajo) {
    // the backends run as lp and read the spool
    for (const char* sub : {"", "/spool", "/spool/tmp", "/cache", "/state"}) {
        QDir().mkpath(d + sub);
        ::chmod(qPrintable(d + sub), 0755);
    }
    const char* const conf[][2] = {
        {"/cups-files.conf", "ServerRoot $D\nRequestRoot $D/spool\nTempDir $D/spool/tmp\n"
                             "CacheDir $D/cache\nStateDir $D/state\nPrintcap $D/printcap\n"
                             "ErrorLog stderr\nAccessLog stderr\nPageLog stderr\n"},
        {"/cupsd.conf", "Listen $D/cups.sock\nLogLevel warn\nBrowsing No\n"
                        "DefaultPolicy abierta\n<Policy abierta>\n<Limit All>\n"
                        "Order deny,allow\n</Limit>\n</Policy>\n"},
        {"/printers.conf", "<DefaultPrinter q>\nDeviceURI $Q\nState Idle\nAccepting Yes\n"
                           "</DefaultPrinter>\n<Printer abajo>\nDeviceURI $A\nState Idle\n"
                           "Accepting Yes\n</Printer>\n"}};
    for (const auto& [nombre, texto] : conf) {
        QFile f(d + nombre);
        const QString t = QString(texto).replace("$D", d).replace("$Q", q).replace("$A", abajo);
        if (!f.open(QIODevice::WriteOnly) || f.write(t.toUtf8()) <= 0)
            return false;
    }
    qputenv("CUPS_SERVER", (d + "/cups.sock").toUtf8());
    qputenv("CUPS_SERVERROOT", d.toUtf8());
    cupsSetServer(nullptr); // read CUPS_SERVER again
    cupsd.setProcessChannelMode(QProcess::MergedChannels);
    cupsd.start("/usr/sbin/cupsd", {"-f", "-c", d + "/cupsd.conf", "-s", d + "/cups-files.conf"});
    // it listens before it answers: the requests wait in the socket's queue
    const auto escucha = [&] { return QFile::exists(d + "/cups.sock"); };
    return QTest::qWaitFor(escucha, 10000) && cupsd.state() == QProcess::Running;
}

} // namespace

class TestLabels : public QObject {
    Q_OBJECT

    std::unique_ptr<PrinterPeer> impresora_;
    int tomados_ = 0;

    // The next `n` jobs the printer received.
    QList<QByteArray> tomar(int n) {
        const QList<QByteArray> t = impresora_->trabajos(tomados_ + n).mid(tomados_);
        tomados_ += t.size();
        return t;
    }

    // Proves that nothing reached the printer since the last job taken: a
    // marker sent now must be the next job.
    void nadaEnviado() {
        impresora_->usar();
        impresoraPorDefecto()->send("MARCADOR");
        QCOMPARE(tomar(1), QList<QByteArray>{"MARCADOR"});
    }

private slots:
    void init() {
        impresora_ = std::make_unique<PrinterPeer>();
        tomados_ = 0;
        impresora_->usar();
        TestDb::get().reset();
        cargarDatos();
    }

    void cleanup() { TestDb::get().sql("SELECT RELEASE_ALL_LOCKS()"); }

    void labelsByteForByte_data() {
        QTest::addColumn<QString>("archivo");
        for (const char* a :
             {"peq_100_1", "peq_100_5", "peq_100_7", "peq_100_8", "det_100_2", "det_100_7",
              "det_100_8", "det_200_1", "bqt_100_1", "bqt_100_7", "bqt_300_1"})
            QTest::newRow(a) << QString(a);
    }

    void labelsByteForByte() {
        QFETCH(QString, archivo);
        Puesto p;
        p.st.guia_actual = QStringLiteral("ANTERIOR");
        // the guia parameter is accepted and has no influence
        imprimir(p, archivo, "GUIA-IGNORADA");
        const QByteArray e = esperado(archivo);
        QCOMPARE(tomar(1), QList<QByteArray>{e});
        QCOMPARE(p.st.ultima_etiqueta, e);
        QCOMPARE(p.t.prompts.eventos, QStringList());
        QCOMPARE(p.t.busy.captions, kMarcoNormal);
        QCOMPARE(p.t.busy.repintados, QList<bool>({true, true}));
        QCOMPARE(p.t.busy.punteros, QList<int>({11, 0}));
        const QMap<QString, QString> guias = {
            {"100", "MAWB-123/HAWB-456"}, {"200", "999-0000"}, {"300", ""}};
        QCOMPARE(p.st.guia_actual, guias[archivo.section('_', 1, 1)]);
        QCOMPARE(candadoSuelto(), QString("1"));
    }

    void workTableHoldsTheBoxByPosition() {
        Puesto p;
        imprimir(p, "peq_100_8");
        // a name shorter than seven characters gives the empty short name
        QCOMPARE(TestDb::get().filas("SELECT * FROM tmp_caja ORDER BY vnombre"),
                 QStringList({"8|FREEDOM 40 CMS|1|25|FREEDOM|100|40|TAB", "8|MINI|2|20||100|50|TAB",
                              "8|ÑUSTA \"X\\Z\" 70 CMS|1|14|ÑUSTA \"X\\Z\"|100|70|TAB",
                              "8|PINK O'HARA 60 CMS|1|12|PINK O'HARA|100|60|TAB"}));
        // every run empties it first, whatever box it held
        imprimir(p, "det_200_1");
        QCOMPARE(TestDb::get().filas("SELECT * FROM tmp_caja"),
                 QStringList({"1|FREEDOM 50 CMS|1|30|FREEDOM|200|50|TAB"}));
    }

    void boxWithoutBunchesSendsNothing() {
        TestDb::get().sql("INSERT INTO tmp_caja VALUES (9,'X',1,1,'X','1','1','TAB')");
        for (const QString archivo : {"peq_100_9", "det_100_9", "bqt_100_9"}) {
            Puesto p;
            p.st.guia_actual = QStringLiteral("ANTERIOR");
            imprimir(p, archivo);
            QCOMPARE(p.t.prompts.eventos, QStringList());
            QCOMPARE(p.t.busy.captions, kMarcoNormal);
            QCOMPARE(p.t.busy.punteros, QList<int>({11, 0}));
            QCOMPARE(p.st.ultima_etiqueta, QByteArray());
            // the small label looks the waybill up first, the others after the box
            QCOMPARE(p.st.guia_actual,
                     archivo.startsWith("peq") ? QString("MAWB-123/HAWB-456") : "ANTERIOR");
        }
        nadaEnviado();
        QCOMPARE(TestDb::get().filas("SELECT caja, vnombre FROM tmp_caja"), QStringList{"9|X"});
    }

    void failureGivesItsMessageAndSendsNothing_data() {
        QTest::addColumn<QString>("archivo");
        QTest::addColumn<QString>("falla"); // of the printer, the server or a statement
        QTest::addColumn<QString>("valor"); // the printer's name, a statement run first
        const auto fila = [](const char* nombre, const char* archivo, const char* falla,
                             const QString& valor) {
            QTest::newRow(nombre) << QString(archivo) << QString(falla) << valor;
        };
        fila("printer device missing", "peq_100_1", "impresora", "file:/no/existe/impresora");
        fila("printer name unknown", "det_100_1", "impresora", "otra-cosa");
        fila("database down/peq", "peq_100_1", "servidor", "");
        fila("database down/det", "det_100_1", "servidor", "");
        fila("database down/bqt", "bqt_100_1", "servidor", "");
        // a sum of stems past the table's INT: the server rejects the insert
        fila("insert rejected under the lock", "bqt_100_1", "sql",
             "UPDATE bunche SET num_tallos = 2000000000 WHERE cod_varie = 'FRE040'");
        fila("another station keeps the work table too long", "det_100_1", "sql",
             "SELECT GET_LOCK(" + kCandado + ", 0)");
    }

    void failureGivesItsMessageAndSendsNothing() {
        QFETCH(QString, archivo);
        QFETCH(QString, falla);
        QFETCH(QString, valor);
        const bool impresora = falla == "impresora", sinServidor = falla == "servidor";
        if (impresora)
            qputenv("VELMAR_IMPRESORA", valor.toUtf8());
        if (falla == "sql")
            TestDb::get().sql(valor);
        Puesto p(sinServidor ? kSinServidor : Conexion::kDsn);
        imprimir(p, archivo);
        QList<Caja> cajas = p.t.prompts.cajas;
        if (sinServidor) { // abrir_consulta's own box comes first
            QVERIFY2(cajas.value(0).texto.startsWith("Consulta Sql "), qPrintable(cajas[0].texto));
            cajas.removeFirst();
        }
        QCOMPARE(cajas, QList<Caja>({{impresora ? kNoLista : kSinRed, 0, "velmar"}}));
        QCOMPARE(p.t.busy.captions, kMarcoNormal + QStringList{"Historia de operaciones"});
        QCOMPARE(p.t.busy.punteros, QList<int>({11, 0}));
        QCOMPARE(p.st.ultima_etiqueta, QByteArray());
        QCOMPARE(candadoSuelto(), QString("1"));
        // the printer is reached once the work table is filled
        QCOMPARE(TestDb::get().valor("SELECT COUNT(*) FROM tmp_caja"), impresora ? "4" : "0");
        // nothing to reprint either
        reimprimir_etiqueta(p.st);
        QCOMPARE(p.t.prompts.textos().last(), QString("No hay etiqueta para reimprimir"));
        nadaEnviado();
    }

    void reprintSendsTheLastLabelWithoutTheDatabase() {
        Puesto p;
        imprimir(p, "peq_100_5");
        const QByteArray e = esperado("peq_100_5");
        QCOMPARE(tomar(1), QList<QByteArray>{e});
        TestDb::get().reset();
        p.t.db.cerrar();
        reimprimir_etiqueta(p.st);
        QCOMPARE(tomar(1), QList<QByteArray>{e});
        QCOMPARE(p.t.prompts.eventos, QStringList());
        QCOMPARE(p.t.busy.punteros, QList<int>({11, 0, 11, 0}));

        // a jam that outlasts the reprint: the printer message, the label kept
        PrinterPeer(PrinterPeer::Modo::Rechaza).usar();
        Puesto q;
        q.st.ultima_etiqueta = e;
        reimprimir_etiqueta(q.st);
        QCOMPARE(q.t.prompts.eventos, QStringList{"0|velmar|" + kNoLista});
        QCOMPARE(q.st.ultima_etiqueta, e);
    }

    // A file destination is rewritten per label, within one process and by
    // velmar-cli.
    void fileDestinationAndCliPrintEachLabel() {
        QTemporaryDir dir;
        const QString ruta = dir.path() + QStringLiteral("/lp0");
        const auto leer = [&] {
            QFile f(ruta);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(nada)");
        };
        qputenv("VELMAR_IMPRESORA", ("file:" + ruta).toUtf8());
        Puesto p;
        imprimir(p, "bqt_100_7");
        imprimir(p, "bqt_300_1");
        QCOMPARE(leer(), esperado("bqt_300_1"));

        const QStringList ops = {"imprimir_detalle_peq", "imprimir_detalle",
                                 "imprimir_detalle_bqt"};
        for (int i = 0; i < 3; ++i) {
            const QString archivo = QStringList{"peq_100_8", "det_100_8", "bqt_100_1"}[i];
            QProcess cli;
            cli.start(QStringLiteral(VELMAR_BINARY_DIR "/apps/velmar-cli"),
                      {ops[i], archivo.section('_', 1, 1), archivo.section('_', 2, 2)});
            QVERIFY(cli.waitForFinished(60000));
            QCOMPARE(cli.exitCode(), 0);
            QCOMPARE(cli.readAllStandardOutput(), QByteArray());
            QCOMPARE(cli.readAllStandardError(), QByteArray());
            QCOMPARE(leer(), esperado(archivo));
        }
    }

    void cupsRawQueue() {
        if (::geteuid() != 0 || !QFile::exists("/usr/sbin/cupsd") ||
            !QFile::exists("/usr/lib/cups/backend/socket"))
            QSKIP("needs root (cupsd runs its backends as lp) and the Debian packages "
                  "cups-daemon and cups (the socket backend of a raw queue)");
        const QString opciones = QStringLiteral("/?contimeout=5&waiteof=false");
        const QString sana = qgetenv("VELMAR_IMPRESORA") + opciones;
        PrinterPeer(PrinterPeer::Modo::Rechaza).usar();
        QTemporaryDir dir;
        QProcess cupsd;
        QVERIFY2(iniciarCups(dir.path(), cupsd, sana, qgetenv("VELMAR_IMPRESORA") + opciones),
                 cupsd.readAll().data());

        // no destination: the system's default printer
        for (const char* destino : {"", "cups:q"}) {
            qputenv("VELMAR_IMPRESORA", destino); // empty is unset
            Puesto p;
            imprimir(p, "det_100_2");
            QCOMPARE(p.t.prompts.eventos, QStringList());
            QCOMPARE(tomar(1), QList<QByteArray>{esperado("det_100_2")});
        }
        // a printer that is off, whose job CUPS would keep to print later; an
        // unknown queue; no scheduler at all
        for (const char* destino : {"cups:abajo", "cups:no-existe", ""}) {
            if (!*destino) {
                // the job of the printer that is off was cancelled
                cups_job_t* jobs = nullptr;
                const int activos =
                    cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, "abajo", 0, CUPS_WHICHJOBS_ACTIVE);
                cupsFreeJobs(activos, jobs);
                QCOMPARE(activos, 0);
                cupsd.terminate();
                QVERIFY(cupsd.waitForFinished(10000));
            }
            qputenv("VELMAR_IMPRESORA", destino);
            Puesto p;
            imprimir(p, "peq_100_1");
            QCOMPARE(p.t.prompts.eventos, QStringList{"0|velmar|" + kNoLista});
            QCOMPARE(p.st.ultima_etiqueta, QByteArray());
        }
        nadaEnviado();
    }
};

QTEST_GUILESS_MAIN(TestLabels)
#include "test_labels.moc"
