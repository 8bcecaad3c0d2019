// The headless conversion: no window, no display needed.
#pragma once

#include <string>

#include "app/CommandLine.h"
#include "convert/ConvertSettings.h"
#include "convert/ProcessTodoList.h"
#include "platform/Io.h"

namespace tidewell {

// Why the to-do list named `name` does not open for reading; empty when it
// does (it is closed again at once).
std::string TodoListOpenError(Io& io, const std::string& name);
bool TodoListOpens(Io& io, const ConvertSettings& s);

// Converts every log of the list (with options.dryRun, only says what it
// would do); returns the process exit status.
int RunBatch(Io& io, const ConvertSettings& s, const Options& options = {});

// "tidewell: 3 converted, 1 missing, 0 skipped, 1 failed"; for a dry run
// "tidewell: dry run, nothing changed: 3 to convert, 1 missing, ...".
std::string SummaryLine(const ProcessOutcome& outcome, bool dryRun = false);

}  // namespace tidewell
