#include "journal/kept_record.h"

#include "errors/errors.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QSysInfo>
#include <QVariant>

namespace velmar {

namespace {

const QString kFormaHora = QStringLiteral("yyyy-MM-dd hh:mm:ss");

// The clock's lines a replay may write, and what each says it became.
struct Forma {
    QRegularExpression linea; // captures: the person, the time named
    const QString& resultado;
};

const QList<Forma>& formas() {
    static const auto forma = [](const char* patron, const QString& r) {
        return Forma{
            QRegularExpression(QString::fromUtf8(patron), QRegularExpression::MultilineOption), r};
    };
    static const QList<Forma> f = {
        forma("^Ingreso del usuario (.*) a las (\\S*)\r?$", resultado::kIngreso),
        forma("^Salida del usuario (.*) a las (\\S*)\r?$", resultado::kSalida),
        forma("^EL USUARIO (.*) YA FUE INGRESADO A LAS (\\S*)\r?$", resultado::kYaIngresado),
        forma("^EL USUARIO (.*) YA REGISTRO SU SALIDA A LAS (\\S*)\r?$", resultado::kYaSalio),
        forma("^No se encontró la cédula ()()", resultado::kNoEncontrada),
        forma("^\tNo se registró la marca: ()()", resultado::kNoRegistrada)};
    return f;
}

QString detalleDe(const QString& lineas) {
    QStringList partes = lineas.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    for (QString& p : partes)
        p = p.trimmed();
    partes.removeAll(QString());
    return partes.join(QStringLiteral(" / "));
}

QSqlQuery consultaDe(const ScanJournal& diario) {
    return QSqlQuery(QSqlDatabase::database(diario.conexion(), false));
}

bool correr(QSqlQuery& q, const QString& sql, const QVariantList& valores) {
    q.prepare(sql);
    for (const QVariant& v : valores)
        q.addBindValue(v);
    return q.exec();
}

// A scan kept before this station kept a record of it: its record now.
bool asegurar(QSqlQuery& q, const MarcaGuardada& m) {
    return correr(q,
                  QStringLiteral("insert or ignore into registro (uid, cedula, guardada, "
                                 "estacion, resultado) values (?, ?, ?, ?, ?)"),
                  {m.uid, m.cedula, m.fecha + QLatin1Char(' ') + m.hora,
                   QSysInfo::machineHostName(), resultado::kEnEspera});
}

bool anotarEnvio(QSqlQuery& q, const MarcaGuardada& m, const QString& lineas, bool sinConfirmar,
                 const QDateTime& ahora) {
    const Desenlace d = desenlaceDeEnvio(lineas, sinConfirmar);
    return asegurar(q, m) &&
           correr(q,
                  QStringLiteral("update registro set enviada = ?, persona = ?, resultado = ?, "
                                 "hora = ?, detalle = ? where uid = ? and enviada is null"),
                  {ahora.toString(kFormaHora), d.persona, d.resultado, d.hora, detalleDe(lineas),
                   m.uid});
}

void podar(QSqlQuery& q, const QDateTime& ahora) {
    correr(q, QStringLiteral("delete from registro where enviada < ?"),
           {ahora.addDays(-KeptRecord::kDiasConservados).toString(kFormaHora)});
}

} // namespace

Desenlace desenlaceDeEnvio(const QString& lineas, bool sinConfirmar) {
    if (sinConfirmar)
        return {resultado::kSinConfirmar, {}, {}};
    for (const Forma& f : formas())
        if (const QRegularExpressionMatch m = f.linea.match(lineas); m.hasMatch())
            return {f.resultado, m.captured(1), m.captured(2)};
    // A day with its entry and no exit, past the early-exit window: the
    // clock writes nothing.
    return {detalleDe(lineas).isEmpty() ? resultado::kSinEfecto : resultado::kOtro, {}, {}};
}

QString tituloDeResultado(const QString& r) {
    static const QList<std::pair<QString, QString>> titulos = {
        {resultado::kEnEspera, QStringLiteral("En espera")},
        {resultado::kNoEnviada, QStringLiteral("No se pudo enviar; sigue en espera")},
        {resultado::kIngreso, QStringLiteral("Ingreso")},
        {resultado::kSalida, QStringLiteral("Salida")},
        {resultado::kYaIngresado, QStringLiteral("Ya tenía el ingreso del día")},
        {resultado::kYaSalio, QStringLiteral("Ya tenía la salida")},
        {resultado::kSinConfirmar,
         QStringLiteral("Salida temprana sin confirmar: debe marcar de nuevo")},
        {resultado::kSinEfecto, QStringLiteral("Sin cambios en la base")},
        {resultado::kNoEncontrada, QStringLiteral("Cédula no encontrada")},
        {resultado::kNoRegistrada, QStringLiteral("No se registró la marca")}};
    for (const auto& [codigo, titulo] : titulos)
        if (codigo == r)
            return titulo;
    return QStringLiteral("Otro (vea el detalle)");
}

CuentaDeRegistro contar(const QList<MarcaRegistrada>& filas) {
    CuentaDeRegistro c;
    for (const MarcaRegistrada& m : filas) {
        c.espera += m.enviada.isEmpty() ? 1 : 0;
        c.sinConfirmar += m.resultado == resultado::kSinConfirmar ? 1 : 0;
    }
    return c;
}

QString enviadaOEspera(const MarcaRegistrada& m) {
    return m.enviada.isEmpty() ? QStringLiteral("en espera") : m.enviada;
}

QString lineaDeRegistro(const MarcaRegistrada& m) {
    const QStringList campos = {m.guardada, enviadaOEspera(m), m.estacion, m.cedula,
                                m.persona,  m.resultado,       m.hora,     m.detalle};
    return QLatin1Char('\t') + campos.join(QLatin1Char('\t'));
}

bool KeptRecord::crear(QSqlDatabase& db, QString& motivo) {
    QSqlQuery q(db);
    for (const char* s :
         {"create table if not exists registro (uid text primary key, cedula text not null, "
          "guardada text not null, estacion text not null, enviada text, persona text, "
          "resultado text not null, hora text, detalle text)",
          "create index if not exists registro_enviada on registro (enviada)",
          "select uid, cedula, guardada, estacion, enviada, persona, resultado, hora, detalle "
          "from registro limit 1"}) {
        if (!q.exec(QString::fromLatin1(s))) {
            motivo = q.lastError().text();
            return false;
        }
    }
    return true;
}

void KeptRecord::guardada(QSqlDatabase& db, const MarcaGuardada& m) {
    QSqlQuery q(db);
    if (!asegurar(q, m))
        throw Error(q.lastError().text());
}

void KeptRecord::enviada(const MarcaGuardada& m, const QString& lineas, bool sinConfirmar,
                         const std::optional<QDateTime>& hora) const {
    const QDateTime ahora = hora ? *hora : QDateTime::currentDateTime();
    QSqlQuery q = consultaDe(diario_);
    // A failed write is lost from the record only: the scan itself went.
    if (anotarEnvio(q, m, lineas, sinConfirmar, ahora))
        podar(q, ahora);
}

void KeptRecord::enviadas(const QList<std::pair<MarcaGuardada, QString>>& filas,
                          const std::optional<QDateTime>& hora) const {
    const QDateTime ahora = hora ? *hora : QDateTime::currentDateTime();
    QSqlDatabase db = QSqlDatabase::database(diario_.conexion(), false);
    const bool junto = db.transaction();
    QSqlQuery q(db);
    for (const auto& [m, lineas] : filas)
        anotarEnvio(q, m, lineas, false, ahora);
    podar(q, ahora);
    if (junto && !db.commit())
        db.rollback(); // lost from the record only, as a single row's would be
}

void KeptRecord::noEnviada(const MarcaGuardada& m, const QString& motivo) const {
    QSqlQuery q = consultaDe(diario_);
    if (asegurar(q, m))
        correr(q,
               QStringLiteral("update registro set resultado = ?, detalle = ? "
                              "where uid = ? and enviada is null"),
               {resultado::kNoEnviada, motivo, m.uid});
}

// A journal kept before the record was: its waiting rows are listed too.
QList<MarcaRegistrada> KeptRecord::leer(const QString& desde) const {
    if (!diario_.error().isEmpty())
        throw Error(diario_.error());
    QSqlQuery q = consultaDe(diario_);
    if (!correr(q,
                QStringLiteral(
                    "select uid, cedula, guardada, estacion, enviada, persona, resultado, hora, "
                    "detalle, rowid as orden from registro where enviada is null or guardada >= ? "
                    "union all select uid, cedula, fecha || ' ' || hora, ?, null, null, ?, null, "
                    "null, 1000000000000 + id from marcas where uid not in (select uid from "
                    "registro) order by 3, 10"),
                {desde.isNull() ? QStringLiteral("0000") : desde, QSysInfo::machineHostName(),
                 resultado::kEnEspera}))
        throw Error(q.lastError().text());
    QList<MarcaRegistrada> filas;
    while (q.next()) {
        MarcaRegistrada m;
        QString* campos[] = {&m.uid,     &m.cedula,    &m.guardada, &m.estacion, &m.enviada,
                             &m.persona, &m.resultado, &m.hora,     &m.detalle};
        for (int i = 0; i < 9; ++i)
            *campos[i] = q.value(i).toString();
        filas.append(m);
    }
    return filas;
}

} // namespace velmar
