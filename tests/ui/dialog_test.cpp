// The main dialog and the About box, driven through their controls on the
// offscreen platform with a scratch profile.
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QToolButton>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>

#include "ModalDriver.h"
#include "TestSupport.h"
#include "platform/Io.h"
#include "platform/ProfileStore.h"
#include "ui/CAboutDlg.h"
#include "ui/CTidewellDlg.h"
#include "ui/UpDownControl.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace tidewell;
using tidewell::test::ListBuilder;
using tidewell::test::ModalDriver;
using tidewell::test::ReadFile;
using tidewell::test::TempDir;
using tidewell::test::WriteFile;

namespace {

// A log with bare CRs, and what Reverse makes of it.
const std::string kBareLog = "one\rtwo\rthree\r";
const std::string kRestoredLog = "one\r\ntwo\r\nthree\r\n";

// The system's Io, except that the first open of one file waits until the
// test lets it go, and opens of another file fail.
class SteeredIo : public Io {
  public:
    std::string holdPath;
    std::string failPath;
    std::atomic<bool> holding{false};

    int Open(const std::string& path, int flags, uint32_t mode) override {
        if (path == failPath) {
            errno = EACCES;
            return -1;
        }
        if (path == holdPath) {
            std::unique_lock<std::mutex> lock(mutex_);
            holdPath.clear();
            holding = true;
            released_.wait(lock, [this] { return release_; });
        }
        return Io::Open(path, flags, mode);
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        release_ = true;
        released_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool release_ = false;
};

// One dialog over its own profile, with a scratch folder for the list and logs.
struct Fixture {
    explicit Fixture(ConvertSettings start = {}) {
        static int serial = 0;
        appName = "dialog_test_" + std::to_string(++serial);
        profile = std::make_unique<ProfileStore>("KORU", appName);
        if (start.m_strTodoPath.empty()) start.m_strTodoPath = dir / "TODOLST2.DAT";
        dlg = std::make_unique<CTidewellDlg>(io, *profile, start);
    }

    template <typename T>
    T* Control(const char* id) const {
        T* w = dlg->findChild<T*>(QString::fromLatin1(id));
        if (!w) qFatal("no control %s", id);
        return w;
    }
    QLineEdit* Lines() const { return Control<QLineEdit>("1007"); }
    QLineEdit* Path() const { return Control<QLineEdit>("1012"); }
    QCheckBox* Reverse() const { return Control<QCheckBox>("1001"); }
    void Click(const char* id) const {
        QTest::mouseClick(Control<QPushButton>(id), Qt::LeftButton);
    }

    // The stored profile entries of this dialog's section.
    QStringList StoredKeys() const {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, "KORU",
                    QString::fromStdString(appName));
        return s.allKeys();
    }
    QVariant Stored(const char* entry) const {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, "KORU",
                    QString::fromStdString(appName));
        return s.value(QStringLiteral("TidewellSetup/") + QLatin1String(entry));
    }

    // A list naming the given logs (each written with kBareLog).
    std::string ListOf(const std::vector<std::string>& logs) const {
        ListBuilder list;
        for (const std::string& name : logs) {
            WriteFile(dir / name, kBareLog);
            list.Mail("inbox", dir / name);
        }
        WriteFile(dir / "TODOLST2.DAT", list.bytes());
        return dir / "TODOLST2.DAT";
    }

    // Filled and on screen, without the start sequence.
    void Show() {
        dlg->UpdateData(false);
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    }

    TempDir dir;
    SteeredIo io;  // the system's until a test steers it
    std::string appName;
    std::unique_ptr<ProfileStore> profile;
    std::unique_ptr<CTidewellDlg> dlg;
};

ConvertSettings Settings(int lines, const std::string& path, int reverse = 0) {
    ConvertSettings s;
    s.m_nLines = lines;
    s.m_strTodoPath = path;
    s.m_bReverse = reverse;
    return s;
}

std::string Repeat(const std::string& unit, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += unit;
    return s;
}

}  // namespace

