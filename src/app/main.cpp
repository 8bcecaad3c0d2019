#include "app/CTidewellApp.h"

int main(int argc, char** argv) {
    tidewell::CTidewellApp theApp(argc, argv);
    theApp.InitInstance();
    return theApp.ExitCode();
}
