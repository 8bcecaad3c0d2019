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
    const Options options = ParseOptions(m_argc, m_argv);
    ProfileStore profile(kRegistryKey, ApplicationNameFromArgv0(m_argv[0]));
    ConvertSettings start;
    LoadStartSettings(profile, m_strCmdLine, &start);
    // Only a missing profile means the defaults. A batch run on settings the
    // user did not choose could cut with the wrong interval or skip the backup;
    // a dry run on them would foretell a run that is not going to happen.
    const bool headless = start.m_bBatch || options.dryRun;
    if (const std::string error = profile.ReadError(); !error.empty()) {
        std::cerr << "tidewell: cannot read the profile " << error
                  << (headless ? "; nothing converted" : "; the defaults are shown") << '\n';
        if (headless) {
            m_nExitCode = 2;
            return false;
        }
    }

    // A batch start with a readable list needs no window at all, so it is
    // settled before anything of the window system is even loaded. A dry run
    // never shows the dialog: an unreadable list ends it like a batch run
    // that has no display.
    if (options.dryRun || (start.m_bBatch && TodoListOpens(m_io, start))) {
        m_nExitCode = RunBatch(m_io, start, options);
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
