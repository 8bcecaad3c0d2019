// Checks shared by the robustness tests: what a log may hold after a run, what
// the backup archive holds, which files a folder holds, open descriptors.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "convert/ByteStreams.h"
#include "convert/LineFeedFilters.h"

namespace tidewell::test {

// The filters fed one byte at a time: the reference a rewritten log must equal.
inline std::string ExpectedCut(const std::string& in, int64_t interval, bool forV2 = false) {
    MemorySource src(in);
    MemorySink out;
    CutLineFeeds(src, out, interval, forV2, 1);
    return out.data();
}

inline std::string ExpectedRestore(const std::string& in) {
    MemorySource src(in);
    MemorySink out;
    RestoreLineFeeds(src, out, 1);
    return out.data();
}

inline int CountOpenFds() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

inline std::set<std::string> ListDir(const std::string& dir) {
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..") names.insert(n);
        }
        closedir(d);
    }
    return names;
}

#ifndef _WIN32  // the dry-run checks run on this system only
// Everything under root and root itself: type and mode, size, modification
// and change times, and a file's bytes or a link's target. Equal before and
// after a run that must change nothing; a file created and removed again
// still shows in its folder's times.
inline std::map<std::string, std::string> TreeState(const std::string& root) {
    std::map<std::string, std::string> state;
    auto note = [&state](const std::string& path) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) return;
        std::string& s = state[path];
        for (const auto n : {int64_t(st.st_mode), int64_t(st.st_size), int64_t(st.st_mtim.tv_sec),
                             int64_t(st.st_mtim.tv_nsec), int64_t(st.st_ctim.tv_sec),
                             int64_t(st.st_ctim.tv_nsec)}) {
            s += std::to_string(n) + " ";
        }
        if (S_ISREG(st.st_mode)) {
            std::ifstream f(path, std::ios::binary);
            std::ostringstream bytes;
            bytes << f.rdbuf();
            s += bytes.str();
        } else if (S_ISLNK(st.st_mode)) {
            s += std::filesystem::read_symlink(path).string();
        }
    };
    note(root);
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) note(e.path());
    return state;
}
#endif

// What a dry run says on standard error, without the lines only a dry run
// has ("tidewell: <name>: would ..."): what the real run says.
inline std::string WithoutPlan(const std::string& err) {
    std::string kept;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(": would ") == std::string::npos) kept += line + "\n";
    }
    return kept;
}

struct ArchiveContent {
    bool exists = false;
    bool ok = false;  // opened with consistency checks and every member read back
    std::string error;
    std::map<std::string, std::string> members;
};

inline ArchiveContent ReadArchive(const std::string& path) {
    ArchiveContent a;
    int zerr = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_CHECKCONS | ZIP_RDONLY, &zerr);
    if (!za) {
        a.exists = zerr != ZIP_ER_NOENT;
        a.error = "open error " + std::to_string(zerr);
        return a;
    }
    a.exists = true;
    a.ok = true;
    const zip_int64_t n = zip_get_num_entries(za, 0);
    for (zip_int64_t i = 0; i < n && a.ok; ++i) {
        const char* name = zip_get_name(za, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        zip_file_t* f = name ? zip_fopen_index(za, static_cast<zip_uint64_t>(i), 0) : nullptr;
        if (!f) {
            a.ok = false;
            a.error = "member cannot be opened";
            break;
        }
        std::string bytes;
        char buf[8192];
        zip_int64_t r;
        while ((r = zip_fread(f, buf, sizeof buf)) > 0) bytes.append(buf, static_cast<size_t>(r));
        if (r < 0) {
            a.ok = false;
            a.error = std::string("member ") + name + " unreadable";
        }
        zip_fclose(f);
        a.members[name] = bytes;
    }
    zip_discard(za);
    return a;
}

}  // namespace tidewell::test
