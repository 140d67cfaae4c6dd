#pragma once
// Rose farms in the test database: a small packing room for the robustness
// tests, and the boxes the expected labels in tests/data/labels are printed
// from (kind_packing_box.epl); and a station printing to a real destination.

#include "labels/box_labels.h"
#include "labels/label_printer.h"
#include "test_support.h"

namespace velmar::test {

// Varieties, customers, five packings (851 to 855) of two boxes each (3 and 4)
// and a few bunches still available, into the empty schema that `db` reaches.
void cargarFinca(Conexion& db);

// The labels' rose farm, into the test database.
void cargarFincaEtiquetas();

// A station whose label printer is the one VELMAR_IMPRESORA names when it is
// made.
struct Puesto {
    explicit Puesto(const QString& dsn = Conexion::kDsn)
        : t(dsn) {}
    TestStation t;
    std::unique_ptr<LabelPrinter> impresora = impresoraPorDefecto();
    Station st{t.db, t.history, t.report, t.busy, t.prompts, *impresora, t.input, {}, {}, {}};
};

} // namespace velmar::test
