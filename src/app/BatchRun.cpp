#include "app/BatchRun.h"

#include <fcntl.h>

#include <iostream>

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
    ConvertSettings mapped = s;
    std::string error;
    mapped.m_strTodoPath = MapHarucomName(s.m_strTodoPath, &error);
    if (!error.empty()) {
        std::cerr << "tidewell: cannot read the to-do list " << s.m_strTodoPath << ": " << error
                  << '\n';
        return 2;
    }
    ConvertEnv env{CurrentIo(), std::cout, std::cerr};
    env.caller = caller;
    env.mapName = MapHarucomName;
    const ProcessOutcome outcome = ProcessTodoList(mapped, env);
    if (outcome.result < 0) {
        std::cerr << "tidewell: cannot read the to-do list " << s.m_strTodoPath;
        if (mapped.m_strTodoPath != s.m_strTodoPath) {
            std::cerr << " (" << mapped.m_strTodoPath << ")";
        }
        std::cerr << ": " << outcome.listError << '\n';
    }
    return ExitStatusOf(outcome);
}

}  // namespace tidewell
