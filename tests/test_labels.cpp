// The three box-detail labels against a real MariaDB server, received on a
// real loopback socket as a networked label printer's raw port receives them,
// through a file, velmar-cli and a private CUPS scheduler's raw queue. Printer
// faults and a server killed mid-label are in test_faults, stations printing
// at once in test_load.

#include "finca.h"
#include "labels/epl2_parser.h"
#include "labels/epl2_printer.h"
#include "printer_peer.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTest>

#include <cups/cups.h>
#include <unistd.h>

using namespace velmar;
using namespace velmar::test;

namespace {

QByteArray leer(const QString& ruta) {
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : "(no existe " + ruta.toUtf8() + ")";
}

QByteArray esperado(const QString& nombre) {
    return leer(fuente("tests/data/labels/" + nombre + ".epl"));
}

// Prints the label an expected file is named after: kind_packing_box.
void imprimir(Puesto& p, const QString& archivo) {
    const QStringList parte = archivo.split('_');
    kEtiquetas[QStringList{"peq", "det", "bqt"}.indexOf(parte[0])](p.st, parte[1], parte[2]);
}

const QStringList kMarcoNormal = {"Inicializando ...", "Buscando ..."};
const QString kNoLista = "0|velmar|" + kImpresoraNoLista;
const QString kPregunta = "4|velmar|¿Reimprimir la etiqueta del packing %1, caja %2?";

enum class Falla { Impresora, Servidor, Sentencia };
struct FilaFalla {
    const char* nombre;
    const char* archivo;
    Falla falla;
    const char* valor; // the printer's name, or a statement run first
};
const FilaFalla kFallas[] = {
    {"printer device missing", "peq_100_1", Falla::Impresora, "file:/no/existe/impresora"},
    {"printer name unknown", "det_100_2", Falla::Impresora, "otra-cosa"},
    {"database down", "det_100_2", Falla::Servidor, ""},
    // a sum of stems past the table's INT: the server rejects an insert under the lock
    {"insert rejected", "bqt_100_1", Falla::Sentencia,
     "UPDATE bunche SET num_tallos = 2000000000 WHERE cod_varie = 'FRE040'"},
};

} // namespace

class TestLabels : public QObject {
    Q_OBJECT

    std::unique_ptr<PrinterPeer> impresora_;
    int tomados_ = 0;
    bool recrear_ = false;

    // The next job the printer received.
    QByteArray tomar() {
        ++tomados_;
        return impresora_->trabajos(tomados_).value(tomados_ - 1, "(nada)");
    }

    // Another station prints at once and its label is the next job: the work
    // table's lock is free, and nothing of a failed label went before it.
    void otraEstacionImprime() {
        impresora_->usar();
        Puesto q;
        imprimir(q, "det_200_1");
        QCOMPARE(tomar(), esperado("det_200_1"));
    }

private slots:
    void init() {
        if (std::exchange(recrear_, false))
            TestDb::get().recrear();
        impresora_ = std::make_unique<PrinterPeer>();
        tomados_ = 0;
        impresora_->usar();
        TestDb::get().reset();
        cargarFincaEtiquetas();
    }

    // _9: a box without bunches, nothing sent
    void labelsByteForByte_data() {
        QTest::addColumn<QString>("archivo");
        for (const char* a : {"peq_100_1", "peq_100_5", "peq_100_7", "peq_100_8", "det_100_2",
                              "det_100_7", "det_100_8", "det_200_1", "bqt_100_1", "bqt_100_7",
                              "bqt_300_1", "peq_100_9", "det_100_9", "bqt_100_9"})
            QTest::newRow(a) << QString(a);
    }

