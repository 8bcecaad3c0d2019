// What to say when the dialog is needed and no window can be shown.
#pragma once

#include <string>

#include "convert/ConvertSettings.h"
#include "platform/Io.h"

namespace tidewell {

// Whether a window can be shown at all. Decided from the environment alone so
// that nothing of the window system is touched when the answer is no.
bool DisplayConfigured();

// The one line printed instead of the dialog; `why` says what is missing.
std::string NoDisplayLine(Io& io, const ConvertSettings& s, const std::string& why);

}  // namespace tidewell
