#pragma once
// A small packing room for the fault, load and hostile-input tests: varieties
// and colours, customers, five packings (851 to 855) of two boxes each (3 and
// 4) and a few bunches still available.

#include "startup/conexion.h"

#include <QString>
#include <QStringList>

namespace velmar::test {

// Loads the packing room into the empty schema that `db` reaches.
void cargarFinca(Conexion& db);

// Packings and boxes that hold bunches.
inline const QStringList kPackingsFinca = {"851", "852", "853", "854", "855"};
inline const QStringList kCajasFinca = {"3", "4"};
// Bunches not yet packed (state empty), for the write-off.
inline const QStringList kDisponiblesFinca = {"D-9001", "D-9002", "D-9003"};

} // namespace velmar::test
