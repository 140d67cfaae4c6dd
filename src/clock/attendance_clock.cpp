#include "clock/attendance_clock.h"

#include "clock/clock_sql.h"
#include "db/farm_schema.h"
#include "db/named_lock.h"
#include "db/server_codes.h"
#include "errors/errors.h"
#include "station/operation_scope.h"
#include "station/velmo.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <QTime>
#include <cmath>
#include <optional>
#include <utility>

namespace velmar {

namespace {

const QString kErrorSistema = QStringLiteral("Error en el sistema, revise la última operación ");
const QString kMarcaRechazada = QStringLiteral(
    "No se registró la marca: la base de datos no es como la estación la necesita. Avise al "
    "encargado de sistemas (velmar-cli revisar_base).\n");

// Seconds from one time of day to another; both "hh:mm:ss".
qint64 segundosEntre(const QString& desde, const QString& hasta) {
    const QTime a = QTime::fromString(desde, QStringLiteral("hh:mm:ss"));
    const QTime b = QTime::fromString(hasta, QStringLiteral("hh:mm:ss"));
    if (!a.isValid() || !b.isValid())
        throw Error(QStringLiteral("No coinciden los tipos"));
    return a.secsTo(b);
}

// The server refuses to compare a column with a literal holding characters the
// column's character set cannot store (Cyrillic against latin1, an emoji
// against utf8mb3). No card stored there can equal such a text.
bool esMezclaDeCotejamientos(const DbError& e) {
    return faultOf(e) == ServerFault::CollationMix ||
           e.text().contains(QLatin1String("Illegal mix of collations"), Qt::CaseInsensitive);
}

// The person query, as abrir_consulta runs it, except that a card no stored
// cedula can hold gives no row instead of an SQL error box.
RecordSet abrirPersona(Station& st, const QString& sql) {
    try {
        return st.db.consulta(sql);
    } catch (const Error& e) {
        const auto* db = dynamic_cast<const DbError*>(&e);
        if (db && esMezclaDeCotejamientos(*db))
            return RecordSet(QStringList(), {});
        st.prompts.msgbox(QStringLiteral("Consulta Sql ") + textoError(e), kSoloOk);
        return RecordSet();
    }
}

// Boxes raised while the person's lock is held are shown once it is released,
// so an operator who leaves a box open never holds up another station.
class CajasDiferidas : public Prompts {
public:
    explicit CajasDiferidas(Prompts& real)
        : real_(real) {}
    void beep() override { pendientes_.append({QString(), -1, QString()}); }
    void mostrarPendientes() {
        const QList<Pendiente> p = std::exchange(pendientes_, {});
        for (const Pendiente& c : p) {
            if (c.estilo < 0)
                real_.beep();
            else
                real_.msgbox(c.texto, c.estilo, c.titulo);
        }
    }

protected:
    // Only the query routines' OK boxes pass through here.
    int mostrar(const QString& texto, int estilo, const QString& titulo) override {
        pendientes_.append({texto, estilo, titulo});
        return kOk;
    }

private:
    struct Pendiente {
        QString texto;
        int estilo;
        QString titulo;
    };
    Prompts& real_;
    QList<Pendiente> pendientes_;
};

// The key handler's one error trap: whatever was done stays done.
void errorDelSistema(Station& st) {
    st.prompts.beep();
    st.prompts.msgbox(kErrorSistema, kSoloOk);
    st.history.agregarTexto(QLatin1Char('\t') + kErrorSistema);
    st.input.vaciar();
    st.input.enfocar();
    st.history.cursorAlFinal();
}

// A farm table the clock cannot write soundly: nothing is recorded, and the
// operator reads why, for the person who can change it.
void marcaRechazada(Station& st, const SchemaError& e) {
    st.prompts.beep();
    st.prompts.msgbox(kMarcaRechazada + e.text(), kExclamacion);
    st.history.agregar_historia(QStringLiteral("\tNo se registró la marca: ") +
                                QString(e.text()).replace(QLatin1Char('\n'), QStringLiteral("; ")));
    st.input.vaciar();
    st.input.enfocar();
}

// What a scan says of a day that has its entry, `minutos` after it.
enum class Reescaneo { YaIngresado, YaSalio, SalidaTemprana, Nada };

Reescaneo reescaneo(double minutos, const QString& horaSalida) {
    if (minutos < kMinutosReingreso)
        return Reescaneo::YaIngresado;
    if (!horaSalida.isEmpty())
        return Reescaneo::YaSalio;
    return minutos < kMinutosSalidaTemprana ? Reescaneo::SalidaTemprana : Reescaneo::Nada;
}

// The line of a re-scan that asks nothing; null when it says nothing.
QString lineaDeReescaneo(Reescaneo r, const QString& usuario, const QString& horaEntrada,
                         const QString& horaSalida) {
    if (r == Reescaneo::YaIngresado)
        return QStringLiteral("EL USUARIO ") + usuario +
               QStringLiteral(" YA FUE INGRESADO A LAS ") + horaEntrada;
    if (r == Reescaneo::YaSalio)
        return QStringLiteral("EL USUARIO ") + usuario +
               QStringLiteral(" YA REGISTRO SU SALIDA A LAS ") + horaSalida;
    return QString();
}

// What the attendance rows hold for one person's scan, and its line.
struct Escaneo {
    Station& st;
    QString personalId, usuario, fecha, hora;
    bool* pregunto; // set when the early-exit question is asked

