#include "app/NoDisplay.h"

#include <cstdlib>

#include "app/BatchRun.h"

namespace tidewell {

#if defined(_WIN32) || defined(__APPLE__)

// The window system is always there.
bool DisplayConfigured() {
    return true;
}

#else

namespace {

bool EnvSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

}  // namespace

bool DisplayConfigured() {
    return EnvSet("QT_QPA_PLATFORM") || EnvSet("DISPLAY") || EnvSet("WAYLAND_DISPLAY");
}

#endif

std::string NoDisplayLine(Io& io, const ConvertSettings& s, const std::string& why) {
    const std::string error = TodoListOpenError(io, s.m_strTodoPath);
    if (!error.empty()) {
        return "tidewell: cannot open the to-do list " + s.m_strTodoPath + " (" + error +
               "); choosing another one needs a display, and " + why;
    }
    return "tidewell: the dialog needs a display, and " + why + "; use /batch to convert " +
           s.m_strTodoPath + " without one";
}

}  // namespace tidewell
