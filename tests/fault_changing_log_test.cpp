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
    ScopedIo scoped(&io);
    const ProcessOutcome o = ProcessTodoList(s, env);

    ASSERT_EQ(seen >= m.nth, true) << "the change never happened";
    EXPECT_EQ(ExitStatusOf(o), 1);
    EXPECT_NE(diag.str().find(log + ": " + m.message), std::string::npos) << diag.str();
    EXPECT_EQ(ReadFile(log), expected);
    EXPECT_FALSE(Exists(t / "$LFCUT$$.$$$"));
    EXPECT_FALSE(Exists(t / "STXBAK.zip.$$$"));
}

// The log's own operations in a run: open, fstat, access, lstat, then the
// scratch file's, then reading (read), backup (archive.add), flush (fsync).
INSTANTIATE_TEST_SUITE_P(
    Moments, ChangingLog,
    ::testing::Values(Moment{"append_while_reading", "read", 2, Change::kAppend, false},
                      Moment{"append_after_reading", "read", 3, Change::kAppend, false},
                      // The archive's own check sees the file differ from what it read first.
                      Moment{"append_during_backup", "archive.add", 1, Change::kAppend, true,
                             "backup failed: member LOG.TXT does not match the file"},
                      Moment{"append_before_commit", "fsync", 1, Change::kAppend, false},
                      Moment{"replaced_before_commit", "fsync", 1, Change::kReplace, false},
                      Moment{"overwritten_same_size", "fsync", 1, Change::kOverwriteSameSize,
                             false}),
    [](const auto& info) { return std::string(info.param.name); });

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
        ScopedIo scoped(&io);
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
