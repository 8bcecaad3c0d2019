// The progress line of a batch run: shown on standard error only when that is
// a terminal, erased at the end, never mixed with error lines or the trace,
// and never changing a byte of standard output.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "TestSupport.h"
#include "app/TerminalProgress.h"

using namespace tidewell;
using namespace tidewell::test;

namespace {

// A list of three logs and one missing file, and a profile pointing at it.
struct BatchTree {
    BatchTree() {
        ListBuilder list;
        for (const char* name : {"first.log", "second.log", "third.log"}) {
            WriteFile(dir / name, "a\rb\rc\r");
            list.Mail("inbox", dir / name);
        }
        list.Board("PATIO", "room", dir / "gone.log");
        WriteFile(dir / "TODOLST2.DAT", list.bytes());
        WriteProfile(dir, dir / "TODOLST2.DAT", "REVERSE=1\n");
    }
    std::map<std::string, std::string> Env() const {
        auto env = HeadlessEnv(dir);
        env["COLUMNS"] = "";
        return env;
    }
    std::string MissingLine() const { return "tidewell: " + (dir / "gone.log") + ": not found"; }
    static constexpr const char* kSummary = "tidewell: 3 converted, 1 missing, 0 skipped, 0 failed";
    TempDir dir;
};

// What a terminal shows after these bytes: printable bytes overwrite the
// cell under the cursor, CR goes to the line's start, LF to the next line.
std::vector<std::string> Screen(const std::string& bytes) {
    std::vector<std::string> lines(1);
    size_t col = 0;
    for (const char c : bytes) {
        if (c == '\r') {
            col = 0;
        } else if (c == '\n') {
            lines.emplace_back();
            col = 0;
        } else {
            std::string& line = lines.back();
            if (line.size() <= col) line.resize(col + 1, ' ');
            line[col++] = c;
        }
    }
    // Trailing blanks are not visible.
    for (std::string& line : lines) line.erase(line.find_last_not_of(' ') + 1);
    return lines;
}

std::vector<std::string> NonEmpty(const std::vector<std::string>& lines) {
    std::vector<std::string> kept;
    for (const std::string& l : lines) {
        if (!l.empty()) kept.push_back(l);
    }
    return kept;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(TerminalProgress, NothingOfItWhenStandardErrorIsAFile) {
    BatchTree tree;
    const RunResult r = RunTidewell({"/batch"}, tree.Env());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(Contains(r.err, "entry")) << r.err;
    EXPECT_FALSE(Contains(r.err, "\r")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST(TerminalProgress, ShownOnTheTerminalAndErasedAtTheEnd) {
    struct Case {
        const char* name;
        bool stdoutOnTerminal;
        unsigned short columns;
    };
    for (const Case& c : {Case{"stderr on the terminal", false, 80},
                          Case{"stdout and stderr on the terminal", true, 80},
                          Case{"narrow terminal", false, 30}}) {
        SCOPED_TRACE(c.name);
        BatchTree tree;
        // First with nothing on a terminal, for what standard output must carry
        // (the trace does not depend on the logs' contents).
        const RunResult plain = RunTidewell({"/batch"}, tree.Env());
        const RunResult r = RunTidewell({"/batch"}, tree.Env(),
                                        {.stdoutOnTerminal = c.stdoutOnTerminal,
                                         .stderrOnTerminal = true,
                                         .columns = c.columns});
        EXPECT_EQ(r.status, 0) << r.terminal;
        EXPECT_EQ(ReadFile(tree.dir / "third.log"), "a\r\nb\r\nc\r\n");

        // The line came up for the entries as they went by...
        EXPECT_TRUE(Contains(r.terminal, "entry 1")) << r.terminal;
        EXPECT_TRUE(Contains(r.terminal, "entry 4")) << r.terminal;
        if (c.columns >= 80) {
            EXPECT_TRUE(Contains(r.terminal, "first.log")) << r.terminal;
        }
        // ...never wider than the terminal, so it could be erased in place...
        std::string segment;
        for (const char ch : r.terminal) {
            if (ch == '\r' || ch == '\n') {
                if (Contains(segment, "entry")) {
                    EXPECT_LT(segment.size(), c.columns) << segment;
                }
                segment.clear();
            } else {
                segment += ch;
            }
        }
        // ...and what stays on the screen is the error line, the trace and
        // the summary, last.
        const std::vector<std::string> screen = NonEmpty(Screen(r.terminal));
        for (const std::string& line : screen) EXPECT_FALSE(Contains(line, "entry")) << line;
        EXPECT_EQ(std::count(screen.begin(), screen.end(), tree.MissingLine()), 1) << r.terminal;
        EXPECT_EQ(screen.back(), BatchTree::kSummary) << r.terminal;
        if (c.stdoutOnTerminal) {
            // The trace may be broken over lines on the screen, never cut.
            std::string shown;
            for (const std::string& line : screen) {
                if (line != tree.MissingLine() && line != BatchTree::kSummary) shown += line + " ";
            }
            std::string words = plain.out;
            words.erase(std::remove(words.begin(), words.end(), ' '), words.end());
            shown.erase(std::remove(shown.begin(), shown.end(), ' '), shown.end());
            EXPECT_EQ(shown, words) << r.terminal;
        } else {
            EXPECT_EQ(r.out, plain.out);
            EXPECT_EQ(screen.size(), 2u) << r.terminal;
        }
        // The shell's prompt starts on a clean line.
        EXPECT_TRUE(Screen(r.terminal).back().empty()) << r.terminal;
    }
}

// Redraws come at most once per interval, whatever the pace of the entries;
// the last state still reaches the screen before the line is erased.
TEST(TerminalProgress, RedrawsAreSpacedAndTheLastStateIsShown) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    std::ostringstream out, err;
    std::chrono::steady_clock::time_point now{};
    std::string screen;
    auto drain = [&] {
        char buf[4096];
        fcntl(master, F_SETFL, O_NONBLOCK);
        for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;) screen.append(buf, size_t(n));
    };
    auto draws = [&] {
        drain();
        size_t n = 0;
        for (size_t at = 0; (at = screen.find("entry ", at)) != std::string::npos; ++at) ++n;
        return n;
    };
    {
        TerminalProgress progress(slave, -1, out, err, [&now] { return now; });
        ASSERT_TRUE(progress.active());
        EntryProgress p;
        p.listSize = 1000;
        for (p.entriesDone = 0; p.entriesDone < 50; ++p.entriesDone) progress.Update(p);
        EXPECT_EQ(draws(), 1u) << screen;  // the first at once, the others too soon
        now += TerminalProgress::kRedrawInterval;
        progress.Update(p);
        EXPECT_EQ(draws(), 2u) << screen;
        EXPECT_NE(screen.find("entry 51"), std::string::npos) << screen;
        ++p.entriesDone;
        progress.Update(p);  // too soon: kept
        EXPECT_EQ(draws(), 2u) << screen;
        progress.Finish();
        EXPECT_EQ(draws(), 3u) << screen;
        EXPECT_NE(screen.find("entry 52"), std::string::npos) << screen;
        EXPECT_EQ(Screen(screen).back(), "") << screen;  // erased
    }
    close(slave);
    close(master);
}

TEST(TerminalProgress, LineText) {
    EntryProgress p;
    p.entriesDone = 2;
    p.listOffset = 50;
    p.listSize = 200;
    p.currentFile = "/logs/mail/inbox.txt";
    struct Case {
        const char* name;
        std::string file;
        size_t columns;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"fits", p.currentFile, 80,
         "tidewell: entry 3, 25% of the list (50 of 200 bytes): /logs/mail/inbox.txt"},
        {"long name keeps its end", p.currentFile, 63,
         "tidewell: entry 3, 25% of the list (50 of 200 bytes): ...x.txt"},
        {"no room for the name", p.currentFile, 20, "tidewell: entry 3, "},
        {"control bytes never reach the terminal", std::string("a\x1b[2Jb\x07\n"), 80,
         "tidewell: entry 3, 25% of the list (50 of 200 bytes): a?[2Jb??"},
        {"no columns at all", p.currentFile, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        p.currentFile = c.file;
        EXPECT_EQ(ProgressLineText(p, c.columns), c.expected);
    }
}

}  // namespace
