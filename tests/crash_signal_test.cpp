// Ctrl-C, a hang-up or a shutdown during a batch run: the log under way is left
// as it was, nothing half-done stays behind (unlike after SIGKILL), and the
// program still ends by the signal, as a shell expects. The core only stops;
// ending the program is its caller's, from the main thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <thread>

#include "LogChecks.h"
#include "TestSupport.h"
#include "app/StopSignals.h"
#include "convert/ProcessTodoList.h"

namespace tidewell::test {
namespace {

TEST(Signals, StopCleanlyAndEndByTheSignal) {
    constexpr int kRuns = 30;
    TempDir t;
    std::mt19937 rng(7);
    std::vector<std::string> paths, now;
    ListBuilder list;
    for (int i = 0; i < 3; ++i) {
        std::string text;
        while (text.size() < 1024 * 1024) text += "line " + std::to_string(rng()) + "\r\n";
        paths.push_back(t / ("LOG" + std::to_string(i) + ".TXT"));
        now.push_back(text);
        WriteFile(paths.back(), text);
        list.Mail("s", paths.back());
    }
    WriteFile(t / "TODOLST2.DAT", list.bytes());
    const auto cutEnv = WriteProfile(t, t / "TODOLST2.DAT", "LINES=10\nBACKUP=1\n", "cut");
    const auto restoreEnv = WriteProfile(t, t / "TODOLST2.DAT", "REVERSE=1\n", "restore");

    // How long a whole run of each kind takes (restoring, cutting).
    long full[2] = {0, 0};
    for (bool cut : {true, false}) {
        const auto start = std::chrono::steady_clock::now();
        const RunResult r = RunTidewell({"/batch"}, cut ? cutEnv : restoreEnv);
        ASSERT_EQ(r.status, 0) << r.err;
        full[cut] = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count());
        for (size_t i = 0; i < paths.size(); ++i)
            now[i] = cut ? ExpectedCut(now[i], 10, false) : ExpectedRestore(now[i]);
    }

    // Signals that come while the program is still starting end it at once;
    // aim past that, at the logs.
    WriteFile(t / "EMPTY.DAT", "");
    long startup = 0;
    {
        const auto start = std::chrono::steady_clock::now();
        const RunResult idle =
            RunTidewell({"/batch"}, WriteProfile(t, t / "EMPTY.DAT", "", "idle"));
        ASSERT_EQ(idle.status, 0) << idle.err;
        startup = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::steady_clock::now() - start)
                                        .count());
    }

    int interrupted = 0, signalled = 0;
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    for (int run = 0; run < kRuns; ++run) {
        const bool cut = run % 2 == 1;
        const int sig = signals[run % 3];
        Started c({"/batch"}, cut ? cutEnv : restoreEnv);
        std::this_thread::sleep_for(std::chrono::microseconds(
            std::uniform_int_distribution<long>(std::min(startup, full[cut]), full[cut])(rng)));
        c.Signal(sig);
        const int status = c.Wait().status;
        const std::string err = c.Wait().err;
        ASSERT_TRUE(status == 0 || status == 128 + sig) << status << "\n" << err;
        signalled += status == 128 + sig;
        if (err.find("interrupted; left as it was") != std::string::npos) ++interrupted;
        for (size_t i = 0; i < paths.size(); ++i) {
            const std::string bytes = ReadFile(paths[i]);
            const std::string next = cut ? ExpectedCut(now[i], 10, false) : ExpectedRestore(now[i]);
            ASSERT_TRUE(bytes == now[i] || bytes == next) << paths[i] << " damaged";
            now[i] = bytes;
        }
        const std::set<std::string> left = ListDir(t.path());
        ASSERT_EQ(left.count("$LFCUT$$.$$$"), 0u) << "scratch file left after signal " << sig;
        ASSERT_EQ(left.count("STXBAK.zip.$$$"), 0u) << "archive copy left after signal " << sig;
        ASSERT_TRUE(ReadArchive(t / "STXBAK.zip").ok);
    }
    EXPECT_GT(signalled, 0);
    std::printf("[ figures  ] %d of %d runs ended by a signal, %d of them mid-log\n", signalled,
                kRuns, interrupted);
}

// The dialog converts on a worker thread: a signal there stops the run, and the
// program lives on until the main thread, the run over, ends it.
TEST(Signals, TheCoreStopsAndTheMainThreadEnds) {
    TempDir t;
    const std::string text = "a\r\nb\r\n";
    WriteFile(t / "LOG.TXT", text);
    WriteFile(t / "TODOLST2.DAT", ListBuilder().Mail("s", t / "LOG.TXT").bytes());
    ConvertSettings s;
    s.m_strTodoPath = t / "TODOLST2.DAT";
    EXPECT_EXIT(
        {
            StopSignals stopSignals;
            ProcessOutcome outcome;
            std::thread worker([&] {
                std::raise(SIGINT);  // to this thread: the handler only asks for a stop
                Io io;
                std::ostringstream trace, diag;
                ConvertEnv env(io, trace, diag);
                outcome = ProcessTodoList(s, env);
            });
            worker.join();
            if (!outcome.cancelled || ReadFile(t / "LOG.TXT") != text) std::_Exit(3);
            std::fputs("worker stopped, log kept\n", stderr);
            stopSignals.EndIfStopped();
            std::_Exit(4);
        },
        testing::KilledBySignal(SIGINT), "worker stopped, log kept");
}

}  // namespace
}  // namespace tidewell::test
