// Two batch runs at once, over one list or over two lists naming logs in the
// same folder: every log ends whole, converted as often as the runs that got to
// it say, and the backup archive keeps every member.
#include <gtest/gtest.h>
#include <sys/file.h>

#include <chrono>
#include <filesystem>

#include "LogChecks.h"
#include "TestSupport.h"
#include "convert/LogRewriter.h"
#include "platform/Io.h"

namespace tidewell::test {
namespace {

constexpr int kRounds = 8;
constexpr int kLogs = 6;

std::string Log(int i) {
    std::string s;
    for (int l = 0; l < 2000; ++l)
        s += "log " + std::to_string(i) + " line " + std::to_string(l) + "\r\n";
    return s;
}

struct Case {
    const char* name;
    bool sameList;  // both runs read one list; else each its own half of the logs
    // The list names links in one folder to logs in two others: the runs share
    // no scratch file, only the archive beside the links.
    bool links = false;
};

class Concurrency : public ::testing::TestWithParam<Case> {};

TEST_P(Concurrency, TwoRunsNeverCorruptOrLoseAFile) {
    const Case c = GetParam();
    for (int round = 0; round < kRounds; ++round) {
        TempDir t;
        std::filesystem::create_directory(t / "logs");
        std::vector<std::string> paths, before;
        ListBuilder all, first, second;
        for (int i = 0; i < kLogs; ++i) {
            paths.push_back(t / ("logs/LOG" + std::to_string(i) + ".TXT"));
            before.push_back(Log(i));
            if (c.links) {
                const std::string real = "real" + std::to_string(i % 2);
                std::filesystem::create_directories(t / real);
                WriteFile(t / (real + "/LOG" + std::to_string(i) + ".TXT"), before.back());
                std::filesystem::create_symlink("../" + real + "/LOG" + std::to_string(i) + ".TXT",
                                                paths.back());
            } else {
                WriteFile(paths.back(), before.back());
            }
            all.Mail("s", paths.back());
            (i % 2 ? second : first).Mail("s", paths.back());
        }
        WriteFile(t / "ALL.DAT", all.bytes());
        WriteFile(t / "FIRST.DAT", first.bytes());
        WriteFile(t / "SECOND.DAT", second.bytes());
        const std::string extra = "LINES=2\nBACKUP=1\n";
        const auto envA =
            WriteProfile(t, t / (c.sameList ? "ALL.DAT" : "FIRST.DAT"), extra, "cfgA");
        const auto envB =
            WriteProfile(t, t / (c.sameList ? "ALL.DAT" : "SECOND.DAT"), extra, "cfgB");

        Started a({"/batch"}, envA), b({"/batch"}, envB);
        const int sa = a.Wait().status, sb = b.Wait().status;
        const std::string errs = a.Wait().err + b.Wait().err;
        ASSERT_FALSE(a.Wait().hung || b.Wait().hung);
        ASSERT_LE(sa, 1) << errs;
        ASSERT_LE(sb, 1) << errs;

        const ArchiveContent archive = ReadArchive(t / "logs/STXBAK.zip");
        ASSERT_TRUE(archive.ok) << archive.error;
        for (int i = 0; i < kLogs; ++i) {
            const std::string now = ReadFile(paths[i]);
            const std::string once = ExpectedCut(before[i], 2), twice = ExpectedCut(once, 2);
            const bool reported = errs.find(paths[i]) != std::string::npos;
            const std::string base = "LOG" + std::to_string(i) + ".TXT";
            ASSERT_TRUE(archive.members.count(base)) << base << " has no backup\n" << errs;
            const std::string& saved = archive.members.at(base);
            if (c.sameList) {
                // Converted by both in turn, or by one while the other said why not.
                ASSERT_TRUE(now == twice || (now == once && reported)) << paths[i] << "\n" << errs;
                ASSERT_TRUE(saved == before[i] || saved == once) << base;
            } else {
                ASSERT_EQ(now, once) << paths[i] << "\n" << errs;
                ASSERT_EQ(saved, before[i]) << base;
            }
        }
        if (!c.sameList) {
            EXPECT_EQ(sa, 0) << errs;
            EXPECT_EQ(sb, 0) << errs;
        }
        std::set<std::string> expected{"STXBAK.zip"};
        for (int i = 0; i < kLogs; ++i) expected.insert("LOG" + std::to_string(i) + ".TXT");
        ASSERT_EQ(ListDir(t / "logs"), expected) << "leftovers";
        if (c.links) {
            for (const char* real : {"real0", "real1"}) {
                for (const std::string& n : ListDir(t / real)) {
                    ASSERT_EQ(n.rfind("LOG", 0), 0u) << "left behind " << n;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, Concurrency,
                         ::testing::Values(Case{"same_list", true},
                                           Case{"two_lists_one_folder", false},
                                           Case{"links_into_two_folders", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tidewell::test

namespace tidewell::test {
namespace {

// Another run holds the folder's scratch file: the entry waits a bounded time,
// then is skipped with a message; the other run's file is left to it.
TEST(ConcurrencyLock, BusyScratchFileSkipsTheEntryAfterABoundedWait) {
    TempDir t;
    const std::string log = t / "LOG.TXT", scratch = t / "$LFCUT$$.$$$";
    WriteFile(log, "a\r\nb\r\n");
    WriteFile(scratch, "the other run's half-written copy");
    const int held = open(scratch.c_str(), O_RDWR);
    ASSERT_EQ(flock(held, LOCK_EX), 0);

    RewriteJob job;
    job.listName = job.path = log;
    job.lockWaitMs = 200;
    const auto start = std::chrono::steady_clock::now();
    Io io;
    const RewriteOutcome r = RewriteLog(io, job);
    const auto waited = std::chrono::steady_clock::now() - start;
    close(held);

    EXPECT_EQ(r.status, RewriteStatus::kFailed);
    EXPECT_NE(r.reason.find("in use by another conversion"), std::string::npos) << r.reason;
    EXPECT_GE(waited, std::chrono::milliseconds(200));
    EXPECT_EQ(ReadFile(log), "a\r\nb\r\n");
    EXPECT_EQ(ReadFile(scratch), "the other run's half-written copy");
}

}  // namespace
}  // namespace tidewell::test
