#include "app/DialogLoader.h"

#include <iostream>
#include <string>

#ifndef _WIN32
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#endif

namespace tidewell {

#ifdef _WIN32

// Windows builds link the dialogs in directly.
int RunDialogModule(int* argc, char** argv, Io& io) {
    return TidewellDialogMain(argc, argv, &io);
}

#else

namespace {

std::string ExecutableFolder() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, size_t(n));
    return path.substr(0, path.find_last_of('/'));
}

}  // namespace

int RunDialogModule(int* argc, char** argv, Io& io) {
    // Beside the program in a build tree; under lib/ once installed.
    const std::string folder = ExecutableFolder();
    const std::string candidates[] = {
        folder + "/" TIDEWELL_DIALOG_MODULE,
        folder + "/../" TIDEWELL_MODULE_DIR "/" TIDEWELL_DIALOG_MODULE,
    };
    std::string errors;
    for (const std::string& path : candidates) {
        if (access(path.c_str(), F_OK) != 0) continue;
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            errors += std::string("; ") + dlerror();
            continue;
        }
        auto entry =
            reinterpret_cast<int (*)(int*, char**, Io*)>(dlsym(module, "TidewellDialogMain"));
        if (!entry) {
            errors += "; " + path + " has no dialog entry";
            continue;
        }
        return entry(argc, argv, &io);  // the module stays loaded until the process ends
    }
    std::cerr << "tidewell: cannot load the dialogs (" TIDEWELL_DIALOG_MODULE " not found beside "
              << folder << " or in ../" TIDEWELL_MODULE_DIR << errors << ")\n";
    return 2;
}

#endif

}  // namespace tidewell
