#pragma once
// Small pieces shared by the packing operations.

#include "context/station.h"

#include <functional>

namespace velmar {

// Runs one action of an operation whose failures resume after the failing
// action. A velmar::Error ends that action only: the pointer goes back to the
// arrow and Frame1 reads "Historia de operaciones" (not repainted). Returns
// whether the action completed, so a loop can stop on a failing advance.
bool paso(Station& st, const std::function<void()>& accion);

// The leading number of a text (blanks before it skipped), 0 when the text
// does not begin with one: how the reports read counts and sums.
double valor_numerico(const QString& texto);

inline const QString kCrLf = QStringLiteral("\r\n");

} // namespace velmar
