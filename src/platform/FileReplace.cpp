#include "platform/FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/PathParts.h"

namespace tidewell {

std::string ErrnoText(int err) {
    return std::strerror(err);
}

namespace {

bool SameFile(const FileStat& a, const FileStat& b) {
    return a.dev == b.dev && a.ino == b.ino;
}

bool Unchanged(const FileStat& a, const FileStat& b) {
    return SameFile(a, b) && a.size == b.size && a.mtime.tv_sec == b.mtime.tv_sec &&
           a.mtime.tv_nsec == b.mtime.tv_nsec;
}

}  // namespace

int OpenScratchFile(Io& io, const std::string& path, int lockWaitMs, ReplaceError* err) {
    constexpr int kPollMs = 20;
    for (int waited = 0;; waited += kPollMs) {
        // O_NOFOLLOW: a planted link must not make us truncate some other file.
        const int fd = io.Open(path, O_RDWR | O_CREAT | O_NOFOLLOW, 0600);
        if (fd < 0) {
            err->what = "cannot create " + path + ": " + ErrnoText(errno);
            return -1;
        }
        FileStat opened, named;
        if (io.Fstat(fd, &opened) != 0) {
            err->what = "cannot examine " + path + ": " + ErrnoText(errno);
            io.Close(fd);
            return -1;
        }
        if (!S_ISREG(opened.mode)) {
            err->what = path + " is not a regular file";
            io.Close(fd);
            return -1;
        }
        if (io.TryLock(fd) == 0) {
            // Another run may have renamed the file we locked into its log in the
            // meantime: only the file still under the scratch name is ours.
            if (io.Lstat(path, &named) == 0 && SameFile(opened, named)) {
                if (io.Ftruncate(fd, 0) == 0) return fd;
                err->what = "cannot empty " + path + ": " + ErrnoText(errno);
                io.Close(fd);
                return -1;
            }
            io.Close(fd);
        } else {
            const int e = errno;
            io.Close(fd);
            if (e != EWOULDBLOCK && e != EAGAIN && e != EINTR) {
                err->what = "cannot lock " + path + ": " + ErrnoText(e);
                return -1;
            }
            if (waited >= lockWaitMs) {
                err->what = path + " is in use by another conversion";
                return -1;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
}

ReplaceError CommitReplace(Io& io, int scratchFd, const std::string& scratchPath,
                           const std::string& target, const FileStat& before) {
    ReplaceError err;
    if (io.Fchmod(scratchFd, before.mode & 07777) != 0) {
        err.what = "cannot set permissions: " + ErrnoText(errno);
        return err;
    }
    if (geteuid() == 0 && io.Fchown(scratchFd, before.uid, before.gid) != 0) {
        err.what = "cannot set owner: " + ErrnoText(errno);
        return err;
    }
    if (io.Fsync(scratchFd) != 0) {
        err.what = "cannot flush " + scratchPath + ": " + ErrnoText(errno);
        return err;
    }
    FileStat now;
    if (io.Stat(target, &now) != 0) {
        err.what = "log vanished during conversion: " + ErrnoText(errno);
        return err;
    }
    if (!Unchanged(before, now)) {
        err.what = "log changed during conversion; left as it is";
        return err;
    }
    if (io.Rename(scratchPath, target) != 0) {
        err.what = "cannot replace log: " + ErrnoText(errno);
        return err;
    }
    err.replaced = true;
    if (SyncDirectory(io, DirectoryToSync(target)) != 0) {
        err.what = "the folder could not be flushed: " + ErrnoText(errno);
    }
    return err;
}

void DiscardScratchFile(Io& io, int fd, const std::string& path) {
    // Remove while we still hold the lock, so no other run sees a half file.
    io.Remove(path);
    io.Close(fd);
}

std::string ResolveLinkTarget(Io& io, const std::string& name) {
    FileStat st;
    if (io.Lstat(name, &st) != 0 || !S_ISLNK(st.mode)) return name;
    char* real = ::realpath(name.c_str(), nullptr);
    if (!real) return name;
    std::string target(real);
    std::free(real);
    return target;
}

}  // namespace tidewell
