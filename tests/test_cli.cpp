// velmar-cli's contract with the farm's scripts.

#include "fault_proxy.h"
#include "operations/revisar_base.h"
#include "test_support.h"

#include <QRegularExpression>
#include <QTest>

using namespace velmar::test;

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void init() {
        TestDb::get().reset();
        TestDb::get().sql("insert into personal (personal_id, cedula, nombres, apellidos) "
                          "values (7, '1712345678', 'MARIA JOSE', 'GUAMAN')");
    }

    void wrongCallsGiveUsage() {
        for (const QStringList& args :
             QList<QStringList>{{},
                                {"borrar_todo"},
                                {"asistencia", "1", "2"},
                                {"login", "a"},
                                {"vista_previa", "imprimir_caja", "1", "1", "v.png"}}) {
            const SalidaCli s = args.size() == 1 ? correr(VELMAR_CLI_BIN, args) : cli(args);
            QCOMPARE(s.codigo + s.out.size(), 2);
            QVERIFY(s.err.startsWith("uso: velmar-cli OPERACION") &&
                    s.err.contains("\n  asistencia CEDULA\n"));
        }
    }

    // The farm's IT person reads what the station will do with its tables;
    // the exit code tells a script whether it can.
    void schemaReview() {
        SalidaCli s = cli({"revisar_base"});
        QVERIFY2(s.codigo == 0 && s.err.isEmpty() &&
                     s.out.contains("\r\nRECHAZOS\r\n(ninguno)\r\n") &&
                     s.out.endsWith("La estación puede trabajar con esta base.\r\n"),
                 s.out + s.err);
        TestDb::get().sql("alter table control_asistencia modify horas_dif tinyint");
        s = cli({"revisar_base"});
        TestStation ventana; // the window says it once at start
        avisarEsquema(ventana.db, ventana.prompts);
        TestDb::get().recrear();
        QCOMPARE(ventana.prompts.eventos,
                 QStringList("48|velmar|La base de datos de la finca tiene columnas que la "
                             "estación no puede usar así; lo que dependa de ellas no se hará "
                             "hasta cambiarlas:\ncontrol_asistencia.horas_dif: es tinyint(4): no "
                             "guarda los segundos de una salida temprana (hasta 14399). Cámbiela "
                             "a INT.\n(velmar-cli revisar_base lo detalla)"));
        QCOMPARE(s.codigo, 3);
        QVERIFY2(s.out.contains("\r\n- control_asistencia.horas_dif: es tinyint(4): no guarda "
                                "los segundos de una salida temprana (hasta 14399). Cámbiela a "
                                "INT.\r\n") &&
                     s.out.endsWith("no funcionará: el reloj de asistencia, el reporte de "
                                    "asistencia.\r\n"),
                 s.out);
    }

    // History on stdout, boxes on stderr, answers on stdin (none: No).
    void scansAndAnswers() {
        QCOMPARE(cli({"asistencia", " x'9 "}),
                 (SalidaCli{0, "No se encontró la cédula X9\r\n",
                            "0\tvelmar\tNo se encontró el usuario\n"}));
        SalidaCli s = cli({"asistencia", "1712345678"});
        QVERIFY2(s.out.startsWith("Ingreso del usuario MARIA JOSE GUAMAN a las "), s.out);
        QVERIFY(s.out.endsWith("\r\n") && s.err.isEmpty());
        // the entry three hours back: the next scan asks about an early exit
        TestDb::get().sql("update control_asistencia set hora_entrada = "
                          "subtime(hora_entrada, '03:00:00')");
        if (TestDb::get().valor("select hora_entrada > '03:00:00' from control_asistencia") != "1")
            QSKIP("the server clock is too close to midnight for this case");
        s = cli({"asistencia", "1712345678"}); // no answer: No
        QVERIFY2(s.codigo == 0 && s.out.isEmpty(), s.out);
        QVERIFY2(s.err.startsWith("4\tvelmar\tEl usuario desea salir a los 18"), s.err);
        QCOMPARE(TestDb::get().valor("select hora_salida from control_asistencia"), "NULL");
        s = cli({"asistencia", "1712345678"}, " S\xc3\xad \r\n"); // "Sí" from Windows
        QVERIFY2(s.out.startsWith("Salida del usuario MARIA JOSE GUAMAN a las "), s.out);
        QVERIFY(TestDb::get().valor("select horas_dif from control_asistencia").toInt() >= 10800);
    }

    // No server: the start-up box, the operation's failure path, exit 0. A
    // server away only for the first connection: no box, the scan recorded.
    void serverAwayAtStart() {
        FaultProxy red(qEnvironmentVariableIntValue("VELMAR_TEST_DB_PORT"));
        red.rechazar(1);
        QTemporaryDir dir;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const auto escanear = [&](int puerto) {
            env.insert("ODBCINI", odbcIni(dir.path(), puerto, TestDb::get().nombre()));
            return correr(VELMAR_CLI_BIN, {"asistencia", "1712345678"}, env);
        };
        SalidaCli s = escanear(1); // nothing listens on port 1
        QCOMPARE(s.codigo, 0);
        QCOMPARE(s.out, "\t" + kErrorSistema.toUtf8());
        const QList<QByteArray> lineas = s.err.split('\n');
        // the start-up box, the person query's box, the handler's, the newline
        QCOMPARE(lineas.size(), 5);
        QVERIFY2(lineas[0].startsWith("16\tTarnel Flower\tNo hay conexión"), lineas[0]);
        QVERIFY2(lineas[1].startsWith("0\tvelmar\tConsulta Sql No hay conexión"), lineas[1]);
        QCOMPARE(lineas.mid(2),
                 QList<QByteArray>({"beep", "0\tvelmar\t" + kErrorSistema.toUtf8(), ""}));
        s = escanear(red.port());
        QVERIFY2(s.codigo == 0 && s.err.isEmpty() &&
                     QRegularExpression("^Ingreso del usuario MARIA JOSE GUAMAN a las "
                                        "\\d\\d:\\d\\d:\\d\\d\r\n$")
                         .match(s.out)
                         .hasMatch(),
                 s.out + s.err);
    }

    void loginPrintsThePermission() {
        TestDb::get().sql("insert into usuario (usu_nombre, usu_permiso, usu_login, usu_password) "
                          "values ('Admin', '  ADMIN ', 'admin', password('velmar'))");
        QCOMPARE(cli({"login", "admin", "velmar"}), (SalidaCli{0, "ADMIN\n", ""}));
        QCOMPARE(cli({"login", "admin", "' or '1'='1"}),
                 (SalidaCli{0, "\n",
                            "0\tvelmar\tNombre de usuario o password incorrectos\\r\\n INGRESE "
                            "LOGIN Y PASSWORD DE ADMINISTRADOR PARA MODIFICAR EL PACKING\n"}));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
