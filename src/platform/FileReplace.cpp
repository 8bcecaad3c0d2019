#include "platform/FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>
#include <vector>

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

// The names of a file's extended attributes. A file system without them has none.
bool ListAttributes(Io& io, int fd, std::vector<std::string>* names) {
    names->clear();
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t size = io.ListXattrs(fd, nullptr, 0);
        if (size < 0) return errno == ENOTSUP;
        std::string buf(static_cast<size_t>(size), '\0');
        const ssize_t got = size == 0 ? 0 : io.ListXattrs(fd, buf.data(), buf.size());
        if (got < 0 && errno == ERANGE) continue;  // grew between the two calls
        if (got < 0) return false;
        for (size_t at = 0; at < static_cast<size_t>(got);) {
            const size_t end = buf.find('\0', at);
            if (end == std::string::npos) break;
            if (end > at) names->push_back(buf.substr(at, end - at));
            at = end + 1;
        }
        return true;
    }
    errno = ERANGE;
    return false;
}

bool ReadAttribute(Io& io, int fd, const std::string& name, std::string* value) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t size = io.GetXattr(fd, name.c_str(), nullptr, 0);
        if (size < 0) return false;
        value->assign(static_cast<size_t>(size), '\0');
        const ssize_t got =
            size == 0 ? 0 : io.GetXattr(fd, name.c_str(), value->data(), value->size());
        if (got < 0 && errno == ERANGE) continue;
        if (got < 0) return false;
        value->resize(static_cast<size_t>(got));
        return true;
    }
    errno = ERANGE;
    return false;
}

// Gives `to` exactly the extended attributes of `from`: POSIX ACLs, security
// labels, user attributes (and trusted ones, which only root sees). What the
// new file took from its folder (a default ACL) and the log lacks goes.
std::string CopyAttributes(Io& io, int from, int to) {
    std::vector<std::string> wanted, present;
    if (!ListAttributes(io, from, &wanted)) {
        return "cannot read the log's extended attributes: " + ErrnoText(errno);
    }
    if (!ListAttributes(io, to, &present)) {
        return "cannot read the new file's extended attributes: " + ErrnoText(errno);
    }
    for (const std::string& name : present) {
        if (std::find(wanted.begin(), wanted.end(), name) != wanted.end()) continue;
        if (io.RemoveXattr(to, name.c_str()) != 0 && errno != ENODATA) {
            return "cannot drop the attribute " + name + ": " + ErrnoText(errno);
        }
    }
    std::string value;
    for (const std::string& name : wanted) {
        if (!ReadAttribute(io, from, name, &value)) {
            if (errno == ENODATA) continue;  // removed while we looked
            return "cannot read the log's attribute " + name + ": " + ErrnoText(errno);
        }
        if (io.SetXattr(to, name.c_str(), value.data(), value.size()) != 0) {
            return "cannot keep the log's attribute " + name + ": " + ErrnoText(errno);
        }
    }
    return {};
}

enum class Leftover { kCleared, kBusy, kRefused };

// Whose leftover may be cleared: ours, or the folder owner's, who could
// remove or replace anything in that folder anyway.
bool MayClear(Io& io, const std::string& path, const FileStat& st) {
#ifdef _WIN32
    (void)io;
    (void)path;
    (void)st;
    return true;  // no owners in this sense here: the folder's access list rules
#else
    if (st.uid == geteuid()) return true;
    FileStat folder;
    return io.Stat(DirectoryToSync(path), &folder) == 0 && st.uid == folder.uid;
#endif
}

// Why the file `st` found under the scratch name must stay; empty when it is
// a leftover that may be cleared.
std::string Unclearable(Io& io, const std::string& path, const FileStat& st, const FileStat& log) {
    if (!S_ISREG(st.mode)) return path + " exists and is not a regular file";
    if (SameFile(st, log) && st.nlink <= 1) return "the log itself bears the scratch file's name";
    if (!MayClear(io, path, st)) {
        return path + " belongs to someone else; remove it to convert this log";
    }
    return {};
}

