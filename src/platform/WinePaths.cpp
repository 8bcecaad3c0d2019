#include "platform/WinePaths.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

#include "platform/PathParts.h"

namespace tidewell {
namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Only ASCII letters fold: other bytes of a multi-byte name must match exactly.
bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

bool HasDrive(const std::string& name) {
    return name.size() >= 2 && IsAsciiLetter(name[0]) && name[1] == ':';
}

// "\\server\share", "\\?\C:\..." and "\\.\device". Two slashes alone are left
// to Linux, where "//tmp/x" is an ordinary path.
bool IsUncName(const std::string& name) {
    return name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1]) &&
           (name[0] == '\\' || name[1] == '\\');
}

// The components below the drive, with "." and ".." resolved by name as
// Windows does before any file is looked at; ".." at the root stays there.
std::vector<std::string> Components(const std::string& rest) {
    std::vector<std::string> parts;
    std::string part;
    auto flush = [&] {
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        part.clear();
    };
    for (char c : rest) {
        if (IsSeparator(c)) {
            flush();
        } else {
            part.push_back(c);
        }
    }
    flush();
    // Windows drops trailing dots and spaces from a file name, so a list that
    // writes "X.TXT " has always meant X.TXT.
    if (!parts.empty()) {
        std::string& last = parts.back();
        const auto end = last.find_last_not_of(". ");
        if (end != std::string::npos) last.erase(end + 1);
    }
    return parts;
}

// Entries of `folder` equal to `name` but for ASCII case, sorted. An unreadable
// folder has none.
std::vector<std::string> CaseVariants(const std::string& folder, const std::string& name) {
    std::vector<std::string> found;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (SameIgnoringAsciiCase(entry, name)) found.push_back(entry);
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

std::string WinePrefix() {
    const char* prefix = std::getenv("WINEPREFIX");
    std::string result;
    if (prefix && *prefix) {
        result = prefix;
    } else {
        const char* home = std::getenv("HOME");
#ifndef _WIN32
        if (!home || !*home) {
            const passwd* pw = getpwuid(getuid());
            home = pw ? pw->pw_dir : nullptr;
        }
#endif
        if (!home || !*home) return {};
        result = std::string(home) + "/.wine";
    }
    while (result.size() > 1 && result.back() == '/') result.pop_back();
    return result;
}

std::string MapDosName(Io& io, const std::string& prefix, const std::string& name,
                       std::string* error) {
    error->clear();
    if (IsUncName(name)) {
        *error = "network (UNC) names are not supported";
        return {};
    }
    if (!HasDrive(name)) return name;

    const std::string drive{AsciiUpper(name[0]), ':'};
    if (prefix.empty()) {
        *error = "drive " + drive + " is not mapped (no Wine prefix: set WINEPREFIX)";
        return {};
    }
    std::string path = prefix + "/dosdevices/" + AsciiLower(name[0]) + ":";
    FileStat st;
    if (io.Stat(path, &st) != 0 || !S_ISDIR(st.mode)) {
        *error = "drive " + drive + " is not mapped (no folder " + path + ")";
        return {};
    }

    // Once a folder is missing nothing below it can exist: the rest is kept as written.
    bool lookingUp = true;
    for (const std::string& part : Components(name.substr(2))) {
        const std::string asWritten = path + "/" + part;
        if (lookingUp && io.Lstat(asWritten, &st) != 0) {
            if (errno != ENOENT) {
                lookingUp = false;
            } else {
                const std::vector<std::string> variants = CaseVariants(path, part);
                if (variants.size() > 1) {
                    *error = "ambiguous name: " + path + " holds both " + variants[0] + " and " +
                             variants[1];
                    return {};
                }
                if (variants.size() == 1) {
                    path += "/" + variants[0];
                    continue;
                }
                lookingUp = false;
            }
        }
        path = asWritten;
    }
    return path;
}

std::string MapHarucomName(Io& io, const std::string& name, std::string* error) {
#ifdef _WIN32
    (void)io;
    error->clear();
    return name;
#else
    return MapDosName(io, WinePrefix(), name, error);
#endif
}

std::string MappedFolderOf(Io& io, const std::string& name) {
    std::string error;
    const std::string mapped = MapHarucomName(io, name, &error);
    if (!error.empty()) return {};
#ifdef _WIN32
    const PathParts parts = SplitPath(mapped);
    std::string folder = parts.drive + parts.directory;
    const size_t root = parts.drive.size() + 1;
#else
    // Here a backslash in a name without a drive is part of a file name.
    const auto sep = mapped.rfind('/');
    std::string folder = sep == std::string::npos ? std::string() : mapped.substr(0, sep + 1);
    // A drive name ending in a separator names the folder itself.
    if (HasDrive(name) && IsSeparator(name.back())) folder = mapped + "/";
    const size_t root = 1;
#endif
    if (folder.empty()) return {};
    // Keep the separator of a root folder only.
    if (folder.size() > root) folder.pop_back();
    FileStat st;
    if (io.Stat(folder, &st) != 0 || !S_ISDIR(st.mode)) return {};
    return folder;
}

}  // namespace tidewell
