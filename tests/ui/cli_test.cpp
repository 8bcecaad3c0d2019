// --help and --version: answered on standard output before anything else,
// with no display, no profile read or written and no log touched; any other
// argument keeps the switches' substring rule.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

using namespace tidewell::test;

namespace {

struct Tree {
    Tree() {
        WriteFile(dir / "a.log", "x\ry\r");
        WriteFile(dir / "TODOLST2.DAT", ListBuilder().Mail("in", dir / "a.log").bytes());
        WriteProfile(dir, dir / "TODOLST2.DAT", "REVERSE=1\n");
    }
    // No display of any kind.
    std::map<std::string, std::string> Env() const { return HeadlessEnv(dir); }
    bool Converted() const { return ReadFile(dir / "a.log") == "x\r\ny\r\n"; }
    TempDir dir;
};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CommandLine, HelpAndVersionNeedNothingElse) {
    const std::string version = std::string("tidewell ") + TIDEWELL_EXPECTED_VERSION + "\n";
    struct Case {
        const char* name;
        std::vector<std::string> args;
        bool help;  // else the version
    };
    const std::vector<Case> cases = {
        {"--help", {"--help"}, true},
        {"-h", {"-h"}, true},
        {"--version", {"--version"}, false},
        // A batch start with a readable list is not run when help is asked for.
        {"help after a switch", {"/batch", "--help"}, true},
        {"version after a switch", {"/BATCH", "--version"}, false},
        {"help wins over version", {"--version", "--help"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tree tree;
        const std::string profile = ReadFile(tree.dir / "config/KORU/tidewell.conf");
        const RunResult r = RunTidewell(c.args, tree.Env());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        if (c.help) {
            for (const char* part :
                 {"Usage: tidewell", "/batch", "/reverse", "/backup", "/v2", "contains a switch",
                  "Exit status", "  0  ", "  1  ", "  2  "}) {
                EXPECT_TRUE(Contains(r.out, part)) << part << "\n" << r.out;
            }
            // The profile this user's runs really read.
            EXPECT_TRUE(Contains(r.out, "  " + (tree.dir / "config/KORU/tidewell.conf") + "\n"))
                << r.out;
        } else {
            EXPECT_EQ(r.out, version);
        }
        EXPECT_FALSE(tree.Converted());
        EXPECT_EQ(ReadFile(tree.dir / "config/KORU/tidewell.conf"), profile);
    }
}

TEST(CommandLine, OnlyWholeArgumentsAskForHelpOrVersion) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        bool converted;
    };
    const std::vector<Case> cases = {
        // Switches are found inside any argument; these are batch starts.
        {"help glued to a switch", {"--help/batch"}, 0, true},
        {"version in a path", {"/batch", "/tmp/--version"}, 0, true},
        // Not help, not a switch: the dialog is needed and there is no display.
        {"upper case", {"--HELP"}, 2, false},
        {"longer word", {"--versions"}, 2, false},
        {"single dash", {"-help"}, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tree tree;
        const RunResult r = RunTidewell(c.args, tree.Env());
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(tree.Converted(), c.converted);
        EXPECT_FALSE(Contains(r.out, "Usage")) << r.out;
        EXPECT_FALSE(Contains(r.out, TIDEWELL_EXPECTED_VERSION)) << r.out;
    }
}

TEST(CommandLine, HelpNamesTheProfileOfTheProgramsOwnName) {
    // The profile is kept under the executable's base name, whatever it is.
    Tree tree;
    const std::string link = tree.dir / "shiosai";
    std::filesystem::create_symlink(TIDEWELL_BINARY, link);
    const RunResult r = RunTidewell({"--help"}, tree.Env(), {.binary = link});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "Usage: shiosai")) << r.out;
    EXPECT_TRUE(Contains(r.out, "  " + (tree.dir / "config/KORU/shiosai.conf") + "\n")) << r.out;
    EXPECT_FALSE(std::filesystem::exists(tree.dir / "config/KORU/shiosai.conf"));
}

TEST(CommandLine, AnswerThatCannotBeWrittenIsAFailure) {
    Tree tree;
    for (const char* arg : {"--help", "--version"}) {
        SCOPED_TRACE(arg);
        const RunResult r = RunTidewell({arg}, tree.Env(),
                                        {.prefix = {"sh", "-c", "exec \"$0\" \"$@\" >/dev/full"}});
        EXPECT_NE(r.status, 0);
        EXPECT_TRUE(Contains(r.err, "standard output")) << r.err;
    }
}

}  // namespace
