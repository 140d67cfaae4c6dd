#include "test_support.h"

#include "cli/cli_command.h"
#include "errors/errors.h"
#include "files/file_output.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

namespace velmar::test {

namespace {

const QString kTablas = "personal, control_asistencia, usuario, variedad, clientes, flores, "
                        "envoltura, bunche, prepacking, tmp_caja";

} // namespace

SalidaCli cli(const QStringList& args, const QByteArray& entrada) {
    QBuffer out, err, in;
    in.setData(entrada);
    out.open(QIODevice::WriteOnly), err.open(QIODevice::WriteOnly), in.open(QIODevice::ReadOnly);
    CliStreams io{out, err, in};
    const int codigo = ejecutarCli(args, io);
    return {codigo, out.data(), err.data()};
}

QString odbcIni(const QString& carpeta, int puerto, const QString& base) {
    escribirArchivo(carpeta + "/odbc.ini",
                    QString("[mytnflower]\nDriver=MariaDB Unicode\nSERVER=127.0.0.1\nPORT=%1\n"
                            "DATABASE=%2\nUSER=velmar\nPASSWORD=velmar\nCHARSET=utf8mb4\n")
                        .arg(puerto)
                        .arg(base)
                        .toUtf8());
    return carpeta + "/odbc.ini";
}

SalidaCli correr(const QString& programa, const QStringList& args, const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(programa, args);
    p.closeWriteChannel();
    const bool fin = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit;
    return {fin ? p.exitCode() : -1, p.readAllStandardOutput(), p.readAllStandardError()};
}

QByteArray leer(const QString& ruta) {
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : "(no existe " + ruta.toUtf8() + ")";
}

bool dbScript(const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(fuente("scripts/db.sh"), args);
    const bool ok = p.waitForFinished(120000) && p.exitCode() == 0;
    if (!ok)
        qWarning("db.sh %s: %s", qPrintable(args.join(' ')), p.readAll().constData());
    return ok;
}

QString fuente(const QString& relativa) {
    return VELMAR_SOURCE_DIR "/" + relativa;
}

QStringList sentencias(const QString& script) {
    const auto lineas = QRegularExpression::MultilineOption;
    QStringList out;
    for (const QString& s : QString(script)
                                .remove(QRegularExpression("^\\s*--.*$", lineas))
                                .split(QRegularExpression(";\\s*$", lineas)))
        if (!s.trimmed().isEmpty())
            out << s.trimmed();
    return out;
}

TestDb& TestDb::get() {
    static TestDb db;
    return db;
}

// A data source mytnflower for this database.
TestDb::TestDb() {
    port_ = qEnvironmentVariable("VELMAR_TEST_DB_PORT", "33307").toInt();
    QDirIterator driver("/usr/lib", {"libmaodbc.so"}, QDir::Files, QDirIterator::Subdirectories);
    if (!driver.hasNext())
        qFatal("MariaDB Connector/ODBC (libmaodbc.so) is not installed");
    const QString ini = odbcDir_.path();
    escribirArchivo(ini + "/odbcinst.ini",
                    ("[MariaDB Unicode]\nDriver=" + driver.next() + "\nThreading=0\n").toUtf8());
    nombre_ = "t_" + QCoreApplication::applicationName().replace('-', '_');
    qputenv("ODBCSYSINI", ini.toUtf8());
    qputenv("ODBCINI", odbcIni(ini, port_, nombre_).toUtf8());
    admin_ = std::make_unique<Conexion>(cadena());
    admin_->abrir(); // the server: ctest's fixture
    admin_->ejecutar("DROP DATABASE IF EXISTS " + nombre_);
    admin_->ejecutar("CREATE DATABASE " + nombre_ + " CHARACTER SET utf8mb4");
    admin_ = std::make_unique<Conexion>(cadena(nombre_));
    admin_->abrir();
    recrear();
}

QString TestDb::cadena(const QString& database) const {
    return QString("DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=%1;USER=velmar;"
                   "PASSWORD=velmar")
               .arg(port_) +
           (database.isEmpty() ? QString() : ";DATABASE=" + database);
}

void TestDb::reset() {
    for (const QString& t : kTablas.split(", "))
        sql("DELETE FROM " + t);
}

void TestDb::recrear() {
    sql("DROP TABLE IF EXISTS " + kTablas);
    script(QString::fromUtf8(leer(fuente("db/schema.sql"))));
}

void TestDb::sql(const QString& statement) {
    admin_->ejecutar(statement);
}

void TestDb::script(const QString& statements) {
    for (const QString& s : sentencias(statements))
        sql(s);
}

QStringList TestDb::filas(const QString& query) {
    QStringList out;
    for (RecordSet rs = admin_->consulta(query); !rs.eof(); rs.moveNext()) {
        QStringList campos;
        for (int i = 0; i < rs.columnas(); ++i)
            campos << (rs.value(i).isNull() ? "NULL" : rs.text(i));
        out << campos.join('|');
    }
    return out;
}

QString TestDb::valor(const QString& query) {
    return filas(query).value(0).section('|', 0, 0);
}

TestStation::TestStation(const QString& dsn)
    : db((TestDb::get(), dsn))
    , st({db, history, report, busy, prompts, printer, input, &vista}, sesion) {
    try {
        db.abrir();
    } catch (const Error& e) { // some tests want a station without a server
        qInfo("station connection not open: %s", qPrintable(e.text()));
    }
}

void TestStation::reloj(const QString& fechaHora) {
    db.ejecutar("SET timestamp = UNIX_TIMESTAMP('" + fechaHora + "')");
    sesion.reloj = {}; // the station sees that time first
}

} // namespace velmar::test
