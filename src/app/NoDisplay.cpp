#include "app/NoDisplay.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdlib>

#include "platform/FileReplace.h"
#include "platform/Io.h"
#include "platform/WinePaths.h"

namespace tidewell {
namespace {

bool EnvSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Why the list does not open; empty when it does.
std::string ListOpenError(const std::string& name) {
    std::string error;
    const std::string path = MapHarucomName(name, &error);
    if (!error.empty()) return error;
    Io& io = CurrentIo();
    const int fd = io.Open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return ErrnoText(errno);
    io.Close(fd);
    return {};
}

}  // namespace

bool DisplayConfigured() {
#if defined(_WIN32) || defined(__APPLE__)
    return true;
#else
    return EnvSet("QT_QPA_PLATFORM") || EnvSet("DISPLAY") || EnvSet("WAYLAND_DISPLAY");
#endif
}

std::string NoDisplayLine(const ConvertSettings& s, const std::string& why) {
    const std::string error = ListOpenError(s.m_strTodoPath);
    if (!error.empty()) {
        return "tidewell: cannot open the to-do list " + s.m_strTodoPath + " (" + error +
               "); choosing another one needs a display, and " + why;
    }
    return "tidewell: the dialog needs a display, and " + why + "; use /batch to convert " +
           s.m_strTodoPath + " without one";
}

}  // namespace tidewell
