#include "platform/FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>

#include "platform/PathParts.h"

namespace tidewell {

bool SameFile(const FileStat& a, const FileStat& b) {
    return a.dev == b.dev && a.ino == b.ino;
}

bool Unchanged(const FileStat& a, const FileStat& b) {
    auto same = [](const timespec& x, const timespec& y) {
        return x.tv_sec == y.tv_sec && x.tv_nsec == y.tv_nsec;
    };
    return SameFile(a, b) && a.size == b.size && same(a.mtime, b.mtime) && same(a.ctime, b.ctime);
}

namespace {

constexpr int kPollMs = 20;

bool IsBusy(int err) {
    return err == EWOULDBLOCK || err == EAGAIN || err == EINTR;
}

// Some network and FUSE file systems have no advisory locks at all. There the
// run goes on unlocked, as the converter always did; only runs at once are unsafe.
bool LocksUnsupported(int err) {
    return err == ENOLCK || err == EOPNOTSUPP || err == ENOSYS || err == EINVAL;
}

// Unlinks a name; one retry, since a scratch file left behind is a nuisance
// worth a second try after a passing error.
bool RemoveName(Io& io, const std::string& path) {
    if (io.Remove(path) == 0 || errno == ENOENT) return true;
    return io.Remove(path) == 0 || errno == ENOENT;
}

}  // namespace

int OpenScratchFile(Io& io, const std::string& path, const FileStat& log, int lockWaitMs,
                    ReplaceError* err) {
    constexpr int kFlags = O_RDWR | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK;
    for (int waited = 0;; waited += kPollMs) {
        if (waited > lockWaitMs) {
            err->what = path + " is in use by another conversion";
            return -1;
        }
        if (waited > 0) std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));

        // A name that is no plain file (a planted link, a device, a FIFO) is
        // never opened for writing: that could truncate or block on someone else's file.
        FileStat existing;
        if (io.Lstat(path, &existing) == 0 && !S_ISREG(existing.mode)) {
            err->what = path + " exists and is not a regular file";
            return -1;
        }
        bool created = true;
        int fd = io.Open(path, kFlags | O_CREAT | O_EXCL, 0600);
        if (fd < 0 && errno == EEXIST) {
            created = false;
            fd = io.Open(path, kFlags);
            if (fd < 0 && errno == ENOENT) continue;  // the other run just renamed it away
        }
        if (fd < 0) {
            err->what = "cannot create " + path + ": " + ErrnoText(errno);
            return -1;
        }
        // Gives up on this attempt. A file we created is removed once we hold
        // its lock; `owned` says the name is verified to be ours already.
        auto fail = [&](const std::string& what, bool owned) {
            if (owned || (created && (io.TryLock(fd) == 0 || LocksUnsupported(errno)))) {
                RemoveName(io, path);
            }
            io.Close(fd);
            err->what = what;
            return -1;
        };
        FileStat opened;
        if (io.Fstat(fd, &opened) != 0) {
            return fail("cannot examine " + path + ": " + ErrnoText(errno), false);
        }
        if (!S_ISREG(opened.mode)) return fail(path + " is not a regular file", false);
        if (io.TryLock(fd) != 0 && !LocksUnsupported(errno)) {
            const int e = errno;
            if (!IsBusy(e)) return fail("cannot lock " + path + ": " + ErrnoText(e), false);
            io.Close(fd);
            continue;
        }
        // Another run may have renamed the file we locked into its log in the
        // meantime: only the file still under the scratch name is ours.
        FileStat named;
        if (io.Lstat(path, &named) != 0) {
            if (errno != ENOENT)
                return fail("cannot examine " + path + ": " + ErrnoText(errno), false);
            io.Close(fd);
            continue;
        }
        if (!SameFile(opened, named)) {
            io.Close(fd);
            continue;
        }
        if (SameFile(opened, log) && opened.nlink <= 1) {
            io.Close(fd);
            err->what = "the log itself bears the scratch file's name";
            return -1;
        }
        if (opened.nlink != 1) {
            // A second name of some other file: emptying it would empty that
            // file. Dropping the name leaves the other one intact.
            if (!RemoveName(io, path)) {
                return fail("cannot remove " + path +
                                ", a second name of another file: " + ErrnoText(errno),
                            false);
            }
            io.Close(fd);
            continue;
        }
        if (io.Ftruncate(fd, 0) != 0) {
            return fail("cannot empty " + path + ": " + ErrnoText(errno), true);
        }
        return fd;
    }
}

ReplaceError CommitReplace(Io& io, int scratchFd, const std::string& scratchPath,
                           const std::string& target, const FileStat& before) {
    ReplaceError err;
    FileStat scratch;
    if (io.Fstat(scratchFd, &scratch) != 0) {
        err.what = "cannot examine " + scratchPath + ": " + ErrnoText(errno);
        return err;
    }
    // Owner first: a change of owner clears the set-id bits that the mode then restores.
    if ((scratch.uid != before.uid || scratch.gid != before.gid) &&
        io.Fchown(scratchFd, before.uid, before.gid) != 0) {
        err.what = "cannot keep the log's owner and group: " + ErrnoText(errno);
        return err;
    }
    if (io.Fchmod(scratchFd, before.mode & 07777) != 0) {
        err.what = "cannot set permissions: " + ErrnoText(errno);
        return err;
    }
    if (io.Fsync(scratchFd) != 0) {
        err.what = "cannot flush " + scratchPath + ": " + ErrnoText(errno);
        return err;
    }
    // Lstat: the name we replace must still be that very file, not a link to it.
    FileStat now;
    if (io.Lstat(target, &now) != 0) {
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

bool DiscardScratchFile(Io& io, int fd, const std::string& path) {
    const bool removed = RemoveName(io, path);
    const int saved = errno;
    io.Close(fd);
    errno = saved;
    return removed;
}

bool ResolveLinkTarget(Io& io, const std::string& name, std::string* target, std::string* error) {
    FileStat st;
    if (io.Lstat(name, &st) != 0) {
        *error = "cannot examine: " + ErrnoText(errno);
        return false;
    }
    if (!S_ISLNK(st.mode)) {
        *target = name;
        return true;
    }
    if (io.RealPath(name, target) != 0) {
        *error = "cannot follow the symbolic link: " + ErrnoText(errno);
        return false;
    }
    return true;
}

int LockDirectory(Io& io, const std::string& dir, int waitMs, std::string* error) {
    const int fd = io.Open(dir.empty() ? std::string(".") : dir, O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        *error = "cannot open the folder " + dir + ": " + ErrnoText(errno);
        return -1;
    }
    for (int waited = 0;; waited += kPollMs) {
        if (io.TryLock(fd) == 0 || LocksUnsupported(errno)) return fd;
        const int e = errno;
        if (!IsBusy(e) || waited >= waitMs) {
            *error = IsBusy(e) ? "the folder " + dir + " is in use by another conversion"
                               : "cannot lock the folder " + dir + ": " + ErrnoText(e);
            io.Close(fd);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
}

}  // namespace tidewell
