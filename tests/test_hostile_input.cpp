// Hostile text through everything an operator can type: the card box, the
// login and every argument of every operation. Classic SQL-injection payloads
// and seeded random strings of quotes, backslashes and control characters
// must match nothing, change nothing, raise no SQL error box, and come back
// unchanged wherever they are stored.

#include "db/errors.h"
#include "finca.h"
#include "login/login.h"
#include "operations/catalogo.h"
#include "packing/completion.h"
#include "packing/packing_change.h"
#include "packing/packing_report.h"
#include "packing/write_off.h"
#include "station/attendance_clock.h"

#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <string_view>

using namespace velmar;
using namespace velmar::test;
using namespace std::literals;

namespace {

// Pieces written as one literal, split at '¦' (NULs included).
QStringList partes(std::u16string_view s) {
    return QString::fromUtf16(s.data(), qsizetype(s.size())).split(u'¦');
}

// Classic payloads and, from a fixed seed, strings of quotes, backslashes,
// comment marks, control characters and multibyte quotes. None of the random
// ones begins with a digit, a sign or a blank, which the server would read as
// a number equal to a real box.
QStringList cargas() {
    QStringList c = partes(
        u"' or '1'='1¦' or 1=1 -- ¦' or 1=1#¦'; drop table bunche; --¦'); drop table bunche; --¦"
        u"'; delete from personal; --¦'; update bunche set estado='X'; --¦'; shutdown; --¦\\'¦"
        u"\\' or 1=1 -- ¦\\\\'¦\\\\\\'¦\" or \"\"=\"¦\" or 1=1 -- ¦"
        u"' union select usu_login, usu_password, usu_permiso from usuario -- ¦"
        u"' union select 1,2,3,4,5,6,7 -- ¦"
        u"' and 1=(select count(*) from information_schema.tables) -- ¦"
        u"'+(select load_file('/etc/passwd'))+'¦' into outfile '/tmp/velmar_inyeccion' -- ¦"
        u"' or sleep(3) -- ¦' procedure analyse() -- ¦%27¦%27%20or%201%3D1¦%' or '%'='¦%¦_¦'¦"
        u"''¦'''¦' or ''='¦' or 'x'='x¦') or ('x'='x¦'||'1'='1¦'/**/or/**/1=1#¦*/ or /*¦"
        u"admin' -- ¦admin'#¦admin'/*¦abc\\¦\\¦\\0'¦\\N¦NULL¦char(39)¦0x27206f7220273127273d2731¦"
        u"\\x27¦\\u0027¦\r\n' or 1=1\r\n¦\t'\t¦` or 1=1 -- ¦${jndi:ldap://127.0.0.1/x}¦"
        u"<script>alert(1)</script>¦"
        // a server message quoting these must not pass for a lost connection
        u"Lost connection' or '1'='1¦x2013' or 1=1 -- ¦"
        u"\u02bc or \u02bc1\u02bc=\u02bc1¦\uff07 or \uff071\uff07=\uff071¦"
        u"\u2019 or \u20191\u2019=\u20191¦\u00b4 or 1=1 -- ¦\u0430\u0434\u043c\u0438\u043d' or 1=1¦"
        u"\U0001F339' or '1'='1¦\u00d1and\u00fa \"X\\\\Z\" 70 CMS¦a\0' or '1'='1¦\0¦\x1a¦"
        u"\x1a' or 1=1 -- "sv);
    c << QString(5000, u'A') + "' or '1'='1" << QString(70000, u'\'');
    const QStringList piezas = partes(u"'¦\"¦\\¦`¦;¦--¦#¦/*¦*/¦%¦_¦(¦)¦=¦ ¦\r¦\n¦\t¦x¦or¦OR¦union¦"
                                      u"select¦drop¦1¦0¦,¦+¦|¦&¦<¦>¦$¦{¦}¦\\0¦\\Z¦\0¦\x1a¦ñ¦Ω¦"
                                      u"\u02bc¦\uff07¦\u2019¦\U0001F339"sv);
    const QStringList primeras = partes(u"'¦\"¦\\¦`¦;¦\u02bc¦\uff07¦ñ¦x"sv);
    QRandomGenerator azar(20240307);
    for (int i = 0; i < 40; ++i) {
        QString s = primeras[azar.bounded(int(primeras.size()))];
        for (int k = azar.bounded(1, 40); k > 0; --k)
            s += piezas[azar.bounded(int(piezas.size()))];
        c << s;
    }
    return c;
}

// How the card box cleans what was typed: blanks around it off, upper case,
// no apostrophes.
QString limpia(const QString& texto) {
    return QString(texto).remove(QRegularExpression("^ +| +$")).toUpper().remove(u'\'');
}

// A value written into SQL without any quoting of ours.
QString literal(const QString& v) {
    return "CONVERT(FROM_BASE64('" + QString::fromLatin1(v.toUtf8().toBase64()) +
           "') USING utf8mb4)";
}

struct Salida {
    QString historia; // appended by the call
    QString reporte;
    QStringList eventos;
    QList<QByteArray> etiquetas;
    QList<QByteArray> vistas; // previews shown
    QString error;            // raised to the caller
    bool operator==(const Salida&) const = default;
};

Salida correr(TestStation& t, const Operacion& op, const QStringList& args) {
    t.prompts.limpiar();
    t.printer.etiquetas.clear();
    t.vista.vistas.clear();
    t.report.set(QString());
    const qsizetype desde = t.history.texto().size();
    QString error;
    try {
        op.ejecutar(t.st, args);
    } catch (const Error& e) {
        error = e.texto();
    }
    QList<QByteArray> vistas;
    for (const EtiquetaCompuesta& v : t.vista.vistas)
        vistas << v.bytes;
    return {t.history.texto().mid(desde), t.report.texto(), t.prompts.eventos,
            t.printer.etiquetas,          vistas,           error};
}

} // namespace

