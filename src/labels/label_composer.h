#pragma once
// Lays a box's data out on a label: layout + data -> EPL2 document.

#include "labels/box_data.h"
#include "labels/epl2_document.h"
#include "labels/label_layouts.h"

namespace velmar {

Epl2Document composeLabel(const LabelLayout& layout, const BoxData& data);

} // namespace velmar