    void labelsByteForByte() {
        QFETCH(QString, archivo);
        // the small label looks the waybill up first, the others only for a box with bunches
        const QMap<QString, QString> guias = {
            {"100", "MAWB-123/HAWB-456"}, {"200", "999-0000"}, {"300", ""}};
        const bool vacia = archivo.endsWith("_9");
        const QString guia =
            vacia && !archivo.startsWith("peq") ? "ANTERIOR" : guias[archivo.section('_', 1, 1)];
        Puesto p;
        p.st.guia_actual = "ANTERIOR";
        imprimir(p, archivo);
        const QByteArray e = vacia ? QByteArray() : esperado(archivo);
        if (e.isEmpty())
            otraEstacionImprime();
        else
            QCOMPARE(tomar(), e);
        QCOMPARE(p.st.ultima_etiqueta, e);
        const EtiquetaCompuesta& u = p.st.ultima_compuesta;
        const QStringList caja = e.isEmpty() ? QStringList{"", ""} : archivo.split('_').mid(1);
        QCOMPARE(QStringList({u.packing, u.caja}), caja);
        QCOMPARE(u.bytes, e);
        QCOMPARE(p.st.guia_actual, guia);
        QCOMPARE(p.t.prompts.eventos, QStringList());
        QCOMPARE(p.t.busy.captions, kMarcoNormal);
        QCOMPARE(p.t.busy.repintados, QList<bool>({true, true}));
        QCOMPARE(p.t.busy.punteros, QList<int>({11, 0}));
    }

    void failureGivesItsMessageAndSendsNothing_data() {
        QTest::addColumn<int>("fila");
        for (int i = 0; i < int(std::size(kFallas)); ++i)
            QTest::newRow(kFallas[i].nombre) << i;
    }

    void failureGivesItsMessageAndSendsNothing() {
        QFETCH(int, fila);
        const FilaFalla& f = kFallas[fila];
        const bool impresora = f.falla == Falla::Impresora;
        if (impresora)
            qputenv("VELMAR_IMPRESORA", f.valor);
        if (f.falla == Falla::Sentencia)
            TestDb::get().sql(f.valor);
        // nothing listens on port 1 of the loopback
        Puesto p(f.falla == Falla::Servidor ? "DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=1;"
                                              "USER=velmar;PASSWORD=velmar"
                                            : Conexion::kDsn);
        imprimir(p, f.archivo);
        QList<Caja> cajas = p.t.prompts.cajas;
        if (f.falla == Falla::Servidor) { // abrir_consulta's own box comes first
            QVERIFY2(cajas.value(0).texto.startsWith("Consulta Sql "), qPrintable(cajas[0].texto));
            cajas.removeFirst();
        }
        QCOMPARE(cajas, QList<Caja>({{impresora ? kImpresoraNoLista : kErrorRed, 0, "velmar"}}));
        QCOMPARE(p.t.busy.captions, kMarcoNormal + QStringList{"Historia de operaciones"});
        QCOMPARE(p.t.busy.punteros, QList<int>({11, 0}));
        QCOMPARE(p.st.ultima_etiqueta, QByteArray());
        // a label composed stays for the reprint
        QCOMPARE(p.st.ultima_compuesta.bytes, impresora ? esperado(f.archivo) : QByteArray());
        otraEstacionImprime();
    }

