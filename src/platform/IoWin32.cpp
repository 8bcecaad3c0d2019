// The Io seam on Windows, on Win32 itself rather than the C runtime's POSIX
// imitation: that one has no file identity (st_ino is always 0), no locks, and
// cannot flush a file opened for reading.
//
// Descriptors are small numbers standing for HANDLEs. Names are bytes in the
// system's ANSI code page, as HARUCOM writes them, widened here and nowhere else.
// Every file is opened sharing read, write and delete: HARUCOM keeps reading and
// writing its logs while we work (a write is caught by the change check before
// the replace), and our scratch file can be renamed and removed while open.
#include "platform/Win32Api.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Io.h"

namespace tidewell {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr int kFirstFd = 3;  // never mistaken for standard input, output or error

struct Slot {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool directory = false;
    bool append = false;
    std::wstring path;                       // a folder's name, for its lock file
    HANDLE lockFile = INVALID_HANDLE_VALUE;  // a folder's lock, once taken
    bool detached = false;                   // closed for a rename over its file (see Rename)
    FileStat last;                           // what it was when detached
};

// A folder cannot be locked itself on Windows: the lock is taken on this
// hidden file in it, which stays for the next run (removing it would let two
// runs lock two different files of the same name).
constexpr wchar_t kFolderLockName[] = L"$LFCUT$$.LCK";

std::mutex g_slotsMutex;
std::vector<Slot> g_slots;

// The Windows error behind the errno the seam set last on this thread, so that
// ErrnoText can show the system's own words.
thread_local int t_lastErrno = 0;
thread_local DWORD t_lastWinError = 0;

int ErrnoOf(DWORD e) {
    switch (e) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_CURRENT_DIRECTORY:
        case ERROR_NETWORK_ACCESS_DENIED:
            return EACCES;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_DIR_NOT_EMPTY:
            return ENOTEMPTY;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_TOO_MANY_OPEN_FILES:
            return EMFILE;
        case ERROR_TOO_MANY_LINKS:
            return EMLINK;
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_FUNCTION:
            return EOPNOTSUPP;
        case ERROR_CANT_RESOLVE_FILENAME:
            return ELOOP;
        case ERROR_OPERATION_ABORTED:
            return ECANCELED;
        default:
            return EIO;
    }
}

// Fails the call with the thread's last Windows error.
int FailWin(DWORD e = GetLastError()) {
    t_lastWinError = e;
    t_lastErrno = errno = ErrnoOf(e);
    return -1;
}

int FailErrno(int err) {
    t_lastWinError = 0;
    t_lastErrno = errno = err;
    return -1;
}

bool Stopped() {
    if (StopSignal() == 0) return false;
    FailErrno(ECANCELED);
    return true;
}

// ANSI code page bytes → UTF-16, the way the system's own *A functions read them.
bool Widen(const std::string& name, std::wstring* wide) {
    wide->clear();
    if (name.empty()) {
        FailWin(ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (name.find('\0') != std::string::npos) {
        FailErrno(EINVAL);
        return false;
    }
    const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name.data(),
                                      static_cast<int>(name.size()), nullptr, 0);
    if (n <= 0) {
        FailWin(ERROR_INVALID_NAME);
        return false;
    }
    wide->resize(static_cast<size_t>(n));
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name.data(), static_cast<int>(name.size()),
                        wide->data(), n);
    return true;
}

int AddSlot(Slot slot) {
    std::lock_guard<std::mutex> lock(g_slotsMutex);
    for (size_t i = 0; i < g_slots.size(); ++i) {
        if (g_slots[i].handle == INVALID_HANDLE_VALUE) {
            g_slots[i] = std::move(slot);
            return static_cast<int>(i) + kFirstFd;
        }
    }
    g_slots.push_back(std::move(slot));
    return static_cast<int>(g_slots.size() - 1) + kFirstFd;
}

bool GetSlot(int fd, Slot* slot) {
    std::lock_guard<std::mutex> lock(g_slotsMutex);
    const long i = static_cast<long>(fd) - kFirstFd;
    if (i < 0 || i >= static_cast<long>(g_slots.size()) ||
        g_slots[static_cast<size_t>(i)].handle == INVALID_HANDLE_VALUE) {
        FailErrno(EBADF);
        return false;
    }
    *slot = g_slots[static_cast<size_t>(i)];
    return true;
}

Slot TakeSlot(int fd) {
    std::lock_guard<std::mutex> lock(g_slotsMutex);
    const long i = static_cast<long>(fd) - kFirstFd;
    if (i < 0 || i >= static_cast<long>(g_slots.size())) return Slot{};
    Slot s = std::move(g_slots[static_cast<size_t>(i)]);
    g_slots[static_cast<size_t>(i)] = Slot{};
    return s;
}

