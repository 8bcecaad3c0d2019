// What only Windows does to a rewrite, the profile and a stop request: share
// modes, the read-only attribute, the registry and console events.
#include <gtest/gtest.h>
#include <windows.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/StopSignals.h"
#include "convert/LogRewriter.h"
#include "platform/Io.h"
#include "platform/ProfileStore.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;

class Folder {
  public:
    Folder() {
        path_ =
            fs::temp_directory_path() / ("tidewell-win-" + std::to_string(GetCurrentProcessId()) +
                                         "-" + std::to_string(count_++));
        fs::create_directories(path_);
    }
    ~Folder() {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(path_, ec)) {
            SetFileAttributesW(e.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        fs::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  private:
    static inline int count_ = 0;
    fs::path path_;
};

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Read(const std::string& path) {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

// A log someone holds in a way that forbids replacing it (a handle without
// delete sharing), and one marked read-only: both are reported and stay as
// they were, and no scratch file is left beside them.
TEST(WindowsRewrite, LogThatMayNotBeReplacedStaysIntact) {
    struct Case {
        const char* name;
        bool holdWithoutDeleteSharing;
        bool readOnly;
        RewriteStatus status;
        const char* reason;
    };
    const Case cases[] = {
        {"held", true, false, RewriteStatus::kFailed, "cannot replace log"},
        {"read-only", false, true, RewriteStatus::kSkipped, "no write permission; left as it is"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Folder dir;
        const std::string log = dir / "MAIL01.TXT";
        const std::string original = "a\r\nb\r\nc\r\n";
        Write(log, original);
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.holdWithoutDeleteSharing) {
            held = CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        }
        if (c.readOnly) {
            ASSERT_TRUE(SetFileAttributesA(log.c_str(), FILE_ATTRIBUTE_READONLY));
        }

        Io io;
        RewriteJob job;
        job.listName = job.path = log;
        job.interval = 1;
        const RewriteOutcome outcome = RewriteLog(io, job);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);

        EXPECT_EQ(outcome.status, c.status);
        EXPECT_NE(outcome.reason.find(c.reason), std::string::npos) << outcome.reason;
        EXPECT_EQ(Read(log), original);
        EXPECT_FALSE(fs::exists(dir / "$LFCUT$$.$$$"));
    }
}

// The entries land where the framework kept them, with its value types, as
// the system's own registry tool shows them.
TEST(WindowsProfile, RegistryRoundTrip) {
    const std::string app = "tidewell-test-" + std::to_string(GetCurrentProcessId());
    const std::string key = "Software\\KORU\\" + app;
    {
        ProfileStore store("KORU", app);
        EXPECT_EQ(store.GetProfileString("TidewellSetup", "TODOLST2", "C:\\D"), "C:\\D");
        EXPECT_EQ(store.GetProfileInt("TidewellSetup", "LINES", 100), 100);
        ASSERT_TRUE(store.WriteProfileString("TidewellSetup", "TODOLST2", "C:\\HARUCOM\\TODOLST2"));
        ASSERT_TRUE(store.WriteProfileInt("TidewellSetup", "LINES", -7));
        ASSERT_TRUE(store.WriteProfileInt("TidewellSetup", "BACKUP", 1));
        EXPECT_EQ(store.FileName(), "HKEY_CURRENT_USER\\" + key);
    }
    ProfileStore again("KORU", app);
    EXPECT_EQ(again.GetProfileString("TidewellSetup", "TODOLST2", ""), "C:\\HARUCOM\\TODOLST2");
    EXPECT_EQ(again.GetProfileInt("TidewellSetup", "LINES", 100), -7);
    EXPECT_EQ(again.GetProfileInt("TidewellSetup", "BACKUP", 0), 1);

    std::string shown;
    const std::string command = "reg query \"HKCU\\" + key + "\\TidewellSetup\"";
    if (FILE* p = _popen(command.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p)) shown += buf;
        _pclose(p);
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
    EXPECT_NE(shown.find("TODOLST2    REG_SZ    C:\\HARUCOM\\TODOLST2"), std::string::npos)
        << shown;
    EXPECT_NE(shown.find("LINES    REG_DWORD    0xfffffff9"), std::string::npos) << shown;
    EXPECT_NE(shown.find("BACKUP    REG_DWORD    0x1"), std::string::npos) << shown;
}

// Ctrl-C in the console turns into the stop request the core obeys.
TEST(WindowsConsole, CtrlCAsksTheRunToStop) {
    // A console of the test's own, so that the event reaches no one else.
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    {
        StopSignals stopSignals;
        ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
        for (int i = 0; i < 500 && StopSignal() == 0; ++i) Sleep(10);
        EXPECT_EQ(StopSignal(), SIGINT);
        ClearStop();
    }
    FreeConsole();
}

}  // namespace
}  // namespace tidewell
