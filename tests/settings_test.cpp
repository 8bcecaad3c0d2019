// Where the settings come from at start, and what SaveSetup writes back.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "TestSupport.h"
#include "app/CommandLine.h"
#include "app/StartSettings.h"
#include "platform/ProfileStore.h"

namespace tidewell {
namespace {

TEST(CommandLine, SwitchesAreCaseInsensitiveSubstrings) {
    struct Case {
        std::vector<const char*> argv;
        bool batch, reverse, backup, v2;
    } cases[] = {
        {{"tidewell"}, false, false, false, false},
        {{"tidewell", "/BATCH", "/Reverse"}, true, true, false, false},
        {{"tidewell", "/v20"}, false, false, false, true},
        {{"tidewell", "c:/backup/x"}, false, false, true, false},
        {{"tidewell", "x/batchy/V2"}, true, false, false, true},
        {{"tidewell", "/bat", "ch"}, false, false, false, false},  // arguments joined by a space
        {{"tidewell", "-batch", "\\reverse"}, false, false, false, false},
    };
    for (const Case& c : cases) {
        const std::string text = CommandLineText(int(c.argv.size()), c.argv.data());
        SCOPED_TRACE(text);
        const Switches s = ParseSwitches(text);
        EXPECT_EQ(s.batch, c.batch);
        EXPECT_EQ(s.reverse, c.reverse);
        EXPECT_EQ(s.backup, c.backup);
        EXPECT_EQ(s.forV2, c.v2);
    }
}

TEST(CommandLine, ApplicationNameIsTheExecutablesBaseName) {
    EXPECT_EQ(ApplicationNameFromArgv0("/usr/bin/tidewell"), "tidewell");
    EXPECT_EQ(ApplicationNameFromArgv0("./renamed"), "renamed");
    EXPECT_EQ(ApplicationNameFromArgv0("tidewell"), "tidewell");
}

class Profile : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // The profile's folder is fixed the first time one is opened in a process.
        dir_ = new test::TempDir;
        setenv("XDG_CONFIG_HOME", dir_->path().c_str(), 1);
    }
    static void TearDownTestSuite() { delete dir_; }
    static test::TempDir* dir_;
};
test::TempDir* Profile::dir_ = nullptr;

TEST_F(Profile, AbsentEntriesGiveTheDefaults) {
    ProfileStore store(kRegistryKey, "fresh");
    ConvertSettings s;
    LoadStartSettings(store, "", &s);
    EXPECT_EQ(s.m_strTodoPath, "C:\\HARUCOM\\TODOLST2");
    EXPECT_EQ(s.m_nLines, 100);
    EXPECT_EQ(s.m_bBatch + s.m_bReverse + s.m_bBackup + s.m_bForV2, 0);
}

TEST_F(Profile, SaveSetupWritesTheFiveEntriesAndNotBatch) {
    ConvertSettings saved;
    saved.m_bBatch = 1;
    saved.m_nLines = -7;
    saved.m_bReverse = 1;
    saved.m_bForV2 = 1;
    saved.m_strTodoPath = "/home/u/ハルコム/TODOLST2.DAT";
    {
        ProfileStore store(kRegistryKey, "tidewell");
        ASSERT_TRUE(SaveSetup(store, saved));
        EXPECT_EQ(store.FileName(), dir_->path() + "/KORU/tidewell.conf");
    }
    const std::string file = test::ReadFile(dir_->path() + "/KORU/tidewell.conf");
    for (const char* entry : {"TODOLST2=", "LINES=-7", "REVERSE=1", "BACKUP=0", "FORV2=1"}) {
        EXPECT_NE(file.find(entry), std::string::npos) << entry << " in\n" << file;
    }
    EXPECT_EQ(file.find("BATCH="), std::string::npos);

    ProfileStore store(kRegistryKey, "tidewell");
    ConvertSettings loaded;
    LoadStartSettings(store, "", &loaded);
    EXPECT_EQ(loaded.m_strTodoPath, saved.m_strTodoPath);
    EXPECT_EQ(loaded.m_nLines, -7);
    EXPECT_EQ(loaded.m_bReverse, 1);
    EXPECT_EQ(loaded.m_bBackup, 0);
    EXPECT_EQ(loaded.m_bForV2, 1);
    EXPECT_EQ(loaded.m_bBatch, 0);
}

}  // namespace
}  // namespace tidewell
