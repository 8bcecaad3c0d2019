// The Io seam on POSIX systems: the system calls themselves.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Io.h"

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

bool Stopped() {
    if (StopSignal() == 0) return false;
    errno = ECANCELED;
    return true;
}

}  // namespace

int Io::Open(const std::string& path, int flags, uint32_t mode) {
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

int Io::Fchmod(int fd, uint32_t mode) {
    return ::fchmod(fd, mode);
}
int Io::Fchown(int fd, uint32_t uid, uint32_t gid) {
    return ::fchown(fd, uid, gid);
}
int Io::Ftruncate(int fd, int64_t size) {
    return ::ftruncate(fd, size);
}
int64_t Io::Seek(int fd, int64_t offset) {
    return ::lseek(fd, offset, SEEK_SET);
}
ssize_t Io::ListXattrs(int fd, char* names, size_t size) {
    return ::flistxattr(fd, names, size);
}
ssize_t Io::GetXattr(int fd, const char* name, void* value, size_t size) {
    return ::fgetxattr(fd, name, value, size);
}
int Io::SetXattr(int fd, const char* name, const void* value, size_t size) {
    return ::fsetxattr(fd, name, value, size, 0);
}
int Io::RemoveXattr(int fd, const char* name) {
    return ::fremovexattr(fd, name);
}
int Io::Access(const std::string& path, int mode) {
    return ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS);
}
int Io::RealPath(const std::string& name, std::string* resolved) {
    char* real = ::realpath(name.c_str(), nullptr);
    if (!real) return -1;
    *resolved = real;
    std::free(real);
    return 0;
}
int Io::TryLock(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB);
}
int Io::Step(const char*) {
    return Stopped() ? -1 : 0;
}

std::string ErrnoText(int err) {
    return std::strerror(err);
}

}  // namespace tidewell
