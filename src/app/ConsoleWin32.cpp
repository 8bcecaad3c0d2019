#include "app/ConsoleWin32.h"

#include "platform/Win32Api.h"

#include <cstdio>
#include <iostream>

namespace tidewell {
namespace {

// Something the program can write to: a file, a pipe, or a console handed
// down by whoever started it.
bool Usable(DWORD which) {
    const HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void UseParentConsole() {
    const bool out = Usable(STD_OUTPUT_HANDLE);
    const bool err = Usable(STD_ERROR_HANDLE);
    if (out && err) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (!out && std::freopen("CONOUT$", "w", stdout)) {
        std::setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
        std::cout.clear();
    }
    if (!err && std::freopen("CONOUT$", "w", stderr)) {
        std::setvbuf(stderr, nullptr, _IONBF, 0);
        std::cerr.clear();
    }
}

}  // namespace tidewell
