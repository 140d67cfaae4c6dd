// The three box-detail labels from a real MariaDB server, received on a real
// loopback socket by velmar-impresora, through a file, velmar-cli and a
// private CUPS scheduler's raw queue; and the printer or the server failing.

#include "errors/errors.h"
#include "files/file_output.h"
#include "labels/box_data.h"
#include "labels/box_labels.h"
#include "printing/label_printer.h"
#include "test_support.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <cups/cups.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace velmar;
using namespace velmar::test;

namespace {

// A station printing to the printer VELMAR_IMPRESORA names when it is made.
struct Puesto {
    explicit Puesto(const QString& dsn = Conexion::kDsn)
        : t(dsn) {}
    TestStation t;
    std::unique_ptr<LabelPrinter> impresora = defaultLabelPrinter();
    Station st{{t.db, t.history, t.report, t.busy, t.prompts, *impresora, t.input}, t.sesion};
};

QByteArray esperado(const QString& nombre) {
    return leer(fuente("tests/data/labels/" + nombre + ".epl"));
}

// Prints the label an expected file is named after: kind_packing_box.
void imprimir(Puesto& p, const QString& archivo) {
    const QStringList parte = archivo.split('_');
    void (*const etiqueta[])(Station&, const QString&, const QString&) = {
        imprimir_detalle_peq, imprimir_detalle, imprimir_detalle_bqt};
    etiqueta[QStringList{"peq", "det", "bqt"}.indexOf(parte[0])](p.st, parte[1], parte[2]);
}

const QStringList kMarcoNormal = {"Inicializando ...", "Buscando ..."};
const QString kNoLista = "0|velmar|" + kImpresoraNoLista;

// velmar-impresora on a loopback port of its own: each test's printer.
struct Emulador {
    QTemporaryDir dir;
    QProcess proceso;           // killed with it
    QString out, aviso, puerto; // its stdout and stderr so far
    int tomados = 0;
    Emulador() {
        proceso.start(VELMAR_IMPRESORA_BIN, {"--port", "0", "--out", dir.path()});
        static const QRegularExpression escucha("escuchando en 127\\.0\\.0\\.1:(\\d+)");
        esperar([&] { return escucha.match(aviso).hasMatch(); });
        puerto = escucha.match(aviso).captured(1);
    }
    void usar() const { qputenv("VELMAR_IMPRESORA", "socket://127.0.0.1:" + puerto.toUtf8()); }
    QString ruta(const QString& nombre) const { return dir.path() + "/etiqueta-" + nombre; }
    // Lets it run until `listo` holds; gives its stdout lines.
    QStringList esperar(const std::function<bool()>& listo) {
        const auto leido = [&] {
            out += proceso.readAllStandardOutput();
            aviso += proceso.readAllStandardError();
            return listo();
        };
        if (!QTest::qWaitFor(leido, 20000))
            qWarning("still waiting after 20 s: %s", qPrintable(aviso));
        return out.split('\n', Qt::SkipEmptyParts);
    }
    // The next job, saved once its sender closed the line, of the size reported.
    QByteArray tomar() {
        const QString epl = ruta(QString::asprintf("%03d.epl", ++tomados));
        esperar([&] { return aviso.contains(epl + '\t'); });
        const QByteArray job = leer(epl);
        return aviso.contains(epl + QString("\t%1 bytes").arg(job.size())) ? job : aviso.toUtf8();
    }
};

enum class Falla { Destino, Rechaza, Cierra, Suelta, NoLee, Lenta, Servidor, Sentencia, Ocupada };

const QString kTablaDeTrabajo = "CONCAT('velmar-tmp_caja-', MD5(IFNULL(DATABASE(), '')))";

// A printer's raw port on loopback that refuses, resets each connection, never
// accepts (the kernel keeps what comes), reads slowly or drops the job at 640 bytes.
struct PuertoRoto {
    QTcpServer servidor;
    std::thread hilo;
    QByteArray leido; // what the slow printer read
    explicit PuertoRoto(Falla modo) {
        QVERIFY(servidor.listen(QHostAddress::LocalHost));
        servidor.pauseAccepting(); // an event loop of this thread takes none
        qputenv("VELMAR_IMPRESORA",
                "socket://127.0.0.1:" + QByteArray::number(servidor.serverPort()));
        if (modo == Falla::Rechaza)
            servidor.close();
        const int fd = int(servidor.socketDescriptor());
        if (modo != Falla::NoLee && ::fcntl(fd, F_SETFL, 0) == 0) // blocking accepts
            hilo = std::thread([this, fd, modo] {
                for (int c; (c = ::accept(fd, nullptr, nullptr)) >= 0 || errno == EINTR;) {
                    const linger reset{1, 0}; // a reset, whatever the station wrote by then
                    if (modo == Falla::Cierra)
                        ::setsockopt(c, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                    char buf[64];
                    for (ssize_t n;
                         modo != Falla::Cierra && (modo == Falla::Lenta || leido.size() < 640) &&
                         (n = ::recv(c, buf, sizeof buf, 0)) > 0;
                         QThread::msleep(200))
                        leido.append(buf, n);
                    ::close(c);
                    if (modo != Falla::Cierra)
                        return;
                }
            });
    }
    ~PuertoRoto() {
        ::shutdown(int(servidor.socketDescriptor()), SHUT_RDWR); // wakes the accept
        if (hilo.joinable())
            hilo.join();
    }
    // What the connection never accepted holds, as the printer back to life reads it.
    QByteArray retenido() {
        if (hilo.joinable()) {
            hilo.join();
            return leido;
        }
        const int c = ::accept4(int(servidor.socketDescriptor()), nullptr, nullptr, SOCK_NONBLOCK);
        QByteArray out = c < 0 ? "(ninguna conexión)" : "";
        char buf[4096];
        for (ssize_t n; c >= 0 && (n = ::recv(c, buf, sizeof buf, 0)) > 0;)
            out.append(buf, n);
        ::close(c);
        return out;
    }
};

} // namespace

Q_DECLARE_METATYPE(Falla)

class TestLabels : public QObject {
    Q_OBJECT

