#include "db/errors.h"

namespace velmar {

const char* Error::what() const noexcept {
    what_ = texto_.toUtf8();
    return what_.constData();
}

RuntimeError RuntimeError::sinRegistro() {
    return RuntimeError(3021, QStringLiteral("No hay registro actual"));
}
RuntimeError RuntimeError::usoNull() {
    return RuntimeError(94, QStringLiteral("Uso no válido de Null"));
}
RuntimeError RuntimeError::desbordamiento() {
    return RuntimeError(6, QStringLiteral("Desbordamiento"));
}
RuntimeError RuntimeError::argumento() {
    return RuntimeError(5, QStringLiteral("Llamada a procedimiento o argumento no válido"));
}

} // namespace velmar
