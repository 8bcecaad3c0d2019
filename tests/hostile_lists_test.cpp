// Lists that name things no log should be: folders, FIFOs, devices, broken or
// looping links, files or folders we may not read or write, the scratch file
// itself, over-long names, and lists that are empty or huge. Each case: a
// clear message, no hang, nothing lost, and the scan goes on to the next
// entry; a dry run before it says the same, touching nothing.
// Run as an unprivileged user when the suite runs as root, so that permissions hold.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "LogChecks.h"
#include "TestSupport.h"

namespace tidewell::test {
namespace {

constexpr uid_t kNobody = 65534;
const std::string kText = "one\r\ntwo\r\nthree\r\n";

std::vector<std::string> Unprivileged() {
    if (geteuid() != 0) return {};
    return {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
}

// Hands the tree to the unprivileged user the program will run as.
void GiveAway(const std::string& root) {
    if (geteuid() != 0) return;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        lchown(e.path().c_str(), kNobody, kNobody);
    }
    lchown(root.c_str(), kNobody, kNobody);
}

// The build tree may lie where the unprivileged user cannot reach it: a copy
// of the program inside the test's own tree.
std::string ReachableBinary(const TempDir& t) {
    if (Unprivileged().empty()) return TIDEWELL_BINARY;
    std::filesystem::create_directory(t / "bin");
    const std::string binary = t / "bin/tidewell";
    std::filesystem::copy_file(TIDEWELL_BINARY, binary);
    chmod(binary.c_str(), 0755);
    chmod(t.path().c_str(), 0755);
    return binary;
}

struct Hostile {
    const char* name;
    // Prepares what the entry names, in folder `d`; returns the name for the list.
    std::function<std::string(const std::string& d)> setup;
    const char* message;  // expected on standard error after the name
    int status;
    // Files that must come out exactly as they went in.
    std::vector<std::string> untouched;
};

std::vector<Hostile> Cases() {
    auto file = [](const std::string& d, const std::string& n, mode_t mode) {
        WriteFile(d + "/" + n, kText);
        chmod((d + "/" + n).c_str(), mode);
        return d + "/" + n;
    };
    return {
        {"directory", [](const std::string& d) { return d + "/sub"; }, "not a regular file", 1, {}},
        {"fifo",
         [](const std::string& d) {
             mkfifo((d + "/fifo").c_str(), 0666);
             return d + "/fifo";
         },
         "not a regular file",
         1,
         {}},
        {"dev_zero",
         [](const std::string&) { return std::string("/dev/zero"); },
         "not a regular file",
         1,
         {}},
        {"dangling_link",
         [](const std::string& d) {
             symlink("nowhere.txt", (d + "/dangling").c_str());
             return d + "/dangling";
         },
         "not found",
         0,
         {}},
        {"looping_link",
         [](const std::string& d) {
             symlink("loop2", (d + "/loop1").c_str());
             symlink("loop1", (d + "/loop2").c_str());
             return d + "/loop1";
         },
         "cannot open: Too many levels of symbolic links",
         1,
         {}},
        {"unreadable",
         [=](const std::string& d) { return file(d, "noread.txt", 0200); },
         "cannot open: Permission denied",
         1,
         {"noread.txt"}},
        {"unwritable",
         [=](const std::string& d) { return file(d, "nowrite.txt", 0444); },
         "no write permission",
         1,
         {"nowrite.txt"}},
        {"scratch_name_itself",
         [=](const std::string& d) { return file(d, "$LFCUT$$.$$$", 0644); },
         "bears the scratch file's own name",
         1,
         {"$LFCUT$$.$$$"}},
        {"scratch_name_linked_elsewhere",
         [=](const std::string& d) {
             // A planted link must not lead the rewrite into another file.
             file(d, "victim.txt", 0644);
             symlink("victim.txt", (d + "/$LFCUT$$.$$$").c_str());
             return file(d, "log.txt", 0644);
         },
         "exists and is not a regular file",
         1,
         {"victim.txt", "log.txt"}},
        {"folder_not_writable",
         [=](const std::string& d) {
             std::filesystem::create_directory(d + "/locked");
             file(d + "/locked", "log.txt", 0644);
             chmod((d + "/locked").c_str(), 0555);
             return d + "/locked/log.txt";
         },
         "cannot create",
         1,
         {"locked/log.txt"}},
        {"name_over_255_bytes",
         [=](const std::string& d) {
             // Its first 255 bytes name a link to another log: that log is
             // not the one the list meant.
             file(d, "other.txt", 0644);
             const std::string cut = d + "/" + std::string(254 - d.size(), 'n');
             symlink("other.txt", cut.c_str());
             return cut + "MORE";
         },
         "longer than 255 bytes",
         1,
         {"other.txt"}},
    };
}

class HostileEntry : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileEntry, IsReportedAndTheScanGoesOn) {
    const Hostile c = GetParam();
    TempDir t;
    const std::string d = t / "logs";
    std::filesystem::create_directories(d + "/sub");
    const std::string named = c.setup(d);
    // A good log in another folder after the hostile entry proves the scan went on.
    std::filesystem::create_directory(t / "good");
    WriteFile(t / "good/GOOD.TXT", kText);
    WriteFile(t / "TODOLST2.DAT",
              ListBuilder().Mail("s", named).Mail("s", t / "good/GOOD.TXT").bytes());
    const auto env = WriteProfile(t, t / "TODOLST2.DAT");
    GiveAway(t.path());
    const RunOptions options = {
        .binary = ReachableBinary(t), .prefix = Unprivileged(), .timeoutMs = 20000};