    QString consultaDelDia() const { return velmar::consultaDelDia(st.db, personalId, fecha); }
    // The day's row read under the lock, letting it go in the same statement
    // when the row is there (a row read is a row whose select list ran);
    // through `sobre`'s query routine, or throwing.
    RecordSet diaSoltando(NamedLock& candado, Station* sobre) const {
        const QString sql = velmar::consultaDelDia(st.db, personalId, fecha,
                                                   QStringLiteral(", ") + candado.releaseSql() +
                                                       QStringLiteral(" as soltado"));
        RecordSet hoy = sobre ? abrir_consulta(*sobre, sql) : st.db.consulta(sql);
        if (hoy.abierto() && !hoy.eof())
            candado.releasedInStatement();
        return hoy;
    }
    QString insertarIngreso() const {
        return velmar::insertarIngreso(st.db, personalId, fecha, hora);
    }

    void salir(qint64 segundos, const QString& asistenciaId) const;
    // The row a write of this scan waits on, as a box names it.
    QString registroDe() const { return QStringLiteral("El registro de asistencia de ") + usuario; }

    // The lines of a day that has its entry (re-scan, exit, early exit).
    void conIngreso(RecordSet& hoy) const {
        const QString asistenciaId = hoy.text(QStringLiteral("asistencia_id"));
        const QString horaEntrada = horaDe(hoy.value(QStringLiteral("hora_entrada")));
        const QString horaSalida = horaDe(hoy.value(QStringLiteral("hora_salida")));
        const qint64 segundos = segundosEntre(horaEntrada, hora);
        const double minutos = double(segundos) / 60.0;

        if (const Reescaneo r = reescaneo(minutos, horaSalida); r != Reescaneo::SalidaTemprana) {
            if (const QString l = lineaDeReescaneo(r, usuario, horaEntrada, horaSalida);
                !l.isNull())
                st.history.agregar_historia(l);
        } else {
            const QString pregunta = QStringLiteral("El usuario desea salir a los ") +
                                     QString::number(qint64(std::floor(minutos))) +
                                     QStringLiteral(" minutos de haber ingresado ?");
            *pregunto = true;
            if (st.prompts.msgbox(pregunta, kSiNo) == kSi)
                salir(segundos, asistenciaId);
        }
    }
};

// Two insert ... select statements of different people can deadlock on the
// table's auto-increment lock; the server rolls the loser back whole (1213,
// or 1467 as it reports it here), so sending it again is safe.
int insertarConReintento(Conexion& db, const QString& sql) {
    for (int intento = 1;; ++intento) {
        try {
            return db.ejecutar(sql);
        } catch (const DbError& e) {
            if (faultOf(e) != ServerFault::RolledBack || intento == 3)
                throw;
        }
    }
}

// A row whose write was cut off, or ran into the read timeout, read back on
// a connection of its own with short timeouts (the write is never sent
// again) until it shows the write (`hecho`). A cluster's new writer or a
// restarted server may take a few seconds to answer, and a statement cut off
// on its way may still be committing: the row is asked again until
// kRelectura (no answer; kRelecturaVacia after a write that already waited
// out the read timeout) or kRelecturaVacia (not written yet) after the cut.
// A row still without the write is no failure: the write may land yet (a
// frozen server, a held link), so the operator is told it is not known, and
// that scanning again is safe (the entry and the exit are written only once).
constexpr int kRelectura = 12;
constexpr int kRelecturaVacia = 5;
constexpr int kPlazoRelectura = 3; // seconds each read-back may take

// A write whose outcome the station could not see: its text says so.
class EscrituraIncierta : public DbError {
public:
    EscrituraIncierta(const QString& queNoSeSabe, const DbError& corte)
        : DbError(queNoSeSabe + QStringLiteral(" (") + textoError(corte) +
                      QStringLiteral("). Pase la tarjeta de nuevo: no se registrará dos veces."),
                  corte.code(), true) {}
};

RecordSet releer(Conexion& db, const QString& sql, bool (*hecho)(RecordSet&), const DbError& corte,
                 const QElapsedTimer& envio, const QString& queNoSeSabe) {
    const int sinRespuesta =
        envio.elapsed() >= (Conexion::kReadTimeout - 1) * 1000 ? kRelecturaVacia : kRelectura;
    Conexion nueva(db.dsn(), kPlazoRelectura);
    QElapsedTimer desdeCorte;
    desdeCorte.start();
    for (;; QThread::msleep(500)) {
        RecordSet fila;
        try {
            fila = nueva.consulta(sql);
        } catch (const DbError&) {
            if (desdeCorte.elapsed() >= sinRespuesta * 1000)
                throw EscrituraIncierta(queNoSeSabe, corte);
            continue;
        }
        if (!fila.eof() && hecho(fila))
            return fila;
        if (desdeCorte.elapsed() >= kRelecturaVacia * 1000)
            throw EscrituraIncierta(queNoSeSabe, corte);
    }
}

// Not the system's error: the line says what is not known, and what to do.
void avisarIncierta(Station& st, const QString& aviso) {
    st.prompts.beep();
    st.prompts.msgbox(aviso, kSoloOk);
    st.history.agregar_historia(aviso);
    st.input.vaciar();
    st.input.enfocar();
}

QString horaSalidaDe(RecordSet& fila) {
    return horaDe(fila.value(QStringLiteral("hora_salida")));
}

// The early exit, never over an exit already recorded (another station's
// re-scan, or this one's own update delivered late): the line tells the exit
// the row holds.
void Escaneo::salir(qint64 segundos, const QString& asistenciaId) const {
    const QString sql = actualizarSalida(st.db, asistenciaId, fecha, hora, segundos);
    QElapsedTimer envio;
    envio.start();
    QString registrada = hora;
    try {
        if (st.db.ejecutar(sql) == 0) {
            RecordSet fila = st.db.consulta(consultaDeFila(st.db, asistenciaId));
            registrada = fila.eof() ? QString() : horaSalidaDe(fila);
        }
    } catch (const DbError& e) {
        if (!e.linkLost()) {
            st.prompts.msgbox(textoError(e, registroDe()), kSoloOk);
            throw DbError(QStringLiteral("no se registró la salida"));
        }
        // Cut off on its way: it may have been committed.
        RecordSet fila = releer(
            st.db, consultaDeFila(st.db, asistenciaId),
            [](RecordSet& f) { return !horaSalidaDe(f).isEmpty(); }, e, envio,
            QStringLiteral("No se sabe si quedó registrada la salida del usuario ") + usuario);
        registrada = horaSalidaDe(fila);
    }
    if (registrada == hora)
        st.history.agregar_historia(QStringLiteral("Salida del usuario ") + usuario +
                                    QStringLiteral(" a las ") + hora);
    else if (!registrada.isEmpty())
        st.history.agregar_historia(QStringLiteral("EL USUARIO ") + usuario +
                                    QStringLiteral(" YA REGISTRO SU SALIDA A LAS ") + registrada);
    else
        throw DbError(QStringLiteral("no se registró la salida"));
}

// A unique key on the person and day (a cluster has one) refusing the entry:
// the day has its entry already.
bool esEntradaRepetida(const DbError& e) {
    return faultOf(e) == ServerFault::DuplicateKey;
}

// The day's entry under the person's lock: its rows (-1: none written, the
// box said why), and, when it wrote none, the day's row read back.
int insertar(const Escaneo& scan, const QString& sql, NamedLock& guarda, Station& bajoCandado,
             RecordSet& hoy) {
    QElapsedTimer envio;
    envio.start();
    int grabados = -1;
    try {
        grabados = insertarConReintento(scan.st.db, sql);
    } catch (const DbError& e) {
        if (esEntradaRepetida(e)) {
            // Another key than the day's (an id the table does not number) is
            // the refusal it is.
            hoy = scan.diaSoltando(guarda, nullptr);
            if (hoy.eof())
                bajoCandado.prompts.msgbox(textoError(e), kSoloOk);
            return hoy.eof() ? -1 : 0;
        }
        if (!e.linkLost()) {
            bajoCandado.prompts.msgbox(textoError(e, scan.registroDe()), kSoloOk);
            return -1;
        }
        // Cut off on its way: it may have been committed.
        hoy = releer(
            scan.st.db, scan.consultaDelDia(), [](RecordSet&) { return true; }, e, envio,
            QStringLiteral("No se sabe si quedó registrado el ingreso del usuario ") +
                scan.usuario);
        return horaDe(hoy.value(QStringLiteral("hora_entrada"))) == scan.hora;
    }
    // The day had its entry (another station's, perhaps just now): a re-scan.
    if (grabados == 0)
        hoy = scan.diaSoltando(guarda, &bajoCandado);
    return grabados;
}

} // namespace

namespace {

// A failure as its boxes will tell it, shown now or by the layer above.
FalloDeMarca falloDe(Station& st, const Error& e, bool sinPersona) {
    FalloDeMarca f;
    const auto* db = dynamic_cast<const DbError*>(&e);
    f.texto = textoError(e);
    f.enlacePerdido = (db && db->linkLost()) || !st.db.abierta();
    f.incierta = dynamic_cast<const EscrituraIncierta*>(&e) != nullptr;
    if (f.incierta)
        f.aviso = e.text();
    else if (db && sinPersona)
        f.consulta = textoError(*db);
    return f;
}

// The scan's one error path: a refused schema, a failure handed back (a kept
// scan's, or a lost link's the layer above may keep), a write whose outcome
// is unknown, or the handler's trap (after the person query's box when that
// query lost the link).
OperationScope::Camino caminoDelReloj(Station& st, Marcada& r, bool devolverTodo,
                                      bool devolverSinEnlace, const bool& sinPersona) {
    return [&st, &r, devolverTodo, devolverSinEnlace, &sinPersona](const Error& e) {
        if (const auto* esquema = dynamic_cast<const SchemaError*>(&e))
            return marcaRechazada(st, *esquema);
        FalloDeMarca f = falloDe(st, e, sinPersona);
        if (devolverTodo || (devolverSinEnlace && f.enlacePerdido))
            r.fallo = std::move(f);
        else
            fallaDeMarca(st, f);
    };
}

// A farm table the clock cannot write soundly stops the scan before it
// starts; a server that cannot be asked is the person query's failure.
void revisarEsquema(Station& st, bool& sinPersona) {
    try {
        if (const QString no = st.db.esquema().refusal(SchemaFinding::Clock); !no.isEmpty())
            throw SchemaError(no);
    } catch (const DbError& e) {
        sinPersona = e.linkLost();
        throw;
    }
}

// The person row, and whether this scan holds the person's lock.
struct Buscada {
    RecordSet persona;
    bool conCandado = false;
};

// The person's lock is asked for by the person query itself, for the row it
// finds (none for an unknown card): one round trip less per card. Should the
// lock fail, the person is looked up alone and the scan goes on without it,
// recording no entry. A lost link is the scan's one failure.
Buscada buscarPersona(Station& st, const QString& cedula, bool& sinPersona) {
    Buscada b;
    try {
        b.persona = st.db.consulta(consultaDePersona(st.db, cedula));
        // A lock that failed (an interrupted wait: an error, or NULL) is a
        // lock not had, as after the wait ran out.
        b.conCandado = !b.persona.eof() &&
                       b.persona.text(QStringLiteral("candado_velmar")) == QLatin1String("1");
        return b;
    } catch (const DbError& e) {
        // Its box comes with the error path's, unless the scan is kept.
        sinPersona = e.linkLost();
        if (sinPersona)
            throw;
        // A node out of its cluster's primary component refuses GET_LOCK as a
        // lock wait timeout no other station caused: the database is not
        // accepting work.
        if (faultOf(e) == ServerFault::LockWaitTimeout ||
            faultOf(e) == ServerFault::NotAcceptingWork)
            throw DbError(QStringLiteral("WSREP has not yet prepared node for application use"),
                          QStringLiteral("1047"));
    }
    // It may have failed past its lock (a value it could not read).
    try {
        st.db.consulta(soltarCandadoDePersona(st.db, cedula));
    } catch (const Error&) {
    }
    b.persona = abrirPersona(st, consultaDePersonaSinCandado(st.db, cedula));
    return b;
}

// What the database holds for the scan's day: the entry inserted under the
// person's lock, or the day's row.
struct Dia {
    RecordSet hoy;
    bool ingreso = false;
    int grabados = -1; // the insert's rows; -1: it did not run
};

// Under the lock the entry goes first: the insert looks the day up itself (it
// writes only into an empty day), so an entry is the person query, the insert
// and the release. A key the column refuses is refused only for a day without
// its entry. Boxes raised under the lock are shown once it is released.
Dia registrarDia(Station& st, const Escaneo& scan, NamedLock& guarda, bool conCandado) {
    Dia d;
    CajasDiferidas cajas(st.prompts);
    {
        Station bajoCandado = st.conCajas(cajas);
        QString sqlIngreso;
        std::optional<SchemaError> rechazo;
        if (conCandado) {
            try {
                sqlIngreso = scan.insertarIngreso();
            } catch (const SchemaError& e) {
                rechazo = e;
            }
        }
        if (!conCandado || rechazo) {
            d.hoy = abrir_consulta(bajoCandado, scan.consultaDelDia());
            d.ingreso = d.hoy.abierto() && d.hoy.eof();
            if (d.ingreso && rechazo)
                throw *rechazo;
        } else {
            d.ingreso = true;
            d.grabados = insertar(scan, sqlIngreso, guarda, bajoCandado, d.hoy);
        }
        guarda.release();
    }
    cajas.mostrarPendientes();
    return d;
}

// The scan's line, as the day's row decides it.
void decirDia(Station& st, const Escaneo& scan, Dia& d, bool conCandado,
              const HoraDeMarca* guardada) {
    if (d.ingreso && !conCandado && guardada) {
        // A kept scan waits in the journal until the other station is done.
        throw DbError(QStringLiteral("otra estación está registrando a ") + scan.usuario);
    } else if (d.ingreso && !conCandado) {
        const QString aviso = QStringLiteral("El usuario ") + scan.usuario +
                              QStringLiteral(" se está registrando en otra estación. "
                                             "Pase la tarjeta de nuevo.");
        st.prompts.msgbox(aviso, kSoloOk);
        st.history.agregar_historia(aviso);
    } else if (d.ingreso && d.grabados < 0) {
        // An entry the database refused is not reported as recorded: its box
        // has been shown, and the error path follows.
        throw DbError(QStringLiteral("no se registró el ingreso"));
    } else if (d.ingreso && d.grabados > 0) {
        st.history.agregar_historia(QStringLiteral("Ingreso del usuario ") + scan.usuario +
                                    QStringLiteral(" a las ") + scan.hora);
    } else {
        scan.conIngreso(d.hoy); // a failed attendance query: its missing set throws
    }
}

// The Enter path: the person, the server's clock, the day, the line.
void marcar(Station& st, const QString& texto, const HoraDeMarca* guardada, Marcada& r,
            bool& sinPersona) {
    st.report.hide();
    revisarEsquema(st, sinPersona);
    const QString cedula = limpiarCedula(texto);
    Buscada b = buscarPersona(st, cedula, sinPersona);
    // Held from here to the end of the look-up and insert, or of any failure
    // on the way, under the name the server gave it.
    NamedLock guarda(st.db,
                     b.conCandado
                         ? QLatin1Char('\'') +
                               st.db.esc(b.persona.text(QStringLiteral("nombre_candado"))) +
                               QLatin1Char('\'')
                         : QString(),
                     b.conCandado);
    if (b.persona.eof()) {
        st.prompts.msgbox(QStringLiteral("No se encontró el usuario"), kSoloOk);
        st.history.agregar_historia(QStringLiteral("No se encontró la cédula ") + cedula);
    } else {
        Escaneo scan{st,
                     b.persona.text(QStringLiteral("personal_id")),
                     b.persona.text(QStringLiteral("nombres")) + QLatin1Char(' ') +
                         b.persona.text(QStringLiteral("apellidos")),
                     b.persona.text(QStringLiteral("fecha")),
                     b.persona.text(QStringLiteral("hora")),
                     &r.pregunto};
        // Nothing recorded on a server clock that disagrees with itself.
        if (!guardada && !horaAcorde(st, scan.fecha, scan.hora, scan.usuario))
            return;
        r.fecha = scan.fecha, r.hora = scan.hora;
        r.leida.start();
        r.pared = QDateTime::currentMSecsSinceEpoch();
        if (guardada)
            scan.fecha = guardada->fecha, scan.hora = guardada->hora;
        Dia d = registrarDia(st, scan, guarda, b.conCandado);
        decirDia(st, scan, d, b.conCandado, guardada);
    }
    st.input.vaciar();
    st.input.enfocar();
}

} // namespace

namespace {

// A kept scan of a batch on its way: its person, and what the server held
// for its day before and after the batch's insert.
struct EnTanda {
    const MarcaGuardada* m = nullptr;
    // Desconocida: no person has the card; Tomada: found and locked here;
    // Sola: to be sent alone through asistencia.
    enum Estado { Desconocida, Tomada, Sola } estado = Desconocida;
    QString personalId, usuario;
    bool conDia = false;  // the day had its row before the insert
    bool intento = false; // the insert carried its entry
    bool releida = false; // the read-back found the day's row
    QVariant entrada, salida;
};

// The batch's locks, let go by the statement that reads the days back or,
// after a failure, by one of their own (a lost link lets them go itself).
struct CandadosDeTanda {
    Conexion& db;
    QStringList nombres; // as the server gave them, quoted
    bool sueltos = false;

