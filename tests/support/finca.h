#pragma once
// A small packing room for the fault, load and hostile-input tests: varieties
// and colours, customers, five packings (851 to 855) of two boxes each (3 and
// 4) and a few bunches still available; and a station printing to a real port.

#include "labels/box_labels.h"
#include "labels/label_printer.h"
#include "test_support.h"

namespace velmar::test {

// Loads the packing room into the empty schema that `db` reaches.
void cargarFinca(Conexion& db);

// The labels' rose farm, in the test database: the boxes the expected labels
// in tests/data/labels are printed from (kind_packing_box.epl).
void cargarFincaEtiquetas();

// Packings and boxes that hold bunches.
inline const QStringList kPackingsFinca = {"851", "852", "853", "854", "855"};
inline const QStringList kCajasFinca = {"3", "4"};

// A label operation; a fourth argument, the waybill the farm's scripts still
// pass, is dropped as velmar-cli drops it.
struct Etiqueta {
    void (*imprimir)(Station&, const QString&, const QString&);
    void operator()(Station& st, const QString& packing, const QString& caja,
                    const QString& = {}) const {
        imprimir(st, packing, caja);
    }
};
inline const Etiqueta kEtiquetas[] = {
    {imprimir_detalle_peq}, {imprimir_detalle}, {imprimir_detalle_bqt}};

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
