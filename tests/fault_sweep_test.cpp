// Fails every single file or archive operation of a conversion run in turn,
// once as a passing fault and once as one that persists, and checks after each
// run that no log was lost or damaged and that nothing half-done was left.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "FaultyIo.h"
#include "LogChecks.h"
#include "TestSupport.h"
#include "convert/ProcessTodoList.h"

namespace tidewell::test {
namespace {

constexpr int kLines = 3;
constexpr mode_t kLogMode = 0640;
const char kOldMember[] = "OLD.TXT";
const char kAttribute[] = "user.tidewell.name";
const char kOldBytes[] = "kept from an earlier backup\r\n";

struct Scenario {
    const char* name;
    bool reverse;
    bool backup;
    bool archiveBefore;    // STXBAK.zip already holds another member
    bool noLinks = false;  // the file system refuses second names: the archive is copied
    bool linked = false;   // the "b" log is a symbolic link to a file in folder "c"
};

struct Log {
    std::string dir;  // "a" or "b"
    std::string name;
    bool hp;
    std::string bytes;
};

std::string Lines(const std::string& tag, int n, const char* end) {
    std::string s;
    for (int i = 0; i < n; ++i) s += tag + " line " + std::to_string(i) + end;
    return s;
}

std::vector<Log> Logs(bool reverse) {
    // Restoring works on logs that were cut before: bare CRs with a few CR LFs.
    const char* end = reverse ? "\r" : "\r\n";
    return {{"a", "MAIL01.TXT", false, Lines("mail", 9, end) + "x\r\n"},
            {"a", "HP01.TXT", true, Lines("hp", 7, end)},
            {"a", "MAIL02.TXT", false, Lines("second mail", 5, end)},
            {"b", "FILE01.LOG", false, "TO:header\r\n" + Lines("f", 8, end)}};
}

// A scratch tree on tmpfs where there is one: the sweep runs thousands of
// conversions and is about the logic of failure, not the speed of fsync.
std::string MakeRoot() {
    std::string base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string tmpl = base + "/tidewell-sweep-XXXXXX";
    if (!mkdtemp(tmpl.data())) return {};
    return tmpl;
}

class Tree {
  public:
    Tree(const Scenario& sc) : sc_(sc), root_(MakeRoot()), logs_(Logs(sc.reverse)) {
        std::filesystem::create_directory(root_ + "/a");
        std::filesystem::create_directory(root_ + "/b");
        std::filesystem::create_directory(root_ + "/c");
        ListBuilder list;
        for (const Log& l : logs_) {
            const std::string path = Path(l);
            if (sc.linked && l.dir == "b") {
                std::filesystem::create_symlink("../c/" + l.name, path);
            }
            WriteFile(path, l.bytes);
            chmod(path.c_str(), kLogMode);
            // An attribute to carry over, where the file system has them.
            setxattr(path.c_str(), kAttribute, l.name.data(), l.name.size(), 0);
            if (l.hp) {
                list.Board("HP", "sub", path);
            } else if (l.dir == "b") {
                list.FileTransfer("FPCX", "MES07", path);
            } else {
                list.Mail("xyz", path);
            }
        }
        list.Mail("gone", root_ + "/a/MISSING.TXT");
        WriteFile(ListPath(), list.bytes());
        if (sc.archiveBefore) {
            for (const char* d : {"a", "b"}) {
                zip_t* za =
                    zip_open((root_ + "/" + d + "/STXBAK.zip").c_str(), ZIP_CREATE, nullptr);
                zip_source_t* src = zip_source_buffer(za, kOldBytes, sizeof kOldBytes - 1, 0);
                zip_file_add(za, kOldMember, src, 0);
                zip_close(za);
            }
        }
        for (const Log& l : logs_) states_.push_back(l.bytes);
    }
    ~Tree() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    std::string Path(const Log& l) const { return root_ + "/" + l.dir + "/" + l.name; }
    std::string ListPath() const { return root_ + "/TODOLST2.DAT"; }
    const std::vector<Log>& logs() const { return logs_; }
    // What each log held before the last run.
    const std::vector<std::string>& states() const { return states_; }

    std::string Converted(size_t i) const {
        if (sc_.reverse) return ExpectedRestore(states_[i]);
        return ExpectedCut(states_[i], logs_[i].hp ? -kLines : kLines, false);
    }

    struct Result {
        int status;
        std::string diag;
    };
    Result Run(Io& io) {
        ConvertSettings s;
        s.m_strTodoPath = ListPath();
        s.m_nLines = kLines;
        s.m_bReverse = sc_.reverse;
        s.m_bBackup = sc_.backup;
        std::ostringstream trace, diag;
        ConvertEnv env(io, trace, diag);
        const ProcessOutcome o = ProcessTodoList(s, env);
        if (o.result < 0) diag << "list: " << o.listError << '\n';
        return {ExitStatusOf(o), diag.str()};
    }

