// The one door through which the converter touches the file system.
// Every call follows the POSIX convention (-1 and errno on failure) so that a
// test can stand in front of it and fail any single operation on purpose.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <cstddef>
#include <ctime>
#include <string>

namespace tidewell {

struct FileStat {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    nlink_t nlink = 0;
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    timespec mtime{};
    timespec ctime{};  // changes with any write or metadata change, even within one mtime tick
};

class Io {
  public:
    virtual ~Io() = default;

    virtual int Open(const std::string& path, int flags, mode_t mode = 0);
    virtual ssize_t Read(int fd, void* buf, size_t n);
    virtual ssize_t Write(int fd, const void* buf, size_t n);
    virtual int Fsync(int fd);
    virtual int Close(int fd);
    virtual int Rename(const std::string& from, const std::string& to);
    virtual int Remove(const std::string& path);
    // A second name for a file (link(2), never following a symbolic link).
    virtual int Link(const std::string& from, const std::string& to);
    virtual int Stat(const std::string& path, FileStat* st);  // follows links
    virtual int Lstat(const std::string& path, FileStat* st);
    virtual int Fstat(int fd, FileStat* st);
    virtual int Fchmod(int fd, mode_t mode);
    virtual int Fchown(int fd, uid_t uid, gid_t gid);
    virtual int Ftruncate(int fd, off_t size);
    // access(2) with the effective ids: may this process write (W_OK) the file?
    virtual int Access(const std::string& path, int mode);
    // Non-blocking exclusive advisory lock; -1 with EWOULDBLOCK while another holds it.
    virtual int TryLock(int fd);
    // Work done by a library on our behalf (the archive's add and commit): lets a
    // test fail it like any system call.
    virtual int Step(const char* what);
};

// A stop asked for by a signal (Ctrl-C, a shutdown). From then on reads,
// writes and library steps fail with ECANCELED, so the entry under way is
// dropped cleanly, its scratch file removed, and the log left as it was.
void RequestStop(int signal);
int StopSignal();  // the signal that asked, or 0
void ClearStop();

// The process-wide instance used where no other is handed in (the archiver).
Io& CurrentIo();
// Tests put their own in; nullptr restores the system one.
void SetCurrentIo(Io* io);

// Writes all n bytes, retrying short writes and EINTR.
bool WriteAll(Io& io, int fd, const void* buf, size_t n);

// Opens and fsyncs a directory so that a rename inside it is on disk.
int SyncDirectory(Io& io, const std::string& dir);

}  // namespace tidewell
