// The dialogs live in a module of their own, loaded only when a window is to
// be shown: a batch run never maps the window-system libraries.
#pragma once

namespace tidewell {

// Runs the interactive program; returns the exit status.
int RunDialogModule(int* argc, char** argv);

}  // namespace tidewell

// The module's entry point: assembles the start settings again, opens the
// display and runs the main dialog modally.
extern "C" int TidewellDialogMain(int* argc, char** argv);
