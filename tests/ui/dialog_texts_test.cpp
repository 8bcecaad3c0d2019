// The dialogs' texts under the system locale: Japanese by default, in
// Japanese and in the C locale; English when the locale's language is
// English. Each locale runs in a child process that sets up translation the
// way the program does at start, with only the environment to go by.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "ModalDriver.h"
#include "TestSupport.h"
#include "platform/Io.h"
#include "platform/ProfileStore.h"
#include "ui/CAboutDlg.h"
#include "ui/CProgressDlg.h"
#include "ui/CTidewellDlg.h"
#include "ui/Translation.h"
#include "ui/UiResources.h"

using namespace tidewell;
using namespace tidewell::test;

namespace {

using Texts = std::map<std::string, std::string>;

// --- child side ---

template <typename T>
QString TextOf(QWidget* parent, const char* name) {
    T* w = parent->findChild<T*>(QString::fromLatin1(name));
    return w ? w->text() : QStringLiteral("(missing)");
}

// Controls of window whose caption does not fit, whatever the language.
QString CutShort(QWidget* window) {
    QStringList cut;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const bool hasCaption = qobject_cast<QPushButton*>(w) || qobject_cast<QCheckBox*>(w) ||
                                qobject_cast<QLabel*>(w);
        if (!hasCaption || !w->isVisible() || w->window() != window) continue;
        if (w->width() < w->sizeHint().width() || w->height() < w->sizeHint().height()) {
            cut << window->objectName() + QLatin1Char('/') + w->objectName();
        }
    }
    return cut.join(QLatin1Char(' '));
}

// Every text the user can meet in the dialogs, by a name of our own.
Texts CollectTexts(QApplication& app) {
    Texts texts;
    auto put = [&texts](const char* key, const QString& text) { texts[key] = text.toStdString(); };
    put("translated", InstallTranslation(app) ? QStringLiteral("yes") : QStringLiteral("no"));
    UseDialogFontEverywhere();
    // Windows whose font is not the dialog's.
    QStringList otherFont;
    auto sameFont = [&otherFont](QWidget* w, QWidget* dialog) {
        if (w->font().family() != dialog->font().family()) {
            otherFont << w->objectName() + QLatin1Char('=') + w->font().family();
        }
    };

    TempDir dir;
    ProfileStore profile("KORU", "dialog_texts_test");
    Io io;
    ConvertSettings start;
    start.m_nLines = 100;
    start.m_strTodoPath = dir / "missing/TODOLST2.DAT";
    CTidewellDlg dlg(io, profile, start);
    dlg.UpdateData(false);
    dlg.show();
    if (!QTest::qWaitForWindowExposed(&dlg)) put("exposed", QStringLiteral("no"));
    put("title", dlg.windowTitle());
    put("ok", TextOf<QPushButton>(&dlg, "1"));
    put("cancel", TextOf<QPushButton>(&dlg, "2"));
    put("saveSetup", TextOf<QPushButton>(&dlg, "1003"));
    put("browse", TextOf<QPushButton>(&dlg, "1014"));
    put("interval", TextOf<QLabel>(&dlg, "static"));
    QString cutShort = CutShort(&dlg);

    auto* lines = dlg.findChild<QLineEdit*>("1007");
    auto* path = dlg.findChild<QLineEdit*>("1012");
    {
        ModalDriver driver;
        lines->setText("1000");
        dlg.UpdateData(true);
        lines->setText("");
        dlg.UpdateData(true);
        lines->setText("100");
        path->setText(QString(300, QLatin1Char('x')));
        dlg.UpdateData(true);
        path->setText(QString::fromStdString(start.m_strTodoPath));
        const QStringList m = driver.messages();
        put("range", m.value(0));
        put("notANumber", m.value(1));
        put("tooLong", m.value(2));
    }
    {
        ModalDriver driver;
        dlg.OnOK();  // the list does not open
        put("listError", driver.messages().value(0));
    }
    {
        ModalDriver driver;
        driver.Then("browse", [&](QWidget* w) {
            auto* files = static_cast<QFileDialog*>(w);
            put("fileTitle", files->windowTitle());
            put("fileFilters", files->nameFilters().join(QLatin1Char('|')));
            put("fileLookIn", TextOf<QLabel>(files, "lookInLabel"));
            put("fileName", TextOf<QLabel>(files, "fileNameLabel"));
            sameFont(files, &dlg);
            files->reject();
        });
        dlg.OnBrowse();
    }
    {
        ModalDriver driver;
        driver
            .Then("systemMenu",
                  [&](QWidget* w) {
                      auto* menu = static_cast<QMenu*>(w);
                      QAction* about = menu->findChild<QAction*>("about");
                      put("aboutItem", about ? about->text() : QStringLiteral("(missing)"));
                      if (about) {
                          QTest::mouseClick(menu, Qt::LeftButton, {},
                                            menu->actionGeometry(about).center());
                      } else {
                          menu->close();
                      }
                  })
            .Then("100", [&](QWidget* w) {
                put("aboutTitle", w->windowTitle());
                put("aboutVersion", TextOf<QLabel>(w, "version"));
                put("aboutNotice", TextOf<QLabel>(w, "notice"));
                cutShort += CutShort(w);
                static_cast<QDialog*>(w)->accept();
            });
        const QPoint at(5, 5);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, dlg.mapToGlobal(at));
        QApplication::sendEvent(&dlg, &event);
    }
    CProgressDlg progress(&dlg);
    put("progressTitle", progress.windowTitle());
    put("progressReading", TextOf<QLabel>(&progress, "file"));
    put("progressStop", TextOf<QPushButton>(&progress, "cancel"));
    EntryProgress p;
    p.entriesDone = 2;
    p.currentFile = "a.log";
    progress.show();
    progress.ShowProgress(p);
    put("progressEntry", TextOf<QLabel>(&progress, "count"));
    put("progressFile", TextOf<QLabel>(&progress, "file"));
    cutShort += CutShort(&progress);
    put("cutShort", cutShort);
    progress.OnCancel();
    put("progressStopping", TextOf<QLabel>(&progress, "count"));
    sameFont(&progress, &dlg);
    progress.hide();
    {
        std::unique_ptr<QMenu> menu(path->createStandardContextMenu());
        put("editUndo", menu->actions().value(0) ? menu->actions().value(0)->text() : QString());
        menu->setObjectName(QStringLiteral("editMenu"));
        sameFont(menu.get(), &dlg);
    }
    {
        // A log that is a folder: the reason comes from the conversion.
        std::filesystem::create_directory(dir / "folder.log");
        WriteFile(dir / "TODOLST2.DAT",
                  ListBuilder().Board("PATIO", "x", dir / "folder.log").bytes());
        path->setText(QString::fromStdString(dir / "TODOLST2.DAT"));
        ModalDriver driver;
        driver.Then("failures", [&](QWidget* w) {
            auto* box = static_cast<QMessageBox*>(w);
            put("failure", box->text().replace(QString::fromStdString(dir.path()), "<dir>"));
            for (QAbstractButton* b : box->buttons()) {
                if (box->buttonRole(b) == QMessageBox::ActionRole) put("failureDetails", b->text());
            }
            sameFont(box, &dlg);
            box->done(QMessageBox::Ok);
        });
        dlg.OnOK();
    }
    put("otherFont", otherFont.join(QLatin1Char(' ')));
    return texts;
}

