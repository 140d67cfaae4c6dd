#pragma once
// Lays a box's data out on a label: layout + data -> EPL2 document.

#include "epl2/epl2_document.h"
#include "labels/label_content.h"
#include "labels/label_layouts.h"

namespace velmar {

Epl2Document composeLabel(const LabelLayout& layout, const BoxData& data);

} // namespace velmar
