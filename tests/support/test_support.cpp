#include "test_support.h"

#include "db/errors.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>
#include <QThread>
#include <csignal>

namespace velmar::test {

namespace {

const QStringList kTablas = {"personal", "control_asistencia", "usuario", "variedad",   "clientes",
                             "flores",   "envoltura",          "bunche",  "prepacking", "tmp_caja"};

QString driverPath() {
    for (const char* d : {"/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc",
                          "/usr/lib/odbc", "/usr/lib"}) {
        QDirIterator it(QString::fromLatin1(d), {QStringLiteral("libmaodbc.so")}, QDir::Files,
                        QDirIterator::Subdirectories);
        if (it.hasNext())
            return it.next();
    }
    qFatal("MariaDB Connector/ODBC (libmaodbc.so) is not installed");
}

// A driver connection string for the server on `port`, no database chosen.
QString servidor(int port) {
    return QStringLiteral("DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=%1;USER=velmar;"
                          "PASSWORD=velmar")
        .arg(port);
}

bool responde(int port) {
    Conexion c(servidor(port));
    try {
        c.abrir();
        return true;
    } catch (const Error&) {
        return false;
    }
}

} // namespace

QString fuente(const QString& relativa) {
    return QStringLiteral(VELMAR_SOURCE_DIR "/") + relativa;
}

// Runs scripts/db.sh with arguments; false (and the output as a warning) on error.
static bool dbScript(const QStringList& args, QString* output = nullptr) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(fuente(QStringLiteral("scripts/db.sh")), args);
    const bool ok =
        p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    const QString out = QString::fromUtf8(p.readAll());
    if (output)
        *output = out;
    if (!ok)
        qWarning("db.sh %s failed: %s", qPrintable(args.join(' ')), qPrintable(out));
    return ok;
}

QStringList sentencias(const QString& script) {
    QStringList out;
    QString actual;
    for (const QString& linea : script.split(QLatin1Char('\n'))) {
        if (linea.trimmed().startsWith(QLatin1String("--")))
            continue;
        actual += linea + QLatin1Char('\n');
        if (linea.trimmed().endsWith(QLatin1Char(';'))) {
            const QString s = actual.trimmed().chopped(1).trimmed();
            if (!s.isEmpty())
                out << s;
            actual.clear();
        }
    }
    if (!actual.trimmed().isEmpty())
        out << actual.trimmed();
    return out;
}

// ---------------------------------------------------------------- TestDb

TestDb& TestDb::get() {
    static TestDb db;
    return db;
}

TestDb::TestDb() {
    dir_ = qEnvironmentVariable("VELMAR_TEST_DB_DIR", QStringLiteral("/tmp/velmar-test-db"));
    port_ = qEnvironmentVariableIntValue("VELMAR_TEST_DB_PORT");
    if (port_ == 0)
        port_ = 33307;

    // Driver definitions first: the connections below name the driver.
    const QString ini = odbcDir_.path();
    QFile inst(ini + QStringLiteral("/odbcinst.ini"));
    if (!inst.open(QIODevice::WriteOnly))
        qFatal("cannot write odbcinst.ini");
    inst.write(
        QStringLiteral("[MariaDB Unicode]\nDriver=%1\nThreading=0\n").arg(driverPath()).toUtf8());
    inst.close();

    nombre_ = QStringLiteral("t_%1_%2")
                  .arg(QFileInfo(QCoreApplication::applicationFilePath()).baseName())
                  .arg(QCoreApplication::applicationPid());
    nombre_.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_]")), QStringLiteral("_"));
    QFile dsn(ini + QStringLiteral("/odbc.ini"));
    if (!dsn.open(QIODevice::WriteOnly))
        qFatal("cannot write odbc.ini");
    dsn.write(QStringLiteral("[mytnflower]\nDriver=MariaDB Unicode\nSERVER=127.0.0.1\nPORT=%1\n"
                             "DATABASE=%2\nUSER=velmar\nPASSWORD=velmar\nCHARSET=utf8mb4\n")
                  .arg(port_)
                  .arg(nombre_)
                  .toUtf8());
    dsn.close();
    qputenv("ODBCSYSINI", ini.toUtf8());
    qputenv("ODBCINI", (ini + QStringLiteral("/odbc.ini")).toUtf8());

    if (!responde(port_) && !dbScript({QStringLiteral("start"), dir_, QString::number(port_)}))
        qFatal("the tests' MariaDB server does not start");

    admin_ = std::make_unique<Conexion>(cadena());
    admin_->abrir();
    admin_->ejecutar(QStringLiteral("DROP DATABASE IF EXISTS ") + nombre_);
    admin_->ejecutar(QStringLiteral("CREATE DATABASE ") + nombre_ +
                     QStringLiteral(" CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci"));
    admin_ = std::make_unique<Conexion>(cadena(nombre_));
    admin_->abrir();
    cargarEsquema();
    // Leave no database behind.
    qAddPostRoutine([] {
        try {
            TestDb& db = TestDb::get();
            db.admin_->ejecutar(QStringLiteral("DROP DATABASE IF EXISTS ") + db.nombre_);
        } catch (...) {
        }
    });
}

