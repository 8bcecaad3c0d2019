// --help and --version: answered on standard output before anything else,
// with no display, no profile read or written and no log touched; any other
// argument keeps the switches' substring rule, and one that turns nothing on
// is named. A batch run's trace, summary and status.
#include <gtest/gtest.h>
#include <sys/stat.h>

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
                 {"Usage: tidewell", "/batch", "/reverse", "/backup", "/v2", "--dry-run",
                  "contains a switch", "Exit status", "  0  ", "  1  ", "  2  "}) {
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

TEST(CommandLine, OnlyWholeArgumentsAreOptions) {
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
        // A dry run needs neither /batch nor a display, and converts nothing.
        {"dry run", {"--dry-run"}, 0, false},
        {"dry run in upper case", {"/batch", "--DRY-RUN"}, 0, true},
        {"dry run glued to a switch", {"--dry-run/batch"}, 0, true},
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

TEST(CommandLine, ArgumentsThatTurnNothingOnAreNamed) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"a misspelt option", {"/batch", "--dryrun"}, "tidewell: ignoring argument '--dryrun'\n"},
        {"each in turn, the empty one too",
         {"x", "/batch", ""},
         "tidewell: ignoring argument 'x'\ntidewell: ignoring argument ''\n"},
        {"a switch inside a path", {"c:/BATCH/x"}, ""},
        {"a switch glued to a word", {"--help/batch", "/v20"}, ""},
        {"our own option",
         {"/batch", "--verbose"},
         "tidewell: 1 converted, 0 missing, 0 skipped, 0 failed\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tree tree;
        const RunResult r = RunTidewell(c.args, tree.Env());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_TRUE(tree.Converted());
    }
}

TEST(CommandLine, TraceThatCannotBeWrittenIsAFailure) {
    Tree tree;
    const RunResult r = RunTidewell({"/batch"}, tree.Env(),
                                    {.prefix = {"sh", "-c", "exec \"$0\" \"$@\" >/dev/full"}});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "tidewell: cannot write the trace to standard output: No space left on device\n");
    EXPECT_TRUE(tree.Converted());  // the logs are not held hostage to the trace
}

TEST(CommandLine, TraceEndsItsLineOnlyOnATerminal) {
    Tree tree;
    const RunResult screen = RunTidewell({"/batch"}, tree.Env(), {.stdoutOnTerminal = true});
    EXPECT_EQ(screen.status, 0) << screen.err;
    EXPECT_EQ(screen.terminal, "MAIL in \n");
    Tree again;
    const RunResult file = RunTidewell({"/batch"}, again.Env());
    EXPECT_EQ(file.out, "MAIL in ");
}

// Skipped: left alone on purpose, nothing tried; failed: tried and went wrong.
TEST(CommandLine, SummaryCountsEachKindOfEntry) {
    TempDir dir;
    namespace fs = std::filesystem;
    WriteFile(dir / "ok.log", "a\rb\r");
    fs::create_directory(dir / "folder.log");  // not a regular file: skipped
    WriteFile(dir / "ro.log", "a\rb\r");
    chmod((dir / "ro.log").c_str(), 0444);               // read-only: skipped
    fs::create_directories(dir / "stuck/$LFCUT$$.$$$");  // no scratch file: failed
    WriteFile(dir / "stuck/x.log", "a\rb\r");
    WriteFile(dir / "TODOLST2.DAT", ListBuilder()
                                        .Mail("in", dir / "ok.log")
                                        .Mail("in", dir / "gone.log")
                                        .Mail("in", dir / "folder.log")
                                        .Mail("in", dir / "ro.log")
                                        .Mail("in", dir / "stuck/x.log")
                                        .Mail("in", "Q:\\NOWHERE.LOG")  // unmapped drive: skipped
                                        .bytes());
    const auto env = WriteProfile(dir, dir / "TODOLST2.DAT", "REVERSE=1\n");
    const RunResult dry = RunTidewell({"--dry-run", "--verbose"}, env);
    EXPECT_EQ(dry.status, 1);
    EXPECT_TRUE(dry.err.ends_with(
        "\ntidewell: dry run, nothing changed: 1 to convert, 1 missing, 3 skipped, 1 failed\n"))
        << dry.err;
    const RunResult r = RunTidewell({"/batch", "--verbose"}, env);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.ends_with("\ntidewell: 1 converted, 1 missing, 3 skipped, 1 failed\n"))
        << r.err;
}

}  // namespace
