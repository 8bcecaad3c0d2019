#include "app/BatchRun.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <streambuf>

#include "app/StopSignals.h"
#include "app/TerminalProgress.h"
#include "convert/ProcessTodoList.h"
#include "platform/FileReplace.h"
#include "platform/Io.h"
#include "platform/WinePaths.h"

namespace tidewell {
namespace {

// Passes the trace on unchanged, remembers whether it ended a line, and why
// it first could not be written.
class TraceTail : public std::streambuf {
  public:
    explicit TraceTail(std::streambuf* target) : m_target(target) {}
    bool midLine() const { return m_bMidLine; }
    int error() const { return m_nErrno; }

  protected:
    int overflow(int c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        m_bMidLine = c != '\n';
        errno = 0;
        const int r = m_target->sputc(traits_type::to_char_type(c));
        if (r == traits_type::eof()) Note();
        return r;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        if (n > 0) m_bMidLine = s[n - 1] != '\n';
        errno = 0;
        const std::streamsize r = m_target->sputn(s, n);
        if (r != n) Note();
        return r;
    }
    int sync() override {
        errno = 0;
        const int r = m_target->pubsync();
        if (r != 0) Note();
        return r;
    }

  private:
    void Note() {
        if (m_nErrno == 0) m_nErrno = errno != 0 ? errno : EIO;
    }

    std::streambuf* m_target;
    bool m_bMidLine = false;
    int m_nErrno = 0;
};

}  // namespace

std::string TodoListOpenError(Io& io, const std::string& name) {
    // The stored path is HARUCOM's own (the default C:\HARUCOM\TODOLST2 too).
    std::string error;
    const std::string path = MapHarucomName(io, name, &error);
    if (!error.empty()) return error;
    const int fd = io.Open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return ErrnoText(errno);
    io.Close(fd);
    return {};
}

bool TodoListOpens(Io& io, const ConvertSettings& s) {
    return TodoListOpenError(io, s.m_strTodoPath).empty();
}

std::string SummaryLine(const ProcessOutcome& outcome, bool dryRun) {
    return std::string(dryRun ? "tidewell: dry run, nothing changed: " : "tidewell: ") +
           std::to_string(outcome.converted) + (dryRun ? " to convert, " : " converted, ") +
           std::to_string(outcome.notFound) + " missing, " + std::to_string(outcome.skipped()) +
           " skipped, " + std::to_string(outcome.failed()) + " failed";
}

int RunBatch(Io& io, const ConvertSettings& s, const Options& options) {
    // On a terminal the run shows where it is; its trace and error lines pass
    // the progress line so that it is out of their way.
    TerminalProgress progress(STDERR_FILENO, STDOUT_FILENO, std::cout, std::cerr);
    TraceTail tail(progress.active() ? progress.trace().rdbuf() : std::cout.rdbuf());
    std::ostream trace(&tail);
    ConvertEnv env{io, trace, progress.active() ? progress.diag() : std::cerr};
    HarucomNames names;  // each folder searched is listed once in the run
    env.mapName = [&names](Io& lookIo, const std::string& name, std::string* error) {
        return names.Map(lookIo, name, error);
    };
    env.dryRun = options.dryRun;
    if (progress.active()) {
        env.progress = [&progress](const EntryProgress& p) { return progress.Update(p); };
    }
    StopSignals stopSignals;
    const ProcessOutcome outcome = ProcessTodoList(s, env);
    stopSignals.EndIfStopped();
    progress.Finish();
    // The prompt must not be glued to the trace on the screen; a file or a
    // pipe gets the trace's bytes exactly.
    const bool traceMidLine = progress.SharesTerminal() ? progress.TraceMidLine() : tail.midLine();
    if (traceMidLine && isatty(STDOUT_FILENO)) trace << '\n';
    trace.flush();
    const bool traceLost = !trace || tail.error() != 0 || !std::cout.flush() ||
                           std::fflush(stdout) != 0 || std::ferror(stdout);
    const int traceErrno = tail.error();
    int status = ExitStatusOf(outcome);
    if (outcome.result < 0) {
        std::cerr << "tidewell: cannot read the to-do list " << s.m_strTodoPath;
        if (!outcome.listPath.empty() && outcome.listPath != s.m_strTodoPath) {
            std::cerr << " (" << outcome.listPath << ")";
        }
        std::cerr << ": " << outcome.listError << '\n';
    } else if (options.verbose || isatty(STDERR_FILENO)) {
        std::cerr << SummaryLine(outcome, options.dryRun) << '\n';
    }
    if (traceLost) {
        // The trace is what a calling script reads: losing it is no success.
        std::cerr << "tidewell: cannot write the trace to standard output";
        if (traceErrno != 0) std::cerr << ": " << ErrnoText(traceErrno);
        std::cerr << '\n';
        if (status == 0) status = 1;
    }
    return status;
}

}  // namespace tidewell
