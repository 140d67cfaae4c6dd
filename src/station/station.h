#pragma once
// What an operation of the station may touch, and nothing more: the services
// its front end gives it, and the session it carries from one operation to the
// next. The window gives widgets, velmar-cli its streams, the tests recordings.

#include "printing/label_printer.h"
#include "station/prompts.h"
#include "station/server_clock.h"
#include "station/views.h"

#include <QByteArray>
#include <QString>

namespace velmar {

class Conexion;
struct Station;

// A label as composed for one box, whether or not the printer took it.
struct EtiquetaCompuesta {
    QString packing;
    QString caja;
    QByteArray bytes;
};

// Where a label preview goes: the window shows it with a button to print it,
// velmar-cli draws it to `archivo` (the window has no use for that name).
class LabelPreview {
public:
    virtual ~LabelPreview() = default;
    virtual void mostrar(Station& st, const EtiquetaCompuesta& etiqueta,
                         const QString& archivo) = 0;
};

// The services a station uses.
struct StationServices {
    StationServices(Conexion& db, History& history, ReportBox& report, Busy& busy, Prompts& prompts,
                    LabelPrinter& printer, CardInput& input, LabelPreview* vista = nullptr)
        : db(db)
        , history(history)
        , report(report)
        , busy(busy)
        , prompts(prompts)
        , printer(printer)
        , input(input)
        , vista(vista) {}

    Conexion& db;
    History& history;
    ReportBox& report;
    Busy& busy;
    Prompts& prompts;
    LabelPrinter& printer;
    CardInput& input;
    // Null where no preview can be shown (a station without a front end).
    LabelPreview* vista;
};

// What a station carries from one operation to the next; its front end owns it.
struct StationSession {
    // velmo's module text: permission of the last administrator who logged in.
    QString permiso_usuario;
    // The form's text: air waybill of the packing last labelled.
    QString guia_actual;
    // The last label the printer took.
    QByteArray ultima_etiqueta;
    // The last label composed, sent or not: a reprint after a jam sends this
    // one, so the box on the table gets its own label and not the one before.
    EtiquetaCompuesta ultima_compuesta;
    // The server's clock the attendance clock trusts.
    ServerClock reloj;
};

struct Station : StationServices {
    Station(const StationServices& servicios, StationSession& sesion)
        : StationServices(servicios)
        , sesion(sesion) {}
    // The same services and session, its boxes shown through `otras`.
    Station conCajas(Prompts& otras) const {
        StationServices s = *this;
        return Station({s.db, s.history, s.report, s.busy, otras, s.printer, s.input, s.vista},
                       sesion);
    }

    StationSession& sesion;
};

} // namespace velmar