int FillFromHandle(HANDLE h, bool openedOnLink, FileStat* st);

// Closes our own handles on the file with this identity, keeping their
// descriptors: reading them finds the end. True when there was any.
bool DetachSlotsOn(const BY_HANDLE_FILE_INFORMATION& target) {
    std::lock_guard<std::mutex> lock(g_slotsMutex);
    bool any = false;
    for (Slot& s : g_slots) {
        if (s.handle == INVALID_HANDLE_VALUE || s.detached || s.directory) continue;
        BY_HANDLE_FILE_INFORMATION bi{};
        if (!GetFileInformationByHandle(s.handle, &bi)) continue;
        if (bi.dwVolumeSerialNumber == target.dwVolumeSerialNumber &&
            bi.nFileIndexHigh == target.nFileIndexHigh &&
            bi.nFileIndexLow == target.nFileIndexLow) {
            FillFromHandle(s.handle, false, &s.last);
            CloseHandle(s.handle);
            s.handle = nullptr;
            s.detached = true;
            any = true;
        }
    }
    return any;
}

void SetFolderLockFile(int fd, HANDLE h) {
    std::lock_guard<std::mutex> lock(g_slotsMutex);
    g_slots[static_cast<size_t>(fd - kFirstFd)].lockFile = h;
}

// The wide name back in the ANSI code page; fails when a character has no
// byte form there (the name could not be handed on to anyone).
bool Narrow(const std::wstring& wide, std::string* name) {
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                                      static_cast<int>(wide.size()), nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy) {
        FailWin(ERROR_NO_UNICODE_TRANSLATION);
        return false;
    }
    name->resize(static_cast<size_t>(n));
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                        name->data(), n, nullptr, nullptr);
    return true;
}

timespec TimeOf(LARGE_INTEGER t) {
    // 100 ns ticks since 1601 → since 1970.
    constexpr int64_t kEpochDiff = 116444736000000000LL;
    const int64_t ticks = t.QuadPart - kEpochDiff;
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ticks / 10000000);
    ts.tv_nsec = static_cast<long>((ticks % 10000000) * 100);
    if (ts.tv_nsec < 0) {
        ts.tv_nsec += 1000000000L;
        --ts.tv_sec;
    }
    return ts;
}

timespec TimeOf(FILETIME f) {
    LARGE_INTEGER t;
    t.LowPart = f.dwLowDateTime;
    t.HighPart = static_cast<LONG>(f.dwHighDateTime);
    return TimeOf(t);
}

bool IsLinkTag(DWORD tag) {
    return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT;
}

// A handle opened on the reparse point itself: is it a symbolic link or junction?
bool IsLinkHandle(HANDLE h) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) &&
           (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkTag(tag.ReparseTag);
}

int FillFromHandle(HANDLE h, bool openedOnLink, FileStat* st) {
    *st = FileStat{};
    const DWORD type = GetFileType(h);
    if (type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) return FailWin();
    if (type != FILE_TYPE_DISK) {
        // Consoles, devices (NUL, COM1) and pipes: no file behind them.
        st->mode = (type == FILE_TYPE_PIPE ? S_IFIFO : S_IFCHR) | 0666;
        st->nlink = 1;
        return 0;
    }
    BY_HANDLE_FILE_INFORMATION bi{};
    if (!GetFileInformationByHandle(h, &bi)) return FailWin();
    st->dev = bi.dwVolumeSerialNumber;
    st->ino = (uint64_t{bi.nFileIndexHigh} << 32) | bi.nFileIndexLow;
    st->size = static_cast<int64_t>((uint64_t{bi.nFileSizeHigh} << 32) | bi.nFileSizeLow);
    st->nlink = bi.nNumberOfLinks;
    const bool readOnly = (bi.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (openedOnLink && IsLinkHandle(h)) {
        st->mode = S_IFLNK | 0777;
    } else if (bi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        // A folder's read-only flag does not keep anyone from writing in it.
        st->mode = S_IFDIR | 0777;
    } else {
        st->mode = S_IFREG | (readOnly ? 0444 : 0666);
    }
    st->mtime = TimeOf(bi.ftLastWriteTime);
    // The change time moves with every write and attribute change, like ctime.
    FILE_BASIC_INFO basic{};
    st->ctime = GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)
                    ? TimeOf(basic.ChangeTime)
                    : st->mtime;
    return 0;
}