// A file under the scratch name that this run did not create. Never written
// to: a leftover of ours that no live run holds is removed so that the name
// can be created afresh; anything else stops the entry.
Leftover ClearLeftover(Io& io, const std::string& path, const FileStat& log, std::string* why) {
    FileStat st;
    if (io.Lstat(path, &st) != 0) {
        if (errno == ENOENT) return Leftover::kCleared;  // gone in the meantime
        *why = "cannot examine " + path + ": " + ErrnoText(errno);
        return Leftover::kRefused;
    }
    *why = Unclearable(io, path, st, log);
    if (!why->empty()) return Leftover::kRefused;
    // Read-only and never followed: only to learn whether a live run holds it.
    const int fd = io.Open(path, O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) return Leftover::kCleared;
        *why = "cannot examine " + path + ": " + ErrnoText(errno);
        return Leftover::kRefused;
    }
    FileStat opened;
    if (io.Fstat(fd, &opened) != 0) {
        *why = "cannot examine " + path + ": " + ErrnoText(errno);
        io.Close(fd);
        return Leftover::kRefused;
    }
    if (!SameFile(opened, st)) {
        io.Close(fd);
        return Leftover::kBusy;  // replaced while we looked: look again
    }
    if (io.TryLock(fd) != 0 && !LocksUnsupported(errno)) {
        const int e = errno;
        io.Close(fd);
        if (IsBusy(e)) return Leftover::kBusy;
        *why = "cannot lock " + path + ": " + ErrnoText(e);
        return Leftover::kRefused;
    }
    // Unlinking drops only this name: a second name of another file keeps its data.
    const bool removed = RemoveName(io, path);
    const int e = errno;
    io.Close(fd);
    if (!removed) {
        *why = "cannot remove the leftover " + path + ": " + ErrnoText(e);
        return Leftover::kRefused;
    }
    return Leftover::kCleared;
}

// Drops the name of a file we created and then could not use, unless it
// already leads to another run's file; closes fd.
void DropCreated(Io& io, const std::string& path, int fd) {
    FileStat mine, named;
    if (io.Fstat(fd, &mine) == 0 && io.Lstat(path, &named) == 0 && SameFile(mine, named)) {
        RemoveName(io, path);
    }
    io.Close(fd);
}

}  // namespace

std::string ScratchFileObstacle(Io& io, const std::string& path, const FileStat& log) {
    FileStat st;
    const bool found = io.Lstat(path, &st) == 0;
    if (!found && errno != ENOENT) return "cannot examine " + path + ": " + ErrnoText(errno);
    if (found) {
        if (std::string why = Unclearable(io, path, st, log); !why.empty()) return why;
    }
    // Creating the file, or clearing a leftover first, needs the folder writable.
    if (io.Access(DirectoryToSync(path), W_OK | X_OK) != 0 && (errno == EACCES || errno == EROFS)) {
        return (found ? "cannot remove the leftover " : "cannot create ") + path + ": " +
               ErrnoText(errno);
    }
    return {};
}

int OpenScratchFile(Io& io, const std::string& path, const FileStat& log, int lockWaitMs,
                    ReplaceError* err) {
    constexpr int kFlags = O_RDWR | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK;
    for (int waited = 0;; waited += kPollMs) {
        if (waited > lockWaitMs) {
            err->what = path + " is in use by another conversion";
            return -1;
        }
        if (waited > 0) std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));

        // Only a file this run creates ever receives a log's bytes, and it is
        // private (0600) from its first moment.
        const int fd = io.Open(path, kFlags | O_CREAT | O_EXCL, 0600);
        if (fd < 0 && errno != EEXIST) {
            err->what = "cannot create " + path + ": " + ErrnoText(errno);
            return -1;
        }
        if (fd < 0) {
            // Something holds the name: a run at work, a leftover of a run
            // that was killed, or a file somebody else put there.
            switch (ClearLeftover(io, path, log, &err->what)) {
                case Leftover::kCleared:
                case Leftover::kBusy:
                    continue;
                case Leftover::kRefused:
                    return -1;
            }
        }
        // Locked at once, so that a run finding the name while we work waits.
        if (io.TryLock(fd) != 0 && !LocksUnsupported(errno)) {
            const int e = errno;
            if (IsBusy(e)) {  // a run clearing leftovers got to it first
                io.Close(fd);
                continue;
            }
            DropCreated(io, path, fd);
            err->what = "cannot lock " + path + ": " + ErrnoText(e);
            return -1;
        }
        // Between our creation and our lock another run may have taken the
        // new file for a leftover and removed it: only the file still under
        // the scratch name is ours to fill.
        FileStat opened, named;
        if (io.Fstat(fd, &opened) != 0) {
            err->what = "cannot examine " + path + ": " + ErrnoText(errno);
            DropCreated(io, path, fd);
            return -1;
        }
        if (io.Lstat(path, &named) != 0 || !SameFile(opened, named)) {
            io.Close(fd);
            continue;
        }
        return fd;
    }
}

ReplaceError CommitReplace(Io& io, int scratchFd, const std::string& scratchPath,
                           const std::string& target, int logFd, const FileStat& before) {
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
    // Attributes before the mode: setting an ACL sets the group bits, and the
    // mode then restores what a change of owner cleared.
    err.what = CopyAttributes(io, logFd, scratchFd);
    if (err) return err;
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
