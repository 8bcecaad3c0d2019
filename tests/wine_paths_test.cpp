// Drive names from HARUCOM's files mapped into a fake Wine prefix.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <sstream>

#include "LogChecks.h"
#include "TestSupport.h"
#include "convert/ProcessTodoList.h"
#include "platform/WinePaths.h"

namespace tidewell {
namespace {

using test::Exists;
using test::TempDir;
using test::WriteFile;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

class WinePathsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MakeDir("wine");
        MakeDir("wine/dosdevices");
        MakeDir("wine/drive_c");
        MakeDir("wine/drive_c/HaruCom");
        MakeDir("wine/drive_c/HaruCom/Log");
        WriteFile(tmp_ / "wine/drive_c/HaruCom/Log/mail01.txt", "m");
        MakeDir("wine/drive_c/Twin");
        WriteFile(tmp_ / "wine/drive_c/Twin/a.txt", "1");
        WriteFile(tmp_ / "wine/drive_c/Twin/A.TXT", "2");
        WriteFile(tmp_ / "wine/drive_c/Twin/Exact.txt", "3");
        WriteFile(tmp_ / "wine/drive_c/Twin/EXACT.TXT", "4");
        MakeDir("wine/drive_c/Dup");
        MakeDir("wine/drive_c/DUP");
        MakeDir("data");
        MakeDir("data/Logs");
        Link("../drive_c", "wine/dosdevices/c:");
        Link(tmp_ / "data", "wine/dosdevices/d:");
        Link("../nowhere", "wine/dosdevices/e:");
    }

    void MakeDir(const std::string& rel) { ASSERT_EQ(mkdir((tmp_ / rel).c_str(), 0755), 0); }
    void Link(const std::string& target, const std::string& rel) {
        ASSERT_EQ(symlink(target.c_str(), (tmp_ / rel).c_str()), 0);
    }

    // Maps with the folders listed afresh and through the names remembered
    // so far; the two must agree.
    std::string Map(const std::string& name, std::string* error) {
        const std::string listed = MapDosName(io_, prefix_, name, error);
        std::string rememberedError = "stale";
        EXPECT_EQ(remembered_.Map(io_, name, &rememberedError), listed) << name;
        EXPECT_EQ(rememberedError, *error) << name;
        return listed;
    }

    TempDir tmp_;
    std::string prefix_ = tmp_ / "wine";
    Io io_;
    HarucomNames remembered_{prefix_};
};

TEST_F(WinePathsTest, MapsDriveNames) {
    struct Case {
        const char* name;
        const char* expected;  // below the prefix, or the name itself when it starts with '='
    } cases[] = {
        {"C:\\HARUCOM\\LOG\\MAIL01.TXT", "dosdevices/c:/HaruCom/Log/mail01.txt"},
        {"c:/harucom/log/mail01.txt", "dosdevices/c:/HaruCom/Log/mail01.txt"},
        {"C:\\HaruCom/Log\\mail01.txt", "dosdevices/c:/HaruCom/Log/mail01.txt"},
        {"C:\\\\HARUCOM\\.\\TMP\\..\\LOG\\MAIL01.TXT", "dosdevices/c:/HaruCom/Log/mail01.txt"},
        {"C:\\..\\..\\HARUCOM\\LOG\\MAIL01.TXT", "dosdevices/c:/HaruCom/Log/mail01.txt"},
        {"C:\\HARUCOM\\LOG\\MAIL01.TXT. ", "dosdevices/c:/HaruCom/Log/mail01.txt"},
        {"C:HARUCOM\\LOG\\MAIL01.TXT", "dosdevices/c:/HaruCom/Log/mail01.txt"},
        // Files still to be made keep their own name in the mapped folder.
        {"C:\\HARUCOM\\LOG\\STXBAK.zip", "dosdevices/c:/HaruCom/Log/STXBAK.zip"},
        {"C:\\HARUCOM\\LOG\\$LFCUT$$.$$$", "dosdevices/c:/HaruCom/Log/$LFCUT$$.$$$"},
        {"C:\\HARUCOM\\NEW\\X.TXT", "dosdevices/c:/HaruCom/NEW/X.TXT"},
        {"C:\\HARUCOM\\LOG\\MAIL01.TXT\\X", "dosdevices/c:/HaruCom/Log/mail01.txt/X"},
        // A name that exists as written is taken even when a case variant exists too.
        {"C:\\TWIN\\EXACT.TXT", "dosdevices/c:/Twin/EXACT.TXT"},
        {"C:\\", "dosdevices/c:"},
        {"D:\\LOGS", "dosdevices/d:/Logs"},
        {"D:\\logs\\New.Log", "dosdevices/d:/Logs/New.Log"},
        // Names without a drive are this system's own.
        {"LOG\\MAIL01.TXT", "=LOG\\MAIL01.TXT"},
        {"/var/tmp/TODOLST2.DAT", "=/var/tmp/TODOLST2.DAT"},
        {"//var/tmp/x", "=//var/tmp/x"},
        {"1:\\X", "=1:\\X"},
        {"", "="},
    };
    for (const Case& c : cases) {
        std::string error = "stale";
        const std::string got = Map(c.name, &error);
        const std::string want =
            c.expected[0] == '=' ? std::string(c.expected + 1) : prefix_ + "/" + c.expected;
        EXPECT_EQ(got, want) << c.name;
        EXPECT_EQ(error, "") << c.name;
    }
}

