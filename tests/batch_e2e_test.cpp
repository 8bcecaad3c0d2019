// The built program in batch mode over small HARUCOM trees, profile and all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "LogChecks.h"
#include "TestSupport.h"
#include "convert/LineFeedFilters.h"

namespace tidewell {
namespace {

using test::Exists;
using test::ListBuilder;
using test::ReadFile;
using test::RunResult;
using test::TempDir;
using test::WriteFile;

const std::string kLog = "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\n";

using test::ExpectedCut;
using test::ExpectedRestore;

// One HARUCOM tree: a folder of logs, the list, and a private profile.
class Tree {
  public:
    Tree() { mkdir((dir_ / "logs").c_str(), 0755); }
    std::string Log(const std::string& name) const { return dir_ / ("logs/" + name); }
    std::string List() const { return dir_ / "TODOLST2.DAT"; }
    const std::string& Root() const { return dir_.path(); }
    void Profile(const std::string& extra) const { test::WriteProfile(dir_, List(), extra); }
    RunResult Run(const std::vector<std::string>& args = {"/batch"},
                  const test::RunOptions& options = {}) const {
        return test::RunTidewell(args, test::HeadlessEnv(dir_), options);
    }

  private:
    TempDir dir_;
};

TEST(Batch, ConvertsEveryKindAndTracesExactly) {
    Tree t;
    const std::map<std::string, std::string> logs = {{"f.log", kLog},
                                                     {"s.log", "x\r\n" + kLog},
                                                     {"p.log", kLog + "z\r\n"},
                                                     {"h.log", kLog},
                                                     {"m.log", "TO:" + kLog}};
    for (const auto& [name, bytes] : logs) WriteFile(t.Log(name), bytes);
    WriteFile(t.List(), ListBuilder()
                            .FileTransfer("FPCX", "MES07", t.Log("f.log"))
                            .FileTransfer("SYS", "ab", t.Log("s.log"))
                            .Board("PATIO", "board", t.Log("p.log"))
                            .Board("HP", "page", t.Log("h.log"))
                            .Mail("inbox", t.Log("m.log"))
                            .bytes());
    t.Profile("LINES=2\n");
    const RunResult r = t.Run();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "FPCX.07 SYS. MAIL inbox ");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadFile(t.Log("f.log")), ExpectedCut(kLog, 2));
    EXPECT_EQ(ReadFile(t.Log("s.log")), ExpectedCut("x\r\n" + kLog, 2));
    EXPECT_EQ(ReadFile(t.Log("p.log")), ExpectedCut(kLog + "z\r\n", 2));
    EXPECT_EQ(ReadFile(t.Log("h.log")), "a\r\nb\rc\r\nd\re\rf\r\n\n");  // negated interval
    EXPECT_EQ(ReadFile(t.Log("m.log")), ExpectedCut("TO:" + kLog, 2));
    EXPECT_FALSE(Exists(t.Log("$LFCUT$$.$$$")));
}

struct SettingsCase {
    const char* name;
    std::string profile;
    std::vector<std::string> args;
    std::string expected;  // the log after the run
};

TEST(Batch, SettingsComeFromProfileThenSwitches) {
    const std::string cutBare = "a\rb\rc\rd\re\rf\r\n";
    const std::vector<SettingsCase> cases = {
        {"defaults", "", {"/batch"}, ExpectedCut(kLog, 100)},
        {"stored interval used unchanged", "LINES=5000\n", {"/batch"}, ExpectedCut(kLog, 5000)},
        {"negative stored interval", "LINES=-7\n", {"/batch"}, ExpectedCut(kLog, -7)},
        {"reverse from the profile", "REVERSE=1\n", {"/batch"}, ExpectedRestore(cutBare)},
        {"switches anywhere, any case", "", {"/BATCH", "/Reverse"}, ExpectedRestore(cutBare)},
        {"a switch inside a word",
         "LINES=100\n",
         {"x/batchy", "/v20"},
         ExpectedCut(kLog, 100, true)},
        {"a switch cannot turn a stored 1 off",
         "FORV2=1\n",
         {"/batch"},
         ExpectedCut(kLog, 100, true)},
    };
    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(c.name);
        Tree t;
        const std::string input = c.expected == ExpectedRestore(cutBare) ? cutBare : kLog;
        WriteFile(t.Log("p.log"), input);
        WriteFile(t.List(), ListBuilder().Board("PATIO", "b", t.Log("p.log")).bytes());
        t.Profile(c.profile);
        const RunResult r = t.Run(c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(ReadFile(t.Log("p.log")), c.expected);
    }
}

