// velmar-cli OPERATION [ARG...]: runs one operation of the station form without
// a window, on the data source the station uses.
//
// stdout: the text the operation appended to the history, then the report box's
// content if it wrote it. stderr: one line per message box
// (style TAB title TAB text, CR and LF as \r and \n) and "beep". A Yes/No
// question reads one line of stdin ("s", "si" or "sí", any case, is Yes).
// Exit 0 when the operation ran, 2 for a wrong call. vista_previa draws its
// label to the PNG file it is given.

#include "cli/cli_station.h"
#include "db/errors.h"
#include "labels/label_printer.h"
#include "labels/render/png_preview.h"
#include "login/login.h"
#include "operations/catalogo.h"
#include "station/velmo.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <memory>

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
        for (const Parametro& p : op.parametros) {
            QStringList valores;
            for (const Opcion& o : p.opciones)
                valores << o.valor;
            if (!valores.isEmpty())
                u += QStringLiteral("      ") + p.nombre.toUpper() + QStringLiteral(": ") +
                     valores.join(QStringLiteral(" | ")) + QLatin1Char('\n');
        }
    }
    u += QStringLiteral("  login LOGIN PASSWORD\n");
    return u;
}

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

QtMessageHandler qtPorDefecto = nullptr;

// Qt's warnings (no runtime folder, a font substituted) are no box: on
// stderr they would break the one-line-per-box contract.
void soloErroresDeQt(QtMsgType tipo, const QMessageLogContext& contexto, const QString& texto) {
    if ((tipo == QtCriticalMsg || tipo == QtFatalMsg) && qtPorDefecto)
        qtPorDefecto(tipo, contexto, texto);
}

} // namespace

int main(int argc, char** argv) {
    // Drawing a label's text needs QtGui's fonts, but no display: only the
    // preview pays for a platform plugin, the offscreen one.
    std::unique_ptr<QCoreApplication> aplicacion;
    if (argc > 1 && qstrcmp(argv[1], "vista_previa") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qtPorDefecto = qInstallMessageHandler(soloErroresDeQt);
        aplicacion = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        aplicacion = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication& app = *aplicacion;
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
        if (args.size() < requeridos || args.size() > op->parametros.size() ||
            fueraDeOpciones(*op, args))
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
    PngPreview vista;
    Station st{conexion, history, report, busy, prompts, *printer, input, {}, {}, {}, {}, &vista};

    if (esLogin) {
        comprobar_login(st, args[0], args[1]);
        escribir(st.permiso_usuario + QLatin1Char('\n'));
    } else {
        try {
            op->ejecutar(st, args);
        } catch (const Error& e) {
            // an operation without a handler of its own: report, never crash
            prompts.msgbox(textoError(e), kExclamacion);
        }
        escribir(history.agregado());
        if (report.escrito())
            escribir(report.texto());
    }
    std::fflush(stdout);
    return 0;
}
