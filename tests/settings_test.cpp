// Where the settings come from at start, and what SaveSetup writes back.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QtGlobal>
#include <filesystem>
#include <vector>

#include "TestSupport.h"
#include "app/CommandLine.h"
#include "app/StartSettings.h"
#include "app/StringTable.h"
#include "platform/ProfileStore.h"

#ifdef _WIN32
#include <windows.h>
#undef LoadString
#endif

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
        qputenv("XDG_CONFIG_HOME", QByteArray(dir_->path().c_str()));
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

#ifdef _WIN32
// The program's own resources: the Japanese string table says what the
// compiled-in one says, and the version block carries the program's marks.
TEST(Resources, StringTableAndVersionBlockOfTheProgram) {
    const std::wstring exe = std::filesystem::path(TIDEWELL_BINARY).wstring();
    HMODULE module = LoadLibraryExW(exe.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr) << GetLastError();
    const auto utf8 = [](const wchar_t* text, int n) {
        std::string bytes(size_t(n) * 3, '\0');
        bytes.resize(size_t(WideCharToMultiByte(CP_UTF8, 0, text, n, bytes.data(),
                                                int(bytes.size()), nullptr, nullptr)));
        return bytes;
    };
    for (int id = IDS_ABOUTBOX; id <= IDS_ENTRY_FORV2; ++id) {
        // A string table block of 16 strings, each counted, in Japanese.
        HRSRC block = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1),
                                      MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
        ASSERT_NE(block, nullptr) << id;
        auto* p = static_cast<const wchar_t*>(LockResource(LoadResource(module, block)));
        for (int i = 0; i < id % 16; ++i) p += 1 + *p;
        EXPECT_EQ(utf8(p + 1, *p), LoadString(id)) << id;
    }
    EXPECT_NE(FindResourceExW(module, RT_GROUP_ICON, MAKEINTRESOURCEW(128),
                              MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)),
              nullptr);
    FreeLibrary(module);

    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, DWORD(info.size()), info.data()));
    const std::pair<const wchar_t*, const char*> values[] = {
        {L"FileVersion", "1, 0, 0, 5"},
        {L"ProductVersion", "1, 0, 0, 5"},
        {L"ProductName", "しおさい～"},
        {L"InternalName", "しおさい～"},
        {L"CompanyName", "KORU"},
        {L"LegalTrademarks", "KORU"},
        {L"FileDescription", "MFC ｱﾌﾟﾘｹｰｼｮﾝ"},
        {L"PrivateBuild", "1997-06-07"},
        {L"SpecialBuild", "001"},
    };
    for (const auto& [name, expected] : values) {
        const std::wstring key = std::wstring(L"\\StringFileInfo\\041104b0\\") + name;
        wchar_t* value = nullptr;
        UINT n = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &n))
            << expected;
        EXPECT_EQ(utf8(value, int(wcsnlen(value, n))), expected);
    }
}
#endif

}  // namespace
}  // namespace tidewell
