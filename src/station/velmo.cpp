#include "station/velmo.h"

#include "errors/errors.h"

#include <QHash>
#include <QRegularExpression>

namespace velmar {

bool conectar(Conexion& conexion, Prompts& prompts) {
    try {
        conexion.abrir();
        return true;
    } catch (const Error& e) {
        prompts.msgbox(textoError(e), kCritico, kTituloConexion);
        return false;
    }
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

} // namespace velmar