    // The label that did not reach the printer is the one the box on the
    // table needs: the reprint sends it, not the one before, on a Yes.
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
        const QString pregunta = kPregunta.arg("100", "5");
        QCOMPARE(p.t.prompts.eventos,
                 QStringList({kNoLista, pregunta, pregunta, kNoLista, pregunta}));
        QCOMPARE(p.st.ultima_etiqueta, esperado("peq_100_5"));
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
        const QByteArray job = tomar();
        QVERIFY2(job.contains("\r\nA40,850,0,3,2,2,N,\"DOCE  P50\"\r\nP2\r\n\r\n"), job.data());
        const QVector<Epl2PrintedLabel> impresas = Epl2Printer().run(parseEpl2(job));
        QCOMPARE(impresas.size(), 1);
        QCOMPARE(impresas[0].copies, 2);
    }

    // velmar-cli, with or without the waybill the farm's scripts still pass;
    // its reprint, in a process of its own, has nothing to send.
    void cliPrintsEachLabelToAFile() {
        QTemporaryDir dir;
        qputenv("VELMAR_IMPRESORA", ("file:" + dir.path() + "/lp0").toUtf8());
        for (const auto& [args, archivo] :
             {std::pair{QStringList{"imprimir_detalle_peq", "100", "8"}, "peq_100_8"},
              {{"imprimir_detalle", "100", "8", "GUIA"}, "det_100_8"},
              {{"imprimir_detalle_bqt", "100", "1"}, "bqt_100_1"},
              {{"reimprimir_etiqueta"}, "bqt_100_1"}}) {
            QProcess cli;
            cli.start(VELMAR_BINARY_DIR "/apps/velmar-cli", args);
            QVERIFY(cli.waitForFinished(60000));
            QCOMPARE(cli.exitCode(), 0);
            QCOMPARE(cli.readAllStandardOutput(), QByteArray());
            QCOMPARE(QString(cli.readAllStandardError()),
                     args.size() > 1 ? "" : "0\tvelmar\t" + kSinEtiqueta + "\n");
            QCOMPARE(leer(dir.path() + "/lp0"), esperado(archivo));
        }
    }

    // vista_previa draws what the label would send as velmar-impresora draws
    // it, and sends nothing; an empty box or an unwritable file gives its box.
    void cliPreviewDrawsWithoutPrinting() {
        QTemporaryDir dir;
        const QString png = dir.path() + "/v.png";
        const auto correr = [](const QString& bin, const QStringList& args) {
            QProcess p;
            p.start(bin, args);
            p.waitForFinished(60000);
            return QStringList{QString::number(p.exitCode()), p.readAllStandardOutput(),
                               p.readAllStandardError()};
        };
        const auto vista = [&](const QString& etiqueta, const QString& caja, const QString& a) {
            return correr(VELMAR_BINARY_DIR "/apps/velmar-cli",
                          {"vista_previa", etiqueta, "100", caja, a});
        };
        QCOMPARE(vista("imprimir_detalle_peq", "5", png), QStringList({"0", "", ""}));
        QCOMPARE(
            correr(VELMAR_IMPRESORA_BIN, {"--render", fuente("tests/data/labels/peq_100_5.epl"),
                                          dir.path() + "/r.png"})[0],
            QString("0"));
        QCOMPARE(QImage(png), QImage(dir.path() + "/r.png"));
        QCOMPARE(vista("imprimir_detalle", "9", dir.path() + "/9.png"),
                 QStringList({"0", "", "0\tvelmar\t" + kSinDatosCaja + "9\n"}));
        QVERIFY(!QFile::exists(dir.path() + "/9.png"));
        QCOMPARE(vista("imprimir_detalle_bqt", "1", "/no/existe/v.png"),
                 QStringList({"0", "",
                              "48\tvelmar\tNo se pudo escribir la vista previa en "
                              "/no/existe/v.png\n"}));
        otraEstacionImprime(); // the first job the printer gets
    }

    void cupsRawQueue() {
        if (::geteuid() != 0 || !QFile::exists("/usr/sbin/cupsd") ||
            !QFile::exists("/usr/lib/cups/backend/socket"))
            QSKIP("needs root (cupsd runs its backends as lp) and the Debian packages "
                  "cups-daemon and cups (the socket backend of a raw queue)");
        const QString opciones = "/?contimeout=5&waiteof=false";
        const QString sana = qgetenv("VELMAR_IMPRESORA") + opciones;
        PrinterPeer(PrinterPeer::Modo::Rechaza).usar();
        QTemporaryDir dir;
        QProcess cupsd;
        QVERIFY2(iniciarCups(dir.path(), cupsd, sana, qgetenv("VELMAR_IMPRESORA") + opciones),
                 cupsd.readAll().data());
        qputenv("VELMAR_IMPRESORA", ""); // no destination: the system's default printer
        {
            Puesto p;
            imprimir(p, "det_100_2");
            QCOMPARE(p.t.prompts.eventos, QStringList());
            QCOMPARE(tomar(), esperado("det_100_2"));
        }
        // a printer that is off, whose job CUPS would keep to print later; an
        // unknown queue; no scheduler at all
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

QTEST_GUILESS_MAIN(TestLabels)
#include "test_labels.moc"