    std::unique_ptr<Emulador> impresora_;
    bool recrear_ = false;

    // Another station's label is the next job: the work table's lock is free,
    // and nothing of a failed label went before it.
    void otraEstacionImprime() {
        impresora_->usar();
        Puesto q;
        imprimir(q, "det_200_1");
        QCOMPARE(impresora_->tomar(), esperado("det_200_1"));
    }

private slots:
    void init() {
        if (std::exchange(recrear_, false))
            TestDb::get().recrear();
        impresora_ = std::make_unique<Emulador>();
        QVERIFY2(!impresora_->puerto.isEmpty(), qPrintable(impresora_->aviso));
        impresora_->usar();
        TestDb::get().reset(); // the boxes the expected labels are printed from
        TestDb::get().script(QString::fromUtf8(leer(fuente("tests/data/labels/finca.sql"))));
    }

    // _9: a box without bunches, nothing sent
    void labelsByteForByte_data() {
        QTest::addColumn<QString>("archivo");
        for (const char* a : {"peq_100_1", "peq_100_5", "peq_100_7", "peq_100_8", "det_100_2",
                              "det_100_7", "det_100_8", "det_200_1", "bqt_100_1", "bqt_100_7",
                              "bqt_300_1", "peq_100_9", "det_100_9", "bqt_100_9"})
            QTest::newRow(a) << QString(a);
        // tmp_caja as a farm's: bunches DECIMAL, the packing's column named otherwise
        QTest::newRow("det_100_2 farm") << QString("det_100_2");
    }

    void labelsByteForByte() {
        QFETCH(QString, archivo);
        if ((recrear_ = QByteArray(QTest::currentDataTag()).endsWith("farm")))
            TestDb::get().sql("ALTER TABLE tmp_caja MODIFY bunches decimal(10,2), "
                              "CHANGE num_pack pack varchar(20)");
        // the small label looks the waybill up first, the others only for a box with bunches
        const QMap<QString, QString> guias = {
            {"100", "MAWB-123/HAWB-456"}, {"200", "999-0000"}, {"300", ""}};
        const bool vacia = archivo.endsWith("_9");
        const QString guia =
            vacia && !archivo.startsWith("peq") ? "ANTERIOR" : guias[archivo.section('_', 1, 1)];
        Puesto p;
        p.st.sesion.guia_actual = "ANTERIOR";
        imprimir(p, archivo);
        const QByteArray e = vacia ? QByteArray() : esperado(archivo);
        if (vacia)
            otraEstacionImprime();
        else
            QCOMPARE(impresora_->tomar(), e);
        const EtiquetaCompuesta& u = p.st.sesion.ultima_compuesta;
        const QStringList caja = vacia ? QStringList{"", ""} : archivo.split('_').mid(1);
        QCOMPARE(QStringList({u.packing, u.caja}), caja);
        QCOMPARE(QList({p.st.sesion.ultima_etiqueta, u.bytes}), QList({e, e}));
        QCOMPARE(p.st.sesion.guia_actual, guia);
        QCOMPARE(p.t.prompts.eventos, QStringList());
        QCOMPARE(p.t.busy.captions, kMarcoNormal);
        QCOMPARE(p.t.busy.repintados, QList<bool>({true, true}));
        QCOMPARE(p.t.busy.punteros, QList<int>({11, 0}));
    }

