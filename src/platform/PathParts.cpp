#include "platform/PathParts.h"

namespace tidewell {

PathParts SplitPath(const std::string& name) {
    PathParts parts;
    std::string rest = name;
    if (name.size() >= 2 && name[1] == ':') {
        parts.drive = name.substr(0, 2);
        rest = name.substr(2);
    }
    const auto sep = rest.find_last_of("\\/");
    if (sep != std::string::npos) {
        parts.directory = rest.substr(0, sep + 1);
        parts.baseName = rest.substr(sep + 1);
    } else {
        parts.baseName = rest;
    }
    return parts;
}

PathParts SplitSystemPath(const std::string& name) {
#ifdef _WIN32
    return SplitPath(name);
#else
    PathParts parts;
    const auto sep = name.rfind('/');
    if (sep == std::string::npos) {
        parts.baseName = name;
    } else {
        parts.directory = name.substr(0, sep + 1);
        parts.baseName = name.substr(sep + 1);
    }
    return parts;
#endif
}

std::string TempPathFor(const std::string& name) {
    const PathParts parts = SplitSystemPath(name);
    return parts.drive + parts.directory + kTempFileName;
}

std::string DirectoryToSync(const std::string& name) {
    const PathParts parts = SplitSystemPath(name);
    std::string dir = parts.drive + parts.directory;
    return dir.empty() ? std::string(".") : dir;
}

}  // namespace tidewell
