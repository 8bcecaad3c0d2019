#include "app/CTidewellApp.h"

#include <fcntl.h>

#include <QApplication>
#include <QByteArray>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "app/BatchRun.h"
#include "app/CommandLine.h"
#include "app/StartSettings.h"
#include "platform/FileReplace.h"
#include "platform/Io.h"
#include "platform/ProfileStore.h"
#include "platform/WinePaths.h"
#include "ui/CTidewellDlg.h"
#include "ui/Translation.h"
#include "ui/UiResources.h"

namespace tidewell {
namespace {

bool EnvSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Why the list does not open, for the one line printed when no dialog can ask.
std::string ListOpenError(const std::string& name) {
    std::string error;
    const std::string path = MapHarucomName(name, &error);
    if (!error.empty()) return error;
    Io& io = CurrentIo();
    const int fd = io.Open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return ErrnoText(errno);
    io.Close(fd);
    return {};
}

// What to say when the window system cannot be reached.
std::string NoDisplayLine(const ConvertSettings& s, const std::string& why) {
    const std::string error = ListOpenError(s.m_strTodoPath);
    if (!error.empty()) {
        return "tidewell: cannot open the to-do list " + s.m_strTodoPath + " (" + error +
               "); choosing another one needs a display, and " + why;
    }
    return "tidewell: the dialog needs a display, and " + why + "; use /batch to convert " +
           s.m_strTodoPath + " without one";
}

// While QApplication connects to the display, Qt's own warnings are held back
// and a fatal failure becomes our one line and status 2 instead of an abort.
struct DisplayGuard {
    static inline std::string s_line;
    static inline QStringList s_held;
    static inline QtMessageHandler s_previous = nullptr;

    static void Handler(QtMsgType type, const QMessageLogContext& context, const QString& msg) {
        if (type != QtFatalMsg) {
            s_held << msg;
            return;
        }
        std::fprintf(stderr, "%s\n", s_line.c_str());
        std::fflush(stderr);
        (void)context;
        std::_Exit(2);
    }

    explicit DisplayGuard(const ConvertSettings& s) {
        s_line = NoDisplayLine(s, "none could be opened");
        s_held.clear();
        s_previous = qInstallMessageHandler(&Handler);
    }
    // Once the display is open the held warnings go where they would have gone.
    void Release() {
        qInstallMessageHandler(s_previous);
        for (const QString& msg : std::as_const(s_held)) qWarning("%s", qPrintable(msg));
        s_held.clear();
    }
};

}  // namespace

bool DisplayConfigured() {
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return true;
#else
    return EnvSet("QT_QPA_PLATFORM") || EnvSet("DISPLAY") || EnvSet("WAYLAND_DISPLAY");
#endif
}

bool CTidewellApp::InitInstance() {
    m_strCmdLine = CommandLineText(m_argc, m_argv);
    ProfileStore profile(kRegistryKey, ApplicationNameFromArgv0(m_argv[0]));
    ConvertSettings start;
    LoadStartSettings(profile, m_strCmdLine, &start);

    // A batch start with a readable list needs no window at all, so it is
    // settled before anything of the window system exists.
    if (start.m_bBatch && TodoListOpens(start)) {
        m_nExitCode = RunBatch(start, &start);
        return false;
    }
    if (!DisplayConfigured()) {
        std::cerr << NoDisplayLine(start,
                                   "none is set (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM "
                                   "are all unset)")
                  << '\n';
        m_nExitCode = 2;
        return false;
    }

    std::unique_ptr<QApplication> app;
    {
        DisplayGuard guard(start);
        app = std::make_unique<QApplication>(m_argc, m_argv);
        guard.Release();
    }
    InstallTranslation(*app);
    QApplication::setWindowIcon(ApplicationIcon());
    // Lets desktops match the window to tidewell.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("tidewell"));

    CTidewellDlg dlg(profile, start);
    dlg.DoModal();
    m_nExitCode = dlg.ExitStatus();
    return false;
}

}  // namespace tidewell
