#pragma once
// The administrator check behind frmLogin.

#include "station/station.h"

namespace velmar {

enum class ResultadoLogin { Aceptado, Rechazado, Fallido };

inline const QString kLoginIncorrecto =
    QStringLiteral("Nombre de usuario o password incorrectos\r\n INGRESE LOGIN Y PASSWORD DE "
                   "ADMINISTRADOR PARA MODIFICAR EL PACKING");

// Checks a login and password, as typed, against `usuario` on the server. On
// success permiso_usuario takes the user's permission (blanks trimmed, Null as
// empty); otherwise it keeps its earlier value. A wrong name or password shows
// the two-line message; a failure shows "Login " + its text.
ResultadoLogin comprobar_login(Station& st, const QString& login, const QString& password);

} // namespace velmar
