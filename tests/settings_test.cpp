// Where the settings come from at start, and what SaveSetup writes back.
#include <gtest/gtest.h>
#include <stdlib.h>

#ifndef _WIN32
#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QtGlobal>
#endif
#include <filesystem>
#include <memory>
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

#ifndef _WIN32
// The profile file of Linux (Windows keeps the profile in the registry).
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

// A profile file of its own for each case; returns the store over it.
std::unique_ptr<ProfileStore> StoreWith(const std::string& name, const std::string& text) {
    auto store = std::make_unique<ProfileStore>(kRegistryKey, name);
    std::filesystem::create_directories(std::filesystem::path(store->FileName()).parent_path());
    test::WriteFile(store->FileName(), text);
    return store;
}

// A value is the bytes after "=" up to the end of its line, as a hand-edited
// file shows them; an earlier version's QSettings spelling is still read as meant.
TEST_F(Profile, ValuesReadAsWritten) {
    const std::string kFormat = "; tidewell profile: each value is the text after \"=\"\n";
    const struct {
        const char* name;
        std::string text;
        std::string path;
        int lines;
    } cases[] = {
        {"hand-written Windows path", "[TidewellSetup]\nTODOLST2=C:\\HARUCOM\\TODOLST2.DAT\n",
         "C:\\HARUCOM\\TODOLST2.DAT", 100},
        {"backslash letters are no escapes", "[TidewellSetup]\nTODOLST2=C:\\new\\todo.dat\n",
         "C:\\new\\todo.dat", 100},
        {"comma, semicolon, quotes and spaces are kept",
         "[TidewellSetup]\nTODOLST2= /a,b;c \"d\" \nLINES= 42 \n", " /a,b;c \"d\" ", 42},
        {"bytes that are not UTF-8", "[TidewellSetup]\nTODOLST2=/x/\xff\xfe.dat\n",
         "/x/\xff\xfe.dat", 100},
        {"LINES not a number", "[TidewellSetup]\nLINES=abc\n", "C:\\HARUCOM\\TODOLST2", 100},
        {"LINES out of range", "[TidewellSetup]\nLINES=99999999999\n", "C:\\HARUCOM\\TODOLST2",
         100},
        {"LINES negative", "[TidewellSetup]\nLINES=-7\n", "C:\\HARUCOM\\TODOLST2", -7},
        {"CR LF lines, names in any case, first entry counts",
         "[tidewellsetup]\r\ntodolst2=/a\r\nTODOLST2=/b\r\nLines=5\r\n", "/a", 5},
        {"other sections are not ours", "[Other]\nLINES=5\n[TidewellSetup]\nTODOLST2=/p\n", "/p",
         100},
        {"earlier version: backslashes doubled",
         "[TidewellSetup]\nTODOLST2=C:\\\\HARUCOM\\\\TODOLST2.DAT\n", "C:\\HARUCOM\\TODOLST2.DAT",
         100},
        {"earlier version: quoted", "[TidewellSetup]\nTODOLST2=\"/a,b\\\\c\"\n", "/a,b\\c", 100},
        {"with the format line nothing is unescaped",
         kFormat + "[TidewellSetup]\nTODOLST2=C:\\\\X\n", "C:\\\\X", 100},
    };
    int serial = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto store = StoreWith("read" + std::to_string(++serial), c.text);
        ConvertSettings s;
        LoadStartSettings(*store, "", &s);
        EXPECT_EQ(store->ReadError(), "");
        EXPECT_EQ(s.m_strTodoPath, c.path);
        EXPECT_EQ(s.m_nLines, c.lines);
    }
}

