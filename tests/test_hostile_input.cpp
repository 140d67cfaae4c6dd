// Hostile text through everything an operator can type: the card box, the
// login and every argument of every operation. Classic SQL-injection payloads
// and seeded random strings of quotes, backslashes and control characters
// must match nothing, change nothing, raise no SQL error box, and come back
// unchanged wherever they are stored.

#include "context/errors.h"
#include "finca.h"
#include "login/login.h"
#include "operations/catalogo.h"
#include "packing/completion.h"
#include "packing/packing_change.h"
#include "packing/packing_report.h"
#include "packing/write_off.h"
#include "station/attendance_clock.h"
#include "test_support.h"

#include <QElapsedTimer>
#include <QHash>
#include <QRandomGenerator>
#include <QTest>

using namespace velmar;
using namespace velmar::test;

namespace {

QString u(const char16_t* s) {
    return QString::fromUtf16(s);
}

QStringList clasicas() {
    QStringList c = {
        "' or '1'='1",
        "' or 1=1 -- ",
        "' or 1=1#",
        "'; drop table bunche; --",
        "'); drop table bunche; --",
        "'; delete from personal; --",
        "'; update bunche set estado='X'; --",
        "'; shutdown; --",
        "\\'",
        "\\' or 1=1 -- ",
        "\\\\'",
        "\\\\\\'",
        "\" or \"\"=\"",
        "\" or 1=1 -- ",
        "' union select usu_login, usu_password, usu_permiso from usuario -- ",
        "' union select 1,2,3,4,5,6,7 -- ",
        "' and 1=(select count(*) from information_schema.tables) -- ",
        "'+(select load_file('/etc/passwd'))+'",
        "' into outfile '/tmp/velmar_inyeccion' -- ",
        "' or sleep(3) -- ",
        "' procedure analyse() -- ",
        "%27",
        "%27%20or%201%3D1",
        "%' or '%'='",
        "%",
        "_",
        "'",
        "''",
        "'''",
        "' or ''='",
        "' or 'x'='x",
        "') or ('x'='x",
        "'||'1'='1",
        "'/**/or/**/1=1#",
        "*/ or /*",
        "admin' -- ",
        "admin'#",
        "admin'/*",
        "abc\\",
        "\\",
        "\\0'",
        "\\N",
        "NULL",
        "char(39)",
        "0x27206f7220273127273d2731",
        "\\x27",
        "\\u0027",
        "\r\n' or 1=1\r\n",
        "\t'\t",
        "` or 1=1 -- ",
        "${jndi:ldap://127.0.0.1/x}",
        "<script>alert(1)</script>",
        // a server message quoting these must not pass for a lost connection
        "Lost connection' or '1'='1",
        "x2013' or 1=1 -- ",
        u(u"\u02bc or \u02bc1\u02bc=\u02bc1"),
        u(u"\uff07 or \uff071\uff07=\uff071"),
        u(u"\u2019 or \u20191\u2019=\u20191"),
        u(u"\u00b4 or 1=1 -- "),
        u(u"\u0430\u0434\u043c\u0438\u043d' or 1=1"),
        u(u"\U0001F339' or '1'='1"),
        u(u"\u00d1and\u00fa \"X\\\\Z\" 70 CMS"),
        QStringLiteral("a") + QChar(0) + QStringLiteral("' or '1'='1"),
        QString(QChar(0)),
        QString(QChar(0x1a)),
        QString(QChar(0x1a)) + QStringLiteral("' or 1=1 -- "),
        QString(5000, QLatin1Char('A')) + QStringLiteral("' or '1'='1"),
        QString(70000, QLatin1Char('\'')),
    };
    return c;
}

// Strings of quotes, backslashes, comment marks, control characters and
// multibyte quotes, from a fixed seed. None begins with a digit, a sign or a
// blank, which the server would read as a number equal to a real box.
QStringList aleatorias() {
    const QStringList piezas = {"'",
                                "\"",
                                "\\",
                                "`",
                                ";",
                                "--",
                                "#",
                                "/*",
                                "*/",
                                "%",
                                "_",
                                "(",
                                ")",
                                "=",
                                " ",
                                "\r",
                                "\n",
                                "\t",
                                "x",
                                "or",
                                "OR",
                                "union",
                                "select",
                                "drop",
                                "1",
                                "0",
                                ",",
                                "+",
                                "|",
                                "&",
                                "<",
                                ">",
                                "$",
                                "{",
                                "}",
                                "\\0",
                                "\\Z",
                                QString(QChar(0)),
                                QString(QChar(0x1a)),
                                u(u"ñ"),
                                u(u"Ω"),
                                u(u"\u02bc"),
                                u(u"\uff07"),
                                u(u"\u2019"),
                                u(u"\U0001F339")};
    const QStringList primeras = {"'",          "\"",         "\\",    "`", ";",
                                  u(u"\u02bc"), u(u"\uff07"), u(u"ñ"), "x"};
    QRandomGenerator azar(20240307);
    QStringList out;
    for (int i = 0; i < 40; ++i) {
        QString s = primeras[azar.bounded(int(primeras.size()))];
        const int n = azar.bounded(1, 40);
        for (int k = 0; k < n; ++k)
            s += piezas[azar.bounded(int(piezas.size()))];
        out << s;
    }
    return out;
}

QStringList cargas() {
    return clasicas() + aleatorias();
}

// How the card box cleans what was typed: blanks around it off, upper case,
// no apostrophes.
QString limpia(const QString& texto) {
    qsizetype i = 0, j = texto.size();
    while (i < j && texto[i] == QLatin1Char(' '))
        ++i;
    while (j > i && texto[j - 1] == QLatin1Char(' '))
        --j;
    return texto.mid(i, j - i).toUpper().remove(QLatin1Char('\''));
}

// A value written into SQL without any quoting of ours.
QString literal(const QString& v) {
    return QStringLiteral("CONVERT(FROM_BASE64('") + QString::fromLatin1(v.toUtf8().toBase64()) +
           QStringLiteral("') USING utf8mb4)");
}

QString base64(const QString& v) {
    return QString::fromLatin1(v.toUtf8().toBase64());
}

// A column's stored value, exactly, as base64.
QString guardado(const QString& columna) {
    return QStringLiteral("replace(to_base64(") + columna + QStringLiteral("), '\\n', '')");
}

// Every table's checksum but that of the labels' work table.
QStringList huella() {
    return TestDb::get().filas("CHECKSUM TABLE personal, control_asistencia, usuario, variedad, "
                               "clientes, flores, envoltura, bunche, prepacking");
}

// Plain bunch numbers as an SQL list.
QString enLista(const QStringList& numeros) {
    return QStringLiteral("('") + numeros.join(QStringLiteral("','")) + QStringLiteral("')");
}

QString textoCajas(const RecordingPrompts& p) {
    return p.eventos.join(QLatin1Char('\n'));
}

// The server's answer to broken SQL text.
bool hayErrorDeSintaxis(const RecordingPrompts& p) {
    for (const Caja& c : p.cajas)
        if (c.texto.contains(QLatin1String("syntax"), Qt::CaseInsensitive) ||
            c.texto.contains(QLatin1String("1064")))
            return true;
    return false;
}

// The box a strict server gives for a text compared with, or stored in, a
// number column.
bool esCajaDeValor(const QString& evento) {
    for (const char* inicio : {"0|velmar|Truncated incorrect", "0|velmar|Incorrect integer value",
                               "0|velmar|Data truncated for column", "0|velmar|Out of range value"})
        if (evento.startsWith(QLatin1String(inicio)))
            return true;
    return false;
}

// Arguments that name real data, for the positions the payload leaves alone.
const QHash<QString, QStringList>& porDefecto() {
    static const QHash<QString, QStringList> d = {
        {"asistencia", {"0000000000"}},
        {"reporte_pck", {"851", "3"}},
        {"imprimir_caja", {"851", "3", ""}},
        {"pck_completo", {"851"}},
        {"pck_abrir", {"851"}},
        {"cambiar_packing", {"851", "851", "3", "3"}},
        {"baja_nacional", {"D-9001"}},
        {"imprimir_detalle_peq", {"851", "3", ""}},
        {"imprimir_detalle", {"851", "3", ""}},
        {"imprimir_detalle_bqt", {"851", "3", ""}},
    };
    return d;
}

struct Salida {
    QString historia; // appended by the call
    QString reporte;
    QStringList eventos;
    QList<QByteArray> etiquetas;
    QString error; // raised to the caller
};

Salida correr(TestStation& t, const Operacion& op, const QStringList& args) {
    t.prompts.limpiar();
    t.printer.etiquetas.clear();
    t.report.set(QString());
    const qsizetype desde = t.history.texto().size();
    Salida s;
    try {
        op.ejecutar(t.st, args);
    } catch (const Error& e) {
        s.error = e.texto();
    }
    s.historia = t.history.texto().mid(desde);
    s.reporte = t.report.texto();
    s.eventos = t.prompts.eventos;
    s.etiquetas = t.printer.etiquetas;
    return s;
}

} // namespace

