#include "operations/catalogo.h"

#include "station/attendance_clock.h"

namespace velmar {

namespace {

QVector<Operacion> construir() {
    QVector<Operacion> ops;
    ops.append({QStringLiteral("asistencia"),
                QStringLiteral("Registrar asistencia"),
                {{QStringLiteral("cedula"), QStringLiteral("Cédula"), false}},
                false,
                false,
                [](Station& st, const QStringList& a) { asistencia(st, a.value(0)); }});
    return ops;
}

} // namespace

const QVector<Operacion>& catalogo() {
    static const QVector<Operacion> ops = construir();
    return ops;
}

const Operacion* buscarOperacion(const QString& nombre) {
    for (const Operacion& op : catalogo())
        if (op.nombre == nombre)
            return &op;
    return nullptr;
}

} // namespace velmar