    void failureGivesItsBoxAndSendsNothing_data() {
        QTest::addColumn<QString>("archivo");
        QTest::addColumn<Falla>("falla");
        QTest::addColumn<QString>("destino"); // VELMAR_IMPRESORA, or a statement run first
        QTest::newRow("printer name unknown") << "det_100_2" << Falla::Destino << "otra-cosa";
        QTest::newRow("printer refuses") << "bqt_100_1" << Falla::Rechaza << "";
        QTest::newRow("printer closes at once") << "peq_100_8" << Falla::Cierra << "";
        QTest::newRow("printer drops the job at 640 bytes") << "bqt_100_7" << Falla::Suelta << "";
        QTest::newRow("database down") << "det_100_2" << Falla::Servidor << "";
        // a sum of stems past the table's INT: the server rejects an insert under the lock
        QTest::newRow("insert rejected")
            << "bqt_100_1" << Falla::Sentencia
            << "UPDATE bunche SET num_tallos = 2000000000 WHERE cod_varie = 'FRE040'";
        // another station keeps the work table past the wait: it says so
        QTest::newRow("work table busy")
            << "det_100_2" << Falla::Ocupada << "SELECT GET_LOCK(" + kTablaDeTrabajo + ", 0)";
    }

    // A printer that fails holds nothing or the whole label, never a part.
    void failureGivesItsBoxAndSendsNothing() {
        QFETCH(QString, archivo);
        QFETCH(Falla, falla);
        QFETCH(QString, destino);
        const bool impresora = falla < Falla::NoLee;
        std::optional<PuertoRoto> roto;
        if (falla == Falla::Destino)
            qputenv("VELMAR_IMPRESORA", destino.toUtf8());
        else if (impresora)
            roto.emplace(falla);
        if (falla >= Falla::Sentencia)
            TestDb::get().sql(destino);
        // nothing listens on port 1 of the loopback
        Puesto p(falla == Falla::Servidor ? "DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=1;"
                                            "USER=velmar;PASSWORD=velmar"
                                          : Conexion::kDsn);
        imprimir(p, archivo);
        if (falla == Falla::Ocupada)
            TestDb::get().sql("SELECT RELEASE_LOCK(" + kTablaDeTrabajo + ")");
        // one failure, one box
        const QString caja = impresora                 ? kImpresoraNoLista
                             : falla == Falla::Ocupada ? kOtraEstacionImprime
                                                       : kErrorRed;
        QCOMPARE(p.t.prompts.cajas, QList<Caja>({{caja, 0, "velmar"}}));
        QCOMPARE(p.t.busy.captions, kMarcoNormal + QStringList{"Historia de operaciones"});
        QCOMPARE(p.t.busy.punteros, QList<int>({11, 0}));
        QCOMPARE(p.st.sesion.ultima_etiqueta, QByteArray());
        // a label composed stays for the reprint
        QCOMPARE(p.st.sesion.ultima_compuesta.bytes, impresora ? esperado(archivo) : QByteArray());
        otraEstacionImprime();
    }

    // A printer that reads slowly, or keeps the label unread, gets all of it
    // and no box; a job past what one that never reads takes is not delivered.
    void slowPrinterHasTheWholeLabel() {
        for (const Falla falla : {Falla::Lenta, Falla::NoLee}) {
            PuertoRoto impresora(falla);
            Puesto p;
            imprimir(p, "bqt_100_7");
            QCOMPARE(p.t.prompts.cajas, QList<Caja>());
            QCOMPARE(impresora.retenido(), esperado("bqt_100_7"));
            if (falla == Falla::NoLee)
                QVERIFY_THROWS_EXCEPTION(PrinterError,
                                         defaultLabelPrinter()->send(QByteArray(8 << 20, 'x')));
        }
    }