std::string Escape(const std::string& s) {
    std::string out;
    for (const char c : s) out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

int ChildMain(int argc, char** argv) {
    QApplication app(argc, argv);
    for (const auto& [key, text] : CollectTexts(app)) {
        std::printf("%s\t%s\n", key.c_str(), Escape(text).c_str());
    }
    return 0;
}

// --- parent side ---

Texts TextsUnder(const std::map<std::string, std::string>& locale) {
    TempDir config;
    std::map<std::string, std::string> env = {{"LANG", ""},
                                              {"LANGUAGE", ""},
                                              {"LC_ALL", ""},
                                              {"LC_MESSAGES", ""},
                                              {"QT_QPA_PLATFORM", "offscreen"},
                                              {"XDG_CONFIG_HOME", config.path()},
                                              {"WINEPREFIX", config / "wine"}};
    for (const auto& [k, v] : locale) env[k] = v;
    const RunResult r = RunTidewell({"--dump-texts"}, env, {.binary = "/proc/self/exe"});
    EXPECT_EQ(r.status, 0) << r.err;
    Texts texts;
    size_t at = 0;
    while (at < r.out.size()) {
        const size_t end = r.out.find('\n', at);
        const std::string line = r.out.substr(at, end - at);
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) texts[line.substr(0, tab)] = line.substr(tab + 1);
        at = end == std::string::npos ? r.out.size() : end + 1;
    }
    return texts;
}

