#include "platform/Archiver.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/FileReplace.h"
#include "platform/Io.h"
#include "platform/PathParts.h"
#include "platform/WinePaths.h"

namespace tidewell {
namespace {

// A backup into a folder another run is backing up into waits this long.
constexpr int kArchiveLockWaitMs = 10000;

void Report(const std::string& text, char* output, int outputSize) {
    if (!output || outputSize <= 0) return;
    std::snprintf(output, static_cast<size_t>(outputSize), "%s", text.c_str());
}

// Size and CRC-32 of a file as it is on disk now.
bool Checksum(Io& io, const std::string& path, uint64_t* size, uLong* crc, std::string* error) {
    const int fd = io.Open(path, O_RDONLY);
    if (fd < 0) {
        *error = "cannot read " + path + ": " + ErrnoText(errno);
        return false;
    }
    std::unique_ptr<unsigned char[]> buf(new unsigned char[64 * 1024]);
    *size = 0;
    *crc = crc32(0L, Z_NULL, 0);
    for (;;) {
        const ssize_t r = io.Read(fd, buf.get(), 64 * 1024);
        if (r < 0) {
            *error = "cannot read " + path + ": " + ErrnoText(errno);
            io.Close(fd);
            return false;
        }
        if (r == 0) break;
        *crc = crc32(*crc, buf.get(), static_cast<uInt>(r));
        *size += static_cast<uint64_t>(r);
    }
    io.Close(fd);
    return true;
}

std::string ZipError(zip_t* za) {
    return zip_strerror(za);
}

// Reopens the archive with its consistency checks and reads the member back
// through its decompressor: size and CRC must be those of the file.
std::string VerifyMember(const std::string& archive, const std::string& member, uint64_t size,
                         uLong crc) {
    int zerr = 0;
    zip_t* za = zip_open(archive.c_str(), ZIP_CHECKCONS | ZIP_RDONLY, &zerr);
    if (!za) {
        zip_error_t e;
        zip_error_init_with_code(&e, zerr);
        std::string text = std::string("archive fails its check: ") + zip_error_strerror(&e);
        zip_error_fini(&e);
        return text;
    }
    std::string error;
    zip_file_t* zf = zip_fopen(za, member.c_str(), ZIP_FL_ENC_RAW);
    if (!zf) {
        error = "member " + member + " missing after writing";
    } else {
        std::unique_ptr<unsigned char[]> buf(new unsigned char[64 * 1024]);
        uint64_t got = 0;
        uLong sum = crc32(0L, Z_NULL, 0);
        for (;;) {
            const zip_int64_t r = zip_fread(zf, buf.get(), 64 * 1024);
            if (r < 0) {
                error = "member " + member + " cannot be read back: " + zip_file_strerror(zf);
                break;
            }
            if (r == 0) break;
            sum = crc32(sum, buf.get(), static_cast<uInt>(r));
            got += static_cast<uint64_t>(r);
        }
        if (error.empty() && (got != size || sum != crc)) {
            error = "member " + member + " does not match the file";
        }
        zip_fclose(zf);
    }
    zip_discard(za);
    return error;
}

// The archive is never written in place. libzip rewrites the file it was
// opened on through "<name>.XXXXXX" and a rename, so it is given a working
// name of ours beside the archive; the result is flushed and checked there and
// only then renamed over the archive. Whatever a crash leaves behind carries
// this name and is cleared by the next backup into that folder.
std::string WorkNameFor(const std::string& archive) {
    return archive + ".$$$";
}

bool IsWorkLeftover(const std::string& name, const std::string& workBase) {
    if (name == workBase) return true;
    if (name.size() != workBase.size() + 7 || name.compare(0, workBase.size(), workBase) != 0 ||
        name[workBase.size()] != '.') {
        return false;
    }
    return std::all_of(name.begin() + static_cast<ptrdiff_t>(workBase.size()) + 1, name.end(),
                       [](unsigned char c) { return std::isalnum(c) != 0; });
}

// Only called under the folder lock, so no other run's work is in progress.
std::string RemoveLeftovers(Io& io, const std::string& archive) {
    const PathParts parts = SplitPath(WorkNameFor(archive));
    const std::string prefix = parts.drive + parts.directory;
    DIR* d = opendir(DirectoryToSync(archive).c_str());
    if (!d) return {};
    std::vector<std::string> stale;
    while (const dirent* e = readdir(d)) {
        if (IsWorkLeftover(e->d_name, parts.baseName)) stale.push_back(prefix + e->d_name);
    }
    closedir(d);
    for (const std::string& path : stale) {
        FileStat st;
        if (io.Lstat(path, &st) == 0 && !S_ISREG(st.mode)) {
            return path + " is in the way and is not a regular file";
        }
        if (io.Remove(path) != 0 && errno != ENOENT) {
            return "cannot remove " + path + ": " + ErrnoText(errno);
        }
    }
    return {};
}

// Gives the working name the archive's current content: a second name for the
// same file where the file system allows it, else a copy.
// `old` receives the archive's own attributes (mode 0 for a new archive).
std::string PrepareWorkFile(Io& io, const std::string& archive, const std::string& work,
                            FileStat* old) {
    FileStat& st = *old;
    if (io.Lstat(archive, &st) != 0) {
        if (errno == ENOENT) return {};  // a new archive
        return "cannot examine " + archive + ": " + ErrnoText(errno);
    }
    if (!S_ISREG(st.mode)) return archive + " is not a regular file";
    if (io.Link(archive, work) == 0) return {};
    if (errno != EPERM && errno != EXDEV && errno != EOPNOTSUPP && errno != EMLINK) {
        return "cannot prepare " + work + ": " + ErrnoText(errno);
    }
    const int in = io.Open(archive, O_RDONLY);
    if (in < 0) return "cannot read " + archive + ": " + ErrnoText(errno);
    const int out = io.Open(work, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, st.mode & 0777);
    if (out < 0) {
        const std::string error = "cannot create " + work + ": " + ErrnoText(errno);
        io.Close(in);
        return error;
    }
    std::string error;
    std::unique_ptr<unsigned char[]> buf(new unsigned char[64 * 1024]);
    for (;;) {
        const ssize_t r = io.Read(in, buf.get(), 64 * 1024);
        if (r < 0) error = "cannot read " + archive + ": " + ErrnoText(errno);
        if (r <= 0) break;
        if (!WriteAll(io, out, buf.get(), static_cast<size_t>(r))) {
            error = "cannot write " + work + ": " + ErrnoText(errno);
            break;
        }
    }
    io.Close(in);
    if (io.Close(out) != 0 && error.empty())
        error = "cannot write " + work + ": " + ErrnoText(errno);
    return error;
}

// The rewritten archive keeps the owner, group and mode of the one it replaces,
// as a rewritten log does: libzip's new file would be ours.
std::string KeepAttributes(Io& io, int fd, const FileStat& old) {
    if (old.mode == 0) return {};
    FileStat now;
    if (io.Fstat(fd, &now) != 0) return "cannot examine the archive: " + ErrnoText(errno);
    if ((now.uid != old.uid || now.gid != old.gid) && io.Fchown(fd, old.uid, old.gid) != 0 &&
        geteuid() == 0) {
        return "cannot keep the archive's owner: " + ErrnoText(errno);
    }
    if ((now.mode & 07777) != (old.mode & 07777) && io.Fchmod(fd, old.mode & 07777) != 0) {
        return "cannot keep the archive's permissions: " + ErrnoText(errno);
    }
    return {};
}

// Adds the file to the archive at `work`; the caller has set `work` up.
std::string AddMember(Io& io, const std::string& work, const std::string& file,
                      const std::string& member, const FileStat& fst, const FileStat& old) {
    if (io.Step("archive.add") != 0) return "cannot add to " + work + ": " + ErrnoText(errno);
    std::string error;
    int zerr = 0;
    zip_t* za = zip_open(work.c_str(), ZIP_CREATE, &zerr);
    if (!za) {
        zip_error_t e;
        zip_error_init_with_code(&e, zerr);
        error = "cannot open the archive: " + std::string(zip_error_strerror(&e));
        zip_error_fini(&e);
        return error;
    }
    zip_source_t* src = zip_source_file(za, file.c_str(), 0, -1);
    if (!src) {
        error = "cannot read " + file + ": " + ZipError(za);
        zip_discard(za);
        return error;
    }
    const zip_int64_t idx =
        zip_file_add(za, member.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_RAW);
    if (idx < 0) {
        error = "cannot add " + member + ": " + ZipError(za);
        zip_source_free(src);
        zip_discard(za);
        return error;
    }
    const auto index = static_cast<zip_uint64_t>(idx);
    if (zip_set_file_compression(za, index, ZIP_CM_DEFLATE, 0) != 0 ||
        zip_file_set_mtime(za, index, fst.mtime.tv_sec, 0) != 0) {
        error = "cannot set up " + member + ": " + ZipError(za);
        zip_discard(za);
        return error;
    }
    // A stop asked for by a signal also cuts the long compression short.
    zip_register_cancel_callback_with_state(
        za, [](zip_t*, void*) { return StopSignal() != 0 ? 1 : 0; }, nullptr, nullptr);
    if (io.Step("archive.commit") != 0) {
        error = "cannot write the archive: " + ErrnoText(errno);
        zip_discard(za);
        return error;
    }
    // On failure libzip removes its own temporary file.
    if (zip_close(za) != 0) {
        error = "cannot write the archive: " + ZipError(za);
        zip_discard(za);
        return error;
    }
    // libzip's rename is not flushed: the backup must be on disk before the
    // log it saves is replaced.
    const int afd = io.Open(work, O_RDONLY);
    if (afd < 0) return "cannot reopen the archive: " + ErrnoText(errno);
    error = KeepAttributes(io, afd, old);
    const int rc = error.empty() ? io.Fsync(afd) : 0;
    const int saved = errno;
    io.Close(afd);
    if (rc != 0) return "cannot flush the archive: " + ErrnoText(saved);
    return error;
}

std::string AddToArchive(Io& io, const std::string& archive, const std::string& file) {
    const std::string member = SplitPath(file).baseName;
    uint64_t size = 0;
    uLong crc = 0;
    std::string error;
    if (!Checksum(io, file, &size, &crc, &error)) return error;
    FileStat fst;
    if (io.Stat(file, &fst) != 0) return "cannot examine " + file + ": " + ErrnoText(errno);

    // Two runs adding to one archive at once would each rename their own
    // version into place and lose the other's member.
    const std::string dir = DirectoryToSync(archive);
    const int lockFd = LockDirectory(io, dir, kArchiveLockWaitMs, &error);
    if (lockFd < 0) return error;
    const std::string work = WorkNameFor(archive);
    error = RemoveLeftovers(io, archive);
    FileStat old;
    if (error.empty()) error = PrepareWorkFile(io, archive, work, &old);
    if (error.empty()) error = AddMember(io, work, file, member, fst, old);
    if (error.empty()) error = VerifyMember(work, member, size, crc);
    if (error.empty() && io.Rename(work, archive) != 0) {
        error = "cannot replace " + archive + ": " + ErrnoText(errno);
    }
    if (error.empty() && SyncDirectory(io, dir) != 0) {
        error = "cannot flush the folder of " + archive + ": " + ErrnoText(errno);
    }
    if (!error.empty()) {
        const int saved = errno;
        io.Remove(work);
        errno = saved;
    }
    io.Close(lockFd);
    return error;
}

}  // namespace

std::vector<std::string> SplitCommandWords(const std::string& command) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (char c : command) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (c == ' ' && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

std::string ArchiveFileName(const std::string& name) {
    const std::string base = SplitPath(name).baseName;
    return base.find('.') == std::string::npos ? name + ".zip" : name;
}

int ArchiverCommand(const void* /*caller*/, const char* command, char* output, int outputSize) {
    const std::vector<std::string> words = SplitCommandWords(command ? command : "");
    if (words.empty() || words[0] != "a") {
        Report("unsupported archiver command", output, outputSize);
        return 1;
    }
    size_t i = 1;
    for (; i < words.size() && words[i].size() > 1 && words[i][0] == '-'; ++i) {
        if (words[i] != "-n") {
            Report("unsupported switch " + words[i], output, outputSize);
            return 1;
        }
    }
    if (words.size() - i < 2) {
        Report("archive or file name missing", output, outputSize);
        return 1;
    }
    // The command names files as the to-do list does (C:\LOG\STXBAK): they
    // are found the same way as the logs themselves. The extension is added
    // first so that an existing stxbak.zip is matched whatever its case.
    std::string error;
    const std::string archive = MapHarucomName(ArchiveFileName(words[i]), &error);
    if (!error.empty()) {
        Report(words[i] + ": " + error, output, outputSize);
        return 1;
    }
    for (size_t f = i + 1; f < words.size(); ++f) {
        const std::string file = MapHarucomName(words[f], &error);
        error = error.empty() ? AddToArchive(CurrentIo(), archive, file) : words[f] + ": " + error;
        if (!error.empty()) {
            Report(error, output, outputSize);
            return 1;
        }
    }
    Report("", output, outputSize);
    return 0;
}

}  // namespace tidewell
