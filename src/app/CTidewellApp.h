// The application object: assembles the settings, runs a batch start
// headless, and otherwise shows the main dialog.
#pragma once

#include <string>

#include "platform/Io.h"

namespace tidewell {

class CTidewellApp {
  public:
    CTidewellApp(int& argc, char** argv) : m_argc(argc), m_argv(argv) {}

    // Returns false: the program ends when the dialog has closed.
    bool InitInstance();

    // The status the process ends with.
    int ExitCode() const { return m_nExitCode; }

  private:
    int& m_argc;
    char** m_argv;
    std::string m_strCmdLine;
    int m_nExitCode = 0;
    Io m_io;  // the system's; every file operation of the run goes through it
};

}  // namespace tidewell
