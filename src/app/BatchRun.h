// The headless conversion: no window, no display needed.
#pragma once

#include <string>

#include "convert/ConvertSettings.h"

namespace tidewell {

// Why the to-do list named `name` does not open for reading; empty when it
// does (it is closed again at once).
std::string TodoListOpenError(const std::string& name);
bool TodoListOpens(const ConvertSettings& s);

// Converts every log of the list; returns the process exit status.
int RunBatch(const ConvertSettings& s, const void* caller);

}  // namespace tidewell
