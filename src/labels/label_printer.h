#pragma once
// Where the station's labels go.

#include "station/context.h"

#include <memory>

namespace velmar {

// The label printer named by VELMAR_IMPRESORA ("socket://HOST[:PORT]",
// "file:PATH", "cups:QUEUE"), or the system's default CUPS printer. Each label
// goes as one raw job; an unreachable destination throws PrinterError within
// a few seconds.
std::unique_ptr<LabelPrinter> impresoraPorDefecto();

} // namespace velmar
