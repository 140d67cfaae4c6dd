#include "errors/errors.h"

namespace velmar {

const char* Error::what() const noexcept {
    what_ = text_.toUtf8();
    return what_.constData();
}

Error Error::noCurrentRecord() {
    return Error(QStringLiteral("No hay registro actual"));
}

} // namespace velmar
