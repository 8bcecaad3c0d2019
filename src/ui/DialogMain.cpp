// Entry point of the dialog module: everything of a start that shows a window.
#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/CommandLine.h"
#include "app/DialogLoader.h"
#include "app/NoDisplay.h"
#include "app/StartSettings.h"
#include "platform/ProfileStore.h"
#include "ui/CTidewellDlg.h"
#include "ui/Translation.h"
#include "ui/UiResources.h"

namespace tidewell {
namespace {

// While QApplication connects to the display, Qt's own warnings are held back
// and a fatal failure becomes our one line and status 2 instead of an abort.
struct DisplayGuard {
    static inline std::string s_line;
    static inline QStringList s_held;
    static inline QtMessageHandler s_previous = nullptr;

    static void Handler(QtMsgType type, const QMessageLogContext&, const QString& msg) {
        if (type != QtFatalMsg) {
            s_held << msg;
            return;
        }
        std::fprintf(stderr, "%s\n", s_line.c_str());
        std::fflush(stderr);
        std::_Exit(2);
    }

    DisplayGuard(Io& io, const ConvertSettings& s) {
        s_line = NoDisplayLine(io, s, "none could be opened");
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
}  // namespace tidewell

extern "C" Q_DECL_EXPORT int TidewellDialogMain(int* argc, char** argv, tidewell::Io* io) {
    using namespace tidewell;
    // The same sources, in the same order, as the program used to decide that
    // a window is needed.
    ProfileStore profile(kRegistryKey, ApplicationNameFromArgv0(argv[0]));
    ConvertSettings start;
    LoadStartSettings(profile, CommandLineText(*argc, argv), &start);

    std::unique_ptr<QApplication> app;
    {
        DisplayGuard guard(*io, start);
        app = std::make_unique<QApplication>(*argc, argv);
        guard.Release();
    }
    InstallTranslation(*app);
    UseDialogFontEverywhere();
    QApplication::setWindowIcon(ApplicationIcon());
    // Lets desktops match the window to tidewell.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("tidewell"));

    CTidewellDlg dlg(*io, profile, start);
    dlg.DoModal();
    return dlg.ExitStatus();
}