TEST(Batch, BackupKeepsEveryOriginalInTheArchive) {
    Tree t;
    WriteFile(t.Log("one.log"), kLog);
    WriteFile(t.Log("two words.log"), "TO:" + kLog);
    // one.log is named three times, once through another spelling of its
    // folder: converted each time, while the archive keeps the original.
    WriteFile(t.List(), ListBuilder()
                            .Board("PATIO", "b", t.Log("one.log"))
                            .Mail("m", t.Log("two words.log"))
                            .Board("PATIO", "b", t.Log("one.log"))
                            .Board("PATIO", "b", t.Log("../logs/./one.log"))
                            .bytes());
    t.Profile("BACKUP=1\n");
    const RunResult r = t.Run();
    ASSERT_EQ(r.status, 0) << r.err;
    const auto members = test::ReadArchive(t.Log("STXBAK.zip")).members;
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members.at("one.log"), kLog);
    EXPECT_EQ(members.at("two words.log"), "TO:" + kLog);
    EXPECT_EQ(ReadFile(t.Log("one.log")),
              ExpectedCut(ExpectedCut(ExpectedCut(kLog, 100), 100), 100));
    EXPECT_EQ(ReadFile(t.Log("two words.log")), ExpectedCut("TO:" + kLog, 100));
    WriteFile(t.List(), ListBuilder()
                            .Board("PATIO", "b", t.Log("one.log"))
                            .Mail("m", t.Log("two words.log"))
                            .bytes());

    // A second run replaces the members with the logs as the first one left them.
    ASSERT_EQ(t.Run().status, 0);
    EXPECT_EQ(test::ReadArchive(t.Log("STXBAK.zip")).members.at("one.log"),
              ExpectedCut(ExpectedCut(ExpectedCut(kLog, 100), 100), 100));
}

