// The one door through which the converter touches the file system.
// Every call follows the POSIX convention (-1 and errno on failure) so that a
// test can stand in front of it and fail any single operation on purpose.
// One interface on every system: IoPosix.cpp and IoWin32.cpp implement it.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#ifdef _WIN32
// What the Windows runtime does not name. IoWin32.cpp gives the flags their
// POSIX meaning; their bits lie above those of <fcntl.h>.
#define O_NOFOLLOW 0x10000
#define O_DIRECTORY 0x20000
#define O_NONBLOCK 0  // opening a file never waits for a peer on Windows
#define O_NOCTTY 0    // there are no controlling terminals
#define O_CLOEXEC 0   // our handles are never inherited
#define S_IFLNK 0xA000
#define S_ISLNK(m) (((m)&S_IFMT) == S_IFLNK)
#endif

namespace tidewell {

// Fixed widths: Windows' own off_t and ino_t are too narrow for its files.
struct FileStat {
    uint64_t dev = 0;  // the volume (Windows: its serial number)
    uint64_t ino = 0;  // the file on it (Windows: the file index)
    int64_t size = 0;
    uint64_t nlink = 0;
    uint32_t mode = 0;  // S_IF* type and permission bits (Windows: 0444 when read-only)
    uint32_t uid = 0;
    uint32_t gid = 0;
    timespec mtime{};
    timespec ctime{};  // changes with any write or metadata change, even within one mtime tick
};

// The program makes one, the system's, and hands it down to everything that
// touches files; tests hand in their own.
class Io {
  public:
    virtual ~Io() = default;

    virtual int Open(const std::string& path, int flags, uint32_t mode = 0);
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
    virtual int Fchmod(int fd, uint32_t mode);
    virtual int Fchown(int fd, uint32_t uid, uint32_t gid);
    virtual int Ftruncate(int fd, int64_t size);
    // Moves the file offset to `offset` from the start; returns it, or -1.
    virtual int64_t Seek(int fd, int64_t offset);
    // Extended attributes (POSIX ACLs among them) of an open file, as
    // flistxattr, fgetxattr, fsetxattr and fremovexattr. Where a system has
    // none (Windows), the list is empty.
    virtual ssize_t ListXattrs(int fd, char* names, size_t size);
    virtual ssize_t GetXattr(int fd, const char* name, void* value, size_t size);
    virtual int SetXattr(int fd, const char* name, const void* value, size_t size);
    virtual int RemoveXattr(int fd, const char* name);
    // access(2) with the effective ids: may this process write (W_OK) the file?
    virtual int Access(const std::string& path, int mode);
    // The name of the file a name leads to, every symbolic link followed (realpath(3)).
    virtual int RealPath(const std::string& name, std::string* resolved);
    // Non-blocking exclusive advisory lock; -1 with EWOULDBLOCK while another holds it.
    // A folder's descriptor locks the folder (Windows: a lock file in it).
    virtual int TryLock(int fd);
    // Work done by a library on our behalf (the archive's add and commit): lets a
    // test fail it like any system call.
    virtual int Step(const char* what);
};

// A stop asked for, by a signal handler (Ctrl-C, a shutdown) or any thread.
// From then on reads, writes and library steps fail with ECANCELED, so the
// entry under way is dropped cleanly, its scratch file removed, and the log
// left as it was; the scan ends. Safe to call from a signal handler. What
// the program does afterwards is for its caller to decide (app/StopSignals.h).
void RequestStop(int signal);
int StopSignal();  // the signal that asked, or 0
void ClearStop();

// The text of an errno value for a message. On Windows, the system's own
// text of the failure behind it when the Io seam saw one.
std::string ErrnoText(int err);

// Writes all n bytes, retrying short writes and EINTR.
bool WriteAll(Io& io, int fd, const void* buf, size_t n);

// A file about to be flushed is being written: starts the disk writes of
// [offset, offset + length) now, so that they run while more is produced and
// the final flush has little left to wait for. Only a hint: failures show at
// the flush, and where the system has no such call it does nothing.
void StartWriteback(int fd, int64_t offset, int64_t length);

// Opens and fsyncs a directory so that a rename inside it is on disk.
int SyncDirectory(Io& io, const std::string& dir);

}  // namespace tidewell
