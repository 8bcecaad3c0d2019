#include "app/CTidewellApp.h"
#include "app/HelpVersion.h"

int main(int argc, char** argv) {
    // Before the profile and before any window-system object: these need
    // neither and must work without a display.
    if (const int status = tidewell::AnswerInfoRequest(argc, argv); status >= 0) return status;
    tidewell::CTidewellApp theApp(argc, argv);
    theApp.InitInstance();
    return theApp.ExitCode();
}
