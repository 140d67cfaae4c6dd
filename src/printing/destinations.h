#pragma once
// The printing units, one file each, that the registry (printer_registry.cpp)
// chooses among by scheme. Each takes the destination's text after its scheme.

#include "printing/label_printer.h"

namespace velmar {

std::unique_ptr<LabelPrinter> filePrinter(const QString& path);
// Null when HOST[:PORT] is no valid address.
std::unique_ptr<LabelPrinter> socketPrinter(const QString& hostAndPort);
// The system's default printer when `queue` is empty.
std::unique_ptr<LabelPrinter> cupsPrinter(const QString& queue);

} // namespace velmar