    QString soltarSql() const { return soltarCandados(nombres); }
    ~CandadosDeTanda() {
        if (sueltos || nombres.isEmpty() || !db.abierta())
            return;
        try {
            db.consulta(QStringLiteral("select ") + soltarSql());
        } catch (const Error&) {
        }
    }
};

// A person's key as the day's rows match it: 7 and '0007', emp001 and EMP001
// are one person there, and one insert must not carry two entries of theirs.
QString claveDeTanda(const QString& personalId) {
    static const QRegularExpression entero(QStringLiteral("^[+-]?\\d+$"));
    const QString t = personalId.trimmed();
    bool ok = entero.match(t).hasMatch();
    const qlonglong n = ok ? t.toLongLong(&ok) : 0;
    return ok ? QString::number(n) : t.toCaseFolded();
}

// The people of the batch looked up and locked in one statement. A lock not
// had at once (another station is scanning the person) leaves the scan to be
// sent alone, waiting for it as a scan does.
void buscarTanda(Conexion& db, QVector<EnTanda>& filas, QStringList& candados) {
    QStringList cedulas;
    for (const EnTanda& f : filas)
        cedulas << limpiarCedula(f.m->cedula);
    RecordSet r = db.consulta(consultaDeTanda(db, cedulas));
    QSet<QString> claves;
    for (; !r.eof(); r.moveNext()) {
        EnTanda& f = filas[r.text(QStringLiteral("n")).toInt()];
        const bool tomado = r.text(QStringLiteral("candado_velmar")) == QLatin1String("1");
        if (tomado)
            candados << QLatin1Char('\'') + db.esc(r.text(QStringLiteral("nombre_candado"))) +
                            QLatin1Char('\'');
        f.personalId = r.text(QStringLiteral("personal_id"));
        f.usuario = r.text(QStringLiteral("nombres")) + QLatin1Char(' ') +
                    r.text(QStringLiteral("apellidos"));
        const bool otraVez = claves.contains(claveDeTanda(f.personalId));
        claves.insert(claveDeTanda(f.personalId));
        f.estado = tomado && !otraVez ? EnTanda::Tomada : EnTanda::Sola;
    }
}

// The locked people's days in one statement; with `soltar`, read back after
// the insert and their locks let go in the same statement.
void leerDias(Conexion& db, QVector<EnTanda>& filas, CandadosDeTanda* soltar) {
    QList<DiaDeTanda> tomados;
    for (int i = 0; i < filas.size(); ++i)
        if (filas[i].estado == EnTanda::Tomada)
            tomados.append({i, filas[i].personalId, filas[i].m->fecha});
    const bool dias = !tomados.isEmpty();
    const QString sql = consultaDeDias(
        db, tomados, soltar && !soltar->nombres.isEmpty() ? soltar->soltarSql() : QString());
    if (sql.isNull())
        return;
    RecordSet r = db.consulta(sql);
    if (soltar)
        soltar->sueltos = true;
    for (; dias && !r.eof(); r.moveNext()) {
        const int n = r.text(QStringLiteral("n")).toInt();
        if (n < 0)
            continue;
        EnTanda& f = filas[n];
        (soltar ? f.releida : f.conDia) = true;
        f.entrada = r.value(QStringLiteral("hora_entrada"));
        f.salida = r.value(QStringLiteral("hora_salida"));
    }
}

// The entries of the empty days in one statement that writes each only into
// a day still empty. A key the column refuses is the scan's own refusal.
void insertarTanda(Conexion& db, QVector<EnTanda>& filas) {
    QStringList partes;
    for (EnTanda& f : filas) {
        if (f.estado != EnTanda::Tomada || f.conDia)
            continue;
        try {
            partes << filaDeIngreso(db, f.personalId, f.m->fecha, f.m->hora);
            f.intento = true;
        } catch (const SchemaError&) {
            f.estado = EnTanda::Sola;
        }
    }
    if (!partes.isEmpty())
        insertarConReintento(db, insertarIngresos(partes));
}

// The scan's line as the clock says it; not `hecha` when it is to be sent
// alone (its question is asked there, a row gone is looked up again).
ResueltaEnTanda decirTanda(const EnTanda& f) {
    if (f.estado == EnTanda::Desconocida)
        return {true, QStringLiteral("No se encontró la cédula ") + limpiarCedula(f.m->cedula)};
    if (f.estado != EnTanda::Tomada || !f.releida)
        return {};
    const QString entrada = horaDe(f.entrada), salida = horaDe(f.salida);
    if (f.intento && entrada == f.m->hora)
        return {true, QStringLiteral("Ingreso del usuario ") + f.usuario +
                          QStringLiteral(" a las ") + f.m->hora};
    double minutos = 0;
    try {
        minutos = double(segundosEntre(entrada, f.m->hora)) / 60.0;
    } catch (const Error&) {
        return {};
    }
    const Reescaneo r = reescaneo(minutos, salida);
    if (r == Reescaneo::SalidaTemprana)
        return {};
    return {true, lineaDeReescaneo(r, f.usuario, entrada, salida)};
}

void enviarTanda(Conexion& db, QVector<EnTanda>& filas, CandadosDeTanda& candados) {
    if (!db.esquema().refusal(SchemaFinding::Clock).isEmpty()) {
        for (EnTanda& f : filas)
            f.estado = EnTanda::Sola; // each scan tells the refusal as it does
        return;
    }
    buscarTanda(db, filas, candados.nombres);
    leerDias(db, filas, nullptr);
    insertarTanda(db, filas);
    leerDias(db, filas, &candados);
}

} // namespace

QList<ResueltaEnTanda> asistenciaEnTanda(Station& st, const QList<MarcaGuardada>& marcas) {
    QVector<EnTanda> filas(marcas.size());
    for (int i = 0; i < marcas.size(); ++i)
        filas[i].m = &marcas[i];
    {
        CandadosDeTanda candados{st.db, {}};
        try {
            enviarTanda(st.db, filas, candados);
        } catch (const Error& e) {
            const auto* db = dynamic_cast<const DbError*>(&e);
            if ((db && db->linkLost()) || !st.db.abierta())
                throw;
            // Sent alone, each as a scan is: the insert writes no day twice.
            for (EnTanda& f : filas)
                f.estado = EnTanda::Sola;
        }
    }
    QList<ResueltaEnTanda> hechas;
    for (const EnTanda& f : filas)
        hechas.append(decirTanda(f));
    return hechas;
}

void fallaDeMarca(Station& st, const FalloDeMarca& f) {
    if (f.incierta)
        return avisarIncierta(st, f.aviso);
    if (f.consulta)
        st.prompts.msgbox(QStringLiteral("Consulta Sql ") + *f.consulta, kSoloOk);
    errorDelSistema(st);
}

Marcada asistencia(Station& st, const QString& texto, const HoraDeMarca* guardada,
                   bool devolverSinEnlace) {
    Marcada r;
    bool sinPersona = false; // the person query lost the link
    OperationScope op(st,
                      caminoDelReloj(st, r, guardada != nullptr, devolverSinEnlace, sinPersona));
    // The connection is made sure of by the person query itself: a server
    // that cannot be reached is that query's failure, with its box.
    op.correr([&] { marcar(st, texto, guardada, r, sinPersona); }, false);
    return r;
}

void tecla_asistencia(Station& st) {
    try {
        st.history.recortar_historia();
        st.input.enfocar();
    } catch (const std::exception&) {
        errorDelSistema(st);
    }
}

} // namespace velmar
