#include "station/attendance_clock.h"

#include "context/errors.h"
#include "startup/velmo.h"

#include <QTime>
#include <cmath>

namespace velmar {

namespace {

const QString kErrorSistema = QStringLiteral("Error en el sistema, revise la última operación ");

QString limpiar(const QString& texto) {
    qsizetype i = 0, j = texto.size();
    while (i < j && texto[i] == QLatin1Char(' '))
        ++i;
    while (j > i && texto[j - 1] == QLatin1Char(' '))
        --j;
    QString c = texto.mid(i, j - i).toUpper();
    c.remove(QLatin1Char('\''));
    return c;
}

// Seconds from one time of day to another; both "hh:mm:ss".
qint64 segundosEntre(const QString& desde, const QString& hasta) {
    const QTime a = QTime::fromString(desde, QStringLiteral("hh:mm:ss"));
    const QTime b = QTime::fromString(hasta, QStringLiteral("hh:mm:ss"));
    if (!a.isValid() || !b.isValid())
        throw RuntimeError(13, QStringLiteral("No coinciden los tipos"));
    return a.secsTo(b);
}

// Two stations submitting one card at the same moment must not both insert the
// day's entry: the look-up-then-insert of a person runs under a named lock on
// the server. A short wait keeps a stuck station from blocking the others.
class CandadoPersona {
public:
    CandadoPersona(Conexion& db, const QString& personalId)
        : db_(db)
        , nombre_(QStringLiteral("CONCAT('velmar-asistencia-', MD5('") + db.esc(personalId) +
                  QStringLiteral("'))")) {
        const RecordSet rs =
            db_.consulta(QStringLiteral("SELECT GET_LOCK(") + nombre_ + QStringLiteral(", 5)"));
        tomado_ = rs.count() > 0 && rs.text(0) == QLatin1String("1");
    }
    ~CandadoPersona() { soltar(); }
    void soltar() noexcept {
        if (!tomado_)
            return;
        tomado_ = false;
        try {
            db_.consulta(QStringLiteral("SELECT RELEASE_LOCK(") + nombre_ + QStringLiteral(")"));
        } catch (...) {
            // a lost connection has released it already
        }
    }

private:
    Conexion& db_;
    QString nombre_;
    bool tomado_ = false;
};

} // namespace

void asistencia(Station& st, const QString& texto) {
    try {
        st.report.hide();
        const QString cedula = limpiar(texto);
        RecordSet persona = abrir_consulta(
            st, QStringLiteral("select *, current_date() as fecha, current_time() as hora from "
                               "personal where cedula = '") +
                    st.db.esc(cedula) + QStringLiteral("' limit 1"));
        if (persona.eof()) {
            st.prompts.msgbox(QStringLiteral("No se encontró el usuario"), kSoloOk);
            st.history.agregar_historia(QStringLiteral("No se encontró la cédula ") + cedula);
        } else {
            const QString personalId = persona.text(QStringLiteral("personal_id"));
            const QString nombres = persona.text(QStringLiteral("nombres"));
            const QString apellidos = persona.text(QStringLiteral("apellidos"));
            const QString fecha = persona.text(QStringLiteral("fecha"));
            const QString hora = persona.text(QStringLiteral("hora"));
            const QString usuario = nombres + QLatin1Char(' ') + apellidos;

            CandadoPersona candado(st.db, personalId);
            RecordSet hoy = abrir_consulta(
                st, QStringLiteral("select * from control_asistencia where personal_id = '") +
                        st.db.esc(personalId) +
                        QStringLiteral("' And fecha_entrada = current_date() limit 1"));
            if (hoy.eof()) {
                ejecutar_sql(st, QStringLiteral("insert into control_asistencia (personal_id, "
                                                "fecha_entrada, hora_entrada,fecha_salida) "
                                                "values('") +
                                     st.db.esc(personalId) + QStringLiteral("', '") +
                                     st.db.esc(fecha) + QStringLiteral("', '") + st.db.esc(hora) +
                                     QStringLiteral("','") + st.db.esc(fecha) +
                                     QStringLiteral("')"));
                candado.soltar();
                st.history.agregar_historia(QStringLiteral("Ingreso del usuario ") + usuario +
                                            QStringLiteral(" a las ") + hora);
            } else {
                candado.soltar();
                const QString asistenciaId = hoy.text(QStringLiteral("asistencia_id"));
                const QString horaEntrada = hoy.text(QStringLiteral("hora_entrada"));
                const QString horaSalida = hoy.text(QStringLiteral("hora_salida"));
                const qint64 segundos = segundosEntre(horaEntrada, hora);
                const double minutos = double(segundos) / 60.0;

                if (minutos < kMinutosReingreso) {
                    st.history.agregar_historia(QStringLiteral("EL USUARIO ") + usuario +
                                                QStringLiteral(" YA FUE INGRESADO A LAS ") +
                                                horaEntrada);
                } else if (!horaSalida.isEmpty()) {
                    st.history.agregar_historia(QStringLiteral("EL USUARIO ") + usuario +
                                                QStringLiteral(" YA REGISTRO SU SALIDA A LAS ") +
                                                horaSalida);
                } else if (minutos < kMinutosSalidaTemprana) {
                    const QString pregunta = QStringLiteral("El usuario desea salir a los ") +
                                             QString::number(qint64(std::floor(minutos))) +
                                             QStringLiteral(" minutos de haber ingresado ?");
                    if (st.prompts.msgbox(pregunta, kSiNo) == kSi) {
                        ejecutar_sql(st, QStringLiteral("update control_asistencia set "
                                                        "fecha_salida = '") +
                                             st.db.esc(fecha) +
                                             QStringLiteral("', hora_salida = '") +
                                             st.db.esc(hora) + QStringLiteral("', horas_dif = '") +
                                             QString::number(segundos) +
                                             QStringLiteral("' where asistencia_id = '") +
                                             st.db.esc(asistenciaId) + QStringLiteral("'"));
                        st.history.agregar_historia(QStringLiteral("Salida del usuario ") +
                                                    usuario + QStringLiteral(" a las ") + hora);
                    }
                }
            }
        }
        st.input.vaciar();
        st.input.enfocar();
    } catch (const Error&) {
        st.prompts.beep();
        st.prompts.msgbox(kErrorSistema, kSoloOk);
        st.history.agregar_texto(QLatin1Char('\t') + kErrorSistema);
        st.input.vaciar();
        st.input.enfocar();
        st.history.caret_al_final();
    }
}

void tecla_asistencia(Station& st) {
    st.history.recortar_historia();
    st.input.enfocar();
}

} // namespace velmar