QString TestDb::cadena(const QString& database) const {
    QString c = servidor(port_);
    if (!database.isEmpty())
        c += QStringLiteral(";DATABASE=") + database;
    return c;
}

void TestDb::cargarEsquema() {
    QFile f(fuente(QStringLiteral("db/schema.sql")));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("db/schema.sql is missing");
    for (const QString& s : sentencias(QString::fromUtf8(f.readAll())))
        admin_->ejecutar(s);
}

void TestDb::reset() {
    for (const QString& t : kTablas)
        admin_->ejecutar(QStringLiteral("DELETE FROM ") + t);
}

void TestDb::recrear() {
    for (const QString& t : kTablas)
        admin_->ejecutar(QStringLiteral("DROP TABLE IF EXISTS ") + t);
    cargarEsquema();
}

void TestDb::sql(const QString& statement) {
    admin_->ejecutar(statement);
}

QStringList TestDb::filas(const QString& query) {
    RecordSet rs = admin_->consulta(query);
    QStringList out;
    while (!rs.eof()) {
        QStringList campos;
        for (int i = 0; i < rs.columnas(); ++i)
            campos << (rs.value(i).isNull() ? QStringLiteral("NULL") : rs.text(i));
        out << campos.join(QLatin1Char('|'));
        rs.moveNext();
    }
    return out;
}

QString TestDb::valor(const QString& query) {
    const QStringList f = filas(query);
    return f.isEmpty() ? QString() : f.first().section(QLatin1Char('|'), 0, 0);
}

// ---------------------------------------------------------------- TestStation

TestStation::TestStation(const QString& dsn)
    : db((TestDb::get(), dsn))
    , st{db, history, report, busy, prompts, printer, input, {}, {}, {}, {}, &vista} {
    try {
        db.abrir();
    } catch (const Error& e) {
        // some tests want a station whose server is unreachable
        qInfo("station connection not open: %s", qPrintable(e.texto()));
    }
}

void TestStation::reloj(const QString& fechaHora) {
    db.ejecutar(QStringLiteral("SET timestamp = UNIX_TIMESTAMP('") + fechaHora +
                QStringLiteral("')"));
}

// ---------------------------------------------------------------- PrivateServer

PrivateServer::PrivateServer() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    port_ = s.serverPort();
}

PrivateServer::~PrivateServer() {
    resume();
    stop();
}

void PrivateServer::start() {
    if (!dbScript({QStringLiteral("start"), dir_.path(), QString::number(port_)}))
        qFatal("a private MariaDB server does not start");
    Conexion c(servidor(port_));
    c.abrir();
    c.ejecutar(QStringLiteral("CREATE DATABASE IF NOT EXISTS velmar"));
}

void PrivateServer::stop() {
    dbScript({QStringLiteral("stop"), dir_.path()});
}

qint64 PrivateServer::pid() const {
    QFile f(dir_.path() + QStringLiteral("/mariadbd.pid"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return f.readAll().trimmed().toLongLong();
}

void PrivateServer::kill9() {
    if (const qint64 p = pid()) {
        ::kill(pid_t(p), SIGKILL);
        for (int i = 0; i < 100 && ::kill(pid_t(p), 0) == 0; ++i)
            QTest::qWait(50);
        QFile::remove(dir_.path() + QStringLiteral("/mariadbd.pid"));
    }
}

namespace {

// The state letter of a process in /proc ('T' once stopped).
char estadoProceso(qint64 p) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(p));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = f.readAll();
    const qsizetype i = stat.lastIndexOf(')');
    return i >= 0 && i + 2 < stat.size() ? stat[i + 2] : 0;
}

} // namespace

void PrivateServer::pause() {
    if (const qint64 p = pid()) {
        ::kill(pid_t(p), SIGSTOP);
        // the signal is asynchronous: a query sent at once could still be answered
        for (int i = 0; i < 200 && estadoProceso(p) != 'T'; ++i)
            QThread::msleep(5);
    }
}

void PrivateServer::resume() {
    if (const qint64 p = pid())
        ::kill(pid_t(p), SIGCONT);
}

QString PrivateServer::cadena() const {
    return servidor(port_) + QStringLiteral(";DATABASE=velmar");
}

} // namespace velmar::test
