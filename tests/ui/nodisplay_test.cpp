// The program started where no window can be shown: a batch run with a
// readable list still works; anything that needs the dialog ends with one
// line on standard error and status 2, never with an abort.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"

using namespace tidewell::test;

namespace {

struct Case {
    const char* name;
    bool listExists;
    std::vector<std::string> args;
    int status;
    std::vector<std::string> errMentions;
    std::string display = "";  // empty: unset
};

TEST(NoDisplay, EndsWithOneLineOrRunsHeadless) {
    const std::vector<Case> cases = {
        {"unreadable list", false, {}, 2, {"missing/TODOLST2.DAT", "display"}},
        {"unreadable list in batch mode",
         false,
         {"/batch"},
         2,
         {"missing/TODOLST2.DAT", "display"}},
        {"readable list without batch", true, {}, 2, {"needs a display", "/batch"}},
        // A dry run never asks for another list.
        {"unreadable list in a dry run",
         false,
         {"--dry-run"},
         2,
         {"cannot read the to-do list", "missing/TODOLST2.DAT"}},
        // Qt would abort here; the program ends with the same one line instead.
        {"a display that cannot be opened",
         false,
         {},
         2,
         {"missing/TODOLST2.DAT", "none could be opened"},
         ":9999"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string list = c.listExists ? dir / "TODOLST2.DAT" : dir / "missing/TODOLST2.DAT";
        if (c.listExists) WriteFile(list, "");
        auto env = WriteProfile(dir, list);
        env["DISPLAY"] = c.display;
        const RunResult r = RunTidewell(c.args, env);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        for (const std::string& m : c.errMentions)
            EXPECT_NE(r.err.find(m), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST(NoDisplay, BatchWithAReadableListConverts) {
    TempDir dir;
    WriteFile(dir / "a.log", "x\ry\r");
    WriteFile(dir / "TODOLST2.DAT", ListBuilder().Mail("in", dir / "a.log").bytes());
    const RunResult r =
        RunTidewell({"/batch"}, WriteProfile(dir, dir / "TODOLST2.DAT", "REVERSE=1\n"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "a.log"), "x\r\ny\r\n");
}

}  // namespace