    // A dry run first: it touches nothing and foretells the run's every line.
    const auto before = TreeState(t.path());
    const RunResult dry = RunTidewell({"--dry-run"}, env, options);
    ASSERT_FALSE(dry.hung) << "the dry run hung";
    EXPECT_EQ(TreeState(t.path()), before);

    const RunResult r = RunTidewell({"/batch"}, env, options);
    ASSERT_FALSE(r.hung) << "the run hung";
    EXPECT_EQ(dry.status, r.status) << dry.err;
    EXPECT_EQ(WithoutPlan(dry.err), r.err);
    EXPECT_EQ(dry.out, r.out);
    chmod((d + "/locked").c_str(), 0755);  // for the clean-up
    const std::string& err = r.err;
    EXPECT_EQ(r.status, c.status) << err;
    const size_t line = err.find("tidewell: " + named.substr(0, 255) + ": ");
    ASSERT_NE(line, std::string::npos) << err;
    EXPECT_NE(err.substr(line, err.find('\n', line) - line).find(c.message), std::string::npos)
        << err;
    EXPECT_EQ(ReadFile(t / "good/GOOD.TXT"), ExpectedCut(kText, 100));
    for (const std::string& n : c.untouched) EXPECT_EQ(ReadFile(d + "/" + n), kText) << n;
    std::set<std::string> after = ListDir(d);
    EXPECT_EQ(after.count("STXBAK.zip"), 0u);
    if (std::string(c.name) != "scratch_name_itself" &&
        std::string(c.name) != "scratch_name_linked_elsewhere") {
        EXPECT_EQ(after.count("$LFCUT$$.$$$"), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Entries, HostileEntry, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A profile that is there but cannot be read (another user's 0600 file, or a
// folder in its place) is not a missing one: a batch run on the defaults could
// cut with the wrong interval or skip the backup, so it says so and stops; a
// dry run too, since it would foretell a run on the wrong settings.
TEST(HostileTree, UnreadableProfileStopsTheBatchRun) {
    for (const bool folder : {false, true}) {
        TempDir t;
        WriteFile(t / "LOG.TXT", kText);
        WriteFile(t / "TODOLST2.DAT", ListBuilder().Mail("s", t / "LOG.TXT").bytes());
        const auto env = WriteProfile(t, t / "TODOLST2.DAT", "BACKUP=1\n");
        const std::string profile = t / "config/KORU/tidewell.conf";
        GiveAway(t.path());
        if (folder) {
            std::filesystem::remove(profile);
            std::filesystem::create_directory(profile);
        } else {
            chmod(profile.c_str(), geteuid() == 0 ? 0600 : 0);
            if (geteuid() == 0) lchown(profile.c_str(), 0, 0);
        }
        const RunOptions options = {.binary = ReachableBinary(t), .prefix = Unprivileged()};
        for (const char* arg : {"/batch", "--dry-run"}) {
            const RunResult r = RunTidewell({arg}, env, options);
            EXPECT_EQ(r.status, 2) << r.err;
            EXPECT_NE(r.err.find("cannot read the profile " + profile), std::string::npos) << r.err;
            EXPECT_EQ(ReadFile(t / "LOG.TXT"), kText);
        }
    }
}

// A second name of another file under the scratch name: emptying the scratch
// file must not empty that file.
TEST(HostileTree, ScratchNameHardLinkedToAnotherFile) {
    TempDir t;
    std::filesystem::create_directory(t / "logs");
    WriteFile(t / "logs/OTHER.TXT", kText);
    WriteFile(t / "logs/LOG.TXT", kText);
    ASSERT_EQ(link((t / "logs/OTHER.TXT").c_str(), (t / "logs/$LFCUT$$.$$$").c_str()), 0);
    WriteFile(t / "TODOLST2.DAT", ListBuilder().Mail("s", t / "logs/LOG.TXT").bytes());
    const RunResult r = RunTidewell({"/batch"}, WriteProfile(t, t / "TODOLST2.DAT"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(t / "logs/OTHER.TXT"), kText);
    EXPECT_EQ(ReadFile(t / "logs/LOG.TXT"), ExpectedCut(kText, 100));
    EXPECT_EQ(ListDir(t / "logs"), (std::set<std::string>{"LOG.TXT", "OTHER.TXT"}));
}

// Another user's file under the scratch name in a shared sticky folder, kept
// open by them: a private log's bytes must never reach it, whether the run is
// root's or the log owner's. The entry is refused; nothing is touched.
TEST(HostileTree, ScratchFilePlantedByAnotherUserIsRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "planting another user's file needs root";
    constexpr uid_t kOther = 4321;
    for (bool asRoot : {true, false}) {
        TempDir t;
        const std::string d = t / "shared";
        std::filesystem::create_directory(d);
        chmod(t.path().c_str(), 0755);
        chmod(d.c_str(), 01777);
        const std::string log = d + "/LOG.TXT", planted = d + "/$LFCUT$$.$$$";
        WriteFile(log, kText);
        chown(log.c_str(), kNobody, kNobody);
        chmod(log.c_str(), 0600);
        WriteFile(planted, "");
        chown(planted.c_str(), kOther, kOther);
        chmod(planted.c_str(), 0666);
        const int held = open(planted.c_str(), O_RDONLY);
        ASSERT_GE(held, 0);
        WriteFile(t / "TODOLST2.DAT", ListBuilder().Mail("s", log).bytes());
        chmod((t / "TODOLST2.DAT").c_str(), 0644);
        const auto env = WriteProfile(t, t / "TODOLST2.DAT");
        if (!asRoot) GiveAway(t / "config");
        std::string binary = TIDEWELL_BINARY;
        if (!asRoot) {
            std::filesystem::create_directory(t / "bin");
            binary = t / "bin/tidewell";
            std::filesystem::copy_file(TIDEWELL_BINARY, binary);
            chmod(binary.c_str(), 0755);
        }
        const RunResult r =
            RunTidewell({"/batch"}, env,
                        {.binary = binary,
                         .prefix = asRoot ? std::vector<std::string>{} : Unprivileged(),
                         .timeoutMs = 20000});
        ASSERT_FALSE(r.hung);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(log + ": " + planted + " belongs to someone else"), std::string::npos)
            << r.err;
        EXPECT_EQ(ReadFile(log), kText);
        char got[64];
        EXPECT_EQ(pread(held, got, sizeof got, 0), 0) << "the log's bytes reached the planted file";
        struct stat st {};
        ASSERT_EQ(stat(planted.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, kOther);
        EXPECT_EQ(ListDir(d), (std::set<std::string>{"LOG.TXT", "$LFCUT$$.$$$"}));
        close(held);
    }
}

// The list belongs to HARUCOM: even a list that names itself is never rewritten.
TEST(HostileTree, ListNamingItselfIsNotRewritten) {
    TempDir t;
    WriteFile(t / "LOG.TXT", kText);
    const std::string list =
        ListBuilder().Mail("s", t / "TODOLST2.DAT").Mail("s", t / "LOG.TXT").bytes() + "\r\n";
    WriteFile(t / "TODOLST2.DAT", list);
    const RunResult r = RunTidewell({"/batch"}, WriteProfile(t, t / "TODOLST2.DAT"));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("TODOLST2.DAT: is the to-do list itself"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(t / "TODOLST2.DAT"), list);
    EXPECT_EQ(ReadFile(t / "LOG.TXT"), ExpectedCut(kText, 100));
}

// With Backup on, a list naming the backup archive must not back it up into itself.
TEST(HostileTree, ArchiveItselfIsNotBackedUpIntoItself) {
    TempDir t;
    WriteFile(t / "LOG.TXT", kText);
    WriteFile(t / "TODOLST2.DAT",
              ListBuilder().Mail("s", t / "LOG.TXT").Mail("s", t / "STXBAK.zip").bytes());
    const RunResult r = RunTidewell({"/batch"}, WriteProfile(t, t / "TODOLST2.DAT", "BACKUP=1\n"));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("STXBAK.zip: is the backup archive itself"), std::string::npos) << r.err;
    const ArchiveContent a = ReadArchive(t / "STXBAK.zip");
    EXPECT_TRUE(a.ok);
    EXPECT_EQ(a.members, (std::map<std::string, std::string>{{"LOG.TXT", kText}}));
}

// Kind names longer than their 15 bytes are cut, not let loose: an "F" kind
// of 40 bytes still names its file, and the entry after it is read right.
TEST(HostileTree, OverlongKindNameIsReadWhole) {
    TempDir t;
    WriteFile(t / "A.TXT", kText);
    WriteFile(t / "B.TXT", kText);
    WriteFile(t / "TODOLST2.DAT",
              ListBuilder()
                  .FileTransfer("F" + std::string(39, 'K'), "MES07", t / "A.TXT")
                  .Mail("s", t / "B.TXT")
                  .bytes());
    const RunResult r = RunTidewell({"/batch"}, WriteProfile(t, t / "TODOLST2.DAT"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(t / "A.TXT"), ExpectedCut(kText, 100));
    EXPECT_EQ(ReadFile(t / "B.TXT"), ExpectedCut(kText, 100));
}

// A "list" that is a FIFO, a device or a folder is refused at once, never
// read; one that opens but cannot be read to its end fails the same way.
TEST(HostileTree, ListThatCannotBeReadIsRefused) {
    TempDir t;
    mkfifo((t / "fifo").c_str(), 0644);
    std::filesystem::create_directory(t / "folder");
    const std::pair<std::string, const char*> cases[] = {
        {t / "fifo", "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {t / "folder", "not a regular file"},
        {"/proc/self/mem", "error reading the to-do list"},
    };
    for (const auto& [list, message] : cases) {
        const RunResult r = RunTidewell({"/batch"}, WriteProfile(t, list), {.timeoutMs = 20000});
        EXPECT_EQ(r.status, 2) << list << "\n" << r.err;
        EXPECT_FALSE(r.hung) << list;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
}

TEST(HostileTree, EmptyListDoesNothing) {
    TempDir t;
    WriteFile(t / "TODOLST2.DAT", "");
    const RunResult r = RunTidewell({"/batch"}, WriteProfile(t, t / "TODOLST2.DAT"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

// 100,000 entries, all but the last naming missing logs: each gets its line,
// the last log is converted, and the run ends in good time.
TEST(HostileTree, HugeListIsWorkedThrough) {
    TempDir t;
    constexpr int kEntries = 100000;
    ListBuilder list;
    for (int i = 0; i < kEntries - 1; ++i) list.Mail("s", t / ("missing/" + std::to_string(i)));
    WriteFile(t / "LAST.TXT", kText);
    list.Mail("s", t / "LAST.TXT");
    WriteFile(t / "TODOLST2.DAT", list.bytes());
    const RunResult r = RunTidewell({"/batch"}, WriteProfile(t, t / "TODOLST2.DAT"));
    EXPECT_EQ(r.status, 0);
    ASSERT_FALSE(r.hung);
    const std::string& err = r.err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), kEntries - 1);
    EXPECT_EQ(ReadFile(t / "LAST.TXT"), ExpectedCut(kText, 100));
}

}  // namespace
}  // namespace tidewell::test