// Names reach the archive as values, byte for byte: a quote does not pick
// another file, a folder starting with '-' is not a switch.
TEST(Batch, BackupTakesEveryNameAsItIs) {
    struct Case {
        const char* name;
        std::string folder;               // below the tree; the run starts there
        std::string listed;               // the name in the list, relative to the run's folder
        std::vector<std::string> others;  // files beside it that must stay untouched
    } cases[] = {
        {"quote in the name", "logs", "x\"y.txt", {"xy.txt"}},
        {"quotes around a space", "logs", "\"a b\".txt", {"a b.txt", "a"}},
        {"folder starting with a dash", "-d", "-d/x.txt", {}},
        {"switch-like name", "logs", "-n", {}},
        // Without a drive a backslash is part of the file's name here: the
        // scratch file, the folder flush and the archive are the run's folder's.
        {"driveless name with a backslash", ".", "LOG\\X.TXT", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tree t;
        const std::string base = t.Log("..");
        const std::string folder = base + "/" + c.folder;
        mkdir(folder.c_str(), 0755);
        const std::string file = c.listed.substr(c.listed.rfind('/') + 1);
        const std::string inFolder = folder + "/" + file;
        WriteFile(inFolder, kLog);
        for (const std::string& o : c.others) WriteFile(folder + "/" + o, "other\r\n");
        const bool relative = c.folder != "logs";
        WriteFile(t.List(),
                  ListBuilder().Board("PATIO", "b", relative ? c.listed : inFolder).bytes());
        t.Profile("BACKUP=1\n");
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        ASSERT_EQ(chdir(base.c_str()), 0);
        const RunResult r = t.Run();
        ASSERT_EQ(chdir(cwd), 0);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(ReadFile(inFolder), ExpectedCut(kLog, 100));
        EXPECT_EQ(test::ReadArchive(folder + "/STXBAK.zip").members,
                  (std::map<std::string, std::string>{{file, kLog}}));
        for (const std::string& o : c.others) EXPECT_EQ(ReadFile(folder + "/" + o), "other\r\n");
    }
}

// The archive's files are ours from first to last: where the system fails a
// removal, a permission change or a clone, either the run says so or nothing
// but the logs and the archive remains (the attack that found libzip's probe
// file left behind after a run that ended well).
TEST(Batch, FailingSystemCallsLeaveNoArchiveWorkBehind) {
    if (access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "needs strace";
    // The leak checker of a sanitizer build cannot work under a tracer.
    const char* asan = getenv("ASAN_OPTIONS");
    const std::string oldAsan = asan ? asan : "";
    setenv("ASAN_OPTIONS", (oldAsan + (asan ? ":" : "") + "detect_leaks=0").c_str(), 1);
    for (const char* inject : {"unlink", "unlinkat", "chmod", "fchmod", "ioctl", "rename"}) {
        SCOPED_TRACE(inject);
        Tree t;
        WriteFile(t.Log("old.log"), "kept\r\n");
        WriteFile(t.List(), ListBuilder().Board("PATIO", "b", t.Log("old.log")).bytes());
        t.Profile("BACKUP=1\n");
        ASSERT_EQ(t.Run().status, 0);  // an archive with a member before the next one
        WriteFile(t.Log("new.log"), kLog);
        WriteFile(t.List(), ListBuilder().Board("PATIO", "b", t.Log("new.log")).bytes());
        test::RunOptions strace;
        strace.prefix = {"/usr/bin/strace", "-f", "-o",
                         "/dev/null",       "-e", std::string("inject=") + inject + ":error=EIO"};
        const RunResult r = t.Run({"/batch"}, strace);
        const std::set<std::string> left = test::ListDir(t.Log(""));
        if (r.status == 0) {
            EXPECT_EQ(left, (std::set<std::string>{"STXBAK.zip", "old.log", "new.log"})) << r.err;
            EXPECT_EQ(test::ReadArchive(t.Log("STXBAK.zip")).members.at("new.log"), kLog);
        } else {
            EXPECT_NE(r.err.find("new.log"), std::string::npos) << r.err;
        }
    }
    if (asan) {
        setenv("ASAN_OPTIONS", oldAsan.c_str(), 1);
    } else {
        unsetenv("ASAN_OPTIONS");
    }
}

TEST(Batch, ReverseWithBackupMakesNoArchive) {
    Tree t;
    WriteFile(t.Log("r.log"), "a\rb\r");
    WriteFile(t.List(), ListBuilder().Board("PATIO", "b", t.Log("r.log")).bytes());
    t.Profile("BACKUP=1\nREVERSE=1\n");
    EXPECT_EQ(t.Run().status, 0);
    EXPECT_EQ(ReadFile(t.Log("r.log")), "a\r\nb\r\n");
    EXPECT_FALSE(Exists(t.Log("STXBAK.zip")));
}

// A dry run tells what the real run then does: the same trace, the same lines
// for the logs it leaves alone, the same status, and for each log it converts
// the sizes before and after and the backup. It changes and creates nothing,
// not even for a moment.
TEST(Batch, DryRunForetellsTheRunAndChangesNothing) {
    struct Case {
        const char* name;
        std::string profile;
        std::vector<std::string> args;  // the dry run's; the real run's is /batch
        bool troubles;  // logs that are read-only, no file, or stuck behind the scratch name
        int status;
    };
    const std::vector<Case> cases = {
        {"clean", "LINES=2\n", {"--dry-run"}, false, 0},
        {"troubles", "", {"/batch", "--dry-run"}, true, 1},
        {"backup", "BACKUP=1\n", {"--dry-run"}, false, 0},
        {"backup and troubles", "BACKUP=1\n", {"--dry-run"}, true, 1},
        {"reverse", "REVERSE=1\n", {"--dry-run"}, true, 1},
        {"reverse with backup", "REVERSE=1\nBACKUP=1\n", {"--dry-run"}, false, 0},
    };
    const std::string mixed = "a\rb\r\nc\rd\r\ne\rf\r";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tree t;
        // In the list's order, which the dry run's lines follow.
        const std::vector<std::pair<std::string, std::string>> logs = {
            {"f.log", kLog}, {"m.log", "TO:" + kLog}, {"h.log", mixed}};
        for (const auto& [name, bytes] : logs) WriteFile(t.Log(name), bytes);
        ListBuilder list;
        list.FileTransfer("FPCX", "MES07", t.Log("f.log"))
            .Mail("inbox", t.Log("m.log"))
            .Board("HP", "page", t.Log("h.log"))
            .Board("PATIO", "b", t.Log("gone.log"));
        if (c.troubles) {
            WriteFile(t.Log("ro.log"), kLog);
            chmod(t.Log("ro.log").c_str(), 0444);
            mkdir(t.Log("adir").c_str(), 0755);
            mkfifo(t.Log("fifo").c_str(), 0644);
            mkdir(t.Log("stuck").c_str(), 0755);
            mkdir(t.Log("stuck/$LFCUT$$.$$$").c_str(), 0755);
            WriteFile(t.Log("stuck/x.log"), kLog);
            list.Board("PATIO", "b", t.Log("ro.log"))
                .Board("PATIO", "b", t.Log("adir"))
                .Board("PATIO", "b", t.Log("fifo"))
                .Board("PATIO", "b", t.Log("stuck/x.log"));
        }
        WriteFile(t.List(), list.bytes());
        t.Profile(c.profile);

        const auto before = test::TreeState(t.Root());
        const RunResult dry = t.Run(c.args);
        EXPECT_EQ(test::TreeState(t.Root()), before) << dry.err;
        const RunResult real = t.Run();
        EXPECT_EQ(real.status, c.status) << real.err;
        EXPECT_EQ(dry.status, real.status) << dry.err;
        EXPECT_EQ(dry.out, real.out);
        EXPECT_EQ(test::WithoutPlan(dry.err), real.err) << dry.err;
        const bool backup = c.profile.find("BACKUP") != std::string::npos &&
                            c.profile.find("REVERSE") == std::string::npos;
        std::string plan;
        for (const auto& [name, bytes] : logs) {
            if (backup) {
                plan += "tidewell: " + t.Log(name) + ": would back up into " + t.Log("STXBAK.zip") +
                        " as " + name + "\n";
            }
            plan += "tidewell: " + t.Log(name) + ": would convert (" +
                    std::to_string(bytes.size()) + " -> " +
                    std::to_string(ReadFile(t.Log(name)).size()) + " bytes)\n";
        }
        std::string said;
        std::istringstream lines(dry.err);
        for (std::string line; std::getline(lines, line);) {
            if (line.find(": would ") != std::string::npos) said += line + "\n";
        }
        EXPECT_EQ(said, plan);
        EXPECT_EQ(test::ReadArchive(t.Log("STXBAK.zip")).members.size(), backup ? 3u : 0u);
    }
}

TEST(Batch, MissingLogIsReportedButNotAFailure) {
    Tree t;
    WriteFile(t.Log("there.log"), kLog);
    WriteFile(t.List(), ListBuilder()
                            .Board("PATIO", "b", t.Log("gone.log"))
                            .Board("PATIO", "b", t.Log("there.log"))
                            .bytes());
    t.Profile("");
    const RunResult r = t.Run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "tidewell: " + t.Log("gone.log") + ": not found\n");
    EXPECT_FALSE(Exists(t.Log("gone.log")));
    EXPECT_FALSE(Exists(t.Log("$LFCUT$$.$$$")));
    EXPECT_EQ(ReadFile(t.Log("there.log")), ExpectedCut(kLog, 100));
}

