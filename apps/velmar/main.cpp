// Main: open conexion, then show velmar_form. A connection failure is reported
// in one box and the station starts all the same.

#include "clock/day_key_check.h"
#include "gui/velmar_form.h"
#include "gui/widget_context.h"
#include "operations/revisar_base.h"
#include "station/velmo.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmar"));
    // No display name: on X11 Qt would append it to every window's title.

    velmar::Conexion conexion;
    velmar::WidgetPrompts prompts;
    if (velmar::conectar(conexion, prompts)) {
        velmar::revisarClaveDelDia(conexion, prompts);
        velmar::avisarEsquema(conexion, prompts);
    }

    velmar::VelmarForm form(conexion, &prompts);
    prompts.setParent(&form);
    form.show();
    return app.exec();
}
