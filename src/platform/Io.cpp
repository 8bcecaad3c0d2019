#include "platform/Io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace tidewell {
namespace {

void Fill(const struct stat& s, FileStat* st) {
    st->dev = s.st_dev;
    st->ino = s.st_ino;
    st->size = s.st_size;
    st->nlink = s.st_nlink;
    st->mode = s.st_mode;
    st->uid = s.st_uid;
    st->gid = s.st_gid;
    st->mtime = s.st_mtim;
    st->ctime = s.st_ctim;
}

Io g_systemIo;
Io* g_current = &g_systemIo;
volatile std::sig_atomic_t g_stopSignal = 0;

bool Stopped() {
    if (g_stopSignal == 0) return false;
    errno = ECANCELED;
    return true;
}

}  // namespace

int Io::Open(const std::string& path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

ssize_t Io::Read(int fd, void* buf, size_t n) {
    if (Stopped()) return -1;
    ssize_t r;
    do {
        r = ::read(fd, buf, n);
    } while (r < 0 && errno == EINTR);
    return r;
}

ssize_t Io::Write(int fd, const void* buf, size_t n) {
    if (Stopped()) return -1;
    ssize_t r;
    do {
        r = ::write(fd, buf, n);
    } while (r < 0 && errno == EINTR);
    return r;
}

int Io::Fsync(int fd) {
    return ::fsync(fd);
}
int Io::Close(int fd) {
    return ::close(fd);
}
int Io::Rename(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str());
}
int Io::Remove(const std::string& path) {
    return ::unlink(path.c_str());
}

int Io::Link(const std::string& from, const std::string& to) {
    return ::link(from.c_str(), to.c_str());
}

int Io::Stat(const std::string& path, FileStat* st) {
    struct stat s;
    if (::stat(path.c_str(), &s) != 0) return -1;
    Fill(s, st);
    return 0;
}

int Io::Lstat(const std::string& path, FileStat* st) {
    struct stat s;
    if (::lstat(path.c_str(), &s) != 0) return -1;
    Fill(s, st);
    return 0;
}

int Io::Fstat(int fd, FileStat* st) {
    struct stat s;
    if (::fstat(fd, &s) != 0) return -1;
    Fill(s, st);
    return 0;
}

int Io::Fchmod(int fd, mode_t mode) {
    return ::fchmod(fd, mode);
}
int Io::Fchown(int fd, uid_t uid, gid_t gid) {
    return ::fchown(fd, uid, gid);
}
int Io::Ftruncate(int fd, off_t size) {
    return ::ftruncate(fd, size);
}
int Io::Access(const std::string& path, int mode) {
    return ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS);
}
int Io::TryLock(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB);
}
int Io::Step(const char*) {
    return Stopped() ? -1 : 0;
}

void RequestStop(int signal) {
    g_stopSignal = signal;
}
int StopSignal() {
    return g_stopSignal;
}
void ClearStop() {
    g_stopSignal = 0;
}

Io& CurrentIo() {
    return *g_current;
}
void SetCurrentIo(Io* io) {
    g_current = io ? io : &g_systemIo;
}

bool WriteAll(Io& io, int fd, const void* buf, size_t n) {
    const char* p = static_cast<const char*>(buf);
    while (n > 0) {
        ssize_t w = io.Write(fd, p, n);
        if (w < 0) return false;
        if (w == 0) {
            errno = ENOSPC;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

int SyncDirectory(Io& io, const std::string& dir) {
    int fd = io.Open(dir.empty() ? std::string(".") : dir, O_RDONLY | O_DIRECTORY);
    if (fd < 0) return -1;
    int rc = io.Fsync(fd);
    int saved = errno;
    io.Close(fd);
    errno = saved;
    return rc;
}

}  // namespace tidewell