class DialogTest : public QObject {
    Q_OBJECT
  private slots:
    void controlsAndTabOrder() {
        Fixture f;
        QCOMPARE(f.dlg->windowTitle(), QStringLiteral("しおさい～"));
        const std::pair<const char*, const char*> captions[] = {
            {"1", "うりゃ"},     {"2", "やめた～"},  {"1003", "SaveSetup"}, {"1014", "参照"},
            {"1001", "Reverse"}, {"1002", "Backup"}, {"1015", "for V2.00"},
        };
        for (const auto& [id, caption] : captions) {
            auto* w = f.dlg->findChild<QAbstractButton*>(QLatin1String(id));
            QVERIFY2(w, id);
            QCOMPARE(w->text(), QString::fromUtf8(caption));
        }
        QVERIFY(f.Control<QPushButton>("1")->isDefault());
        QCOMPARE(f.Control<QLabel>("static")->text(), QStringLiteral("行間隔"));
        QVERIFY(f.dlg->findChild<CUpDownControl*>(QStringLiteral("1008")));

        f.Show();
        QStringList order;
        QWidget* w = f.Control<QPushButton>("1");
        do {
            if (w->focusPolicy() & Qt::TabFocus && w->window() == f.dlg.get()) {
                order << w->objectName();
            }
            w = w->nextInFocusChain();
        } while (w != f.Control<QPushButton>("1"));
        QCOMPARE(order,
                 QStringList({"1", "2", "1001", "1002", "1003", "1007", "1012", "1014", "1015"}));
    }