    // The reprint sends, on a Yes, the label that did not reach the printer.
    void reprintSendsTheLabelComposedLast() {
        QTemporaryDir dir;
        const QString cola = dir.path() + "/cola";
        qputenv("VELMAR_IMPRESORA", ("file:" + cola + "/lp0").toUtf8());
        Puesto p;
        QVERIFY(QDir().mkpath(cola));
        imprimir(p, "peq_100_1");
        QCOMPARE(leer(cola + "/lp0"), esperado("peq_100_1"));
        QVERIFY(QDir(cola).removeRecursively()); // the printer goes off
        imprimir(p, "peq_100_5");
        p.t.prompts.respuestas = {kNo, kSi, kSi};
        reimprimir_etiqueta(p.st); // No: not even tried
        reimprimir_etiqueta(p.st); // still off: the label stays
        QVERIFY(QDir().mkpath(cola));
        TestDb::get().reset(); // without the database
        p.t.db.cerrar();
        reimprimir_etiqueta(p.st);
        QCOMPARE(leer(cola + "/lp0"), esperado("peq_100_5"));
        const QString pregunta = "4|velmar|¿Reimprimir la etiqueta del packing 100, caja 5?";
        QCOMPARE(p.t.prompts.eventos,
                 QStringList({kNoLista, pregunta, pregunta, kNoLista, pregunta}));
        QCOMPARE(p.st.sesion.ultima_etiqueta, esperado("peq_100_5"));
    }

    // A farm keeping box numbers as text: box 12B shows its own mark, and a
    // CR LF in it stays inside the field instead of printing fifty copies.
    void textBoxNumberShowsItsOwnMarkOnOneLine() {
        TestDb& db = TestDb::get();
        recrear_ = true;
        for (const char* t : {"bunche", "prepacking", "tmp_caja"})
            db.sql(QString("ALTER TABLE %1 MODIFY caja VARCHAR(10)").arg(t));
        db.sql("INSERT INTO prepacking (packing, caja, marca) VALUES (100,'12B','DOCE\\r\\nP50')");
        db.sql("INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos, cod_client) "
               "VALUES ('x1',100,'12B','FRE040',25,'C1')");
        Puesto p;
        imprimir(p, "det_100_12B");
        const QByteArray job = impresora_->tomar();
        QVERIFY2(job.endsWith("\r\nA40,850,0,3,2,2,N,\"DOCE  P50\"\r\nP2\r\n\r\n"), job.data());
    }

    // The mark walks down box by box, decided by each box's first plan row (an
    // empty one passes it on); a capital Ú or Ø keeps name and length whole.
    void marksWalkDownAndNamesArriveWhole() {
        TestDb& db = TestDb::get();
        db.script("INSERT INTO variedad VALUES ('ÑÚ50','ÑANDÚ ROSÉ 50 CMS'), "
                  "('ØR60','ØRSTED ÚNICA 60 CMS');\n"
                  "INSERT INTO prepacking (packing, caja, marca) VALUES (400,6,'M6-first'), "
                  "(400,6,'M6-second'), (401,3,'M3'), (401,4,''), (401,4,'M4-second-row'), "
                  "(402,2,NULL), (402,2,'M2'), (402,1,'M1'), (402,3,''), (402,3,'M3-own');\n"
                  "INSERT INTO bunche (num_bunch, num_pack, caja, cod_varie, num_tallos, "
                  "cod_client) VALUES ('n1',400,7,'ÑÚ50',25,'C1'), ('n2',401,5,'ØR60',10,'C1'), "
                  "('n3',402,3,'FRE040',10,'C1'), ('n4',402,4,'FRE040',10,'C1');\n");
        Puesto p;
        const struct {
            const char *packing, *caja, *marcaYGrilla;
        } filas[] = {{"400", "7", "M6-first ÑANDÚ ROSÉ|50"},
                     {"401", "5", "M3 ØRSTED ÚNICA|60"},
                     {"402", "4", "M1 FREEDOM|40"},
                     {"402", "3", "M1 FREEDOM|40"}};
        for (const auto& f : filas) {
            const auto d = gatherBoxData(p.st, f.packing, f.caja, boxLabel().queries);
            QVERIFY(d);
            QCOMPARE(d->packing + "/" + d->box + " " + d->mark + " " +
                         (d->rows + d->columns).join('|'),
                     QString(f.packing) + "/" + f.caja + " " + f.marcaYGrilla);
        }
    }

