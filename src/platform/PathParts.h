// Splitting a log file name the way the list's names are written: an optional
// drive ("C:"), a directory that keeps its trailing separator, and the rest.
#pragma once

#include <string>

namespace tidewell {

struct PathParts {
    std::string drive;      // "C:" or empty
    std::string directory;  // up to and including the last '\' or '/', or empty
    std::string baseName;   // what follows the directory
};

PathParts SplitPath(const std::string& name);

// Splitting a name as this system opens it. On Windows that is the same as
// above; elsewhere only '/' separates and there are no drives, so a name such
// as LOG\X.TXT (a file in the working folder) is one base name.
PathParts SplitSystemPath(const std::string& name);

// Name of the scratch file every rewrite goes through, in the log's own folder.
inline constexpr const char kTempFileName[] = "$LFCUT$$.$$$";
std::string TempPathFor(const std::string& systemName);

// Directory to sync after a rename inside it ("." for a bare name).
std::string DirectoryToSync(const std::string& systemName);

}  // namespace tidewell
