#include "app/BatchRun.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include "app/StopSignals.h"
#include "app/TerminalProgress.h"
#include "convert/ProcessTodoList.h"
#include "platform/FileReplace.h"
#include "platform/Io.h"
#include "platform/WinePaths.h"

namespace tidewell {

std::string TodoListOpenError(const std::string& name) {
    // The stored path is HARUCOM's own (the default C:\HARUCOM\TODOLST2 too).
    std::string error;
    const std::string path = MapHarucomName(name, &error);
    if (!error.empty()) return error;
    Io& io = CurrentIo();
    const int fd = io.Open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return ErrnoText(errno);
    io.Close(fd);
    return {};
}

bool TodoListOpens(const ConvertSettings& s) {
    return TodoListOpenError(s.m_strTodoPath).empty();
}

int RunBatch(const ConvertSettings& s, const void* caller) {
    // On a terminal the run shows where it is; its trace and error lines pass
    // the progress line so that it is out of their way.
    TerminalProgress progress(STDERR_FILENO, STDOUT_FILENO, std::cout, std::cerr);
    ConvertEnv env{CurrentIo(), progress.active() ? progress.trace() : std::cout,
                   progress.active() ? progress.diag() : std::cerr};
    env.caller = caller;
    env.mapName = MapHarucomName;
    if (progress.active()) {
        env.progress = [&progress](const EntryProgress& p) { return progress.Update(p); };
    }
    StopSignals stopSignals;
    const ProcessOutcome outcome = ProcessTodoList(s, env);
    stopSignals.EndIfStopped();
    progress.Erase();
    if (outcome.result < 0) {
        std::cerr << "tidewell: cannot read the to-do list " << s.m_strTodoPath;
        if (!outcome.listPath.empty() && outcome.listPath != s.m_strTodoPath) {
            std::cerr << " (" << outcome.listPath << ")";
        }
        std::cerr << ": " << outcome.listError << '\n';
    }
    return ExitStatusOf(outcome);
}

}  // namespace tidewell
