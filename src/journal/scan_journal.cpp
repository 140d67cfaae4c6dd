#include "journal/scan_journal.h"

#include "errors/errors.h"
#include "journal/kept_record.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <atomic>

namespace velmar {

namespace {

Error errorDe(const QSqlQuery& q) {
    return Error(q.lastError().text());
}

// A name beside the file that nothing holds yet.
QString nombreApartado(const QString& archivo) {
    QString nombre = archivo + QStringLiteral(".ilegible");
    for (int n = 2; QFileInfo::exists(nombre); ++n)
        nombre = archivo + QStringLiteral(".ilegible.") + QString::number(n);
    return nombre;
}

} // namespace

ScanJournal::ScanJournal(QString archivo)
    : archivo_(std::move(archivo)) {
    static std::atomic<int> serie{0};
    conexion_ = QStringLiteral("velmar-diario-") + QString::number(++serie);
    QString motivo;
    if (abrir(motivo))
        return;
    cerrar();
    // Only a file that is there can be unreadable; one that cannot be
    // created is an error of its own.
    const QFileInfo f(archivo_);
    if (f.exists() && f.size() > 0) {
        const QString aparte = nombreApartado(archivo_);
        if (QFile::rename(archivo_, aparte)) {
            QFile::rename(archivo_ + QStringLiteral("-journal"),
                          aparte + QStringLiteral("-journal"));
            apartado_ = aparte;
            if (abrir(motivo))
                return;
            cerrar();
        }
    }
    error_ = motivo;
}

ScanJournal::~ScanJournal() {
    cerrar();
}

void ScanJournal::cerrar() {
    {
        QSqlDatabase db = QSqlDatabase::database(conexion_, false);
        if (db.isValid())
            db.close();
    }
    if (QSqlDatabase::contains(conexion_))
        QSqlDatabase::removeDatabase(conexion_);
}

bool ScanJournal::abrir(QString& motivo) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), conexion_);
    if (!db.isValid()) {
        motivo = QStringLiteral("no está instalado el controlador QSQLITE");
        return false;
    }
    db.setDatabaseName(archivo_);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        motivo = db.lastError().text();
        return false;
    }
    // A row counts as kept once it is on the disk: a rollback journal and a
    // sync at every commit.
    QSqlQuery q(db);
    for (const char* s :
         {"PRAGMA journal_mode=DELETE", "PRAGMA synchronous=FULL",
          "create table if not exists marcas (id integer primary key autoincrement, "
          "uid text not null unique, cedula text not null, fecha text not null, "
          "hora text not null)",
          "select id, uid, cedula, fecha, hora from marcas limit 1"}) {
        if (!q.exec(QString::fromLatin1(s))) {
            motivo = q.lastError().text();
            return false;
        }
    }
    // A journal its record cannot be added to (a file only read) still
    // serves its rows: it is not set aside for that.
    QString sinRegistro;
    KeptRecord::crear(db, sinRegistro);
    // The station's other users write it too, through the folder's group (the
    // package's /var/lib/velmar); only the file's owner can say so.
    QFile archivo(archivo_);
    archivo.setPermissions(archivo.permissions() | QFile::ReadGroup | QFile::WriteGroup);
    return true;
}

// The row and its record in one transaction: one sync, and never one
// without the other.
MarcaGuardada ScanJournal::guardar(const QString& cedula, const QString& fecha,
                                   const QString& hora) {
    if (!error_.isEmpty())
        throw Error(error_);
    MarcaGuardada m{0, QUuid::createUuid().toString(QUuid::WithoutBraces), cedula, fecha, hora};
    QSqlDatabase db = QSqlDatabase::database(conexion_, false);
    if (!db.transaction())
        throw Error(db.lastError().text());
    try {
        QSqlQuery q(db);
        q.prepare(
            QStringLiteral("insert into marcas (uid, cedula, fecha, hora) values (?, ?, ?, ?)"));
        for (const QString& v : {m.uid, m.cedula, m.fecha, m.hora})
            q.addBindValue(v);
        if (!q.exec())
            throw errorDe(q);
        m.id = q.lastInsertId().toLongLong();
        KeptRecord::guardada(db, m);
        if (!db.commit())
            throw Error(db.lastError().text());
    } catch (const Error&) {
        db.rollback();
        throw;
    }
    return m;
}

QList<MarcaGuardada> ScanJournal::pendientes() const {
    if (!error_.isEmpty())
        throw Error(error_);
    QSqlQuery q(QSqlDatabase::database(conexion_, false));
    if (!q.exec(QStringLiteral("select id, uid, cedula, fecha, hora from marcas order by id")))
        throw errorDe(q);
    QList<MarcaGuardada> filas;
    while (q.next())
        filas.append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(),
                      q.value(3).toString(), q.value(4).toString()});
    return filas;
}

int ScanJournal::cuantas(const QString& cedula) const {
    if (!error_.isEmpty())
        throw Error(error_);
    QSqlQuery q(QSqlDatabase::database(conexion_, false));
    const bool todas = cedula.isNull();
    q.prepare(todas ? QStringLiteral("select count(*) from marcas")
                    : QStringLiteral("select count(*) from marcas where cedula = ?"));
    if (!todas)
        q.addBindValue(cedula);
    if (!q.exec() || !q.next())
        throw errorDe(q);
    return q.value(0).toInt();
}

void ScanJournal::quitar(qint64 id) {
    QSqlQuery q(QSqlDatabase::database(conexion_, false));
    q.prepare(QStringLiteral("delete from marcas where id = ?"));
    q.addBindValue(id);
    if (!q.exec())
        throw errorDe(q);
}

void ScanJournal::quitar(const QList<qint64>& ids) {
    QSqlDatabase db = QSqlDatabase::database(conexion_, false);
    if (!db.transaction())
        throw Error(db.lastError().text());
    QSqlQuery q(db);
    q.prepare(QStringLiteral("delete from marcas where id = ?"));
    for (const qint64 id : ids) {
        q.bindValue(0, id);
        if (!q.exec()) {
            const Error e = errorDe(q);
            db.rollback();
            throw e;
        }
    }
    if (!db.commit()) {
        const Error e(db.lastError().text());
        db.rollback();
        throw e;
    }
}

} // namespace velmar
