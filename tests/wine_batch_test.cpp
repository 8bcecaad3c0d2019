// A batch run over HARUCOM data kept in a (fake) Wine prefix: the list and
// the profile name every file the Windows way.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <QSettings>
#include <QString>

#include "TestSupport.h"

namespace tidewell {
namespace {

using test::Exists;
using test::ListBuilder;
using test::ReadFile;
using test::RunTidewell;
using test::TempDir;
using test::WriteFile;

constexpr char kLog[] = "a\r\nb\r\nc\r\n";
constexpr char kCut[] = "a\rb\rc\r\n";
constexpr char kScratch[] = "$LFCUT$$.$$$";

class WineBatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* dir : {"config", "config/KORU", "wine", "wine/dosdevices", "wine/drive_c",
                                "wine/drive_c/HaruCom", "wine/drive_c/HaruCom/Log",
                                "wine/drive_c/HaruCom/Twin", "other", "other/Files"}) {
            ASSERT_EQ(mkdir((tmp_ / dir).c_str(), 0755), 0) << dir;
        }
        ASSERT_EQ(symlink("../drive_c", (tmp_ / "wine/dosdevices/c:").c_str()), 0);
        ASSERT_EQ(symlink((tmp_ / "other").c_str(), (tmp_ / "wine/dosdevices/d:").c_str()), 0);
        logDir_ = tmp_ / "wine/drive_c/HaruCom/Log";
        otherDir_ = tmp_ / "other/Files";
    }

    // Written the way earlier versions wrote it, through QSettings (backslashes
    // doubled), which the program must still read as meant.
    void Profile(const std::string& todoPath, bool backup) {
        QSettings s(QString::fromStdString(tmp_ / "config/KORU/tidewell.conf"),
                    QSettings::IniFormat);
        if (!todoPath.empty())
            s.setValue("TidewellSetup/TODOLST2", QString::fromStdString(todoPath));
        s.setValue("TidewellSetup/BACKUP", backup ? 1 : 0);
        s.sync();
        ASSERT_EQ(s.status(), QSettings::NoError);
    }

    test::RunResult Batch() {
        // No display: a run that cannot convert must say so rather than open a dialog.
        auto env = test::HeadlessEnv(tmp_);
        env["HOME"] = tmp_.path();
        return RunTidewell({"/batch"}, env);
    }

    static std::vector<std::string> Members(const std::string& archive) {
        std::vector<std::string> names;
        int err = 0;
        zip_t* za = zip_open(archive.c_str(), ZIP_RDONLY, &err);
        if (!za) return names;
        for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i) {
            names.emplace_back(zip_get_name(za, static_cast<zip_uint64_t>(i), 0));
        }
        zip_discard(za);
        return names;
    }

    TempDir tmp_;
    std::string logDir_, otherDir_;
};

TEST_F(WineBatchTest, ConvertsLogsNamedTheWindowsWay) {
    Profile("C:\\HARUCOM\\TODOLST2.DAT", true);
    WriteFile(logDir_ + "/mail01.txt", kLog);
    WriteFile(logDir_ + "/Patio01.Txt", kLog);
    WriteFile(otherDir_ + "/F.log", kLog);
    const std::string list = ListBuilder()
                                 .Mail("xyz", "C:\\HARUCOM\\LOG\\MAIL01.TXT")
                                 .Board("PATIO", "ab", "c:/harucom/log/patio01.txt")
                                 .FileTransfer("FPCX", "MES07", "D:\\FILES\\F.LOG")
                                 .bytes();
    WriteFile(tmp_ / "wine/drive_c/HaruCom/todolst2.dat", list);

    const test::RunResult r = Batch();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "MAIL xyz FPCX.07 ");
    EXPECT_EQ(ReadFile(logDir_ + "/mail01.txt"), kCut);
    EXPECT_EQ(ReadFile(logDir_ + "/Patio01.Txt"), kCut);
    EXPECT_EQ(ReadFile(otherDir_ + "/F.log"), kCut);
    // Nothing was created under the names as the list writes them.
    EXPECT_FALSE(Exists(logDir_ + "/MAIL01.TXT"));
    EXPECT_FALSE(Exists(otherDir_ + "/F.LOG"));
    EXPECT_FALSE(Exists(logDir_ + "/" + kScratch));
    EXPECT_FALSE(Exists(otherDir_ + "/" + kScratch));
    EXPECT_EQ(Members(logDir_ + "/STXBAK.zip"),
              (std::vector<std::string>{"mail01.txt", "Patio01.Txt"}));
    EXPECT_EQ(Members(otherDir_ + "/STXBAK.zip"), std::vector<std::string>{"F.log"});
    EXPECT_EQ(ReadFile(tmp_ / "wine/drive_c/HaruCom/todolst2.dat"), list);
}

