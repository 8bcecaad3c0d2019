// Kills the converter with SIGKILL at random moments, hundreds of times, and
// checks after every kill that each log is whole (as it was, or completely
// converted), that the backup archive opens, and that a rerun finishes the job.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <thread>

#include "LogChecks.h"
#include "TestSupport.h"

namespace tidewell::test {
namespace {

constexpr int kKillsWanted = 200;
constexpr int kLines = 50;

std::string BigLog(std::mt19937& rng, size_t bytes) {
    std::string s;
    std::uniform_int_distribution<int> len(0, 90), ch('a', 'z');
    while (s.size() < bytes) {
        const int n = len(rng);
        for (int i = 0; i < n; ++i) s.push_back(static_cast<char>(ch(rng)));
        s += "\r\n";
    }
    return s;
}

TEST(Crash, KilledAnywhereNoLogIsLost) {
    TempDir t;
    std::mt19937 rng(20261207);
    struct Log {
        std::string dir, name, now, next;
        std::set<size_t> seen;  // hashes of every state it has had
    };
    std::vector<Log> logs;
    for (const char* dir : {"one", "two"}) {
        std::filesystem::create_directory(t / dir);
        for (const char* name : {"MAIL01.TXT", "MAIL02.TXT"}) {
            Log l{dir, name, BigLog(rng, 100 * 1024), {}, {}};
            l.seen.insert(std::hash<std::string>()(l.now));
            WriteFile(t / (l.dir + "/" + l.name), l.now);
            logs.push_back(l);
        }
    }
    ListBuilder list;
    for (const Log& l : logs) list.Mail("sub", t / (l.dir + "/" + l.name));
    WriteFile(t / "TODOLST2.DAT", list.bytes());
    // Runs cut and restore by turns, so that every run changes every log (cutting
    // twice gives what cutting once gave) and the archive has work in every other.
    const std::string options = "LINES=" + std::to_string(kLines) + "\nBACKUP=1\n";
    const auto cutEnv = WriteProfile(t, t / "TODOLST2.DAT", options, "cut");
    const auto restoreEnv = WriteProfile(t, t / "TODOLST2.DAT", options + "REVERSE=1\n", "restore");
    bool cutting = true;
    auto prepare = [&](bool cut) {
        cutting = cut;
        for (Log& l : logs)
            l.next = cut ? ExpectedCut(l.now, kLines, false) : ExpectedRestore(l.now);
        return cut ? cutEnv : restoreEnv;
    };

    // Each state a log passes through is noted; after a kill it must be the
    // state before the run or the one after it, and nothing in between.
    int conversions = 0, leftovers = 0;
    auto check = [&](const std::string& when) {
        for (Log& l : logs) {
            const std::string path = t / (l.dir + "/" + l.name);
            const std::string bytes = ReadFile(path);
            if (bytes == l.next && l.next != l.now) {
                ++conversions;
                // Replaced only after its backup was safe: the archive holds it as it was.
                const ArchiveContent a = ReadArchive(t / (l.dir + "/STXBAK.zip"));
                ASSERT_TRUE(!cutting || (a.members.count(l.name) && a.members.at(l.name) == l.now))
                    << path << " replaced without its backup " << when << " member "
                    << (a.members.count(l.name) ? a.members.at(l.name).size() : 0) << " now "
                    << l.now.size() << " next " << l.next.size() << " exists " << a.exists << " ok "
                    << a.ok << " " << a.error;
                l.now = l.next;
                l.seen.insert(std::hash<std::string>()(l.now));
            } else {
                ASSERT_EQ(bytes.size(), l.now.size()) << path << " damaged " << when;
                ASSERT_TRUE(bytes == l.now) << path << " damaged " << when;
            }
        }
        for (const char* dir : {"one", "two"}) {
            // A kill may leave the scratch file or the archive's working copy, nothing else.
            for (const std::string& n : ListDir(t / dir)) {
                if (n == "MAIL01.TXT" || n == "MAIL02.TXT" || n == "STXBAK.zip") continue;
                ++leftovers;
                ASSERT_TRUE(n == "$LFCUT$$.$$$" || n.rfind("STXBAK.zip.$$$", 0) == 0)
                    << "unexpected " << n << " " << when;
            }
            const ArchiveContent a = ReadArchive(t / (std::string(dir) + "/STXBAK.zip"));
            if (!a.exists) continue;
            ASSERT_TRUE(a.ok) << dir << "/STXBAK.zip " << a.error << " " << when;
            for (const auto& [name, bytes] : a.members) {
                bool known = false;
                for (const Log& l : logs) {
                    known |= l.dir == dir && l.name == name &&
                             l.seen.count(std::hash<std::string>()(bytes));
                }
                ASSERT_TRUE(known) << "archive member " << name << " damaged " << when;
            }
        }
    };

    // How long one whole run of each kind takes, to spread the kills over it.
    long full[2] = {0, 0};  // restoring, cutting
    for (bool cut : {true, false}) {
        const auto start = std::chrono::steady_clock::now();
        const RunResult r = RunTidewell({"/batch"}, prepare(cut));
        ASSERT_EQ(r.status, 0) << r.err;
        full[cut] = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count());
        check(cut ? "after a whole cut" : "after a whole restore");
        ASSERT_FALSE(HasFailure());
    }

