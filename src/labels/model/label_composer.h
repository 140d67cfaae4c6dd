#pragma once
// Lays a box's data out on a label: layout + data -> EPL2 document.

#include "labels/model/epl2_document.h"
#include "labels/model/label_content.h"
#include "labels/model/label_layouts.h"

namespace velmar {

Epl2Document composeLabel(const LabelLayout& layout, const BoxData& data);

} // namespace velmar