    // Checks everything a run may leave; `leftoversAllowed` when the fault
    // persisted, so that even removing our own files failed. Returns the
    // problems found, empty when all is well.
    std::string Check(const Result& r, bool leftoversAllowed) {
        std::ostringstream bad;
        bool allConverted = true;
        for (size_t i = 0; i < logs_.size(); ++i) {
            const std::string path = Path(logs_[i]);
            const std::string now = ReadFile(path);
            const std::string want = Converted(i);
            struct stat st {};
            stat(path.c_str(), &st);
            if ((st.st_mode & 07777) != kLogMode) bad << path << ": mode changed\n";
            char attr[64];
            const ssize_t n = getxattr(path.c_str(), kAttribute, attr, sizeof attr);
            if (n >= 0 && std::string(attr, static_cast<size_t>(n)) != logs_[i].name) {
                bad << path << ": attribute changed\n";
            } else if (n < 0 && errno != ENOTSUP) {
                bad << path << ": attribute lost\n";
            }
            if (now == want) continue;
            allConverted = false;
            if (now != states_[i]) bad << path << ": neither original nor converted\n";
            if (r.status == 0) bad << path << ": not converted, yet status 0\n";
            // An entry is either reported itself or lies beyond a list that could not be read.
            if (r.status == 1 && r.diag.find(path) == std::string::npos &&
                r.diag.find(ListPath() + ": error reading") == std::string::npos) {
                bad << path << ": not converted and not reported\n";
            }
        }
        if (r.status > 0 && r.diag.empty()) bad << "status " << r.status << " without a message\n";
        for (const char* d : {"a", "b"}) {
            const std::string dir = root_ + "/" + d;
            const ArchiveContent a = ReadArchive(dir + "/STXBAK.zip");
            if (a.exists && !a.ok) bad << dir << ": archive damaged: " << a.error << '\n';
            if (sc_.archiveBefore &&
                (!a.ok || !a.members.count(kOldMember) || a.members.at(kOldMember) != kOldBytes)) {
                bad << dir << ": earlier member lost\n";
            }
            for (const auto& [name, bytes] : a.members) {
                if (name == kOldMember) continue;
                bool known = false;
                for (size_t i = 0; i < logs_.size(); ++i) {
                    if (logs_[i].dir == d && logs_[i].name == name) known = bytes == states_[i];
                }
                if (!known) bad << dir << ": member " << name << " is not the log as it was\n";
            }
            for (size_t i = 0; i < logs_.size(); ++i) {
                if (logs_[i].dir != d || !sc_.backup || sc_.reverse) continue;
                const bool replaced = ReadFile(Path(logs_[i])) != states_[i];
                if (replaced && !a.members.count(logs_[i].name)) {
                    bad << Path(logs_[i]) << ": replaced without its backup\n";
                }
            }
            if (!sc_.backup || sc_.reverse) {
                if (a.exists != sc_.archiveBefore) bad << dir << ": archive appeared\n";
            }
            for (const std::string& n : ListDir(dir)) {
                bool expected = n == "STXBAK.zip";
                for (const Log& l : logs_) expected |= l.dir == d && l.name == n;
                if (leftoversAllowed)
                    expected |= n == "$LFCUT$$.$$$" || n.rfind("STXBAK.zip.", 0) == 0;
                if (!expected) bad << dir << ": left behind " << n << '\n';
            }
        }
        if (sc_.linked) {
            struct stat st {};
            if (lstat((root_ + "/b/FILE01.LOG").c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
                bad << "the link was replaced\n";
            }
        }
        for (const std::string& n : ListDir(root_ + "/c")) {
            const bool expected =
                (sc_.linked && n == "FILE01.LOG") || (leftoversAllowed && n == "$LFCUT$$.$$$");
            if (!expected) bad << root_ << "/c: left behind " << n << '\n';
        }
        if (r.status == 0 && !allConverted) bad << "status 0 but not all converted\n";
        return bad.str();
    }

    // The folders whose files a loss of power may take back.
    void Watch(DiskModel& disk) const {
        for (const char* d : {"a", "b", "c"}) disk.Watch(root_ + "/" + d);
    }

    // A scratch file may be read by none but those who may read the log.
    std::string ScratchExposed() const {
        for (const char* d : {"a", "b", "c"}) {
            struct stat st {};
            const std::string scratch = root_ + "/" + d + "/$LFCUT$$.$$$";
            if (lstat(scratch.c_str(), &st) == 0 && (st.st_mode & 07777 & ~kLogMode) != 0) {
                return scratch + " is open to others\n";
            }
        }
        return {};
    }

    // The run is over: what the logs hold now is where the next run starts.
    void Advance() {
        for (size_t i = 0; i < logs_.size(); ++i) states_[i] = ReadFile(Path(logs_[i]));
    }

  private:
    Scenario sc_;
    std::string root_;
    std::vector<Log> logs_;
    std::vector<std::string> states_;
};

class FaultSweep : public ::testing::TestWithParam<Scenario> {};

TEST_P(FaultSweep, NoOperationFailureLosesALog) {
    const Scenario sc = GetParam();
    long total = 0;
    {
        Tree clean(sc);
        FaultyIo io;
        if (sc.noLinks) io.FailOp("link", EPERM);
        const Tree::Result r = clean.Run(io);
        ASSERT_EQ(r.status, 0) << r.diag;  // a missing log is reported, but no failure
        ASSERT_EQ(clean.Check(r, false), "");
        total = io.calls();
        ASSERT_GT(total, 20);
        ASSERT_EQ(r.diag.find("MAIL01"), std::string::npos) << r.diag;
    }
    int reported = 0;
    long faulted = 0;
    for (int err : {EIO, ENOSPC}) {
        for (bool persistent : {false, true}) {
            for (long n = 1; n <= total; ++n) {
                Tree tree(sc);
                FaultyIo io;
                if (sc.noLinks) io.FailOp("link", EPERM);
                io.FailAt(n, err, persistent);
                const int fds = CountOpenFds();
                const Tree::Result r = tree.Run(io);
                faulted += io.failures() > 0;
                std::string problems = tree.Check(r, persistent);
                if (CountOpenFds() != fds) problems += "descriptor leak\n";
                // A run that says all went well may only have met a fault that
                // could not touch the data: closing a file it only read, or a
                // look-up or removal that is checked again or retried.
                const std::string op = n <= io.calls() ? io.log()[static_cast<size_t>(n - 1)] : "";
                if (r.status == 0 && io.failures() > 0 && op != "close" && op != "stat" &&
                    op != "lstat" && op != "remove") {
                    problems += "a failing " + op + " went unreported\n";
                }
                if (persistent && problems.empty()) {
                    // Once the fault is gone, a plain rerun finishes the job and clears up.
                    tree.Advance();
                    FaultyIo healthy;
                    const Tree::Result again = tree.Run(healthy);
                    problems += tree.Check(again, false);
                    if (again.status != 0 || again.diag.find("MISSING") == std::string::npos) {
                        problems += "rerun did not finish: " + again.diag;
                    }
                }
                if (!problems.empty() && reported++ < 5) {
                    ADD_FAILURE() << sc.name << ": call " << n << " of " << total << " (" << op
                                  << ") failing with " << std::strerror(err)
                                  << (persistent ? ", persistent" : ", once") << ":\n"
                                  << problems << "diag:\n"
                                  << r.diag;
                }
            }
        }
    }
    RecordProperty("operations", static_cast<int>(total));
    std::printf("[ figures  ] %s: %ld operations, %ld faulted runs\n", sc.name, total, faulted);
}

// The power fails before any one operation of a run, or right after the run:
// what the disk then holds (only what was flushed) has each log as it was or
// converted, every member the archive held, a backup of every converted log,
// and after a successful run every log converted. The next run finishes the
// job and clears up. A scratch file is never open to more readers than its log.
TEST_P(FaultSweep, PowerLossAtAnyPointLosesNothing) {
    const Scenario sc = GetParam();
    const mode_t oldMask = umask(022);
    long total = 0;
    {
        Tree clean(sc);
        FaultyIo io;
        if (sc.noLinks) io.FailOp("link", EPERM);
        ASSERT_EQ(clean.Run(io).status, 0);
        total = io.calls();
    }
    int reported = 0;
    for (long n = 1; n <= total + 1; ++n) {
        Tree tree(sc);
        DiskModel disk;
        tree.Watch(disk);
        FaultyIo io;
        if (sc.noLinks) io.FailOp("link", EPERM);
        io.PowerLossAt(n, &disk);
        std::string problems;
        io.OnCall([&](const std::string&) {
            if (problems.empty()) problems = tree.ScratchExposed();
        });
        const Tree::Result r = tree.Run(io);
        io.PowerOff();
        DiskModel::Restore(io.snapshot());
        const bool afterRun = n > total;
        problems += tree.Check(afterRun ? r : Tree::Result{-1, ""}, !afterRun);
        if (problems.empty()) {
            tree.Advance();
            FaultyIo healthy;
            const Tree::Result again = tree.Run(healthy);
            problems += tree.Check(again, false);
            if (again.status != 0) problems += "rerun did not finish: " + again.diag;
        }
        if (!problems.empty() && reported++ < 5) {
            const std::string op = n <= total ? io.log()[static_cast<size_t>(n - 1)] : "end";
            ADD_FAILURE() << sc.name << ": power lost before call " << n << " of " << total << " ("
                          << op << "):\n"
                          << problems;
        }
    }
    umask(oldMask);
}

// A file system without advisory locks (some network ones) converts as before.
TEST(Faults, NoLocksOnTheFileSystemStillConverts) {
    for (int err : {ENOLCK, EOPNOTSUPP}) {
        Tree tree(Scenario{"cut_backup", false, true, false});
        FaultyIo io;
        io.FailOp("lock", err);
        const Tree::Result r = tree.Run(io);
        EXPECT_GT(io.failures(), 0);
        EXPECT_EQ(r.status, 0) << r.diag;
        EXPECT_EQ(tree.Check(r, false), "");
    }
}

// A writer appends to a log while it is being replaced: a line written to the
// old file just before the rename, or through a descriptor opened before it
// and written just after, reaches the new log, converted as if it had been
// there all along.
TEST(Faults, LinesAppendedAtTheReplaceReachTheLog) {
    for (bool reverse : {false, true}) {
        for (bool throughOldDescriptor : {false, true}) {
            SCOPED_TRACE(std::string(reverse ? "restore" : "cut") +
                         (throughOldDescriptor ? ", old descriptor" : ", by name"));
            Tree tree(Scenario{"appended", reverse, false, false});
            const Log& mail = tree.logs()[0];
            const std::string path = tree.Path(mail);
            const std::string added = reverse ? "late\rlater\r" : "late\r\nlater\r\n";
            const int writer = open(path.c_str(), O_WRONLY | O_APPEND);
            ASSERT_GE(writer, 0);
            FaultyIo io;
            bool renamed = false, done = false;
            io.OnCall([&](const std::string& op) {
                if (done || (op != "rename" && !renamed)) return;
                if (op == "rename" && !throughOldDescriptor) {
                    const int byName = open(path.c_str(), O_WRONLY | O_APPEND);
                    ASSERT_EQ(write(byName, added.data(), added.size()),
                              static_cast<ssize_t>(added.size()));
                    close(byName);
                } else if (renamed) {
                    ASSERT_EQ(write(writer, added.data(), added.size()),
                              static_cast<ssize_t>(added.size()));
                } else {
                    renamed = true;  // the write comes with the next call
                    return;
                }
                done = true;
            });
            const Tree::Result r = tree.Run(io);
            close(writer);
            EXPECT_TRUE(done);
            EXPECT_EQ(r.status, 0) << r.diag;
            const std::string grown = mail.bytes + added;
            EXPECT_EQ(ReadFile(path),
                      reverse ? ExpectedRestore(grown) : ExpectedCut(grown, kLines, false));
        }
    }
}

// A change that leaves size and modification time alone (a chmod to the same
// mode) still shows in the change time: the log is left as it is.
TEST(Faults, LogWhoseMetadataChangedIsLeftAlone) {
    Tree tree(Scenario{"cut", false, false, false});
    const std::string path = tree.Path(tree.logs()[0]);
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    FaultyIo io;
    bool touched = false;
    io.OnCall([&](const std::string& op) {
        if (touched || op != "fsync") return;
        touched = true;
        // Until the clock has moved on, so that the change time differs.
        struct stat now {};
        do {
            chmod(path.c_str(), kLogMode);
            stat(path.c_str(), &now);
        } while (now.st_ctim.tv_sec == before.st_ctim.tv_sec &&
                 now.st_ctim.tv_nsec == before.st_ctim.tv_nsec);
    });
    const Tree::Result r = tree.Run(io);
    EXPECT_TRUE(touched);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.diag.find(path + ": log changed during conversion"), std::string::npos) << r.diag;
    EXPECT_EQ(ReadFile(path), tree.logs()[0].bytes);
    EXPECT_EQ(tree.Check(r, false), "");
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, FaultSweep,
    ::testing::Values(Scenario{"cut", false, false, false},
                      Scenario{"cut_backup", false, true, false},
                      Scenario{"cut_backup_into_old", false, true, true},
                      Scenario{"cut_backup_copying_old", false, true, true, true},
                      Scenario{"cut_backup_through_link", false, true, false, false, true},
                      Scenario{"restore", true, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tidewell::test
