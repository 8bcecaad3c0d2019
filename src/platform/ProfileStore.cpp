// The profile's name, the same on every system.
#include "platform/ProfileStore.h"

namespace tidewell {

std::string ApplicationNameFromArgv0(const char* argv0) {
    std::string name = argv0 ? argv0 : "";
    const auto sep = name.find_last_of("\\/");
    if (sep != std::string::npos) name = name.substr(sep + 1);
#ifdef _WIN32
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos) name = name.substr(0, dot);
#endif
    return name.empty() ? std::string("tidewell") : name;
}

}  // namespace tidewell
