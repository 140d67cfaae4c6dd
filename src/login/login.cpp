#include "login/login.h"

#include "errors/errors.h"
#include "station/velmo.h"

namespace velmar {

ResultadoLogin comprobar_login(Station& st, const QString& login, const QString& password) {
    try {
        st.db.comprobar(); // the dialog may have waited long on its operator
        RecordSet rs = abrir_consulta(
            st, QStringLiteral("select usu_id, usu_nombre, usu_permiso from usuario") +
                    QStringLiteral(" where usu_login='") + st.db.esc(login) +
                    QStringLiteral("' and usu_password=password('") + st.db.esc(password) +
                    QStringLiteral("')"));
        if (rs.eof()) {
            st.prompts.msgbox(kLoginIncorrecto, kSoloOk);
            return ResultadoLogin::Rechazado;
        }
        st.sesion.permiso_usuario = sinBlancos(rs.text(QStringLiteral("usu_permiso")));
        return ResultadoLogin::Aceptado;
    } catch (const Error& e) {
        st.prompts.msgbox(QStringLiteral("Login ") + textoError(e), kExclamacion);
        return ResultadoLogin::Fallido;
    }
}

} // namespace velmar