class TestHostileInput : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(cargas().size() >= 100);
        QVERIFY(TestDb::get().valor("select @@GLOBAL.sql_mode").contains("STRICT_TRANS_TABLES"));
    }

    void init() {
        TestDb& db = TestDb::get();
        db.recrear();
        cargarFinca(db.admin());
    }

    // Typed or scanned into the card box: not found, shown as typed (cleaned),
    // and a person whose card really reads so is found and gets the entry.
    void cardBoxTakesHostileTextAsACardNumber() {
        TestDb& db = TestDb::get();
        db.sql("alter table personal modify cedula varchar(700) not null");
        const QStringList antes = huella();
        TestStation t;
        t.reloj("2024-03-07 07:00:00");
        int guardadas = 0;
        for (const QString& p : cargas()) {
            const QString c = limpia(p);
            t.prompts.limpiar();
            qsizetype desde = t.history.texto().size();
            asistencia(t.st, p);
            QCOMPARE(t.prompts.eventos, QStringList{"0|velmar|No se encontró el usuario"});
            QCOMPARE(t.history.texto().mid(desde), "No se encontró la cédula " + c + "\r\n");
            if (c.size() > 700)
                continue;
            const QString id = QString::number(5000 + ++guardadas);
            db.sql("insert into personal (personal_id, cedula, nombres, apellidos) values (" + id +
                   ", " + literal(c) + ", 'HOSTIL', '" + id + "')");
            desde = t.history.texto().size();
            asistencia(t.st, p);
            QCOMPARE(t.prompts.eventos, QStringList{"0|velmar|No se encontró el usuario"});
            QCOMPARE(t.history.texto().mid(desde),
                     "Ingreso del usuario HOSTIL " + id + " a las 07:00:00\r\n");
            QCOMPARE(db.filas("select personal_id from control_asistencia"), QStringList{id});
            db.sql("delete from control_asistencia");
            db.sql("delete from personal where personal_id = " + id);
        }
        QVERIFY(guardadas >= 100);
        QCOMPARE(huella(), antes);
    }

    // Typed into the login: a wrong login or password, the permission kept;
    // a user whose login and password really read so gets in.
    void loginTakesHostileText() {
        TestDb& db = TestDb::get();
        db.sql("alter table usuario modify usu_login varchar(700) not null");
        const QStringList antes = huella();
        TestStation t;
        int guardados = 0;
        for (const QString& p : cargas()) {
            const QStringList rechazo{"0|velmar|" + kLoginIncorrecto};
            for (const auto& [login, clave] : {std::pair{p, QString("clave")}, {"admin", p}}) {
                t.prompts.limpiar();
                t.st.permiso_usuario = "PREVIO";
                QCOMPARE(comprobar_login(t.st, login, clave), ResultadoLogin::Rechazado);
                QCOMPARE(t.prompts.eventos, rechazo);
                QCOMPARE(t.st.permiso_usuario, QString("PREVIO"));
            }
            if (p.size() > 700)
                continue;
            const QString id = QString::number(100 + ++guardados);
            db.sql("insert into usuario (usu_id, usu_nombre, usu_permiso, usu_login, "
                   "usu_password) values (" +
                   id + ", 'HOSTIL', 'P" + id + "', " + literal(p) + ", password(" + literal(p) +
                   "))");
            t.prompts.limpiar();
            QCOMPARE(comprobar_login(t.st, p, p), ResultadoLogin::Aceptado);
            QCOMPARE(t.prompts.eventos, QStringList());
            QCOMPARE(t.st.permiso_usuario, "P" + id);
            db.sql("delete from usuario where usu_id = " + id);
        }
        QVERIFY(guardados >= 100);
        QCOMPARE(huella(), antes);
    }

    // Every operation of the catalogue, each payload in each of its parameter
    // positions, the others naming real data: it matches nothing and changes
    // nothing, an argument that is only shown is shown as given, no SQL
    // syntax error comes back, nothing crashes.
    void everyOperationArgumentTakesHostileText() {
        const QStringList payloads = cargas();
        TestStation t;
        QElapsedTimer reloj;
        reloj.start();
        int llamadas = 0;
        for (const Operacion& op : catalogo()) {
            if (op.parametros.isEmpty())
                continue;
            QVERIFY2(porDefecto().contains(op.nombre), qPrintable(op.nombre));
            const QStringList base = porDefecto()[op.nombre];
            QCOMPARE(base.size(), op.parametros.size());
            const Salida ref = correr(t, op, base);
            QCOMPARE(ref.error, QString());
            if (op.nombre.startsWith("imprimir_detalle"))
                QCOMPARE(ref.etiquetas.size(), 1);
            if (op.nombre == "imprimir_caja")
                QVERIFY(ref.reporte.contains(" AWB:\r\n Caja: 3\r\n"));
            // what the real arguments did is theirs; the payloads add nothing
            const QStringList antes = huella();
            for (int pos = 0; pos < base.size(); ++pos) {
                for (const QString& p : payloads) {
                    QStringList args = base;
                    args[pos] = p;
                    const Salida s = correr(t, op, args);
                    ++llamadas;
                    const QByteArray donde =
                        (op.nombre + "/" + op.parametros[pos].nombre + ": " + p.left(60)).toUtf8();
                    QVERIFY2(!hayErrorDeSintaxis(t.prompts),
                             donde + "\n" + textoCajas(t.prompts).toUtf8());
                    QVERIFY2(s.error.isEmpty(), donde + " raised " + s.error.toUtf8());
                    const QString& n = op.nombre;
                    if (n == "asistencia") {
                        QCOMPARE(s.eventos, QStringList{"0|velmar|No se encontró el usuario"});
                        QCOMPARE(s.historia, "No se encontró la cédula " + limpia(p) + "\r\n");
                    } else if (n == "reporte_pck") {
                        QCOMPARE(s.eventos, QStringList());
                        QCOMPARE(s.reporte, "No hay datos para el packing: " + args[0]);
                    } else if (n == "imprimir_caja" && pos < 2) {
                        QCOMPARE(s.eventos, QStringList());
                        QCOMPARE(s.reporte, "PACKING: " + args[0] +
                                                "\r\nNo hay datos para la caja: " + args[1]);
                    } else if (n == "imprimir_caja") {
                        // the waybill is only shown: shown as given
                        QCOMPARE(s.eventos, ref.eventos);
                        QString esperado = ref.reporte;
                        esperado.replace(" AWB:\r\n", " AWB:" + p + "\r\n");
                        QCOMPARE(s.reporte, esperado);
                    } else if (n == "pck_completo" || n == "pck_abrir") {
                        QVERIFY2(s.eventos.isEmpty() ||
                                     (s.eventos.size() == 1 && esCajaDeValor(s.eventos[0])),
                                 donde + "\n" + textoCajas(t.prompts).toUtf8());
                        QCOMPARE(s.historia, QString());
                    } else if (n == "cambiar_packing") {
                        QVERIFY2(s.eventos.isEmpty() ||
                                     (s.eventos.size() == 1 && esCajaDeValor(s.eventos[0])),
                                 donde + "\n" + textoCajas(t.prompts).toUtf8());
                        // a move the strict server refused is not written as done
                        const QString linea = "\t* Packing " + args[0] + " caja: " + args[2] +
                                              " cambiada al Packing " + args[1] + " caja " +
                                              args[3] + "\r\n";
                        QCOMPARE(s.historia, s.eventos.isEmpty() ? linea : QString());
                    } else if (n == "baja_nacional") {
                        QCOMPARE(s.eventos, QStringList());
                        QCOMPARE(s.historia, "\t* Error: Bunche: " + p +
                                                 " no se encuentra en disponibilidad\r\n");
                    } else if (n.startsWith("imprimir_detalle")) {
                        QCOMPARE(s.eventos, QStringList());
                        // the waybill argument has no influence; a box that is
                        // not there prints nothing
                        QCOMPARE(s.etiquetas, pos == 2 ? ref.etiquetas : QList<QByteArray>());
                    } else {
                        QFAIL(qPrintable("no expectation for " + n));
                    }
                }
                QVERIFY2(huella() == antes, qPrintable(op.nombre + " changed rows"));
            }
        }
        qDebug("%d hostile calls in %lld ms", llamadas, reloj.elapsed());
    }

    // Where an operation stores or compares a typed value, the value comes
    // back unchanged: a packing or box moved to a hostile number and back, its
    // report and completion mark under that number, and a bunch with a
    // hostile number written off with its remarks.
    void valuesRoundTripWhereStored() {
        TestDb& db = TestDb::get();
        db.sql("alter table bunche modify num_bunch varchar(300) not null, modify num_pack "
               "varchar(300), modify caja varchar(300), modify cod_varie varchar(300)");
        TestStation t;
        reporte_pck(t.st, "851");
        const QString reporte851 = t.report.texto();
        QVERIFY(reporte851.startsWith("PACKING: 851 EN PROCESO \r\n"));
        const QStringList bunches851 = db.filas("select num_bunch from bunche where num_pack = "
                                                "'851' order by num_bunch");
        const QStringList bunchesCaja4 = db.filas("select num_bunch from bunche where num_pack = "
                                                  "'852' and caja = '4' order by num_bunch");
        int probadas = 0;
        for (const QString& p : cargas()) {
            if (p.size() > 300)
                continue;
            ++probadas;
            t.prompts.limpiar();
            const QByteArray donde = p.left(60).toUtf8();

            // whole packing to p
            cambiar_packing(t.st, "851", p);
            QCOMPARE(db.filas("select distinct " + guardado("num_pack") +
                              " from bunche where num_bunch in " + enLista(bunches851)),
                     QStringList{base64(p)});
            reporte_pck(t.st, p);
            QString esperado = reporte851;
            esperado.replace(0, QString("PACKING: 851").size(), "PACKING: " + p);
            QVERIFY2(t.report.texto() == esperado, donde);
            pck_completo(t.st, p);
            QCOMPARE(db.valor("select count(*) from bunche where nacional = 'C'"),
                     QString::number(bunches851.size()));
            pck_abrir(t.st, p);
            QCOMPARE(db.valor("select count(*) from bunche where nacional = 'C'"), QString("0"));
            cambiar_packing(t.st, p, "851");
            QCOMPARE(db.filas("select num_bunch from bunche where num_pack = '851' order by "
                              "num_bunch"),
                     bunches851);

            // one box to box p and back
            cambiar_packing(t.st, "852", "852", "4", p);
            QCOMPARE(db.filas("select distinct " + guardado("caja") +
                              " from bunche where num_bunch in " + enLista(bunchesCaja4)),
                     QStringList{base64(p)});
            cambiar_packing(t.st, "852", "852", p, "4");
            QCOMPARE(db.filas("select num_bunch from bunche where num_pack = '852' and caja = '4' "
                              "order by num_bunch"),
                     bunchesCaja4);

            // a bunch numbered p, of a variety whose stem part is p (a NUL read
            // back from the server ends the text there: the variety has none)
            const QString tallo = QString(p).remove(QChar(0));
            db.sql("insert into bunche (num_bunch, cod_varie, num_tallos, tipo_env) values (" +
                   literal(p) + ", " + literal("XYZ" + tallo) + ", 7, 2)");
            const qsizetype desde = t.history.texto().size();
            try {
                baja_nacional(t.st, p);
            } catch (const Error& e) {
                QFAIL(qPrintable(e.texto()));
            }
            QCOMPARE(t.history.texto().mid(desde),
                     "\t* Bunche: " + p + " dado de baja a NACIONAL\r\n");
            QCOMPARE(
                db.filas("select " + guardado("num_bunch") + ", " + guardado("observa") +
                         ", categoria, transformado from bunche where observa is not null"),
                QStringList{base64(p) + "|" +
                            base64("Datos anteriores\r\n----------------\r\nLong.Tallo: " + tallo +
                                   "\r\nBotones: 7\r\nEnvoltura: PLASTICO\r\nCategoria: \r\n") +
                            "|N|SI"});
            db.sql("delete from bunche where observa is not null");
            QVERIFY2(t.prompts.eventos.isEmpty(), donde + "\n" + textoCajas(t.prompts).toUtf8());
        }
        QVERIFY(probadas >= 100);
    }
};

QTEST_GUILESS_MAIN(TestHostileInput)
#include "test_hostile_input.moc"
