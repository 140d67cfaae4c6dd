#pragma once
// Everything a box-detail label shows of one box, gathered from the database
// in one pass before anything is laid out.

#include "labels/label_content.h"
#include "labels/label_layouts.h"
#include "station/station.h"

#include <optional>

namespace velmar {

// Runs the label's queries in their order; nothing when the box has no
// bunches. Sets st.sesion.guia_actual as the form always has. Throws DbError.
std::optional<BoxData> gatherBoxData(Station& st, const QString& packing, const QString& box,
                                     const BoxQueries& queries);

} // namespace velmar
