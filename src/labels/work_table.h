#pragma once
// tmp_caja, the work table that turns a box's rows into the label's grid.

#include "db/conexion.h"
#include "errors/errors.h"
#include "labels/label_content.h"
#include "labels/label_layouts.h"
#include "station/station.h"

namespace velmar {

// Another station kept tmp_caja past the wait: nothing is wrong with the link.
class WorkTableBusy : public DbError {
public:
    WorkTableBusy()
        : DbError(QStringLiteral("tmp_caja está ocupada por otra estación")) {}
};

// tmp_caja held other rows than this label wrote when it was read back: the
// label is not printed.
class WorkTableMixed : public DbError {
public:
    WorkTableMixed()
        : DbError(QStringLiteral("tmp_caja tiene filas de otra etiqueta")) {}
};

// Fills tmp_caja with the box's grouped rows and reads back the grid's column
// and row headings, entries and totals into `data`. Throws DbError, also when
// another station keeps the table too long.
void readGridThroughWorkTable(Station& st, RecordSet& groups, const BoxQueries& queries,
                              BoxData& data);

} // namespace velmar
