#include "station/velmo.h"

#include "db/errors.h"

#include <QHash>
#include <QRegularExpression>

namespace velmar {

namespace {

// "[ma-3.1.15][10.11.6-MariaDB]Table ..." -> "Table ..."
QString sinPrefijos(QString t) {
    static const QRegularExpression prefijos(QStringLiteral("^(\\[[^\\]]*\\])+"));
    return t.remove(prefijos).trimmed();
}

// The server's frequent refusals, in a word the operator can act on; the
// server's own text follows it.
QString motivo(const QString& codigo) {
    static const QHash<QString, QString> motivos = {
        {QStringLiteral("1114"), QStringLiteral("El servidor de base de datos no tiene espacio")},
        {QStringLiteral("1021"), QStringLiteral("El servidor de base de datos no tiene espacio")},
        {QStringLiteral("1290"), QStringLiteral("La base de datos está en modo de solo lectura")},
        {QStringLiteral("1836"), QStringLiteral("La base de datos está en modo de solo lectura")},
        {QStringLiteral("1040"),
         QStringLiteral("El servidor de base de datos tiene demasiadas conexiones")},
        {QStringLiteral("1054"),
         QStringLiteral("Falta una columna en la base de datos o no es la esperada")},
        {QStringLiteral("1146"), QStringLiteral("Falta una tabla en la base de datos")},
        {QStringLiteral("1213"),
         QStringLiteral("La base de datos canceló el cambio por un cruce con otra estación: no se "
                        "guardó. Intente de nuevo")},
        {QStringLiteral("1044"), QStringLiteral("Acceso denegado a la base de datos")},
        {QStringLiteral("1045"), QStringLiteral("Acceso denegado a la base de datos")},
        {QStringLiteral("1142"), QStringLiteral("Acceso denegado a la base de datos")},
        {QStringLiteral("1047"), QStringLiteral("La base de datos no está aceptando trabajo")},
    };
    return motivos.value(codigo);
}

} // namespace

QString textoError(const Error& e) {
    if (const auto* db = dynamic_cast<const DbError*>(&e)) {
        const QString detalle = sinPrefijos(db->texto());
        if (db->codigo() == QLatin1String("IM002") ||
            detalle.contains(QLatin1String("Data source name not found"), Qt::CaseInsensitive))
            return QStringLiteral("No se encontró el origen de datos ") + Conexion::kDsn;
        // The server rolled the statement back after its lock wait.
        if (db->codigo() == QLatin1String("1205") ||
            detalle.contains(QLatin1String("Lock wait timeout"), Qt::CaseInsensitive))
            return QStringLiteral("Otra estación tiene ocupado el registro y la base de datos "
                                  "dejó de esperar: no se guardó el cambio. Intente de nuevo.");
        if (const QString m = motivo(db->codigo()); !m.isEmpty())
            return m + QStringLiteral(": ") + detalle;
        if (db->conexionPerdida())
            return QStringLiteral("No hay conexión con el servidor de base de datos: ") + detalle;
        return detalle;
    }
    return e.texto();
}

bool conectar(Conexion& conexion, Prompts& prompts) {
    try {
        conexion.abrir();
        return true;
    } catch (const Error& e) {
        prompts.msgbox(textoError(e), kCritico, kTituloConexion);
        return false;
    }
}

std::function<void(const Error&)> caminoDeConsulta(Station& st) {
    return [&st](const Error& e) {
        const auto* db = dynamic_cast<const DbError*>(&e);
        if (db && db->conexionPerdida())
            st.prompts.msgbox(QStringLiteral("Consulta Sql ") + textoError(e), kSoloOk);
        if (st.busy.puntero() != Busy::kFlecha) {
            st.busy.ponerPuntero(Busy::kFlecha);
            st.busy.ponerLeyenda(Busy::kCaptionError, false);
        }
    };
}

RecordSet abrir_consulta(Station& st, const QString& sql) {
    try {
        return st.db.consulta(sql);
    } catch (const Error& e) {
        st.prompts.msgbox(QStringLiteral("Consulta Sql ") + textoError(e), kSoloOk);
        return RecordSet();
    }
}

bool ejecutar_sql(Station& st, const QString& sql) {
    try {
        st.db.ejecutar(sql);
        return true;
    } catch (const Error& e) {
        st.prompts.msgbox(textoError(e), kSoloOk);
        return false;
    }
}

QVariant buscar_valor(Station& st, const QString& campo, const QString& tabla,
                      const QString& criterio) {
    QString sql = QStringLiteral("SELECT ") + campo + QStringLiteral(" FROM ") + tabla;
    if (!criterio.isNull() && !es_vacio(criterio))
        sql += QStringLiteral(" WHERE ") + criterio;
    // Only the first row is read: a packing's thousands of bunches need not
    // cross the network to give its first one.
    sql += QStringLiteral(" LIMIT 1");
    RecordSet rs = abrir_consulta(st, sql);
    if (rs.count() > 0 && !rs.value(0).isNull())
        return rs.value(0);
    return QString();
}

QDateTime fecha_servidor(Station& st) {
    try {
        RecordSet rs = abrir_consulta(st, QStringLiteral("select sysdate()"));
        if (rs.count() == 0 || rs.value(0).isNull())
            return QDateTime::currentDateTime();
        const QVariant v = rs.value(0);
        if (v.typeId() == QMetaType::QDateTime)
            return v.toDateTime();
        const QDateTime dt =
            QDateTime::fromString(RecordSet::textOf(v), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        return dt;
    } catch (const Error&) {
        return QDateTime();
    }
}

QString sinBlancos(const QString& texto) {
    qsizetype i = 0, j = texto.size();
    while (i < j && texto[i] == QLatin1Char(' '))
        ++i;
    while (j > i && texto[j - 1] == QLatin1Char(' '))
        --j;
    return texto.mid(i, j - i);
}

double valorNumerico(const QString& texto) {
    qsizetype i = 0;
    const qsizetype n = texto.size();
    while (i < n && (texto[i] == QLatin1Char(' ') || texto[i] == QLatin1Char('\t')))
        ++i;
    const qsizetype inicio = i;
    if (i < n && (texto[i] == QLatin1Char('-') || texto[i] == QLatin1Char('+')))
        ++i;
    bool digitos = false;
    while (i < n && texto[i].isDigit() && texto[i].unicode() < 128) {
        ++i;
        digitos = true;
    }
    if (i < n && texto[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && texto[i].isDigit() && texto[i].unicode() < 128) {
            ++i;
            digitos = true;
        }
    }
    if (!digitos)
        return 0;
    return texto.mid(inicio, i - inicio).toDouble();
}

bool es_vacio(const QString& texto) {
    return sinBlancos(texto).isEmpty() || texto == kMascaraVacia;
}

namespace {

// InStr(start, s, sep): 1-based position of sep at or after start, 0 if none.
qsizetype inStr(qsizetype start, const QString& s, const QString& sep) {
    if (start > s.size())
        return 0;
    if (sep.isEmpty())
        return start;
    const qsizetype i = s.indexOf(sep, start - 1, Qt::CaseSensitive);
    return i < 0 ? 0 : i + 1;
}

} // namespace

QString extraer_parte(const QString& texto, qsizetype n, const QString& separador) {
    qsizetype anterior = 0, posicion = 0;
    for (qsizetype i = 0; i < n; ++i) {
        posicion = inStr(anterior + 1, texto, separador);
        if (posicion == 0)
            posicion = texto.size() + 1;
        if (i != n - 1) {
            anterior = posicion;
            if (anterior > texto.size())
                return QString(); // past the end: every later piece is empty
        }
    }
    if (posicion <= anterior)
        return QString();
    return texto.mid(anterior, posicion - anterior - 1);
}

} // namespace velmar