    // velmar-cli prints, with or without the waybill old scripts pass; its
    // reprint (a call of its own) and preview send nothing; the preview draws
    // as velmar-impresora --render and as the emulator does each job.
    void cliEmulatorAndPreview() {
        Emulador& e = *impresora_;
        const QString d = e.ruta("");
        const QString aviso = "0\tvelmar\t", vista = "vista_previa imprimir_detalle";
        for (const auto& [args, archivo, error] :
             {std::tuple<QString, const char*, QString>{"imprimir_detalle_peq 100 5", "peq_100_5",
                                                        ""},
              {"imprimir_detalle 100 8 GUIA", "det_100_8", ""},
              {"imprimir_detalle_bqt 100 7", "bqt_100_7", ""},
              {"reimprimir_etiqueta", "", aviso + kSinEtiqueta},
              {vista + "_peq 100 5 " + d + "v.png", "", ""},
              {vista + " 100 9 " + d + "9.png", "", aviso + kSinDatosCaja + "9"},
              {vista + "_bqt 100 1 /no/existe/v.png", "",
               "48\tvelmar\tNo se pudo escribir la vista previa en /no/existe/v.png: la carpeta no "
               "existe"}}) {
            QCOMPARE(cli(args.split(' ')),
                     (SalidaCli{0, "", (error + QString(error.isEmpty() ? "" : "\n")).toUtf8()}));
            if (*archivo)
                QCOMPARE(e.tomar(), esperado(archivo));
        }
        QVERIFY(!QFile::exists(d + "9.png"));
        const SalidaCli r =
            correr(VELMAR_IMPRESORA_BIN,
                   {"--render", fuente("tests/data/labels/peq_100_5.epl"), d + "r.png"});
        QCOMPARE(QString::number(r.codigo) + " " + r.out, "0 " + d + "r.png\t2 copias\n");
        QCOMPARE(QImage(d + "v.png"), QImage(d + "r.png"));
        QCOMPARE(e.esperar([&] { return e.out.count('\n') >= 3; }),
                 QStringList(
                     {d + "001.png\t2 copias", d + "002.png\t2 copias", d + "003.png\t2 copias"}));

        // 680 wide, grown past its 795-dot form to the AWB line; rule at 115, ink above
        const QImage img = QImage(d + "001.png").convertToFormat(QImage::Format_RGB32);
        QCOMPARE(img, QImage(d + "r.png").convertToFormat(QImage::Format_RGB32));
        QCOMPARE(img.size(), QSize(680, 890));
        QCOMPARE(QImage(d + "001.png").text("Copias"), QString("2"));
        QCOMPARE(QList<QRgb>({img.pixel(23, 115), img.pixel(24, 115), img.pixel(24, 117)}),
                 QList<QRgb>({qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(255, 255, 255)}));
        QImage blanco(17 * 28, 40, QImage::Format_RGB32);
        blanco.fill(Qt::white);
        QVERIFY(img.copy(50, 5, 17 * 28, 40) != blanco);
        QCOMPARE(QImage(d + "003.png").size(), QSize(849, 1269));

        // drawn when its P arrives, the line still held; the form kept for the next
        QTcpSocket enVivo;
        enVivo.connectToHost(QHostAddress::LocalHost, quint16(e.puerto.toUInt()));
        enVivo.write("N\r\nq200\r\nQ100,5\r\nA10,10,0,2,1,1,N,\"UNO\"\r\nP1\r\n");
        QCOMPARE(e.esperar([&] { return e.out.count('\n') >= 4; }).value(3),
                 d + "004.png\t1 copias");
        QVERIFY(!QFile::exists(d + "004.epl"));
        enVivo.write("N\r\nA10,10,0,2,1,1,N,\"DOS\"\r\nP3\r\n");
        enVivo.disconnectFromHost();
        QCOMPARE(e.esperar([&] { return e.out.count('\n') >= 5; }).value(4),
                 d + "004-2.png\t3 copias");
        QCOMPARE(QImage(d + "004-2.png").size(), QSize(200, 100));

        // a job past the printer's 8 MiB buffer is cut off; the next is served
        QTcpSocket grande;
        grande.connectToHost(QHostAddress::LocalHost, quint16(e.puerto.toUInt()));
        grande.write("N\r\n" + QByteArray(9 << 20, 'y'));
        e.esperar([&] { return e.aviso.contains("trabajo de más de 8 MiB"); });
        QVERIFY2(e.aviso.contains("trabajo de más de 8 MiB"), qPrintable(e.aviso.right(200)));
        // far-off fields grow the image to twice the form at most, and to the
        // bound under an absurd form; the next job is served as ever
        const QByteArray mega(1 << 20, 'x');
        const QByteArray lejos = "LO30000,30000,10,10\r\nA10,10,0,5,8,9,R,\"" + mega +
                                 "\"\r\nA100,0,1,5,8,9,N,\"" + mega +
                                 "\"\r\nA-2000000000,50,2,5,8,9,N,\"" + mega + "\"\r\n";
        for (const auto& [forma, campos, tamano] :
             {std::tuple<QByteArray, QByteArray, QSize>{"", lejos, {400, 200}},
              {"q30000\r\nQ30000,0\r\n", lejos, {1664, 4060}},
              {"q200\r\nQ100,5\r\n", "A10,10,0,2,1,1,N,\"TRES\"\r\n", {200, 100}}}) {
            QTcpSocket trabajo;
            trabajo.connectToHost(QHostAddress::LocalHost, quint16(e.puerto.toUInt()));
            trabajo.write("N\r\n" + forma + campos + "P1\r\n");
            trabajo.disconnectFromHost();
            const qsizetype n = e.out.count('\n') + 1;
            const QString png = e.esperar([&] { return e.out.count('\n') >= n; }).value(n - 1);
            QCOMPARE(QImage(png.section('\t', 0, 0)).size(), tamano);
        }
    }

