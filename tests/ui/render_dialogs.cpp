// Renders the main dialog and the About box to PNG files, for the pictures in
// docs/, and with two more names the file dialog and a message box, set up
// the way the program starts (translation, font). Run under a display
// (tools/render-screenshots.sh uses Xvfb).
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "convert/ConvertSettings.h"
#include "platform/ProfileStore.h"
#include "ui/CAboutDlg.h"
#include "ui/CTidewellDlg.h"
#include "ui/FailureReasons.h"
#include "ui/Translation.h"
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
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: render_dialogs MAIN.png ABOUT.png [FILES.png MESSAGE.png]\n");
        return 2;
    }
    tidewell::InstallTranslation(app);
    tidewell::UseDialogFontEverywhere();
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
    about.hide();
    if (argc < 5) return 0;

    // The file dialog as 参照 opens it, in a folder that looks like HARUCOM's.
    QTemporaryDir harucom;
    QDir(harucom.path()).mkpath(QStringLiteral("LOG"));
    for (const char* name : {"TODOLST2.DAT", "TODOLST.DAT"}) {
        QFile f(harucom.path() + QLatin1Char('/') + QLatin1String(name));
        if (!f.open(QIODevice::WriteOnly)) return 1;
    }
    QFileDialog files(&dlg, QObject::tr("HARUCOM TODOLST2.DAT を指定してください。"));
    files.setOption(QFileDialog::DontUseNativeDialog);
    files.setFileMode(QFileDialog::ExistingFile);
    files.setNameFilters({QStringLiteral("TODOLST2.DAT file (TODOLST2.DAT)"),
                          QStringLiteral("DAT file (*.DAT)"), QStringLiteral("All files (*)")});
    files.setDirectory(harucom.path());
    files.selectFile(QStringLiteral("TODOLST2.DAT"));
    files.resize(560, 340);
    if (!Save(files, QString::fromLocal8Bit(argv[3]))) return 1;
    files.hide();

    // The message after a run in which a log was left alone.
    const QString reason =
        tidewell::DialogsInEnglish()
            ? QStringLiteral("no write permission; left as it is")
            : tidewell::JapaneseReason("no write permission; left as it is");
    QMessageBox box(QMessageBox::Warning, dlg.windowTitle(),
                    QCoreApplication::translate("tidewell::CTidewellDlg",
                                                "次のログは変換できませんでした（%1 件）。\n\n%2")
                        .arg(1)
                        .arg(QStringLiteral("C:\\HARUCOM\\LOG\\MAIL01.TXT: ") + reason),
                    QMessageBox::Ok, &dlg);
    box.setDetailedText(QStringLiteral("C:\\HARUCOM\\LOG\\MAIL01.TXT: ") + reason);
    if (!Save(box, QString::fromLocal8Bit(argv[4]))) return 1;
    return 0;
}
