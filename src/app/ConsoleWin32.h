// The console policy of the Windows program, which is built as a windowed
// program (no console window of its own when started from Explorer).
#pragma once

namespace tidewell {

// Started from a console (cmd, PowerShell), the batch run writes its trace
// and messages there: standard output and error that are not already
// redirected to a file or pipe are attached to the parent's console.
void UseParentConsole();

}  // namespace tidewell
