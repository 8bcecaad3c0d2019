// A disk that really fills up: on a small tmpfs, a log whose converted copy
// (or whose backup) does not fit stays as it was and nothing is left behind.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "LogChecks.h"
#include "TestSupport.h"

namespace tidewell::test {
namespace {

struct Full {
    const char* name;
    const char* options;  // profile lines
    std::string log;      // the only log on the small disk
    const char* message;
};

std::string Random(size_t n) {
    std::mt19937 rng(5);
    std::string s(n, '\0');
    for (char& c : s) {
        c = static_cast<char>(rng() % 0xF0 + 0x10);  // no CR, no LF: compresses poorly
    }
    return s;
}

class DiskFull : public ::testing::TestWithParam<Full> {};

TEST_P(DiskFull, LogStaysAndNothingIsLeft) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    const Full c = GetParam();
    TempDir t;
    const std::string disk = t / "disk";
    std::filesystem::create_directory(disk);
    if (mount("tidewell", disk.c_str(), "tmpfs", 0, "size=400k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    const std::string log = disk + "/LOG.TXT";
    WriteFile(log, c.log);
    WriteFile(t / "TODOLST2.DAT", ListBuilder().Mail("s", log).bytes());
    const RunResult r = RunTidewell({"/batch"}, WriteProfile(t, t / "TODOLST2.DAT", c.options));
    const int status = r.status;
    const std::string& err = r.err;
    const std::string now = ReadFile(log);
    const std::set<std::string> left = ListDir(disk);
    umount(disk.c_str());

    EXPECT_EQ(status, 1) << err;
    EXPECT_NE(err.find(log + ": "), std::string::npos) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_TRUE(now == c.log) << "the log changed";
    EXPECT_EQ(left, std::set<std::string>{"LOG.TXT"});
}

INSTANTIATE_TEST_SUITE_P(Cases, DiskFull,
                         ::testing::Values(
                             // Restoring doubles a file of bare CRs: 240 KB becomes 360 KB.
                             Full{"converted_copy", "REVERSE=1\n",
                                  [] {
                                      std::string s;
                                      while (s.size() < 240 * 1024) s += "ab\r";
                                      return s;
                                  }(),
                                  "No space left on device"},
                             // The backup, taken first, does not fit beside the log.
                             Full{"backup", "BACKUP=1\n", Random(210 * 1024), "backup failed"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tidewell::test