    // A scheduler of our own (ServerRoot, socket via CUPS_SERVER), raw queues
    // to the emulator (the default) and to a port that refuses.
    void cupsRawQueue() {
        if (::geteuid() != 0 || !QFile::exists("/usr/sbin/cupsd") ||
            !QFile::exists("/usr/lib/cups/backend/socket"))
            QSKIP("needs root (cupsd runs its backends as lp) and the Debian packages "
                  "cups-daemon and cups (the socket backend of a raw queue)");
        const QString opciones = "/?contimeout=5&waiteof=false";
        const QString q = qgetenv("VELMAR_IMPRESORA") + opciones;
        PuertoRoto abajo(Falla::Rechaza);
        QTemporaryDir dir;
        const QString d = dir.path();
        for (const char* sub : {"", "/spool", "/spool/tmp", "/cache", "/state"})
            QVERIFY(QDir().mkpath(d + sub) && ::chmod(qPrintable(d + sub), 0755) == 0);
        const QString a = qgetenv("VELMAR_IMPRESORA") + opciones;
        for (const QString c : {"cups-files.conf", "cupsd.conf", "printers.conf"})
            escribirArchivo(d + '/' + c, // $D its folder, $Q and $A the queues' devices
                            QString(leer(fuente("tests/data/cups/" + c)))
                                .replace("$D", d)
                                .replace("$Q", q)
                                .replace("$A", a)
                                .toUtf8());
        qputenv("CUPS_SERVER", (d + "/cups.sock").toUtf8());
        qputenv("CUPS_SERVERROOT", d.toUtf8());
        cupsSetServer(nullptr); // read CUPS_SERVER again
        QProcess cupsd;
        cupsd.setProcessChannelMode(QProcess::MergedChannels);
        cupsd.start("/usr/sbin/cupsd",
                    {"-f", "-c", d + "/cupsd.conf", "-s", d + "/cups-files.conf"});
        // it listens before it answers: the requests wait in the socket's queue
        QVERIFY2(QTest::qWaitFor([&] { return QFile::exists(d + "/cups.sock"); }, 10000) &&
                     cupsd.state() == QProcess::Running,
                 cupsd.readAll().data());
        qputenv("VELMAR_IMPRESORA", ""); // no destination: the system's default printer
        {
            Puesto p;
            imprimir(p, "det_100_2");
            QCOMPARE(p.t.prompts.eventos, QStringList());
            QCOMPARE(impresora_->tomar(), esperado("det_100_2"));
        }
        // a printer that is off (CUPS would keep its job), an unknown queue, no scheduler
        for (const char* destino : {"cups:abajo", "cups:no-existe", ""}) {
            if (!*destino) { // the job of the printer that is off was cancelled
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
            QCOMPARE(p.t.prompts.eventos, QStringList{kNoLista});
        }
        otraEstacionImprime();
    }
};

QTEST_MAIN(TestLabels) // the preview draws text: QGuiApplication
#include "test_labels.moc"
