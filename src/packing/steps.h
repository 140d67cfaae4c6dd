#pragma once
// Small pieces shared by the packing operations.

#include "station/station.h"
#include "station/texts.h"

#include <functional>

namespace velmar {

// Runs one action of an operation whose failures resume after the failing
// action. A velmar::Error ends that action only: the pointer goes back to the
// arrow and Frame1 reads "Historia de operaciones" (not repainted). Returns
// whether the action completed, so a loop can stop on a failing advance.
bool paso(Station& st, const std::function<void()>& accion);

} // namespace velmar