// With no stored path the built-in C:\HARUCOM\TODOLST2 is looked up in the prefix.
TEST_F(WineBatchTest, FindsTheDefaultListPath) {
    Profile("", false);
    WriteFile(logDir_ + "/mail01.txt", kLog);
    WriteFile(tmp_ / "wine/drive_c/HaruCom/todolst2",
              ListBuilder().Mail("xyz", "C:\\HARUCOM\\LOG\\MAIL01.TXT").bytes());
    const test::RunResult r = Batch();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(logDir_ + "/mail01.txt"), kCut);
    EXPECT_FALSE(Exists(logDir_ + "/STXBAK.zip"));
}

TEST_F(WineBatchTest, ReportsNamesThatCannotBeMappedAndChangesNothing) {
    Profile("C:\\HARUCOM\\TODOLST2.DAT", true);
    WriteFile(logDir_ + "/mail01.txt", kLog);
    WriteFile(tmp_ / "wine/drive_c/HaruCom/Twin/log.txt", kLog);
    WriteFile(tmp_ / "wine/drive_c/HaruCom/Twin/LOG.txt", kLog);
    const std::string list = ListBuilder()
                                 .Mail("a", "E:\\LOG\\X.TXT")
                                 .Mail("b", "C:\\HARUCOM\\TWIN\\LOG.TXT")
                                 .Mail("c", "\\\\SERVER\\SHARE\\X.TXT")
                                 .Mail("d", "C:\\HARUCOM\\LOG\\MAIL01.TXT")
                                 .bytes();
    WriteFile(tmp_ / "wine/drive_c/HaruCom/todolst2.dat", list);

    const test::RunResult r = Batch();
    EXPECT_EQ(r.status, 1);
    // Each refused entry is named as the list wrote it, with the reason.
    EXPECT_NE(r.err.find("E:\\LOG\\X.TXT: drive E: is not mapped"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("C:\\HARUCOM\\TWIN\\LOG.TXT: ambiguous name"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\\\\SERVER\\SHARE\\X.TXT: network (UNC) names are not supported"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadFile(tmp_ / "wine/drive_c/HaruCom/Twin/log.txt"), kLog);
    EXPECT_EQ(ReadFile(tmp_ / "wine/drive_c/HaruCom/Twin/LOG.txt"), kLog);
    EXPECT_FALSE(Exists(tmp_ / "wine/drive_c/HaruCom/Twin/" + kScratch));
    EXPECT_FALSE(Exists(tmp_ / "wine/drive_c/HaruCom/Twin/STXBAK.zip"));
    // The other entries still go through.
    EXPECT_EQ(ReadFile(logDir_ + "/mail01.txt"), kCut);
}

TEST_F(WineBatchTest, ListOnAnUnmappedDriveIsReported) {
    Profile("Q:\\HARUCOM\\TODOLST2.DAT", false);
    const test::RunResult r = Batch();
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Q:\\HARUCOM\\TODOLST2.DAT"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("drive Q: is not mapped"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace tidewell
