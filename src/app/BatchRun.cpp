#include "app/BatchRun.h"

#include <fcntl.h>

#include <iostream>

#include "convert/ProcessTodoList.h"
#include "platform/Io.h"

namespace tidewell {

bool TodoListOpens(const ConvertSettings& s) {
    Io& io = CurrentIo();
    const int fd = io.Open(s.m_strTodoPath, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    io.Close(fd);
    return true;
}

int RunBatch(const ConvertSettings& s, const void* caller) {
    ConvertEnv env{CurrentIo(), std::cout, std::cerr};
    env.caller = caller;
    const ProcessOutcome outcome = ProcessTodoList(s, env);
    if (outcome.result < 0) {
        std::cerr << "tidewell: cannot read the to-do list " << s.m_strTodoPath << ": "
                  << outcome.listError << '\n';
    }
    return ExitStatusOf(outcome);
}

}  // namespace tidewell
