#pragma once
// The station's window offscreen over the test server, its boxes answered as
// modal boxes are (the event loop runs until they are).

#include "gui/velmar_form.h"
#include "test_support.h"

#include <QTest>

namespace velmar::test {

struct PromptsModales : RecordingPrompts {
    int mostrar(const QString& texto, int estilo, const QString& titulo) override {
        QCoreApplication::processEvents();
        return RecordingPrompts::mostrar(texto, estilo, titulo);
    }
};

struct Ventana {
    Ventana() {
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
    }
    TestStation t;
    PromptsModales prompts;
    VelmarForm form{t.db, &prompts, &t.printer};
};

} // namespace velmar::test
