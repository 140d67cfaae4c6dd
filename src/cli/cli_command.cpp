#include "cli/cli_command.h"

#include "cli/png_preview.h"
#include "clock/attendance_clock.h"
#include "clock/day_key_check.h"
#include "db/conexion.h"
#include "errors/errors.h"
#include "labels/box_labels.h"
#include "operations/catalogo.h"
#include "operations/front_end_station.h"
#include "operations/revisar_base.h"
#include "station/velmo.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace velmar {

namespace {

// An argument outside a choice parameter's values.
bool fueraDeOpciones(const Operacion& op, const QStringList& args) {
    for (qsizetype i = 0; i < args.size() && i < op.parametros.size(); ++i) {
        const QVector<Opcion>& opciones = op.parametros[i].opciones;
        if (!opciones.isEmpty() &&
            std::none_of(opciones.begin(), opciones.end(),
                         [&](const Opcion& o) { return o.valor == args[i]; }))
            return true;
    }
    return false;
}

// The farm's scripts still pass the label operations the air waybill they
// once took as a third argument: accepted, and dropped.
bool tomaGuiaDeMas(const QString& nombre) {
    return layoutOfOperation(nombre) != nullptr;
}

// Whether `args` fit the operation; fills the optional ones left out with
// null texts.
bool llamadaValida(const QString& nombre, QStringList& args) {
    const Operacion* op = buscarOperacion(nombre);
    if (!op)
        return false;
    if (tomaGuiaDeMas(nombre) && args.size() == op->parametros.size() + 1)
        args.removeLast();
    qsizetype requeridos = 0;
    for (const Parametro& p : op->parametros)
        requeridos += p.opcional ? 0 : 1;
    if (args.size() < requeridos || args.size() > op->parametros.size() ||
        fueraDeOpciones(*op, args))
        return false;
    while (args.size() < op->parametros.size())
        args.append(QString());
    return true;
}

// The start-up box of a first connection that failed, held back: a server
// away only for that attempt (a lossy link, a failover) is no failure of the
// operation that then reaches it, and a script reading stderr must not take
// it for one. Shown before the operation's first box, or at its end, only
// while the server has not answered since.
class CajaDeArranque : public Prompts {
public:
    CajaDeArranque(Prompts& real, const Conexion& db)
        : real_(real)
        , db_(db) {}
    void arrancado() { arrancando_ = false; }
    void soltar() {
        if (retenida_ && !db_.contesto())
            real_.msgbox(retenida_->texto, retenida_->estilo, retenida_->titulo);
        retenida_.reset();
    }
    void beep() override {
        soltar();
        real_.beep();
    }

protected:
    int mostrar(const QString& texto, int estilo, const QString& titulo) override {
        if (arrancando_) {
            retenida_ = Caja{texto, estilo, titulo};
            return kOk;
        }
        soltar();
        return real_.msgbox(texto, estilo, titulo);
    }

private:
    struct Caja {
        QString texto;
        int estilo;
        QString titulo;
    };
    Prompts& real_;
    const Conexion& db_;
    bool arrancando_ = true;
    std::optional<Caja> retenida_;
};

} // namespace

QString usoCli() {
    QString u = QStringLiteral("uso: velmar-cli OPERACION [ARGUMENTO...]\n\noperaciones:\n");
    for (const Operacion& op : catalogo()) {
        u += QStringLiteral("  ") + op.nombre;
        for (const Parametro& p : op.parametros)
            u += p.opcional ? QStringLiteral(" [") + p.nombre.toUpper() + QLatin1Char(']')
                            : QLatin1Char(' ') + p.nombre.toUpper();
        u += QLatin1Char('\n');
        for (const Parametro& p : op.parametros) {
            QStringList valores;
            for (const Opcion& o : p.opciones)
                valores << o.valor;
            if (!valores.isEmpty())
                u += QStringLiteral("      ") + p.nombre.toUpper() + QStringLiteral(": ") +
                     valores.join(QStringLiteral(" | ")) + QLatin1Char('\n');
        }
    }
    return u;
}

int ejecutarCli(QStringList args, CliStreams& io) {
    const QString nombre = args.isEmpty() ? QString() : args.takeFirst();
    if (nombre.isEmpty() || !llamadaValida(nombre, args)) {
        io.err.write(usoCli().toUtf8());
        return 2;
    }

    CliPrompts salida(io);
    Conexion conexion;
    CajaDeArranque prompts(salida, conexion);
    const Operacion* op = buscarOperacion(nombre);
    const bool conectada = !op->sinServidor && conectar(conexion, prompts);
    prompts.arrancado();
    if (conectada)
        revisarClaveDelDia(conexion, prompts);

    CliHistory history;
    ReportBox report;
    Busy busy;
    CardInput input;
    std::unique_ptr<LabelPrinter> printer = defaultLabelPrinter();
    PngPreview vista;
    FrontEndStation frontEnd({conexion, history, report, busy, prompts, *printer, input, &vista});
    Station& st = frontEnd.station;

    // the farm's scripts read whether the schema serves from the exit code
    if (nombre == QLatin1String("revisar_base")) {
        const Revision r = revisar_base(st);
        prompts.soltar();
        io.out.write(report.texto().toUtf8());
        return int(r);
    }
    try {
        op->ejecutar(st, args, frontEnd.guardadas.get());
    } catch (const Error& e) {
        // an operation without a handler of its own: report, never crash
        prompts.msgbox(textoError(e), kExclamacion);
    }
    prompts.soltar();
    io.out.write(history.agregado().toUtf8());
    if (report.escrito())
        io.out.write(report.texto().toUtf8());
    return 0;
}

} // namespace velmar