TEST(Batch, NonRegularFilesAreSkippedAndFail) {
    Tree t;
    mkdir(t.Log("adir").c_str(), 0755);
    mkfifo(t.Log("fifo").c_str(), 0644);
    WriteFile(t.Log("ok.log"), kLog);
    WriteFile(t.List(), ListBuilder()
                            .Board("PATIO", "b", t.Log("adir"))
                            .Board("PATIO", "b", t.Log("fifo"))
                            .Board("PATIO", "b", "/dev/zero")
                            .Board("PATIO", "b", t.Log("ok.log"))
                            .bytes());
    t.Profile("");
    const RunResult r = t.Run();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(t.Log("fifo") + ": not a regular file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("/dev/zero: not a regular file"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(t.Log("ok.log")), ExpectedCut(kLog, 100));
}

TEST(Batch, KeepsPermissionsAndSymbolicLinks) {
    Tree t;
    WriteFile(t.Log("real.log"), kLog);
    chmod(t.Log("real.log").c_str(), 0640);
    symlink(t.Log("real.log").c_str(), t.Log("link.log").c_str());
    WriteFile(t.List(), ListBuilder().Board("PATIO", "b", t.Log("link.log")).bytes());
    t.Profile("");
    ASSERT_EQ(t.Run().status, 0);
    struct stat st;
    ASSERT_EQ(lstat(t.Log("link.log").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(t.Log("real.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFile(t.Log("real.log")), ExpectedCut(kLog, 100));
}

TEST(Batch, RunsWithoutAnyDisplay) {
    Tree t;
    WriteFile(t.Log("p.log"), kLog);
    WriteFile(t.List(), ListBuilder().Board("PATIO", "b", t.Log("p.log")).bytes());
    t.Profile("");
    const RunResult r = t.Run({"/batch"});  // every run here has no display
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(t.Log("p.log")), ExpectedCut(kLog, 100));
}

TEST(Batch, UnreadableListWithoutDisplayEndsWithStatusTwo) {
    Tree t;
    t.Profile("");                          // names a list that does not exist
    const RunResult r = t.Run({"/batch"});  // every run here has no display
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(t.List()), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace tidewell