// Opens a name only to look at it.
int StatName(const std::string& path, bool followLinks, FileStat* st) {
    std::wstring wide;
    if (!Widen(path, &wide)) return -1;
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
    if (!followLinks) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    const HANDLE h = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                 OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FailWin();
    const int rc = FillFromHandle(h, !followLinks, st);
    const int saved = errno;
    CloseHandle(h);
    errno = saved;
    return rc;
}

}  // namespace

int Io::Open(const std::string& path, int flags, uint32_t mode) {
    std::wstring wide;
    if (!Widen(path, &wide)) return -1;
    const int accmode = flags & O_ACCMODE;
    DWORD access = 0;
    if (accmode == O_RDONLY || accmode == O_RDWR) access |= GENERIC_READ;
    if (accmode == O_WRONLY || accmode == O_RDWR) access |= GENERIC_WRITE;
    // Attributes can always be read; written wherever the file is (Fchmod).
    access |= FILE_READ_ATTRIBUTES;
    if (access & GENERIC_WRITE) access |= FILE_WRITE_ATTRIBUTES;

    DWORD disposition = OPEN_EXISTING;
    if ((flags & O_CREAT) && (flags & O_EXCL)) {
        disposition = CREATE_NEW;
    } else if ((flags & O_CREAT) && (flags & O_TRUNC)) {
        disposition = CREATE_ALWAYS;
    } else if (flags & O_CREAT) {
        disposition = OPEN_ALWAYS;
    } else if (flags & O_TRUNC) {
        disposition = TRUNCATE_EXISTING;
    }
    // Backup semantics let a folder be opened (to be examined and refused
    // like any other non-file) instead of failing with "access denied".
    DWORD attributes = FILE_FLAG_BACKUP_SEMANTICS;
    if ((flags & O_CREAT) && (mode & 0222) == 0) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    } else {
        attributes |= FILE_ATTRIBUTE_NORMAL;
    }
    // O_EXCL never follows a link, as on POSIX.
    const bool noFollow = (flags & O_NOFOLLOW) || disposition == CREATE_NEW;
    if (noFollow) attributes |= FILE_FLAG_OPEN_REPARSE_POINT;

    const HANDLE h =
        CreateFileW(wide.c_str(), access, kShareAll, nullptr, disposition, attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FailWin();
    FileStat st;
    if (FillFromHandle(h, noFollow, &st) != 0) {
        const int saved = errno;
        CloseHandle(h);
        errno = saved;
        return -1;
    }
    if (S_ISLNK(st.mode)) {
        CloseHandle(h);
        return FailErrno(ELOOP);
    }
    if ((flags & O_DIRECTORY) && !S_ISDIR(st.mode)) {
        CloseHandle(h);
        return FailErrno(ENOTDIR);
    }
    if (S_ISDIR(st.mode) && (access & GENERIC_WRITE)) {
        CloseHandle(h);
        return FailErrno(EISDIR);
    }
    Slot slot;
    slot.handle = h;
    slot.directory = S_ISDIR(st.mode);
    slot.append = (flags & O_APPEND) != 0;
    if (slot.directory) slot.path = wide;
    return AddSlot(std::move(slot));
}

ssize_t Io::Read(int fd, void* buf, size_t n) {
    if (Stopped()) return -1;
    Slot s;
    if (!GetSlot(fd, &s)) return -1;
    if (s.detached) return 0;
    DWORD got = 0;
    const DWORD want = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
    if (!ReadFile(s.handle, buf, want, &got, nullptr)) {
        const DWORD e = GetLastError();
        if (e == ERROR_BROKEN_PIPE || e == ERROR_HANDLE_EOF) return 0;
        return FailWin(e);
    }
    return static_cast<ssize_t>(got);
}

ssize_t Io::Write(int fd, const void* buf, size_t n) {
    if (Stopped()) return -1;
    Slot s;
    if (!GetSlot(fd, &s)) return -1;
    if (s.append) {
        LARGE_INTEGER zero{};
        if (!SetFilePointerEx(s.handle, zero, nullptr, FILE_END)) return FailWin();
    }
    DWORD put = 0;
    const DWORD want = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
    if (!WriteFile(s.handle, buf, want, &put, nullptr)) return FailWin();
    return static_cast<ssize_t>(put);
}

int Io::Fsync(int fd) {
    Slot s;
    if (!GetSlot(fd, &s)) return -1;
    // Renames are written through (see Rename): a folder has nothing left to flush.
    if (s.directory) return 0;
    if (FlushFileBuffers(s.handle)) return 0;
    const DWORD e = GetLastError();
    if (e != ERROR_ACCESS_DENIED) return FailWin(e);
    // Windows flushes only through a handle that may write: open one on the
    // same file for the purpose.
    const HANDLE w = ReOpenFile(s.handle, GENERIC_WRITE, kShareAll, 0);
    if (w == INVALID_HANDLE_VALUE) return FailWin();
    const bool ok = FlushFileBuffers(w);
    const DWORD fe = GetLastError();
    CloseHandle(w);
    return ok ? 0 : FailWin(fe);
}