    // Kills while the program is still starting up prove little: aim past that.
    WriteFile(t / "EMPTY.DAT", "");
    const auto emptyStart = std::chrono::steady_clock::now();
    {
        const RunResult idle =
            RunTidewell({"/batch"}, WriteProfile(t, t / "EMPTY.DAT", "", "idle"));
        ASSERT_EQ(idle.status, 0) << idle.err;
    }
    const long startup = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                               std::chrono::steady_clock::now() - emptyStart)
                                               .count()) *
                         4 / 5;

    int kills = 0, attempts = 0;
    while (kills < kKillsWanted && attempts < 3 * kKillsWanted) {
        ++attempts;
        const bool cut = attempts % 2 == 0;
        Started c({"/batch"}, prepare(cut));
        std::this_thread::sleep_for(std::chrono::microseconds(
            std::uniform_int_distribution<long>(std::min(startup, full[cut]), full[cut])(rng)));
        c.Signal(SIGKILL);
        const bool killed = c.Wait().killed;
        kills += killed;
        // A run that ended before the kill says runs got quicker: aim earlier.
        if (!killed) full[cut] = std::max(startup, full[cut] * 9 / 10);
        check("after kill " + std::to_string(kills));
        if (HasFailure()) return;
    }
    EXPECT_GE(kills, kKillsWanted);

    const RunResult rerun = RunTidewell({"/batch"}, prepare(true));
    EXPECT_EQ(rerun.status, 0) << rerun.err;
    for (const Log& l : logs) {
        EXPECT_EQ(ReadFile(t / (l.dir + "/" + l.name)), l.next) << "rerun did not convert";
    }
    check("after the rerun");
    for (const char* dir : {"one", "two"}) {
        const ArchiveContent a = ReadArchive(t / (std::string(dir) + "/STXBAK.zip"));
        EXPECT_EQ(a.members.size(), 2u);
        EXPECT_EQ(ListDir(t / dir),
                  (std::set<std::string>{"MAIL01.TXT", "MAIL02.TXT", "STXBAK.zip"}))
            << "leftovers after the rerun";
    }
    std::printf(
        "[ figures  ] %d kills survived in %d runs (whole cut run %ld us, start-up %ld us); "
        "%d conversions completed between kills, %d leftovers met and cleared\n",
        kills, attempts, full[1], startup, conversions, leftovers);
}

}  // namespace
}  // namespace tidewell::test

namespace tidewell::test {
namespace {

// What a killed backup leaves (our working copy of the archive and libzip's
// temporary beside it) goes with the next backup into that folder; files
// that merely look alike stay.
TEST(Crash, LeftoversOfAKilledBackupAreCleared) {
    TempDir t;
    WriteFile(t / "LOG.TXT", "a\r\nb\r\n");
    WriteFile(t / "STXBAK.zip.$$$", "half an archive");
    WriteFile(t / "STXBAK.zip.$$$.a1B2c3", "half a temporary");
    WriteFile(t / "STXBAK.zip.backup", "the user's own copy");
    WriteFile(t / "$LFCUT$$.$$$", "half a converted log");
    WriteFile(t / "TODOLST2.DAT", ListBuilder().Mail("s", t / "LOG.TXT").bytes());
    const RunResult r = RunTidewell({"/batch"}, WriteProfile(t, t / "TODOLST2.DAT", "BACKUP=1\n"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ListDir(t.path()),
              (std::set<std::string>{"LOG.TXT", "STXBAK.zip", "STXBAK.zip.backup", "TODOLST2.DAT",
                                     "config"}));
    EXPECT_EQ(ReadArchive(t / "STXBAK.zip").members,
              (std::map<std::string, std::string>{{"LOG.TXT", "a\r\nb\r\n"}}));
}

}  // namespace
}  // namespace tidewell::test
