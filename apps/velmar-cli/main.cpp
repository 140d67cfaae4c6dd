// velmar-cli OPERATION [ARG...]: runs one operation of the station form without
// a window, on the data source the station uses.
//
// stdout: the text the operation appended to the history, then the report box's
// content if it wrote it. stderr: one line per message box
// (style TAB title TAB text, CR and LF as \r and \n) and "beep". A Yes/No
// question reads one line of stdin ("s" or "si" is Yes). Exit 0 when the
// operation ran, 2 for a wrong call.

#include "cli/cli_station.h"
#include "db/errors.h"
#include "labels/label_printer.h"
#include "login/login.h"
#include "operations/catalogo.h"
#include "station/velmo.h"

#include <QCoreApplication>
#include <cstdio>

using namespace velmar;

namespace {

QString uso() {
    QString u = QStringLiteral("uso: velmar-cli OPERACION [ARGUMENTO...]\n\noperaciones:\n");
    for (const Operacion& op : catalogo()) {
        u += QStringLiteral("  ") + op.nombre;
        for (const Parametro& p : op.parametros)
            u += p.opcional ? QStringLiteral(" [") + p.nombre.toUpper() + QLatin1Char(']')
                            : QLatin1Char(' ') + p.nombre.toUpper();
        u += QLatin1Char('\n');
    }
    u += QStringLiteral("  login LOGIN PASSWORD\n");
    return u;
}

// The farm's scripts still pass the label operations the air waybill they
// once took as a third argument: accepted, and dropped.
bool tomaGuiaDeMas(const QString& nombre) {
    return nombre == QLatin1String("imprimir_detalle_peq") ||
           nombre == QLatin1String("imprimir_detalle") ||
           nombre == QLatin1String("imprimir_detalle_bqt");
}

int malUso() {
    std::fputs(uso().toUtf8().constData(), stderr);
    return 2;
}

void escribir(const QString& t) {
    const QByteArray b = t.toUtf8();
    std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return malUso();
    const QString nombre = args.takeFirst();

    const Operacion* op = buscarOperacion(nombre);
    const bool esLogin = nombre == QLatin1String("login");
    if (!op && !esLogin)
        return malUso();
    if (esLogin && args.size() != 2)
        return malUso();
    if (op) {
        if (tomaGuiaDeMas(nombre) && args.size() == op->parametros.size() + 1)
            args.removeLast();
        qsizetype requeridos = 0;
        for (const Parametro& p : op->parametros)
            requeridos += p.opcional ? 0 : 1;
        if (args.size() < requeridos || args.size() > op->parametros.size())
            return malUso();
        while (args.size() < op->parametros.size())
            args.append(QString());
    }

    CliPrompts prompts;
    Conexion conexion;
    conectar(conexion, prompts);

    CliHistory history;
    ReportBox report;
    Busy busy;
    CardInput input;
    std::unique_ptr<LabelPrinter> printer = impresoraPorDefecto();
    Station st{conexion, history, report, busy, prompts, *printer, input, {}, {}, {}};

    if (esLogin) {
        comprobar_login(st, args[0], args[1]);
        escribir(st.permiso_usuario + QLatin1Char('\n'));
    } else {
        try {
            op->ejecutar(st, args);
        } catch (const Error& e) {
            // an operation without a handler of its own: report, never crash
            prompts.msgbox(texto_error(e), kExclamacion);
        }
        escribir(history.agregado());
        if (report.escrito())
            escribir(report.texto());
    }
    std::fflush(stdout);
    return 0;
}
