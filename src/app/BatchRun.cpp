#include "app/BatchRun.h"

#include <fcntl.h>
#include <unistd.h>

#include <iostream>

#include "app/TerminalProgress.h"
#include "convert/ProcessTodoList.h"
#include "platform/Io.h"
#include "platform/WinePaths.h"

namespace tidewell {

bool TodoListOpens(const ConvertSettings& s) {
    // The stored path is HARUCOM's own (the default C:\HARUCOM\TODOLST2 too).
    std::string error;
    const std::string path = MapHarucomName(s.m_strTodoPath, &error);
    if (!error.empty()) return false;
    Io& io = CurrentIo();
    const int fd = io.Open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    io.Close(fd);
    return true;
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
    const ProcessOutcome outcome = ProcessTodoList(s, env);
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