int Io::Close(int fd) {
    const Slot s = TakeSlot(fd);
    if (s.handle == INVALID_HANDLE_VALUE) return FailErrno(EBADF);
    if (s.lockFile != INVALID_HANDLE_VALUE) CloseHandle(s.lockFile);
    if (s.detached) return 0;
    return CloseHandle(s.handle) ? 0 : FailWin();
}

int Io::Rename(const std::string& from, const std::string& to) {
    std::wstring wfrom, wto;
    if (!Widen(from, &wfrom) || !Widen(to, &wto)) return -1;
    // Write-through: the call returns once the new name is on disk, which is
    // what syncing the folder does on POSIX.
    constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (MoveFileExW(wfrom.c_str(), wto.c_str(), kFlags)) return 0;
    const DWORD e = GetLastError();
    if (e != ERROR_ACCESS_DENIED && e != ERROR_SHARING_VIOLATION) return FailWin(e);
    // A file open anywhere cannot be replaced, not even one we hold open
    // ourselves (the log, read to its end). Our own handles on it are closed
    // first; anyone else's make the replace fail and the file stay.
    const HANDLE t = CreateFileW(wto.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (t == INVALID_HANDLE_VALUE) return FailWin(e);
    BY_HANDLE_FILE_INFORMATION target{};
    const bool known = GetFileInformationByHandle(t, &target);
    CloseHandle(t);
    if (!known || !DetachSlotsOn(target)) return FailWin(e);
    return MoveFileExW(wfrom.c_str(), wto.c_str(), kFlags) ? 0 : FailWin();
}

int Io::Remove(const std::string& path) {
    std::wstring wide;
    if (!Widen(path, &wide)) return -1;
    return DeleteFileW(wide.c_str()) ? 0 : FailWin();
}

int Io::Link(const std::string& from, const std::string& to) {
    std::wstring wfrom, wto;
    if (!Widen(from, &wfrom) || !Widen(to, &wto)) return -1;
    return CreateHardLinkW(wto.c_str(), wfrom.c_str(), nullptr) ? 0 : FailWin();
}

int Io::Stat(const std::string& path, FileStat* st) {
    return StatName(path, true, st);
}

int Io::Lstat(const std::string& path, FileStat* st) {
    return StatName(path, false, st);
}

int Io::Fstat(int fd, FileStat* st) {
    Slot s;
    if (!GetSlot(fd, &s)) return -1;
    if (s.detached) {
        *st = s.last;
        return 0;
    }
    return FillFromHandle(s.handle, false, st);
}

// Only the read-only flag stands for permission bits on Windows.
int Io::Fchmod(int fd, uint32_t mode) {
    Slot s;
    if (!GetSlot(fd, &s)) return -1;
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(s.handle, FileBasicInfo, &basic, sizeof basic)) {
        return FailWin();
    }
    DWORD attrs = basic.FileAttributes;
    if (!s.directory && (mode & 0222) == 0) {
        attrs |= FILE_ATTRIBUTE_READONLY;
    } else {
        attrs &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    }
    if (attrs == basic.FileAttributes) return 0;
    // Zero times mean "leave as they are".
    FILE_BASIC_INFO change{};
    change.FileAttributes = attrs ? attrs : FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(s.handle, FileBasicInfo, &change, sizeof change)) {
        return FailWin();
    }
    return 0;
}

// Owners are access lists on Windows; a new file takes its folder's, as any
// file HARUCOM writes there does. Nothing to hand over.
int Io::Fchown(int fd, uint32_t, uint32_t) {
    Slot s;
    return GetSlot(fd, &s) ? 0 : -1;
}

int Io::Ftruncate(int fd, int64_t size) {
    Slot s;
    if (!GetSlot(fd, &s)) return -1;
    if (size < 0) return FailErrno(EINVAL);
    // SetEndOfFile cuts at the file pointer; the pointer itself stays, as with ftruncate.
    LARGE_INTEGER zero{}, here{}, to{};
    if (!SetFilePointerEx(s.handle, zero, &here, FILE_CURRENT)) return FailWin();
    to.QuadPart = size;
    if (!SetFilePointerEx(s.handle, to, nullptr, FILE_BEGIN)) return FailWin();
    const bool ok = SetEndOfFile(s.handle);
    const DWORD e = GetLastError();
    SetFilePointerEx(s.handle, here, nullptr, FILE_BEGIN);
    return ok ? 0 : FailWin(e);
}

