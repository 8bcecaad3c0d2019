#include "platform/WinePaths.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <unordered_map>
#include <vector>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/inotify.h>
#include <sys/vfs.h>
#endif

#include "platform/FileReplace.h"
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

// How the case variants of one name in one folder are found.
using VariantFinder = std::function<std::vector<std::string>(Io&, const std::string& folder,
                                                             const std::string& name)>;

std::string MapWithin(Io& io, const std::string& prefix, const std::string& name,
                      std::string* error, const VariantFinder& caseVariants) {
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
                const std::vector<std::string> variants = caseVariants(io, path, part);
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
    return MapWithin(io, prefix, name, error,
                     [](Io&, const std::string& folder, const std::string& part) {
                         return CaseVariants(folder, part);
                     });
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

#ifdef __linux__
namespace {

std::string AsciiLowerCopy(const std::string& s) {
    std::string lower(s);
    for (char& c : lower) c = AsciiLower(c);
    return lower;
}

}  // namespace
#endif

// The folders searched in one run and the names in each, by ASCII-lower-cased
// name. On Linux a listing is kept current by the system's reports (inotify)
// of every name made, renamed or removed in the folder, the run's own scratch
// files and renames among them, so the folder is read once.
struct HarucomNames::Folders {
#ifdef __linux__
    struct Listing {
        bool listed = false;
        FileStat seen;                 // the folder when its names were last known right
        bool reported = false;         // names changed by reports since `seen`
        bool reportsComplete = false;  // no other machine changes it unreported
        std::unordered_map<std::string, std::vector<std::string>> byLowerName;  // sorted
    };

    static constexpr uint32_t kNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

    Folders() : fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~Folders() {
        if (fd >= 0) close(fd);
    }

    // Brings every listing up to date with what was reported since the last call.
    void ReadReports() {
        if (fd < 0) return;
        alignas(inotify_event) char buf[16 * 1024];
        for (;;) {
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            if (n <= 0) {
                ForgetAll();
                return;
            }
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buf + at);
                Apply(*event);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

    std::vector<std::string> Variants(Io& io, const std::string& folder, const std::string& name) {
        FileStat now;
        if (fd < 0 || io.Stat(folder, &now) != 0 || !S_ISDIR(now.mode)) {
            return CaseVariants(folder, name);
        }
        // The same folder gives the same watch, whatever the path that leads to it.
        const int wd = inotify_add_watch(fd, folder.c_str(), kNameEvents | IN_ONLYDIR);
        if (wd < 0) return CaseVariants(folder, name);
        Listing& listing = byWatch[wd];
        if (!listing.listed) listing.reportsComplete = ReportsComplete(folder);
        const bool explained =
            listing.reported && listing.reportsComplete && SameFile(now, listing.seen);
        if (!listing.listed || !(Unchanged(listing.seen, now) || explained)) {
            List(io, folder, now, &listing);
        }
        listing.seen = now;
        listing.reported = false;
        const auto found = listing.byLowerName.find(AsciiLowerCopy(name));
        return found == listing.byLowerName.end() ? std::vector<std::string>() : found->second;
    }

  private:
    // Network file systems report only this machine's changes: there any
    // change seen in the folder's state means listing it again.
    static bool ReportsComplete(const std::string& folder) {
        struct statfs fs;
        if (statfs(folder.c_str(), &fs) != 0) return false;
        switch (static_cast<uint32_t>(fs.f_type)) {
            case 0x6969:      // NFS
            case 0x517B:      // SMB
            case 0xFF534D42:  // CIFS
            case 0xFE534D42:  // SMB2
            case 0x65735546:  // FUSE (sshfs and the like)
            case 0x01021997:  // 9P
            case 0x00C36400:  // Ceph
            case 0x5346414F:  // AFS
            case 0x6B414653:  // kAFS
            case 0x73757245:  // Coda
                return false;
            default:
                return true;
        }
    }

    // Reads the folder anew. Reports that arrive meanwhile are applied on top
    // later: each leaves its name as the folder now has it.
    void List(Io& io, const std::string& folder, const FileStat& before, Listing* listing) {
        listing->byLowerName.clear();
        std::error_code ec;
        std::filesystem::directory_iterator it(folder, ec);
        for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
            Add(it->path().filename().string(), listing);
        }
        // Kept only when it is surely the folder the watch is on and it read whole.
        FileStat after;
        listing->listed = !ec && io.Stat(folder, &after) == 0 && SameFile(after, before);
    }

    static void Add(const std::string& entry, Listing* listing) {
        std::vector<std::string>& names = listing->byLowerName[AsciiLowerCopy(entry)];
        const auto at = std::lower_bound(names.begin(), names.end(), entry);
        if (at == names.end() || *at != entry) names.insert(at, entry);
    }

    static void Remove(const std::string& entry, Listing* listing) {
        const auto found = listing->byLowerName.find(AsciiLowerCopy(entry));
        if (found == listing->byLowerName.end()) return;
        std::vector<std::string>& names = found->second;
        names.erase(std::remove(names.begin(), names.end(), entry), names.end());
        if (names.empty()) listing->byLowerName.erase(found);
    }

    void Apply(const inotify_event& event) {
        if (event.mask & IN_Q_OVERFLOW) {
            ForgetAll();
            return;
        }
        const auto found = byWatch.find(event.wd);
        if (found == byWatch.end()) return;
        if (event.mask & IN_IGNORED) {  // the folder is gone
            byWatch.erase(found);
            return;
        }
        if (!(event.mask & kNameEvents) || event.len == 0) return;
        Listing& listing = found->second;
        listing.reported = true;
        const std::string entry(event.name, strnlen(event.name, event.len));
        if (event.mask & (IN_CREATE | IN_MOVED_TO)) {
            Add(entry, &listing);
        } else {
            Remove(entry, &listing);
        }
    }

    // Reports were lost: every folder is read again when next searched.
    void ForgetAll() {
        for (auto& [wd, listing] : byWatch) listing.listed = false;
    }

    int fd;
    std::unordered_map<int, Listing> byWatch;
#else
    std::vector<std::string> Variants(Io&, const std::string& folder, const std::string& name) {
        return CaseVariants(folder, name);
    }
#endif
};

HarucomNames::HarucomNames() : HarucomNames(WinePrefix()) {}

HarucomNames::HarucomNames(std::string prefix)
    : prefix_(std::move(prefix)), folders_(std::make_unique<Folders>()) {}

HarucomNames::~HarucomNames() = default;

std::string HarucomNames::Map(Io& io, const std::string& name, std::string* error) {
#ifdef _WIN32
    (void)io;
    error->clear();
    return name;
#else
    Folders& folders = *folders_;
#ifdef __linux__
    folders.ReadReports();
#endif
    return MapWithin(io, prefix_, name, error,
                     [&folders](Io& io, const std::string& folder, const std::string& part) {
                         return folders.Variants(io, folder, part);
                     });
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
