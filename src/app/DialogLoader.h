// The dialogs live in a module of their own, loaded only when a window is to
// be shown: a batch run never maps the window-system libraries.
#pragma once

#include "platform/Io.h"

namespace tidewell {

// Runs the interactive program on `io`; returns the exit status.
int RunDialogModule(int* argc, char** argv, Io& io);

}  // namespace tidewell

// The module's entry point: assembles the start settings again, opens the
// display and runs the main dialog modally, its files reached through `io`.
extern "C" int TidewellDialogMain(int* argc, char** argv, tidewell::Io* io);
