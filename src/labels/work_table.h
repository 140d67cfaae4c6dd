#pragma once
// tmp_caja, the work table that turns a box's rows into the label's grid.

#include "db/conexion.h"
#include "labels/box_data.h"

namespace velmar {

// Fills tmp_caja with the box's grouped rows and reads back the grid's column
// and row headings, entries and totals into `data`. Throws DbError, also when
// another station keeps the table too long.
void readGridThroughWorkTable(Station& st, RecordSet& groups, const BoxQueries& queries,
                              BoxData& data);

} // namespace velmar