class TestHostileInput : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(cargas().size() >= 100); // 40 of them random
        QVERIFY(TestDb::get().valor("select @@GLOBAL.sql_mode").contains("STRICT_TRANS_TABLES"));
    }

    void init() {
        TestDb::get().recrear();
        cargarFinca(TestDb::get().admin());
    }

    // Every operation of the catalogue, each payload in each of its parameter
    // positions, the others naming real data: it matches nothing and changes
    // nothing, an argument that is only shown is shown as given, no SQL error
    // box comes back, nothing crashes.
    void everyOperationArgumentTakesHostileText() {
        // real data for the positions the payload leaves alone
        const QHash<QString, QString> real = {
            {"cedula", "0000000000"}, {"packing", "851"},
            {"nuevo_packing", "851"}, {"caja", "3"},
            {"nueva_caja", "3"},      {"guia", ""},
            {"bunche", "D-9001"},     {"operacion", "imprimir_detalle"},
            {"archivo", "v.png"}};
        // the box a strict server gives for a text compared with, or stored
        // in, a number column
        const QRegularExpression cajaDeValor(
            "^0\\|velmar\\|(Truncated incorrect|Incorrect integer value|Data truncated for "
            "column|Out of range value)");
        // every table's checksum but that of the labels' work table
        const QString huella = "CHECKSUM TABLE personal, control_asistencia, usuario, variedad, "
                               "clientes, flores, envoltura, bunche, prepacking";
        const QStringList payloads = cargas();
        TestStation t;
        for (const Operacion& op : catalogo()) {
            if (op.parametros.isEmpty())
                continue;
            const QString& n = op.nombre;
            QStringList base;
            for (const Parametro& par : op.parametros) {
                QVERIFY2(real.contains(par.nombre), qPrintable(n + "/" + par.nombre));
                base << real[par.nombre];
            }
            const Salida ref = correr(t, op, base);
            QCOMPARE(ref.error, QString());
            QCOMPARE(ref.etiquetas.size(), n.startsWith("imprimir_detalle") ? 1 : 0);
            QCOMPARE(ref.vistas.size(), n == "vista_previa" ? 1 : 0);
            // what the real arguments did is theirs; the payloads add nothing
            const QStringList antes = TestDb::get().filas(huella);
            for (int pos = 0; pos < base.size(); ++pos) {
                for (const QString& p : payloads) {
                    QStringList args = base;
                    args[pos] = p;
                    const Salida s = correr(t, op, args);
                    Salida e; // what it must give
                    if (n == "asistencia") {
                        e.eventos = QStringList{"0|velmar|No se encontró el usuario"};
                        e.historia = "No se encontró la cédula " + limpia(p) + "\r\n";
                    } else if (n == "reporte_pck") {
                        e.reporte = "No hay datos para el packing: " + args[0];
                    } else if (n == "imprimir_caja" && pos < 2) {
                        e.reporte =
                            "PACKING: " + args[0] + "\r\nNo hay datos para la caja: " + args[1];
                    } else if (n == "imprimir_caja") { // the waybill is only shown: as given
                        QVERIFY(ref.reporte.contains(" AWB:\r\n Caja: 3\r\n"));
                        e.eventos = ref.eventos;
                        e.reporte = QString(ref.reporte).replace(" AWB:\r\n", " AWB:" + p + "\r\n");
                    } else if (n == "baja_nacional") {
                        e.historia =
                            "\t* Error: Bunche: " + p + " no se encuentra en disponibilidad\r\n";
                    } else if (n.startsWith("imprimir_detalle")) {
                        // the waybill has no influence; a box not there prints nothing
                        e.etiquetas = pos == 2 ? ref.etiquetas : QList<QByteArray>();
                    } else if (n == "vista_previa") { // a preview sends nothing
                        if (pos == 0)
                            e.error = "Etiqueta desconocida: " + p;
                        else if (pos < 3)
                            e.eventos =
                                QStringList{"0|velmar|No hay datos para la caja: " + args[2]};
                        else // the file is only velmar-cli's to write
                            e.vistas = ref.vistas;
                    } else if (n == "pck_completo" || n == "pck_abrir" || n == "cambiar_packing") {
                        // a strict server may refuse a text for a number column
                        if (s.eventos.size() == 1 && cajaDeValor.match(s.eventos[0]).hasMatch())
                            e.eventos = s.eventos;
                        // a move the server refused is not written as done
                        else if (n == "cambiar_packing")
                            e.historia = "\t* Packing " + args[0] + " caja: " + args[2] +
                                         " cambiada al Packing " + args[1] + " caja " + args[3] +
                                         "\r\n";
                    } else {
                        QFAIL(qPrintable("no expectation for " + n));
                    }
                    QVERIFY2(s == e, qPrintable(n + "/" + op.parametros[pos].nombre + ": " +
                                                p.left(60) + "\n" + s.eventos.join('\n') + "\n" +
                                                s.historia + s.reporte + s.error));
                }
                QVERIFY2(TestDb::get().filas(huella) == antes, qPrintable(n + " changed rows"));
            }
        }
    }

    // Where a typed value is stored or compared it comes back unchanged: a
    // card number (cleaned as the card box cleans it) and a login and password
    // that really read so find their person and user (either one alone is a
    // wrong login that keeps the permission); a packing or box moved to a
    // hostile number and back, its report and completion mark under that
    // number; a bunch with a hostile number written off with its remarks.
    void valuesRoundTripWhereStored() {
        TestDb& db = TestDb::get();
        db.sql("alter table personal modify cedula varchar(300) not null");
        db.sql("alter table usuario modify usu_login varchar(300) not null");
        db.sql("alter table bunche modify num_bunch varchar(300) not null, modify num_pack "
               "varchar(300), modify caja varchar(300), modify cod_varie varchar(300)");
        const QString personas = "CHECKSUM TABLE personal, control_asistencia, usuario";
        const QStringList antes = db.filas(personas);
        TestStation t;
        t.reloj("2024-03-07 07:00:00");
        reporte_pck(t.st, "851");
        const QString reporte851 = t.report.texto();
        QVERIFY(reporte851.startsWith("PACKING: 851 EN PROCESO \r\n"));
        // the bunches whose `columna` holds exactly `valor`
        const auto con = [&](const QString& columna, const QString& valor) {
            return db.filas("select num_bunch from bunche where to_base64(" + columna +
                            ") = to_base64(" + literal(valor) + ") order by num_bunch");
        };
        const QString cajaDe = "concat(num_pack, '/', caja)";
        const QStringList bunches851 = con("num_pack", "851"), bunchesCaja = con(cajaDe, "852/4");
        int probadas = 0;
        for (const QString& p : cargas()) {
            for (const auto& [login, clave] : {std::pair{p, QString("clave")}, {"admin", p}}) {
                t.prompts.limpiar();
                t.st.permiso_usuario = "PREVIO";
                QCOMPARE(comprobar_login(t.st, login, clave), ResultadoLogin::Rechazado);
                QCOMPARE(t.prompts.eventos, QStringList{"0|velmar|" + kLoginIncorrecto});
                QCOMPARE(t.st.permiso_usuario, QString("PREVIO"));
            }
            if (p.size() > 300)
                continue;
            const QString id = QString::number(100 + ++probadas);
            t.prompts.limpiar();

            // a person whose card reads p, a user whose login and password do
            db.sql("insert into personal (personal_id, cedula, nombres, apellidos) values (" + id +
                   ", " + literal(limpia(p)) + ", 'HOSTIL', '" + id + "')");
            db.sql("insert into usuario (usu_id, usu_nombre, usu_permiso, usu_login, "
                   "usu_password) values (" +
                   id + ", 'HOSTIL', 'P" + id + "', " + literal(p) + ", password(" + literal(p) +
                   "))");
            qsizetype desde = t.history.texto().size();
            asistencia(t.st, p);
            QCOMPARE(t.history.texto().mid(desde),
                     "Ingreso del usuario HOSTIL " + id + " a las 07:00:00\r\n");
            QCOMPARE(db.filas("select personal_id from control_asistencia"), QStringList{id});
            QCOMPARE(comprobar_login(t.st, p, p), ResultadoLogin::Aceptado);
            QCOMPARE(t.st.permiso_usuario, "P" + id);
            db.sql("delete from control_asistencia");
            db.sql("delete from personal where personal_id = " + id);
            db.sql("delete from usuario where usu_id = " + id);

            // whole packing to p, its report and completion mark, and back
            cambiar_packing(t.st, "851", p);
            QCOMPARE(con("num_pack", p), bunches851);
            reporte_pck(t.st, p);
            QVERIFY2(t.report.texto() == "PACKING: " + p + reporte851.mid(12),
                     qPrintable(p.left(60)));
            pck_completo(t.st, p);
            QCOMPARE(con("nacional", "C"), bunches851);
            pck_abrir(t.st, p);
            QCOMPARE(con("nacional", "C"), QStringList());
            cambiar_packing(t.st, p, "851");
            QCOMPARE(con("num_pack", "851"), bunches851);

            // one box to box p and back
            cambiar_packing(t.st, "852", "852", "4", p);
            QCOMPARE(con(cajaDe, "852/" + p), bunchesCaja);
            cambiar_packing(t.st, "852", "852", p, "4");
            QCOMPARE(con(cajaDe, "852/4"), bunchesCaja);

            // a bunch numbered p, of a variety whose stem part is p (a NUL read
            // back from the server ends the text there: the variety has none)
            const QString tallo = QString(p).remove(QChar(0));
            db.sql("insert into bunche (num_bunch, cod_varie, num_tallos, tipo_env) values (" +
                   literal(p) + ", " + literal("XYZ" + tallo) + ", 7, 2)");
            desde = t.history.texto().size();
            baja_nacional(t.st, p);
            QCOMPARE(t.history.texto().mid(desde),
                     "\t* Bunche: " + p + " dado de baja a NACIONAL\r\n");
            const QString observa = "Datos anteriores\r\n----------------\r\nLong.Tallo: " + tallo +
                                    "\r\nBotones: 7\r\nEnvoltura: PLASTICO\r\nCategoria: \r\n";
            // the one remark written, on bunch p
            QCOMPARE(con("concat(num_bunch, '|', observa, '|', categoria, transformado)",
                         p + "|" + observa + "|NSI")
                         .size(),
                     1);
            QCOMPARE(db.valor("select count(*) from bunche where observa is not null"),
                     QString("1"));
            db.sql("delete from bunche where observa is not null");
            QVERIFY2(t.prompts.eventos.isEmpty(),
                     qPrintable(p.left(60) + "\n" + t.prompts.eventos.join('\n')));
        }
        QVERIFY(probadas >= 100);
        QCOMPARE(db.filas(personas), antes);
    }
};

QTEST_GUILESS_MAIN(TestHostileInput)
#include "test_hostile_input.moc"
