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
#include "platform/ZipSources.h"

namespace tidewell {
namespace {

// A backup into a folder another run is backing up into waits this long.
constexpr int kArchiveLockWaitMs = 10000;

// The archive is never written in place: the new one is written under a
// working name of ours beside it, flushed and checked there, and only then
// renamed over the archive. Whatever a crash leaves behind carries this name
// (or, from earlier versions, this name and ".XXXXXX") and is cleared by the
// next backup into that folder.
std::string WorkNameFor(const std::string& fileName) {
    return fileName + ".$$$";
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
std::string RemoveLeftovers(Io& io, const std::string& folder, const std::string& fileName) {
    const std::string workBase = WorkNameFor(fileName);
    DIR* d = opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return {};
    std::vector<std::string> stale;
    while (const dirent* e = readdir(d)) {
        if (IsWorkLeftover(e->d_name, workBase)) stale.push_back(folder + e->d_name);
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

// The rewritten archive keeps the owner, group and mode of the one it replaces,
// as a rewritten log does.
std::string KeepAttributes(Io& io, int fd, const FileStat& old) {
    if (old.mode == 0) return {};
    FileStat now;
    if (io.Fstat(fd, &now) != 0) return "cannot examine the archive: " + ErrnoText(errno);
    if ((now.uid != old.uid || now.gid != old.gid) && io.Fchown(fd, old.uid, old.gid) != 0 &&
#ifdef _WIN32
        false) {
#else
        geteuid() == 0) {
#endif
        return "cannot keep the archive's owner: " + ErrnoText(errno);
    }
    if ((now.mode & 07777) != (old.mode & 07777) && io.Fchmod(fd, old.mode & 07777) != 0) {
        return "cannot keep the archive's permissions: " + ErrnoText(errno);
    }
    return {};
}

// The archive as it is now: opened for reading, or -1 with no error when
// there is none yet. `old` receives its attributes (mode 0 for a new archive).
int OpenExisting(Io& io, const std::string& archive, FileStat* old, std::string* error) {
    *old = FileStat{};
    const int fd = io.Open(archive, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT) return -1;
        *error = (errno == ELOOP ? archive + " is not a regular file"
                                 : "cannot read " + archive + ": " + ErrnoText(errno));
        return -1;
    }
    if (io.Fstat(fd, old) != 0 || !S_ISREG(old->mode)) {
        *error = old->mode != 0 && !S_ISREG(old->mode)
                     ? archive + " is not a regular file"
                     : "cannot examine " + archive + ": " + ErrnoText(errno);
        *old = FileStat{};
        io.Close(fd);
        return -1;
    }
    return fd;
}

// Opens the finished archive (through the descriptor it was written with) with
// libzip's consistency checks and reads every new member back through its
// decompressor: size and CRC must be those of the bytes taken from the log.
std::string VerifyMembers(Io& io, int fd, const std::vector<ArchiveMember>& members) {
    FileStat st;
    if (io.Fstat(fd, &st) != 0) return "cannot examine the new archive: " + ErrnoText(errno);
    ArchiveFileSource file(io, fd, st.size);
    zip_error_t ze;
    zip_error_init(&ze);
    zip_source_t* src = file.Create(&ze);
    zip_t* za = src ? zip_open_from_source(src, ZIP_CHECKCONS | ZIP_RDONLY, &ze) : nullptr;
    if (!za) {
        std::string text = "archive fails its check: " + std::string(zip_error_strerror(&ze));
        if (!file.problem().empty()) text += " (" + file.problem() + ")";
        if (src) zip_source_free(src);
        zip_error_fini(&ze);
        return text;
    }
    zip_error_fini(&ze);
    std::string error;
    std::unique_ptr<unsigned char[]> buf(new unsigned char[64 * 1024]);
    for (const ArchiveMember& m : members) {
        zip_file_t* zf = zip_fopen(za, m.name.c_str(), ZIP_FL_ENC_RAW);
        if (!zf) {
            error = "member " + m.name + " missing after writing";
            break;
        }
        uint64_t got = 0;
        uLong sum = crc32(0L, Z_NULL, 0);
        for (;;) {
            const zip_int64_t r = zip_fread(zf, buf.get(), 64 * 1024);
            if (r < 0) {
                error = "member " + m.name + " cannot be read back: " + zip_file_strerror(zf);
                break;
            }
            if (r == 0) break;
            sum = crc32(sum, buf.get(), static_cast<uInt>(r));
            got += static_cast<uint64_t>(r);
        }
        zip_fclose(zf);
        if (error.empty() && (got != m.size || sum != m.crc)) {
            error = "member " + m.name + " does not match the file";
        }
        if (!error.empty()) break;
    }
    zip_discard(za);
    return error;
}

// libzip writes the new archive through `file`; on success its descriptor is
// left open in `*writeFd`.
std::string WriteArchive(Io& io, ArchiveFileSource& file, std::vector<ArchiveMember>& members,
                         int* writeFd) {
    if (io.Step("archive.add") != 0) return "cannot add to the archive: " + ErrnoText(errno);
    zip_error_t ze;
    zip_error_init(&ze);
    zip_source_t* src = file.Create(&ze);
    zip_t* za = src ? zip_open_from_source(src, ZIP_CREATE, &ze) : nullptr;
    if (!za) {
        std::string text = "cannot open the archive: " + std::string(zip_error_strerror(&ze));
        if (!file.problem().empty()) text = "cannot open the archive: " + file.problem();
        if (src) zip_source_free(src);
        zip_error_fini(&ze);
        return text;
    }
    zip_error_fini(&ze);
    std::vector<std::unique_ptr<MemberSource>> readers;
    for (const ArchiveMember& m : members) {
        readers.push_back(std::make_unique<MemberSource>(io, m.fd, m.st, m.fd < 0 ? m.path : ""));
        zip_source_t* ms = readers.back()->Create(za);
        const zip_int64_t idx =
            ms ? zip_file_add(za, m.name.c_str(), ms, ZIP_FL_OVERWRITE | ZIP_FL_ENC_RAW) : -1;
        if (idx < 0) {
            const std::string text = "cannot add " + m.name + ": " + zip_strerror(za);
            if (ms) zip_source_free(ms);
            zip_discard(za);
            return text;
        }
        const auto index = static_cast<zip_uint64_t>(idx);
        if (zip_set_file_compression(za, index, ZIP_CM_DEFLATE, 0) != 0 ||
            zip_file_set_mtime(za, index, m.st.mtime.tv_sec, 0) != 0) {
            const std::string text = "cannot set up " + m.name + ": " + zip_strerror(za);
            zip_discard(za);
            return text;
        }
    }
    // A stop asked for by a signal also cuts the long compression short.
    zip_register_cancel_callback_with_state(
        za, [](zip_t*, void*) { return StopSignal() != 0 ? 1 : 0; }, nullptr, nullptr);
    if (io.Step("archive.commit") != 0) {
        const std::string text = "cannot write the archive: " + ErrnoText(errno);
        zip_discard(za);
        return text;
    }
    if (zip_close(za) != 0) {
        // Our own words where we have them: they name the file and the reason.
        std::string text = "cannot write the archive: " + std::string(zip_strerror(za));
        for (size_t i = 0; i < members.size(); ++i) {
            const MemberSource& r = *readers[i];
            if (r.problem().empty()) continue;
            text = r.changed() ? members[i].name + " " + r.problem()
                               : "cannot back up: " + r.problem();
            members[i].problem = text;
        }
        if (!file.problem().empty()) text = "cannot write the archive: " + file.problem();
        zip_discard(za);
        return text;
    }
    *writeFd = file.TakeWriteFd();
    for (size_t i = 0; i < members.size(); ++i) {
        // Read to its end and as long as it was when opened: else the file
        // was written to while it was being saved.
        if (!readers[i]->complete() || readers[i]->size() != uint64_t(members[i].st.size)) {
            members[i].problem = members[i].name + " changed while it was being backed up";
            return members[i].problem;
        }
        members[i].size = readers[i]->size();
        members[i].crc = readers[i]->crc();
    }
    return {};
}

// Writes, flushes and checks the new archive under its working name, then puts
// it in place. Called under the folder lock.
std::string Commit(Io& io, const std::string& folder, const std::string& fileName,
                   std::vector<ArchiveMember>& members) {
    const std::string archive = folder + fileName;
    const std::string work = folder + WorkNameFor(fileName);
    std::string error = RemoveLeftovers(io, folder, fileName);
    if (!error.empty()) return error;
    FileStat old;
    const int readFd = OpenExisting(io, archive, &old, &error);
    if (!error.empty()) return error;
    // A new archive gets the usual mode for new files; an old one's is restored below.
    ArchiveFileSource file(io, readFd, old.size, work, old.mode == 0 ? 0666 : 0600);
    int writeFd = -1;
    error = WriteArchive(io, file, members, &writeFd);
    if (readFd >= 0) io.Close(readFd);
    if (error.empty()) error = KeepAttributes(io, writeFd, old);
    // The backup must be on disk before the log it saves is replaced.
    if (error.empty() && io.Fsync(writeFd) != 0) {
        error = "cannot flush the archive: " + ErrnoText(errno);
    }
    if (error.empty()) error = VerifyMembers(io, writeFd, members);
    if (writeFd >= 0 && io.Close(writeFd) != 0 && error.empty()) {
        error = "cannot write the archive: " + ErrnoText(errno);
    }
    if (error.empty() && io.Rename(work, archive) != 0) {
        error = "cannot replace " + archive + ": " + ErrnoText(errno);
    }
    if (error.empty() && SyncDirectory(io, folder.empty() ? "." : folder) != 0) {
        error = "cannot flush the folder of " + archive + ": " + ErrnoText(errno);
    }
    if (!error.empty() && writeFd >= 0) {
        // Not renamed: the working copy goes, and if it cannot, the run says so.
        if (io.Remove(work) != 0 && errno != ENOENT && io.Remove(work) != 0 && errno != ENOENT) {
            error += "; " + work + " could not be removed: " + ErrnoText(errno);
        }
    }
    return error;
}

}  // namespace

std::string ArchiveFileName(const std::string& name) {
    const std::string base = SplitPath(name).baseName;
    return base.find('.') == std::string::npos ? name + ".zip" : name;
}

std::string AddToArchive(Io& io, const std::string& folder, const std::string& fileName,
                         std::vector<ArchiveMember>& members) {
    if (members.empty()) return {};
    // Two runs adding to one archive at once would each rename their own
    // version into place and lose the other's members.
    std::string error;
    const int lockFd = LockDirectory(io, folder.empty() ? "." : folder, kArchiveLockWaitMs, &error);
    if (lockFd < 0) return error;
    error = Commit(io, folder, fileName, members);
    io.Close(lockFd);
    return error;
}

}  // namespace tidewell