int64_t Io::Seek(int fd, int64_t offset) {
    Slot s;
    if (!GetSlot(fd, &s)) return -1;
    LARGE_INTEGER to{}, at{};
    to.QuadPart = offset;
    if (!SetFilePointerEx(s.handle, to, &at, FILE_BEGIN)) return FailWin();
    return at.QuadPart;
}

// No extended attributes here: what a file's access list says, a new file
// takes from its folder.
ssize_t Io::ListXattrs(int fd, char*, size_t) {
    Slot s;
    return GetSlot(fd, &s) ? 0 : -1;
}
ssize_t Io::GetXattr(int, const char*, void*, size_t) {
    return FailErrno(ENODATA);
}
int Io::SetXattr(int, const char*, const void*, size_t) {
    return FailErrno(ENOTSUP);
}
int Io::RemoveXattr(int, const char*) {
    return FailErrno(ENODATA);
}

int Io::Access(const std::string& path, int mode) {
    std::wstring wide;
    if (!Widen(path, &wide)) return -1;
    const DWORD attrs = GetFileAttributesW(wide.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return FailWin();
    if (!(mode & W_OK) || (attrs & FILE_ATTRIBUTE_DIRECTORY)) return 0;
    if (attrs & FILE_ATTRIBUTE_READONLY) return FailErrno(EACCES);
    // The access list may still deny writing: ask for it. A sharing conflict is
    // someone else's open handle, not a lack of permission; the replace tells.
    const HANDLE h = CreateFileW(wide.c_str(), FILE_WRITE_DATA, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        return e == ERROR_SHARING_VIOLATION ? 0 : FailWin(e);
    }
    CloseHandle(h);
    return 0;
}

int Io::RealPath(const std::string& name, std::string* resolved) {
    std::wstring wide;
    if (!Widen(name, &wide)) return -1;
    const HANDLE h = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FailWin();
    std::wstring final(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, final.data(), static_cast<DWORD>(final.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n >= final.size()) {
        final.resize(n + 1);
        n = GetFinalPathNameByHandleW(h, final.data(), static_cast<DWORD>(final.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    const DWORD e = GetLastError();
    CloseHandle(h);
    if (n == 0 || n >= final.size()) return FailWin(e);
    final.resize(n);
    // \\?\C:\... and \\?\UNC\server\... as the names everybody else writes.
    if (final.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        final = L"\\\\" + final.substr(8);
    } else if (final.rfind(L"\\\\?\\", 0) == 0) {
        final = final.substr(4);
    }
    return Narrow(final, resolved) ? 0 : -1;
}

int Io::TryLock(int fd) {
    Slot s;
    if (!GetSlot(fd, &s)) return -1;
    HANDLE target = s.handle;
    if (s.directory) {
        if (s.lockFile == INVALID_HANDLE_VALUE) {
            std::wstring name = s.path;
            if (name.back() != L'\\' && name.back() != L'/') name += L'\\';
            name += kFolderLockName;
            s.lockFile = CreateFileW(
                name.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, nullptr);
            if (s.lockFile == INVALID_HANDLE_VALUE) return FailWin();
            SetFolderLockFile(fd, s.lockFile);
        }
        target = s.lockFile;
    }
    // The whole file, exclusively. Windows locks are enforced: other handles
    // can neither read nor write the file while it is held.
    OVERLAPPED ov{};
    if (LockFileEx(target, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                   MAXDWORD, &ov)) {
        return 0;
    }
    const DWORD e = GetLastError();
    if (e == ERROR_LOCK_VIOLATION || e == ERROR_IO_PENDING) {
        t_lastWinError = e;
        t_lastErrno = errno = EWOULDBLOCK;
        return -1;
    }
    return FailWin(e);
}

int Io::Step(const char*) {
    return Stopped() ? -1 : 0;
}

std::string ErrnoText(int err) {
    if (err != 0 && err == t_lastErrno && t_lastWinError != 0) {
        char* text = nullptr;
        const DWORD n =
            FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, t_lastWinError, 0, reinterpret_cast<char*>(&text), 0, nullptr);
        if (n > 0 && text) {
            std::string s(text, n);
            LocalFree(text);
            while (!s.empty() &&
                   (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.')) {
                s.pop_back();
            }
            if (!s.empty()) return s;
        } else if (text) {
            LocalFree(text);
        }
    }
    return std::strerror(err);
}

}  // namespace tidewell
