// HARUCOM may write to a log while we convert it. Whatever moment that
// happens at, the log must keep every byte it was given, and the entry is
// reported instead of replaced.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "FaultyIo.h"
#include "LogChecks.h"
#include "TestSupport.h"
#include "convert/LogRewriter.h"
#include "convert/ProcessTodoList.h"

namespace tidewell::test {
namespace {

const std::string kText = "first\r\nsecond\r\nthird\r\n";
const std::string kMore = "appended\r\n";

enum class Change { kAppend, kReplace, kOverwriteSameSize };

struct Moment {
    const char* name;
    const char* op;  // the change happens just before the n-th call of this operation
    int nth;
    Change change;
    bool backup;
    const char* message = "log changed during conversion";
};

class ChangingLog : public ::testing::TestWithParam<Moment> {};

TEST_P(ChangingLog, IsKeptWithEveryByteAndReported) {
    const Moment m = GetParam();
    TempDir t;
    const std::string log = t / "LOG.TXT";
    WriteFile(log, kText);
    WriteFile(t / "TODOLST2.DAT", ListBuilder().Mail("s", log).bytes());

    std::string expected = kText;
    FaultyIo io;
    int seen = 0;
    io.OnCall([&](const std::string& op) {
        if (op != m.op || ++seen != m.nth) return;
        switch (m.change) {
            case Change::kAppend: {
                std::ofstream(log, std::ios::binary | std::ios::app) << kMore;
                expected = kText + kMore;
                break;
            }
            case Change::kReplace:
                WriteFile(t / "new", kMore);
                rename((t / "new").c_str(), log.c_str());
                expected = kMore;
                break;
            case Change::kOverwriteSameSize: {
                // Same size, and quick enough to share the modification time's tick.
                std::fstream f(log, std::ios::binary | std::ios::in | std::ios::out);
                f << "FIRST";
                expected = "FIRST" + kText.substr(5);
                break;
            }
        }
    });
    ConvertSettings s;
    s.m_strTodoPath = t / "TODOLST2.DAT";
    s.m_bBackup = m.backup;
    std::ostringstream trace, diag;
    ConvertEnv env(io, trace, diag);
    const ProcessOutcome o = ProcessTodoList(s, env);

    ASSERT_EQ(seen >= m.nth, true) << "the change never happened";
    EXPECT_EQ(ExitStatusOf(o), 1);
    EXPECT_NE(diag.str().find(log + ": " + m.message), std::string::npos) << diag.str();
    EXPECT_EQ(ReadFile(log), expected);
    EXPECT_FALSE(Exists(t / "$LFCUT$$.$$$"));
    EXPECT_FALSE(Exists(t / "STXBAK.zip.$$$"));
}

// The log's own operations in a run: open, fstat, access, lstat, then the
// scratch file's, then the backup (archive.add), reading (read), flush (fsync).
INSTANTIATE_TEST_SUITE_P(
    Moments, ChangingLog,
    ::testing::Values(Moment{"append_while_reading", "read", 2, Change::kAppend, false},
                      Moment{"append_after_reading", "read", 3, Change::kAppend, false},
                      // The backup reads more than the file held when it was opened.
                      Moment{"append_during_backup", "archive.add", 1, Change::kAppend, true,
                             "backup failed: LOG.TXT changed while it was being backed up"},
                      // After the archive took the original: the bytes read for the
                      // conversion are no longer the ones archived.
                      Moment{"append_after_backup", "fsync", 1, Change::kAppend, true,
                             "log changed since it was backed up"},
                      Moment{"overwritten_after_backup", "fsync", 1, Change::kOverwriteSameSize,
                             true, "log changed since it was backed up"},
                      Moment{"append_before_commit", "fsync", 1, Change::kAppend, false},
                      Moment{"replaced_before_commit", "fsync", 1, Change::kReplace, false},
                      Moment{"overwritten_same_size", "fsync", 1, Change::kOverwriteSameSize,
                             false}),
    [](const auto& info) { return std::string(info.param.name); });

// The listed name is a symbolic link that someone points at another file at
// any moment of the run: whichever file is converted, the archive holds that
// file's own original, never the other's.
TEST(ChangingLink, ArchiveHoldsTheBytesThatWereConverted) {
    const std::string first = "first\r\nfile\r\n", second = "second\r\nfile\r\n";
    long total = 0;
    for (long n = 1; total == 0 || n <= total; ++n) {
        TempDir t;
        WriteFile(t / "a.txt", first);
        WriteFile(t / "b.txt", second);
        symlink("a.txt", (t / "LOG.TXT").c_str());
        WriteFile(t / "TODOLST2.DAT", ListBuilder().Mail("s", t / "LOG.TXT").bytes());
        FaultyIo io;
        io.OnCall([&](const std::string&) {
            if (io.calls() != n) return;
            unlink((t / "LOG.TXT").c_str());
            symlink("b.txt", (t / "LOG.TXT").c_str());
        });
        ConvertSettings s;
        s.m_strTodoPath = t / "TODOLST2.DAT";
        s.m_bBackup = 1;
        std::ostringstream trace, diag;
        ConvertEnv env(io, trace, diag);
        const ProcessOutcome o = ProcessTodoList(s, env);
        if (total == 0) total = io.calls();
        SCOPED_TRACE("re-pointed before call " + std::to_string(n) + " of " +
                     std::to_string(total) + "\n" + diag.str());

        const std::string a = ReadFile(t / "a.txt"), b = ReadFile(t / "b.txt");
        const ArchiveContent archive = ReadArchive(t / "STXBAK.zip");
        const bool aConverted = a == ExpectedCut(first, 100, false);
        const bool bConverted = b == ExpectedCut(second, 100, false);
        ASSERT_TRUE(a == first || aConverted);
        ASSERT_TRUE(b == second || bConverted);
        ASSERT_FALSE(aConverted && bConverted);
        if (aConverted || bConverted) {
            ASSERT_TRUE(archive.ok) << archive.error;
            EXPECT_EQ(archive.members.at("LOG.TXT"), aConverted ? first : second);
        } else {
            EXPECT_EQ(ExitStatusOf(o), 1);
        }
    }
}

// A stop asked for by a signal at any of these moments drops the entry
// cleanly: the log as it was, no scratch file, no working copy of the archive.
TEST(StopRequest, MidLogLeavesItAsItWas) {
    for (const char* op : {"read", "write", "archive.add", "archive.commit"}) {
        TempDir t;
        const std::string log = t / "LOG.TXT";
        WriteFile(log, kText);
        FaultyIo io;
        io.OnCall([&](const std::string& called) {
            if (called == op) RequestStop(SIGTERM);
        });
        RewriteJob job;
        job.listName = job.path = log;
        job.backup = true;
        const RewriteOutcome r = RewriteLog(io, job);
        ClearStop();
        EXPECT_EQ(r.status, RewriteStatus::kFailed) << op;
        EXPECT_EQ(r.reason, "interrupted; left as it was") << op;
        EXPECT_EQ(ReadFile(log), kText) << op;
        EXPECT_EQ(ListDir(t.path()), std::set<std::string>{"LOG.TXT"}) << op;
    }
}

}  // namespace
}  // namespace tidewell::test
