// The headless conversion: no window, no display needed.
#pragma once

#include "convert/ConvertSettings.h"

namespace tidewell {

// True when the to-do list opens for reading (it is closed again at once).
bool TodoListOpens(const ConvertSettings& s);

// Converts every log of the list; returns the process exit status.
int RunBatch(const ConvertSettings& s, const void* caller);

}  // namespace tidewell
