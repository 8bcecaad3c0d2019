// Renders the main dialog and the About box to PNG files, for the pictures in
// docs/. Run under a display (tools/render-screenshots.sh uses Xvfb).
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTest>
#include <cstdio>

#include "convert/ConvertSettings.h"
#include "platform/ProfileStore.h"
#include "ui/CAboutDlg.h"
#include "ui/CTidewellDlg.h"
#include "ui/UiResources.h"

namespace {

bool Save(QWidget& w, const QString& path) {
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) return false;
    QApplication::processEvents();
    return w.grab().save(path, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: render_dialogs MAIN.png ABOUT.png\n");
        return 2;
    }
    QApplication::setWindowIcon(tidewell::ApplicationIcon());
    tidewell::ProfileStore profile("KORU", "render_dialogs");
    tidewell::Io io;
    tidewell::ConvertSettings s;
    s.m_strTodoPath = "C:\\HARUCOM\\TODOLST2.DAT";
    s.m_bForV2 = 1;
    tidewell::CTidewellDlg dlg(io, profile, s);
    dlg.UpdateData(false);
    if (!Save(dlg, QString::fromLocal8Bit(argv[1]))) return 1;
    dlg.hide();
    tidewell::CAboutDlg about;
    if (!Save(about, QString::fromLocal8Bit(argv[2]))) return 1;
    return 0;
}