TEST_F(WinePathsTest, RefusesWhatCannotBeMappedSafely) {
    struct Case {
        const char* name;
        const char* error;
    } cases[] = {
        {"C:\\TWIN\\a.Txt", "ambiguous name: "},
        {"C:\\dup\\X.TXT", "ambiguous name: "},
        {"e:\\X.TXT", "drive E: is not mapped"},  // dangling link
        {"F:\\X.TXT", "drive F: is not mapped"},
        {"\\\\SERVER\\SHARE\\X.TXT", "not supported"},
        {"\\\\?\\C:\\HARUCOM\\LOG\\MAIL01.TXT", "not supported"},
        {"/\\SERVER/SHARE", "not supported"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(Map(c.name, &error), "") << c.name;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
    }
    // The message names both candidates so the user can resolve it.
    std::string error;
    Map("C:\\TWIN\\A.txt", &error);
    EXPECT_NE(error.find("A.TXT"), std::string::npos) << error;
    EXPECT_NE(error.find("a.txt"), std::string::npos) << error;
}

TEST_F(WinePathsTest, PrefixComesFromTheEnvironment) {
    {
        ScopedEnv prefix("WINEPREFIX", prefix_ + "//");
        EXPECT_EQ(WinePrefix(), prefix_);
        std::string error;
        EXPECT_EQ(MapHarucomName(io_, "C:\\HARUCOM\\LOG\\MAIL01.TXT", &error),
                  prefix_ + "/dosdevices/c:/HaruCom/Log/mail01.txt");
        EXPECT_EQ(error, "");
        EXPECT_EQ(HarucomNames().Map(io_, "C:\\HARUCOM\\LOG\\MAIL01.TXT", &error),
                  prefix_ + "/dosdevices/c:/HaruCom/Log/mail01.txt");
    }
    {
        ScopedEnv prefix("WINEPREFIX", "");
        ScopedEnv home("HOME", tmp_.path());
        EXPECT_EQ(WinePrefix(), tmp_ / ".wine");
        std::string error;
        EXPECT_EQ(MapHarucomName(io_, "C:\\X", &error), "");
        EXPECT_NE(error.find("drive C: is not mapped"), std::string::npos) << error;
    }
}

// Names remembered for a run never outlive what the folder holds: what is
// made, renamed or removed after a folder was read counts at the next
// look-up, and folders holding like names stay apart.
TEST_F(WinePathsTest, RememberedNamesFollowTheFolders) {
    const std::string c = tmp_ / "wine/drive_c/";
    MakeDir("wine/drive_c/One");
    MakeDir("wine/drive_c/Two");
    WriteFile(c + "One/Same.txt", "1");
    WriteFile(c + "Two/sAME.txt", "2");
    auto make = [&](const char* rel) { return [=] { WriteFile(c + rel, ""); }; };
    auto move = [&](const char* from, const char* to) {
        return [=] { ASSERT_EQ(std::rename((c + from).c_str(), (c + to).c_str()), 0) << from; };
    };
    struct Step {
        std::function<void()> change;  // before the look-up
        const char* name;
        const char* expected;  // below drive_c, or the start of the error after '!'
    } steps[] = {
        {nullptr, "C:\\ONE\\SAME.TXT", "One/Same.txt"},
        {nullptr, "C:\\TWO\\SAME.TXT", "Two/sAME.txt"},
        {nullptr, "C:\\one\\same.txt", "One/Same.txt"},
        {make("One/Late.log"), "C:\\ONE\\LATE.LOG", "One/Late.log"},
        {make("One/same.TXT"), "C:\\ONE\\SAME.TXT", "!ambiguous name: "},
        {[&] { ASSERT_EQ(std::remove((c + "One/Same.txt").c_str()), 0); }, "C:\\ONE\\SAME.TXT",
         "One/same.TXT"},
        {move("One/same.TXT", "One/Other.txt"), "C:\\ONE\\SAME.TXT", "One/SAME.TXT"},
        {nullptr, "C:\\ONE\\OTHER.TXT", "One/Other.txt"},
        {move("Two", "TWO"), "C:\\two\\same.txt", "TWO/sAME.txt"},
        // Another folder now under the remembered one's name.
        {move("One", "Old"), "C:\\ONE\\OTHER.TXT", "ONE/OTHER.TXT"},
        {[&] {
             MakeDir("wine/drive_c/one");
             WriteFile(c + "one/other.TXT", "3");
         },
         "C:\\ONE\\OTHER.TXT", "one/other.TXT"},
    };
    for (const Step& step : steps) {
        if (step.change) step.change();
        std::string error;
        const std::string got = Map(step.name, &error);
        if (step.expected[0] == '!') {
            EXPECT_EQ(got, "") << step.name;
            EXPECT_EQ(error.rfind(step.expected + 1, 0), 0u) << step.name << ": " << error;
        } else {
            EXPECT_EQ(got, prefix_ + "/dosdevices/c:/" + step.expected) << step.name;
            EXPECT_EQ(error, "") << step.name << ": " << error;
        }
    }
}

TEST_F(WinePathsTest, MappedFolderForTheFileDialog) {
    ScopedEnv prefix("WINEPREFIX", prefix_);
    EXPECT_EQ(MappedFolderOf(io_, "C:\\HARUCOM\\TODOLST2"), prefix_ + "/dosdevices/c:/HaruCom");
    EXPECT_EQ(MappedFolderOf(io_, "c:\\harucom\\log\\"), prefix_ + "/dosdevices/c:/HaruCom/Log");
    EXPECT_EQ(MappedFolderOf(io_, tmp_ / "data/TODOLST2.DAT"), tmp_ / "data");
    EXPECT_EQ(MappedFolderOf(io_, "/TODOLST2.DAT"), "/");
    EXPECT_EQ(MappedFolderOf(io_, "C:\\MISSING\\TODOLST2"), "");
    EXPECT_EQ(MappedFolderOf(io_, "F:\\HARUCOM\\TODOLST2"), "");
    EXPECT_EQ(MappedFolderOf(io_, "TODOLST2.DAT"), "");
}

// The backup finds the archive the way it finds the log: both land in the
// log's real folder, an existing archive is reused whatever the case of its
// name, and members carry the real names, so that extracting gives back the
// files as they are. A name the mapping cannot settle converts nothing.
TEST_F(WinePathsTest, BackupFindsItsFilesThroughTheMapping) {
    ScopedEnv prefix("WINEPREFIX", prefix_);
    const std::string folder = prefix_ + "/drive_c/HaruCom/Log";
    WriteFile(folder + "/Mail02.TXT", "n");
    zip_t* old = zip_open((folder + "/stxbak.zip").c_str(), ZIP_CREATE, nullptr);
    ASSERT_NE(old, nullptr);
    zip_file_add(old, "OLD.TXT", zip_source_buffer(old, "o", 1, 0), 0);
    ASSERT_EQ(zip_close(old), 0);
    WriteFile(tmp_ / "wine/drive_c/Twin/stxbak.zip", "");
    WriteFile(tmp_ / "wine/drive_c/Twin/Stxbak.ZIP", "");

    test::ListBuilder list;
    list.Mail("s", "C:\\HARUCOM\\LOG\\MAIL01.TXT")
        .Mail("s", "C:\\HARUCOM\\LOG\\MAIL02.TXT")
        .Mail("s", "C:\\TWIN\\EXACT.TXT");
    WriteFile(tmp_ / "TODOLST2.DAT", list.bytes());
    ConvertSettings s;
    s.m_strTodoPath = tmp_ / "TODOLST2.DAT";
    s.m_bBackup = 1;
    std::ostringstream trace, diag;
    ConvertEnv env(io_, trace, diag);
    HarucomNames names;
    env.mapName = [&names](Io& io, const std::string& name, std::string* error) {
        return names.Map(io, name, error);
    };
    const ProcessOutcome o = ProcessTodoList(s, env);

    EXPECT_EQ(o.converted, 2u) << diag.str();
    EXPECT_FALSE(Exists(folder + "/STXBAK.zip"));
    const test::ArchiveContent a = test::ReadArchive(folder + "/stxbak.zip");
    ASSERT_TRUE(a.ok) << a.error;
    EXPECT_EQ(a.members, (std::map<std::string, std::string>{
                             {"OLD.TXT", "o"}, {"mail01.txt", "m"}, {"Mail02.TXT", "n"}}));
    ASSERT_EQ(o.failures.size(), 1u) << diag.str();
    EXPECT_NE(o.failures[0].reason.find("ambiguous"), std::string::npos) << o.failures[0].reason;
    EXPECT_EQ(test::ReadFile(tmp_ / "wine/drive_c/Twin/EXACT.TXT"), "4");
}

}  // namespace
}  // namespace tidewell
