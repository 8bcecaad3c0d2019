#include "app/CTidewellApp.h"

#include <iostream>

#include "app/BatchRun.h"
#include "app/CommandLine.h"
#include "app/DialogLoader.h"
#include "app/NoDisplay.h"
#include "app/StartSettings.h"
#include "platform/ProfileStore.h"

namespace tidewell {

bool CTidewellApp::InitInstance() {
    m_strCmdLine = CommandLineText(m_argc, m_argv);
    for (const std::string& arg : IgnoredArguments(m_argc, m_argv)) {
        std::cerr << "tidewell: ignoring argument '" << arg << "'\n";
    }
    ProfileStore profile(kRegistryKey, ApplicationNameFromArgv0(m_argv[0]));
    ConvertSettings start;
    LoadStartSettings(profile, m_strCmdLine, &start);

    // A batch start with a readable list needs no window at all, so it is
    // settled before anything of the window system is even loaded.
    if (start.m_bBatch && TodoListOpens(m_io, start)) {
        m_nExitCode = RunBatch(m_io, start, ParseOptions(m_argc, m_argv));
        return false;
    }
    if (!DisplayConfigured()) {
        std::cerr << NoDisplayLine(m_io, start,
                                   "none is set (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM "
                                   "are all unset)")
                  << '\n';
        m_nExitCode = 2;
        return false;
    }
    m_nExitCode = RunDialogModule(&m_argc, m_argv, m_io);
    return false;
}

}  // namespace tidewell
