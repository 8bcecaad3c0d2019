#include "app/CTidewellApp.h"
#include "app/HelpVersion.h"
#ifdef _WIN32
#include "app/ConsoleWin32.h"
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    tidewell::UseParentConsole();
#endif
    // Before the profile and before any window-system object: these need
    // neither and must work without a display.
    if (const int status = tidewell::AnswerInfoRequest(argc, argv); status >= 0) return status;
    tidewell::CTidewellApp theApp(argc, argv);
    theApp.InitInstance();
    return theApp.ExitCode();
}