const Texts kJapanese = {
    {"cutShort", ""},
    {"translated", "no"},
    {"title", "しおさい～"},
    {"ok", "うりゃ"},
    {"cancel", "やめた～"},
    {"saveSetup", "SaveSetup"},
    {"browse", "参照"},
    {"interval", "行間隔"},
    {"range", "「行間隔」は -999 から 999 までの範囲で指定してください（入力: 1000）。"},
    {"notANumber", "「行間隔」には整数を指定してください（入力: \"\"）。"},
    {"tooLong", "「TODOLST2.DAT のパス」は 260 バイト以内で指定してください（現在 300 バイト）。"},
    {"fileTitle", "HARUCOM TODOLST2.DAT を指定してください。"},
    {"fileFilters", "TODOLST2.DAT file (TODOLST2.DAT)|DAT file (*.DAT)|All files (*)"},
    {"aboutItem", "ﾊﾞｰｼﾞｮﾝ情報(TIDEWELL) (&A)..."},
    {"aboutTitle", "ﾊﾞｰｼﾞｮﾝ情報 TIDEWELL"},
    {"aboutVersion", "TIDEWELL(しおさい～) Version 1.0.0.4"},
    {"aboutNotice", "HARUCOM のログの改行を詰める／戻すツールです。"},
    {"progressTitle", "変換中 - しおさい～"},
    {"progressReading", "ToDo リストを読んでいます…"},
    {"progressStop", "中止"},
    {"progressEntry", "3 件目"},
    {"progressFile", "変換中: a.log"},
    {"progressStopping", "このログが終わりしだい中止します…"},
    {"fileLookIn", "アドレス:"},
    {"fileName", "ファイル名(&N):"},
    {"editUndo", "元に戻す(&U)\tCtrl+Z"},
    {"failure",
     "次のログは変換できませんでした（1 件）。\\n\\n<dir>/folder.log: "
     "通常のファイルではないので飛ばしました"},
    {"failureDetails", "詳細を表示..."},
    {"otherFont", ""},
};

const Texts kEnglish = {
    {"cutShort", ""},
    {"translated", "yes"},
    {"title", "しおさい～"},
    {"ok", "Go!"},
    {"cancel", "Never mind"},
    {"saveSetup", "SaveSetup"},
    {"browse", "Browse..."},
    {"interval", "Interval"},
    {"range", "“Interval” must be between -999 and 999 (you entered 1000)."},
    {"notANumber", "Enter a whole number for “Interval” (you entered \"\")."},
    {"tooLong", "“Path of TODOLST2.DAT” may be at most 260 bytes long (it is 300 bytes)."},
    {"fileTitle", "Choose the HARUCOM TODOLST2.DAT"},
    {"fileFilters", "TODOLST2.DAT file (TODOLST2.DAT)|DAT file (*.DAT)|All files (*)"},
    {"aboutItem", "&About TIDEWELL..."},
    {"aboutTitle", "About TIDEWELL"},
    {"aboutVersion", "TIDEWELL(しおさい～) Version 1.0.0.4"},
    {"aboutNotice", "Cuts or restores the line feeds of HARUCOM logs."},
    {"progressTitle", "Converting - しおさい～"},
    {"progressReading", "Reading the to-do list…"},
    {"progressStop", "Stop"},
    {"progressEntry", "Entry 3"},
    {"progressFile", "Converting: a.log"},
    {"progressStopping", "Stopping after this log…"},
    {"fileLookIn", "Look in:"},
    {"fileName", "File &name:"},
    {"editUndo", "&Undo\tCtrl+Z"},
    {"failure",
     "These logs could not be converted (1):\\n\\n<dir>/folder.log: not a regular file; skipped"},
    {"failureDetails", "Show Details..."},
    {"otherFont", ""},
};

void ExpectTexts(const Texts& actual, const Texts& expected) {
    for (const auto& [key, text] : expected) {
        const auto it = actual.find(key);
        if (it == actual.end()) {
            ADD_FAILURE() << "no text " << key;
        } else {
            EXPECT_EQ(it->second, text) << key;
        }
    }
}

TEST(DialogTexts, FollowTheSystemLocale) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> locale;
        bool english;
    };
    // None of these needs the locale to be installed: the language is taken
    // from the environment.
    const std::vector<Case> cases = {
        {"Japanese", {{"LANG", "ja_JP.UTF-8"}}, false},
        {"English", {{"LANG", "en_US.UTF-8"}}, true},
        {"C", {{"LC_ALL", "C"}}, false},
        {"nothing set", {}, false},
        {"British English", {{"LANG", "en_GB.UTF-8"}}, true},
        {"German", {{"LANG", "de_DE.UTF-8"}}, false},
        {"LC_ALL over LANG", {{"LANG", "ja_JP.UTF-8"}, {"LC_ALL", "en_US.UTF-8"}}, true},
        {"C over LANG", {{"LANG", "en_US.UTF-8"}, {"LC_ALL", "C"}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Texts texts = TextsUnder(c.locale);
        ExpectTexts(texts, c.english ? kEnglish : kJapanese);
        if (c.english) {
            // Nothing the English user sees is left in Japanese, but the name.
            for (const auto& [key, text] : texts) {
                QString rest = QString::fromStdString(text);
                rest.remove(QStringLiteral("しおさい～"));
                for (const QChar ch : rest) {
                    const bool japanese = (ch.unicode() >= 0x3000 && ch.unicode() <= 0x9FFF) ||
                                          (ch.unicode() >= 0xFF00 && ch.unicode() <= 0xFFEF);
                    EXPECT_FALSE(japanese) << key << ": " << text;
                    if (japanese) break;
                }
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--dump-texts") return ChildMain(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
