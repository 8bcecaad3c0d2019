// A rewrite that fails at any step leaves the log exactly as it was.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "FaultyIo.h"
#include "LogChecks.h"
#include "TestSupport.h"
#include "convert/ProcessTodoList.h"

namespace tidewell {
namespace {

using test::Exists;
using test::FaultyIo;
using test::ListBuilder;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

struct FaultCase {
    const char* op;
    int err;
    bool backup;
    const char* reason;  // part of the reported line
    long nth = 0;        // only this call of the operation; 0 for all
};

// Gives the log a user attribute through the seam; false where the system has none.
bool TagWithAttribute(const std::string& path) {
    Io io;
    const int fd = io.Open(path, O_RDONLY);
    if (fd < 0) return false;
    const bool ok = io.SetXattr(fd, "user.origin", "x", 1) == 0;
    io.Close(fd);
    return ok;
}

TEST(RewriteFaults, FailedStepLeavesLogAndNoScratchFile) {
    const FaultCase cases[] = {
        {"write", ENOSPC, false, "cannot write the converted copy"},
        {"read", EIO, false, "read error", 2},  // the first read is the list's
        {"fsync", EIO, false, "cannot flush"},
        {"rename", EIO, false, "cannot replace log"},
        {"archive.add", EIO, true, "backup failed"},
        {"archive.commit", ENOSPC, true, "backup failed"},
        {"xattr.list", EIO, false, "cannot read the log's extended attributes"},
        {"xattr.set", ENOSPC, false, "cannot keep the log's attribute user.origin"},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.op);
        TempDir dir;
        const std::string log = dir / "p.log";
        const std::string original = "a\r\nb\r\nc\r\n";
        WriteFile(log, original);
        WriteFile(dir / "TODOLST2.DAT", ListBuilder().Board("PATIO", "b", log).bytes());
        if (!TagWithAttribute(log) && std::string(c.op).rfind("xattr.", 0) == 0) {
            continue;  // no extended attributes on this file system
        }

        FaultyIo io;
        io.FailOp(c.op, c.err, c.nth);
        std::ostringstream out, err;
        ConvertEnv env(io, out, err);
        ConvertSettings s;
        s.m_strTodoPath = dir / "TODOLST2.DAT";
        s.m_bBackup = c.backup;
        const ProcessOutcome outcome = ProcessTodoList(s, env);

        EXPECT_EQ(ReadFile(log), original);
        EXPECT_FALSE(Exists(dir / "$LFCUT$$.$$$"));
        EXPECT_EQ(ExitStatusOf(outcome), 1);
        ASSERT_EQ(outcome.failures.size(), 1u);
        EXPECT_NE(err.str().find(c.reason), std::string::npos) << err.str();
    }
}

// Trouble after the rename: the log is converted, and that is what the line
// says, as a warning; the run still ends with status 1.
TEST(RewriteFaults, TroubleAfterTheReplaceIsAWarning) {
    TempDir dir;
    const std::string log = dir / "p.log";
    WriteFile(log, "a\r\nb\r\n");
    WriteFile(dir / "TODOLST2.DAT", ListBuilder().Board("PATIO", "b", log).bytes());
    FaultyIo io;
    io.FailOp("fsync", EIO, 2);  // the folder's, after the rename
    std::ostringstream out, err;
    ConvertEnv env(io, out, err);
    ConvertSettings s;
    s.m_strTodoPath = dir / "TODOLST2.DAT";
    const ProcessOutcome outcome = ProcessTodoList(s, env);
    EXPECT_EQ(ReadFile(log), test::ExpectedCut("a\r\nb\r\n", 100, false));
    EXPECT_EQ(err.str(), "tidewell: " + log +
                             ": warning: converted, but the folder could not be flushed: " +
                             std::strerror(EIO) + "\n");
    EXPECT_TRUE(outcome.failures.empty());
    EXPECT_EQ(outcome.warnings.size(), 1u);
    EXPECT_EQ(outcome.converted, 1u);
    EXPECT_EQ(ExitStatusOf(outcome), 1);
}

TEST(RewriteFaults, UnreadableListIsStatusTwo) {
    FaultyIo io;
    std::ostringstream out, err;
    ConvertEnv env(io, out, err);
    ConvertSettings s;
    s.m_strTodoPath = "/nonexistent/TODOLST2.DAT";
    const ProcessOutcome outcome = ProcessTodoList(s, env);
    EXPECT_EQ(outcome.result, -1);
    EXPECT_EQ(ExitStatusOf(outcome), 2);
}

}  // namespace
}  // namespace tidewell