// Files written by earlier versions (through QSettings) read as meant; the
// first write turns them into the plain form without changing a value.
TEST_F(Profile, EarlierFilesReadAsMeantAndAreRewrittenPlainly) {
    const std::string paths[] = {"C:\\HARUCOM\\TODOLST2.DAT",
                                 "/a,b;c=d",
                                 " lead and trail ",
                                 "say \"hi\"\\x",
                                 "@at",
                                 "/home/u/ハルコム/TODOLST2.DAT",
                                 "C:\\new\\t.dat",
                                 "plain"};
    int serial = 0;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const std::string name = "earlier" + std::to_string(++serial);
        ProfileStore probe(kRegistryKey, name);
        {
            QSettings old(QString::fromStdString(probe.FileName()), QSettings::IniFormat);
            old.setValue("TidewellSetup/TODOLST2", QString::fromStdString(path));
            old.setValue("TidewellSetup/LINES", 7);
            old.sync();
            ASSERT_EQ(old.status(), QSettings::NoError);
        }
        ProfileStore store(kRegistryKey, name);
        EXPECT_EQ(store.GetProfileString("TidewellSetup", "TODOLST2", ""), path);
        ASSERT_TRUE(store.WriteProfileInt("TidewellSetup", "FORV2", 1)) << store.WriteError();
        const std::string file = test::ReadFile(store.FileName());
        EXPECT_NE(file.find("\nTODOLST2=" + path + "\n"), std::string::npos) << file;
        ProfileStore again(kRegistryKey, name);
        EXPECT_EQ(again.GetProfileString("TidewellSetup", "TODOLST2", ""), path);
        EXPECT_EQ(again.GetProfileInt("TidewellSetup", "LINES", 0), 7);
        EXPECT_EQ(again.GetProfileInt("TidewellSetup", "FORV2", 0), 1);
    }
}

// SaveSetup stores any path as its bytes, or refuses loudly and writes nothing.
TEST_F(Profile, SaveSetupKeepsEveryPathOrRefusesIt) {
    const struct {
        std::string path;
        bool storable;
    } cases[] = {
        {"C:\\\\HARUCOM\\TODO \"x\" ;,=.DAT ", true},
        {"/x/\xff\xfe\x01.dat", true},
        {"@@", true},
        {"/a\nLINES=5", false},
        {"/a\rb", false},
        {std::string("/a\0b", 4), false},
    };
    int serial = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string before = "; mine\n[TidewellSetup]\nLINES=3\n";
        const auto store = StoreWith("save" + std::to_string(++serial), before);
        ConvertSettings saved;
        saved.m_strTodoPath = c.path;
        EXPECT_EQ(SaveSetup(*store, saved), c.storable);
        if (!c.storable) {
            EXPECT_NE(store->WriteError().find("TODOLST2"), std::string::npos);
            EXPECT_EQ(test::ReadFile(store->FileName()), before);
            continue;
        }
        ConvertSettings loaded;
        ProfileStore again(kRegistryKey, "save" + std::to_string(serial));
        LoadStartSettings(again, "", &loaded);
        EXPECT_EQ(loaded.m_strTodoPath, c.path);
        EXPECT_EQ(loaded.m_nLines, 100);
        EXPECT_NE(test::ReadFile(store->FileName()).find("; mine\n"), std::string::npos);
    }
}

// Only a missing profile means the defaults: one that is there but cannot be
// read says so, naming the file.
TEST_F(Profile, UnreadableProfileIsReported) {
    ProfileStore store(kRegistryKey, "folder");
    std::filesystem::create_directories(store.FileName());
    EXPECT_NE(store.ReadError().find(store.FileName()), std::string::npos);
    EXPECT_EQ(store.GetProfileInt("TidewellSetup", "LINES", 100), 100);
    EXPECT_FALSE(store.WriteProfileInt("TidewellSetup", "LINES", 5));
    EXPECT_EQ(ProfileStore(kRegistryKey, "missing").ReadError(), "");
}
#endif

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
        HRSRC block = FindResourceExW(module, MAKEINTRESOURCEW(6) /* RT_STRING */,
                                      MAKEINTRESOURCEW(id / 16 + 1),
                                      MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
        ASSERT_NE(block, nullptr) << id;
        auto* p = static_cast<const wchar_t*>(LockResource(LoadResource(module, block)));
        for (int i = 0; i < id % 16; ++i) p += 1 + *p;
        EXPECT_EQ(utf8(p + 1, *p), LoadString(id)) << id;
    }
    EXPECT_NE(FindResourceExW(module, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */,
                              MAKEINTRESOURCEW(128), MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)),
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