    void intervalExchange_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("typed");  // empty: leave what was shown
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("taken");
        QTest::newRow("stored -7 shown unchanged") << -7 << QString() << true << -7;
        QTest::newRow("-999 is the lowest") << -999 << QString() << true << -999;
        QTest::newRow("-1000 is refused") << -1000 << QString() << false << 100;
        QTest::newRow("stored 5000 is refused") << 5000 << QString() << false << 100;
        QTest::newRow("999 is the highest") << 100 << "999" << true << 999;
        QTest::newRow("1000 is refused") << 100 << "1000" << false << 100;
        QTest::newRow("empty is not a number") << 100 << " " << false << 100;
        QTest::newRow("0") << 100 << "0" << true << 0;
    }
    void intervalExchange() {
        QFETCH(int, stored);
        QFETCH(QString, typed);
        QFETCH(bool, valid);
        QFETCH(int, taken);
        Fixture f(Settings(stored, "/x/TODOLST2.DAT"));
        f.dlg->UpdateData(false);
        QCOMPARE(f.Lines()->text(), QString::number(stored));
        if (!typed.isEmpty()) f.Lines()->setText(typed);
        // A refused value leaves every field as it was before the exchange.
        if (!valid) f.dlg->m_nLines = 100;
        ModalDriver driver;
        QCOMPARE(f.dlg->UpdateData(true), valid);
        QCOMPARE(driver.Count("validation"), valid ? 0 : 1);
        QCOMPARE(f.dlg->m_nLines, taken);
    }

    void pathExchange_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("valid");
        QTest::newRow("260 ASCII bytes") << QByteArray(Repeat("a", 260).c_str()) << true;
        QTest::newRow("261 ASCII bytes") << QByteArray(Repeat("a", 261).c_str()) << false;
        // 3 bytes a character in UTF-8: the limit is on bytes, not characters.
        QTest::newRow("260 bytes of Japanese")
            << QByteArray((Repeat("あ", 86) + "ab").c_str()) << true;
        QTest::newRow("261 bytes of Japanese") << QByteArray(Repeat("あ", 87).c_str()) << false;
    }
    void pathExchange() {
        QFETCH(QByteArray, path);
        QFETCH(bool, valid);
        Fixture f(Settings(100, "/old"));
        f.dlg->UpdateData(false);
        f.Path()->setText(QString::fromUtf8(path));
        ModalDriver driver;
        QCOMPARE(f.dlg->UpdateData(true), valid);
        QCOMPARE(f.dlg->m_strTodoPath, valid ? path.toStdString() : std::string("/old"));
        QCOMPARE(driver.Count("validation"), valid ? 0 : 1);
    }

    void pathBytesThatDoNotDecodeSurviveAnExchange() {
        const std::string odd = "/tmp/\xff\xfe/TODOLST2.DAT";
        Fixture f(Settings(100, odd));
        f.dlg->UpdateData(false);
        QVERIFY(f.dlg->UpdateData(true));
        QCOMPARE(f.dlg->m_strTodoPath, odd);
    }

    void exchangeStopsAtTheFirstFailureAndTakesNothing() {
        Fixture f(Settings(100, "/old"));
        f.Show();
        f.Lines()->setText("1000");
        f.Reverse()->setChecked(true);
        f.Path()->setText(QString(261, QLatin1Char('p')));
        ModalDriver driver;
        QVERIFY(!f.dlg->UpdateData(true));
        QCOMPARE(driver.Count("validation"), 1);
        QVERIFY(driver.messages().value(0).contains(QStringLiteral("行間隔")));
        QCOMPARE(f.dlg->focusWidget(), f.Lines());
        QCOMPARE(f.dlg->m_bReverse, 0);
        QCOMPARE(f.dlg->m_strTodoPath, std::string("/old"));
    }

    void typingIsLimited() {
        Fixture f(Settings(100, "/x"));
        f.Show();
        f.Lines()->clear();
        QTest::keyClicks(f.Lines(), "1a-2.3");
        QCOMPARE(f.Lines()->text(), QStringLiteral("123"));
        f.dlg->m_strTodoPath = Repeat("a", 259);
        f.dlg->UpdateData(false);
        f.Path()->end(false);
        QTest::keyClicks(f.Path(), "bc");
        QCOMPARE(f.Path()->text().size(), 260);
    }

    void upDownSteps_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("after");
        QTest::newRow("up") << "100" << int(Qt::Key_Up) << "101";
        QTest::newRow("down") << "100" << int(Qt::Key_Down) << "99";
        QTest::newRow("not below zero") << "0" << int(Qt::Key_Down) << "0";
        QTest::newRow("not above 999") << "999" << int(Qt::Key_Up) << "999";
        QTest::newRow("stored negative steps on") << "-7" << int(Qt::Key_Down) << "-8";
        QTest::newRow("out of range comes back") << "5000" << int(Qt::Key_Down) << "999";
    }
    void upDownSteps() {
        QFETCH(QString, start);
        QFETCH(int, key);
        QFETCH(QString, after);
        Fixture f(Settings(100, "/x"));
        f.Show();
        f.Lines()->setText(start);
        QTest::keyClick(f.Lines(), Qt::Key(key));
        QCOMPARE(f.Lines()->text(), after);
        f.Lines()->setText(start);
        QTest::mouseClick(f.dlg->findChild<QWidget*>(key == Qt::Key_Up ? "up" : "down"),
                          Qt::LeftButton);
        QCOMPARE(f.Lines()->text(), after);
    }

    void saveSetupWritesExactlyTheFiveEntries() {
        Fixture f(Settings(100, "/x"));
        f.dlg->m_bBatch = 1;
        f.Show();
        f.Lines()->setText("42");
        f.Reverse()->setChecked(true);
        f.Control<QCheckBox>("1015")->setChecked(true);
        f.Path()->setText(QStringLiteral("/data/ログ/TODOLST2.DAT"));
        ModalDriver driver;
        f.Click("1003");
        QCOMPARE(driver.seen(), QStringList());
        QVERIFY(f.dlg->isVisible());
        QStringList keys = f.StoredKeys();
        keys.sort();
        QCOMPARE(keys,
                 QStringList({"TidewellSetup/BACKUP", "TidewellSetup/FORV2", "TidewellSetup/LINES",
                              "TidewellSetup/REVERSE", "TidewellSetup/TODOLST2"}));
        QCOMPARE(f.Stored("LINES").toInt(), 42);
        QCOMPARE(f.Stored("REVERSE").toInt(), 1);
        QCOMPARE(f.Stored("BACKUP").toInt(), 0);
        QCOMPARE(f.Stored("FORV2").toInt(), 1);
        QCOMPARE(f.Stored("TODOLST2").toString(), QStringLiteral("/data/ログ/TODOLST2.DAT"));
    }

    void saveSetupWithAnInvalidValueWritesNothing() {
        Fixture f(Settings(100, "/x"));
        f.Show();
        f.Reverse()->setChecked(true);
        f.Lines()->setText("1000");
        ModalDriver driver;
        f.Click("1003");
        QCOMPARE(driver.seen(), QStringList({"validation"}));
        QCOMPARE(f.StoredKeys(), QStringList());
    }

    // A path the profile cannot keep as it is (a line break in a chosen file's
    // name) is refused with its reason, and nothing is stored.
    void saveSetupOfAPathTheProfileCannotKeepSaysSo() {
        Fixture f(Settings(100, "/x"));
        f.Show();
        f.dlg->m_strTodoPath = "/data/two\nlines.DAT";
        f.dlg->UpdateData(false);
        ModalDriver driver;
        f.Click("1003");
        QCOMPARE(driver.seen(), QStringList({"saveError"}));
        QVERIFY(driver.messages().value(0).contains(QStringLiteral("line break")));
        QVERIFY(!QFile::exists(QString::fromStdString(f.profile->FileName())));
    }

    // A profile that is there but cannot be read is said so at start: the
    // dialog shows the defaults, not the user's settings.
    void unreadableProfileIsSaidAtStart() {
        Fixture f;
        std::filesystem::create_directories(f.profile->FileName());
        ModalDriver driver;
        driver.Then("profileError", [](QWidget* w) { static_cast<QDialog*>(w)->accept(); })
            .Then("browse", [](QWidget* w) { static_cast<QFileDialog*>(w)->reject(); })
            .Then("102", [](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
        f.dlg->DoModal();
        QVERIFY(driver.AllStepsDone());
        QVERIFY(driver.messages().value(0).contains(QString::fromStdString(f.profile->FileName())));
    }

    void browseThenCancelShowsTheStoredSettingsAgain() {
        Fixture f(Settings(7, "/nowhere/TODOLST2.DAT"));
        f.Show();
        f.Lines()->setText("55");
        f.Reverse()->setChecked(true);
        f.Path()->setText("/edited");
        ModalDriver driver;
        QString title;
        driver.Then("browse", [&title](QWidget* w) {
            title = w->windowTitle();
            static_cast<QFileDialog*>(w)->reject();
        });
        f.Click("1014");
        QVERIFY(driver.AllStepsDone());
        QCOMPARE(title, QStringLiteral("HARUCOM TODOLST2.DAT を指定してください。"));
        QCOMPARE(f.Lines()->text(), QStringLiteral("7"));
        QVERIFY(!f.Reverse()->isChecked());
        QCOMPARE(f.Path()->text(), QStringLiteral("/nowhere/TODOLST2.DAT"));
    }

    void browseTakesTheChosenFile() {
        Fixture f(Settings(7, "/nowhere/TODOLST2.DAT"));
        const std::string chosen = f.dir / "TODOLST2.DAT";
        WriteFile(chosen, "");
        f.Show();
        f.Lines()->setText("55");
        ModalDriver driver;
        QStringList filters;
        QString suffix;
        driver.Then("browse", [&](QWidget* w) {
            auto* fd = static_cast<QFileDialog*>(w);
            filters = fd->nameFilters();
            suffix = fd->defaultSuffix();
            fd->setDirectory(QString::fromStdString(f.dir.path()));
            fd->selectFile(QStringLiteral("TODOLST2.DAT"));
            static_cast<QDialog*>(fd)->accept();  // QFileDialog::accept, virtually
        });
        f.Click("1014");
        QVERIFY(driver.AllStepsDone());
        QCOMPARE(filters.size(), 3);
        QCOMPARE(suffix, QStringLiteral("DAT"));
        QCOMPARE(f.dlg->m_strTodoPath, chosen);
        QCOMPARE(f.Path()->text(), QString::fromStdString(chosen));
        QCOMPARE(f.Lines()->text(), QStringLiteral("7"));  // unsaved edits are dropped
    }

    void cancelTouchesNoFileAndNoProfile() {
        Fixture f;
        const std::string list = f.ListOf({"a.log"});
        f.dlg->m_strTodoPath = list;
        f.Show();
        f.Reverse()->setChecked(true);
        ModalDriver driver;
        f.Click("2");
        QCOMPARE(f.dlg->result(), int(QDialog::Rejected));
        QVERIFY(!f.dlg->isVisible());
        QCOMPARE(ReadFile(f.dir / "a.log"), kBareLog);
        QCOMPARE(f.StoredKeys(), QStringList());
        QCOMPARE(f.dlg->ExitStatus(), 0);
    }

    void okConvertsWithTheDialogsValuesAndCloses() {
        Fixture f;
        f.dlg->m_strTodoPath = f.ListOf({"a.log", "b.log"});
        f.Show();
        f.Reverse()->setChecked(true);  // not stored: only the control says so
        ModalDriver driver;
        f.Click("1");
        QCOMPARE(driver.seen(), QStringList());
        QCOMPARE(f.dlg->result(), int(QDialog::Accepted));
        QVERIFY(!f.dlg->isVisible());
        QCOMPARE(ReadFile(f.dir / "a.log"), kRestoredLog);
        QCOMPARE(ReadFile(f.dir / "b.log"), kRestoredLog);
        QCOMPARE(f.dlg->ExitStatus(), 0);
        QCOMPARE(f.StoredKeys(), QStringList());
    }

    void okWithAnInvalidValueConvertsNothing() {
        Fixture f;
        f.dlg->m_strTodoPath = f.ListOf({"a.log"});
        f.Show();
        f.Reverse()->setChecked(true);
        f.Lines()->setText("1000");
        ModalDriver driver;
        f.Click("1");
        QCOMPARE(driver.seen(), QStringList({"validation"}));
        QVERIFY(f.dlg->isVisible());
        QCOMPARE(f.dlg->focusWidget(), f.Lines());
        QCOMPARE(ReadFile(f.dir / "a.log"), kBareLog);
    }

    void okWhenTheListDoesNotOpenSaysSoAndStays() {
        Fixture f;
        f.dlg->m_strTodoPath = f.dir / "missing.DAT";
        f.dlg->UpdateData(false);
        f.dlg->show();
        ModalDriver driver;
        f.Click("1");
        QCOMPARE(driver.seen(), QStringList({"listError"}));
        QVERIFY(driver.messages().value(0).contains(QString::fromStdString(f.dir / "missing.DAT")));
        QVERIFY(f.dlg->isVisible());
    }

    void failuresAreListedBeforeTheDialogCloses() {
        Fixture f;
        f.dlg->m_strTodoPath = f.ListOf({"a.log", "b.log"});
        f.io.failPath = f.dir / "a.log";
        f.Show();
        f.Reverse()->setChecked(true);
        ModalDriver driver;
        f.Click("1");
        QCOMPARE(driver.seen(), QStringList({"failures"}));
        QVERIFY(driver.messages().value(0).contains(QString::fromStdString(f.dir / "a.log")));
        QVERIFY(!driver.messages().value(0).contains(QString::fromStdString(f.dir / "b.log")));
        QCOMPARE(f.dlg->result(), int(QDialog::Accepted));
        QCOMPARE(ReadFile(f.dir / "b.log"), kRestoredLog);
        QCOMPARE(f.dlg->ExitStatus(), 1);
    }

    void progressWindowCancelsBetweenLogs() {
        Fixture f;
        f.dlg->m_strTodoPath = f.ListOf({"a.log", "b.log"});
        SteeredIo& io = f.io;
        io.holdPath = f.dir / "a.log";
        f.Show();
        f.Reverse()->setChecked(true);
        ModalDriver driver;
        QString shownFile;
        bool mainTookInput = false;
        driver.Then("progress", [&](QWidget* w) {
            shownFile = w->findChild<QLabel*>("file")->text();
            // The main dialog takes no commands while the run is going.
            QTest::mouseClick(f.Control<QPushButton>("2"), Qt::LeftButton);
            mainTookInput = !f.dlg->isVisible();
            QTest::mouseClick(w->findChild<QPushButton*>("cancel"), Qt::LeftButton);
            io.Release();
        });
        f.Click("1");
        QVERIFY(driver.AllStepsDone());
        QCOMPARE(driver.seen(), QStringList({"progress", "cancelled"}));
        QVERIFY2(shownFile.contains("a.log"), qPrintable(shownFile));
        QVERIFY(!mainTookInput);
        // The log in hand is finished, the next one is not begun.
        QCOMPARE(ReadFile(f.dir / "a.log"), kRestoredLog);
        QCOMPARE(ReadFile(f.dir / "b.log"), kBareLog);
        QVERIFY(f.dlg->isVisible());
        QCOMPARE(f.dlg->ExitStatus(), 1);
    }

    void aboutItemOpensTheAboutBox() {
        Fixture f(Settings(100, "/x"));
        f.Show();
        ModalDriver driver;
        QString menuText;
        QString caption;
        QString version;
        driver
            .Then("systemMenu",
                  [&menuText](QWidget* w) {
                      auto* menu = static_cast<QMenu*>(w);
                      QAction* about = menu->findChild<QAction*>("about");
                      menuText = about->text();
                      QTest::mouseClick(menu, Qt::LeftButton, {},
                                        menu->actionGeometry(about).center());
                  })
            .Then("100", [&](QWidget* w) {
                caption = w->windowTitle();
                version = w->findChild<QLabel*>("version")->text();
                QTest::mouseClick(w->findChild<QPushButton*>("1"), Qt::LeftButton);
            });
        const QPoint at(5, 5);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, f.dlg->mapToGlobal(at));
        QApplication::sendEvent(f.dlg.get(), &event);
        QVERIFY(driver.AllStepsDone());
        QCOMPARE(menuText, QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(TIDEWELL) (&A)..."));
        QCOMPARE(caption, QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報 TIDEWELL"));
        QCOMPARE(version, QStringLiteral("TIDEWELL(しおさい～) Version 1.0.0.4"));
    }

    void systemCommands_data() {
        QTest::addColumn<unsigned>("command");
        QTest::addColumn<bool>("opensAbout");
        QTest::newRow("0x0010") << 0x0010u << true;
        QTest::newRow("0x001F") << 0x001Fu << true;
        QTest::newRow("move") << 0xF010u << false;
        QTest::newRow("close") << 0xF060u << false;
    }
    void systemCommands() {
        QFETCH(unsigned, command);
        QFETCH(bool, opensAbout);
        Fixture f(Settings(100, "/x"));
        f.Show();
        ModalDriver driver;
        if (opensAbout) {
            driver.Then("100", [](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
        }
        f.dlg->OnSysCommand(command);
        QCOMPARE(driver.Count("100"), opensAbout ? 1 : 0);
        QVERIFY(f.dlg->isVisible());
    }

    void batchWithAnUnreadableListAsksAndStaysOpen() {
        Fixture f(Settings(100, "/nowhere/TODOLST2.DAT"));
        f.dlg->m_bBatch = 1;
        ModalDriver driver;
        bool openAfterBrowse = false;
        driver.Then("browse", [](QWidget* w) { static_cast<QFileDialog*>(w)->reject(); })
            .Then("102", [&](QWidget* w) {
                openAfterBrowse = w->isVisible();
                static_cast<QDialog*>(w)->reject();
            });
        const int result = f.dlg->DoModal();
        QVERIFY(driver.AllStepsDone());
        QVERIFY(openAfterBrowse);
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(f.dlg->ExitStatus(), 2);
    }

    void batchWithAReadableListConvertsOnceAndEnds() {
        Fixture f;
        f.dlg->m_strTodoPath = f.ListOf({"a.log"});
        f.dlg->m_bBatch = 1;
        f.dlg->m_bReverse = 1;
        ModalDriver driver;
        QCOMPARE(f.dlg->DoModal(), int(QDialog::Accepted));
        QVERIFY(driver.seen().isEmpty());
        QVERIFY(!f.dlg->isVisible());
        QCOMPARE(ReadFile(f.dir / "a.log"), kRestoredLog);
        QCOMPARE(f.dlg->ExitStatus(), 0);
    }

    // Run again at 200% by tools/test.d/40-dialog-scale.sh.
    void noControlIsCutShort() {
        Fixture f(Settings(-999, "C:\\HARUCOM\\TODOLST2.DAT"));
        f.Show();
        CAboutDlg about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        for (QWidget* dlg : {static_cast<QWidget*>(f.dlg.get()), static_cast<QWidget*>(&about)}) {
            for (QWidget* w : dlg->findChildren<QWidget*>()) {
                if (!w->isVisible() || w->window() != dlg) continue;
                const QString what = dlg->objectName() + "/" + w->objectName();
                // The arrow buttons draw their arrows to whatever size they get.
                const bool hasCaption =
                    (qobject_cast<QAbstractButton*>(w) && !qobject_cast<QToolButton*>(w)) ||
                    qobject_cast<QLabel*>(w);
                if (hasCaption) {
                    QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(what));
                    QVERIFY2(w->height() >= w->sizeHint().height(), qPrintable(what));
                }
                QVERIFY2(QRect(QPoint(), dlg->size())
                             .contains(QRect(w->mapTo(dlg, QPoint()), w->size())),
                         qPrintable(what));
            }
        }
        // The interval edit shows the lowest value whole.
        const QLineEdit* lines = f.Lines();
        QVERIFY(lines->width() > lines->fontMetrics().horizontalAdvance(lines->text()));
    }

#ifdef Q_OS_WIN
    // On Windows the About item is in the window's real system menu, after a
    // separator, and the window is at 0,0 in the task bar without minimise or
    // maximise box.
    void windowsSystemMenu() {
        if (QGuiApplication::platformName() != QLatin1String("windows")) {
            QSKIP("needs the windows platform (-platform windows)");
        }
        Fixture f;
        f.ListOf({});
        QVERIFY(f.dlg->OnInitDialog());
        f.dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.dlg.get()));
        const HWND hwnd = reinterpret_cast<HWND>(f.dlg->winId());

        HMENU menu = GetSystemMenu(hwnd, FALSE);
        QVERIFY(menu);
        const int n = GetMenuItemCount(menu);
        QVERIFY(n >= 2);
        QCOMPARE(GetMenuState(menu, UINT(n - 2), MF_BYPOSITION) & MF_SEPARATOR, UINT(MF_SEPARATOR));
        QCOMPARE(GetMenuItemID(menu, n - 1), UINT(IDM_ABOUTBOX));
        wchar_t text[64] = {};
        GetMenuStringW(menu, UINT(n - 1), text, 64, MF_BYPOSITION);
        QCOMPARE(QString::fromWCharArray(text), QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(TIDEWELL) (&A)..."));

        const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
        QCOMPARE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), LONG_PTR(0));
        QCOMPARE(style & WS_SYSMENU, LONG_PTR(WS_SYSMENU));
        QCOMPARE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW, LONG_PTR(WS_EX_APPWINDOW));
        RECT frame{};
        GetWindowRect(hwnd, &frame);
        QCOMPARE(QPoint(int(frame.left), int(frame.top)), QPoint(0, 0));

        // The system sends the command with its low four bits free.
        for (WPARAM command : {0x0010u, 0x0017u, 0x001Fu}) {
            ModalDriver driver;
            driver.Then("100", [](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
            SendMessageW(hwnd, WM_SYSCOMMAND, command, 0);
            QCOMPARE(driver.Count("100"), 1);
        }
        QVERIFY(f.dlg->isVisible());
    }
#endif

    void aboutBoxShowsTheIcon() {
        CAboutDlg about;
        auto* icon = about.findChild<QLabel*>("icon");
        QVERIFY(icon);
        QCOMPARE(icon->pixmap().size(), QSize(32, 32));
        QVERIFY(!about.windowIcon().isNull());
        QCOMPARE(about.windowIcon().availableSizes().size(), 6);
    }
};

int main(int argc, char** argv) {
    // A profile of our own, so no real one is read or written.
    TempDir config;
    qputenv("XDG_CONFIG_HOME", QByteArray(config.path().c_str()));
    qputenv("WINEPREFIX", QByteArray((config / "wine").c_str()));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    DialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "dialog_test.moc"
