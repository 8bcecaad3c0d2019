// The reasons a log was not converted come from the conversion in English, as
// they go to standard error; the dialog shows them in its own language.
#pragma once

#include <QString>
#include <string>

namespace tidewell {

// The reason in Japanese where its wording is known (the names and system
// error texts inside it stay as they are); otherwise as it was given.
QString JapaneseReason(const std::string& reason);

}  // namespace tidewell
