// A rewritten log keeps what the folder shows of it: permission bits, owner and
// group (when we run as root), and a symbolic link stays a link.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "LogChecks.h"
#include "TestSupport.h"

namespace tidewell::test {
namespace {

const std::string kText = "one\r\ntwo\r\nthree\r\nfour\r\n";

struct Tree {
    TempDir t;
    Tree() { std::filesystem::create_directory(t / "logs"); }
    RunResult Run(const std::vector<std::string>& names, bool backup = false) {
        ListBuilder list;
        for (const auto& n : names) list.Mail("s", n);
        WriteFile(t / "TODOLST2.DAT", list.bytes());
        auto env = WriteProfile(t, t / "TODOLST2.DAT",
                                std::string("LINES=1\n") + (backup ? "BACKUP=1\n" : ""));
        return RunTidewell({"/batch"}, env);
    }
};

struct ModeCase {
    mode_t mode;
    uid_t uid;  // owner and group set before the run when root; -1: leave
    gid_t gid;
};

class KeepsMetadata : public ::testing::TestWithParam<ModeCase> {};

TEST_P(KeepsMetadata, ModeOwnerAndGroupSurviveTheRewrite) {
    const ModeCase c = GetParam();
    const bool root = geteuid() == 0;
    if (c.uid != static_cast<uid_t>(-1) && !root) {
        GTEST_SKIP() << "changing owners needs root";
    }
    Tree tree;
    const std::string log = tree.t / "logs/LOG.TXT";
    WriteFile(log, kText);
    if (c.uid != static_cast<uid_t>(-1)) {
        ASSERT_EQ(chown(log.c_str(), c.uid, c.gid), 0);
    }
    ASSERT_EQ(chmod(log.c_str(), c.mode), 0);
    struct stat before {};
    stat(log.c_str(), &before);

    const RunResult r = tree.Run({log});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(log), ExpectedCut(kText, 1));
    struct stat after {};
    ASSERT_EQ(stat(log.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "was it rewritten at all?";
    EXPECT_EQ(after.st_mode & 07777, c.mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, KeepsMetadata,
    ::testing::Values(ModeCase{0600, uid_t(-1), gid_t(-1)}, ModeCase{0640, uid_t(-1), gid_t(-1)},
                      ModeCase{0604, uid_t(-1), gid_t(-1)}, ModeCase{0755, uid_t(-1), gid_t(-1)},
                      ModeCase{0664, 1234, 4321},
                      ModeCase{02750, 1234, 4321},  // set-id bits survive a chown
                      ModeCase{0600, 65534, 65534}),
    [](const auto& info) {
        char name[48];
        std::snprintf(name, sizeof name, "mode_%04o", info.param.mode);
        const bool owned = info.param.uid != static_cast<uid_t>(-1);
        return std::string(name) + (owned ? "_owner_" + std::to_string(info.param.uid) : "");
    });

std::map<std::string, std::string> Attributes(const std::string& path) {
    std::map<std::string, std::string> all;
    std::string names(4096, '\0');
    const ssize_t n = listxattr(path.c_str(), names.data(), names.size());
    for (size_t at = 0; n > 0 && at < static_cast<size_t>(n); at = names.find('\0', at) + 1) {
        const std::string name = names.c_str() + at;
        std::string value(4096, '\0');
        const ssize_t v = getxattr(path.c_str(), name.c_str(), value.data(), value.size());
        all[name] = value.substr(0, v < 0 ? 0 : static_cast<size_t>(v));
    }
    return all;
}

// A log with an ACL (a named user may write, the group may not) and a user
// attribute keeps both: the group gains nothing, the named user loses nothing.
// A log without an ACL in a folder whose default ACL new files inherit does
// not gain one.
TEST(Metadata, AclAndExtendedAttributesSurviveTheRewrite) {
    for (bool folderDefault : {false, true}) {
        Tree tree;
        const std::string log = tree.t / "logs/LOG.TXT";
        WriteFile(log, kText);
        chmod(log.c_str(), 0640);
        const std::string acl =
            folderDefault ? "-d -m user:nobody:rw-,group::r-x " + std::string(tree.t / "logs")
                          : "-m user:nobody:rw-,group::--- " + log;
        if (setxattr(log.c_str(), "user.tidewell.origin", "harucom", 7, 0) != 0 ||
            std::system(("setfacl " + acl + " 2>/dev/null").c_str()) != 0) {
            GTEST_SKIP() << "no extended attributes or ACLs where the temporary files lie";
        }
        const auto before = Attributes(log);
        ASSERT_EQ(before.count("system.posix_acl_access"), folderDefault ? 0u : 1u);
        struct stat st {};
        stat(log.c_str(), &st);

        const RunResult r = tree.Run({log}, folderDefault);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(ReadFile(log), ExpectedCut(kText, 1));
        EXPECT_EQ(Attributes(log), before);
        struct stat after {};
        stat(log.c_str(), &after);
        EXPECT_EQ(after.st_mode, st.st_mode);
        EXPECT_NE(after.st_ino, st.st_ino);
    }
}

TEST(Metadata, ReadOnlyLogIsLeftAlone) {
    Tree tree;
    const std::string log = tree.t / "logs/LOG.TXT";
    WriteFile(log, kText);
    chmod(log.c_str(), 0444);
    const RunResult r = tree.Run({log});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(log + ": no write permission"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(log), kText);
    EXPECT_EQ(ListDir(tree.t / "logs"), std::set<std::string>{"LOG.TXT"});
}

// The backup archive, rewritten with every backup, keeps its owner, group and mode.
TEST(Metadata, ArchiveKeepsOwnerGroupAndMode) {
    Tree tree;
    const std::string log = tree.t / "logs/LOG.TXT", archive = tree.t / "logs/STXBAK.zip";
    WriteFile(log, kText);
    ASSERT_EQ(tree.Run({log}, true).status, 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(archive.c_str(), 1234, 4321), 0);
    }
    ASSERT_EQ(chmod(archive.c_str(), 0640), 0);
    WriteFile(log, kText);
    const RunResult r = tree.Run({log}, true);
    EXPECT_EQ(r.status, 0) << r.err;
    struct stat st {};
    ASSERT_EQ(stat(archive.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 1234u);
        EXPECT_EQ(st.st_gid, 4321u);
    }
    EXPECT_TRUE(ReadArchive(archive).ok);
}

// A link named by the list stays a link; the file it leads to is converted,
// through a chain of links and across folders, with or without a backup.
TEST(Metadata, SymbolicLinkStaysALink) {
    for (bool backup : {false, true}) {
        Tree tree;
        std::filesystem::create_directory(tree.t / "real");
        const std::string real = tree.t / "real/REAL.TXT";
        WriteFile(real, kText);
        chmod(real.c_str(), 0640);
        const std::string link = tree.t / "logs/LINK.TXT", chain = tree.t / "logs/CHAIN.TXT";
        ASSERT_EQ(symlink("../real/REAL.TXT", link.c_str()), 0);
        ASSERT_EQ(symlink("LINK.TXT", chain.c_str()), 0);

        const RunResult r = tree.Run({chain}, backup);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(std::filesystem::read_symlink(chain), "LINK.TXT");
        EXPECT_EQ(std::filesystem::read_symlink(link), "../real/REAL.TXT");
        EXPECT_EQ(ReadFile(real), ExpectedCut(kText, 1));
        struct stat st {};
        stat(real.c_str(), &st);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_EQ(ListDir(tree.t / "real"), std::set<std::string>{"REAL.TXT"});
        std::set<std::string> logs{"LINK.TXT", "CHAIN.TXT"};
        if (backup) {
            logs.insert("STXBAK.zip");
            const ArchiveContent a = ReadArchive(tree.t / "logs/STXBAK.zip");
            EXPECT_TRUE(a.ok);
            ASSERT_TRUE(a.members.count("CHAIN.TXT"));
            EXPECT_EQ(a.members.at("CHAIN.TXT"), kText);
        }
        EXPECT_EQ(ListDir(tree.t / "logs"), logs);
    }
}

}  // namespace
}  // namespace tidewell::test
