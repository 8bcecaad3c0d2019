// An Io that counts every operation and fails the chosen ones, to prove that
// no failure at any point loses a log.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <dirent.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/Io.h"

namespace tidewell::test {

#ifdef _WIN32
// The power-loss sweep runs on Linux, where its disk model is written; here
// FaultyIo only counts and fails calls.
class DiskModel {
  public:
    struct Snapshot {};
    Snapshot Now() const { return {}; }
    void Synced(int) {}
};
#else
// What the disk holds, for a simulated loss of power (as SQLite's crash-test
// file system does it): a file's bytes and mode reach the disk only with an
// fsync of that file, and a creation, rename or removal only with an fsync of
// its folder. Everything in the watched folders is on disk at the start.
class DiskModel {
  public:
    struct File {
        bool link = false;
        std::string bytes;  // content, or the target of a link
        mode_t mode = 0;
        std::map<std::string, std::string> attributes;
    };
    using Folder = std::map<std::string, File>;      // by name
    using Snapshot = std::map<std::string, Folder>;  // by folder path

    DiskModel() = default;
    DiskModel(const DiskModel&) = delete;
    DiskModel& operator=(const DiskModel&) = delete;
    ~DiskModel() {
        for (const auto& [ino, inode] : inodes_) close(inode.pin);
    }

    void Watch(const std::string& dir) {
        struct stat st {};
        if (stat(dir.c_str(), &st) != 0) return;
        dirs_[st.st_ino] = dir;
        Listed(dir);
        for (const auto& [name, entry] : names_[dir]) {
            if (!entry.link) Record(inodes_[entry.ino].pin, entry.ino);
        }
    }

    // After a successful fsync of fd.
    void Synced(int fd) {
        struct stat st {};
        if (fstat(fd, &st) != 0) return;
        if (S_ISDIR(st.st_mode)) {
            if (dirs_.count(st.st_ino)) Listed(dirs_[st.st_ino]);
        } else if (S_ISREG(st.st_mode)) {
            Pin(fd, st.st_ino);
            Record(inodes_[st.st_ino].pin, st.st_ino);
        }
    }

    // What the disk holds now.
    Snapshot Now() const {
        Snapshot snap;
        for (const auto& [dir, names] : names_) {
            Folder& folder = snap[dir];
            for (const auto& [name, entry] : names) {
                File& f = folder[name];
                f.link = entry.link;
                if (entry.link) {
                    f.bytes = entry.target;
                    continue;
                }
                const Inode& inode = inodes_.at(entry.ino);
                f.bytes = inode.synced ? inode.bytes : std::string();
                f.mode = inode.synced ? inode.mode : entry.mode;
                if (inode.synced) f.attributes = inode.attributes;
            }
        }
        return snap;
    }

    // Puts the watched folders back to a snapshot: the machine starts again.
    static void Restore(const Snapshot& snap) {
        for (const auto& [dir, folder] : snap) {
            if (DIR* d = opendir(dir.c_str())) {
                std::vector<std::string> names;
                while (const dirent* e = readdir(d)) {
                    if (e->d_type != DT_DIR) names.push_back(dir + "/" + e->d_name);
                }
                closedir(d);
                for (const std::string& n : names) unlink(n.c_str());
            }
            for (const auto& [name, f] : folder) {
                const std::string path = dir + "/" + name;
                if (f.link) {
                    symlink(f.bytes.c_str(), path.c_str());
                    continue;
                }
                const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
                if (fd < 0) continue;
                const ssize_t written = write(fd, f.bytes.data(), f.bytes.size());
                (void)written;
                for (const auto& [name, value] : f.attributes) {
                    fsetxattr(fd, name.c_str(), value.data(), value.size(), 0);
                }
                fchmod(fd, f.mode & 07777);
                close(fd);
            }
        }
    }

  private:
    struct Entry {
        bool link = false;
        std::string target;
        ino_t ino = 0;
        mode_t mode = 0;
    };
    struct Inode {
        int pin = -1;  // held open, so that its number is not given to another file
        bool synced = false;
        std::string bytes;
        mode_t mode = 0;
        std::map<std::string, std::string> attributes;  // user.* only
    };

    void Pin(int fd, ino_t ino) {
        Inode& inode = inodes_[ino];
        if (inode.pin < 0)
            inode.pin = open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY);
    }

    void Record(int pin, ino_t ino) {
        Inode& inode = inodes_[ino];
        struct stat st {};
        fstat(pin, &st);
        inode.mode = st.st_mode;
        inode.bytes.clear();
        char buf[65536];
        for (off_t at = 0;;) {
            const ssize_t r = pread(pin, buf, sizeof buf, at);
            if (r <= 0) break;
            inode.bytes.append(buf, static_cast<size_t>(r));
            at += r;
        }
        inode.attributes.clear();
        char names[4096];
        const ssize_t n = flistxattr(pin, names, sizeof names);
        for (ssize_t at = 0; at < n; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
            if (std::strncmp(names + at, "user.", 5) != 0) continue;
            char value[4096];
            const ssize_t v = fgetxattr(pin, names + at, value, sizeof value);
            if (v >= 0) inode.attributes[names + at].assign(value, static_cast<size_t>(v));
        }
        inode.synced = true;
    }

    void Listed(const std::string& dir) {
        std::map<std::string, Entry>& names = names_[dir];
        names.clear();
        DIR* d = opendir(dir.c_str());
        if (!d) return;
        while (const dirent* e = readdir(d)) {
            const std::string path = dir + "/" + e->d_name;
            struct stat st {};
            if (lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
            Entry& entry = names[e->d_name];
            if (S_ISLNK(st.st_mode)) {
                entry.link = true;
                char target[4096];
                const ssize_t n = readlink(path.c_str(), target, sizeof target);
                entry.target.assign(target, n > 0 ? static_cast<size_t>(n) : 0);
                continue;
            }
            entry.ino = st.st_ino;
            entry.mode = st.st_mode;
            Inode& inode = inodes_[st.st_ino];
            if (inode.pin < 0) inode.pin = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
        }
        closedir(d);
    }

    std::map<ino_t, std::string> dirs_;
    std::map<std::string, std::map<std::string, Entry>> names_;
    std::map<ino_t, Inode> inodes_;
};
#endif

class FaultyIo : public Io {
  public:
    // Power is lost just before call number n: from there on every call
    // fails, and snapshot() is what the disk held at that moment. With n past
    // the last call, the snapshot is taken at the end (see PowerOff).
    void PowerLossAt(long n, DiskModel* disk) {
        powerLossAt_ = n;
        disk_ = disk;
    }
    void PowerOff() {
        if (disk_ && !crashed_) {
            snapshot_ = disk_->Now();
            crashed_ = true;
        }
    }
    const DiskModel::Snapshot& snapshot() const { return snapshot_; }

    // Fail call number `n` (1-based) with `err`; persistent: every call from n on.
    void FailAt(long n, int err, bool persistent = false) {
        failAt_ = n;
        err_ = err;
        persistent_ = persistent;
    }
    // Fail calls of this operation name (e.g. "write", "archive.add"): every
    // one, or only the nth (1-based).
    void FailOp(const std::string& op, int err, long nth = 0) {
        failOp_ = op;
        failOpNth_ = nth;
        opErr_ = err;
    }
    // Runs before every call, with the operation's name: lets a test change
    // the files under the converter's feet at a chosen moment.
    void OnCall(std::function<void(const std::string& op)> hook) { hook_ = std::move(hook); }
    long calls() const { return calls_; }
    const std::vector<std::string>& log() const { return log_; }
    long failures() const { return failures_; }

    int Open(const std::string& p, int f, uint32_t m) override {
        return Check("open") ? -1 : Io::Open(p, f, m);
    }
    ssize_t Read(int fd, void* b, size_t n) override {
        return Check("read") ? -1 : Io::Read(fd, b, n);
    }
    ssize_t Write(int fd, const void* b, size_t n) override {
        return Check("write") ? -1 : Io::Write(fd, b, n);
    }
    int Fsync(int fd) override {
        if (Check("fsync")) return -1;
        const int rc = Io::Fsync(fd);
        if (rc == 0 && disk_) disk_->Synced(fd);
        return rc;
    }
    int Close(int fd) override {
        // A failed close still releases the descriptor, as on Linux.
        const bool fail = Check("close");
        const int rc = Io::Close(fd);
        if (fail) errno = lastErr_;
        return fail ? -1 : rc;
    }
    int Rename(const std::string& a, const std::string& b) override {
        return Check("rename") ? -1 : Io::Rename(a, b);
    }
    int Remove(const std::string& p) override { return Check("remove") ? -1 : Io::Remove(p); }
    int Link(const std::string& a, const std::string& b) override {
        return Check("link") ? -1 : Io::Link(a, b);
    }
    int Stat(const std::string& p, FileStat* s) override {
        return Check("stat") ? -1 : Io::Stat(p, s);
    }
    int Lstat(const std::string& p, FileStat* s) override {
        return Check("lstat") ? -1 : Io::Lstat(p, s);
    }
    int Fstat(int fd, FileStat* s) override { return Check("fstat") ? -1 : Io::Fstat(fd, s); }
    int Fchmod(int fd, uint32_t m) override { return Check("fchmod") ? -1 : Io::Fchmod(fd, m); }
    int Fchown(int fd, uint32_t u, uint32_t g) override {
        return Check("fchown") ? -1 : Io::Fchown(fd, u, g);
    }
    int Ftruncate(int fd, int64_t s) override {
        return Check("ftruncate") ? -1 : Io::Ftruncate(fd, s);
    }
    int64_t Seek(int fd, int64_t o) override { return Check("seek") ? -1 : Io::Seek(fd, o); }
    ssize_t ListXattrs(int fd, char* n, size_t z) override {
        return Check("xattr.list") ? -1 : Io::ListXattrs(fd, n, z);
    }
    ssize_t GetXattr(int fd, const char* n, void* v, size_t z) override {
        return Check("xattr.get") ? -1 : Io::GetXattr(fd, n, v, z);
    }
    int SetXattr(int fd, const char* n, const void* v, size_t z) override {
        return Check("xattr.set") ? -1 : Io::SetXattr(fd, n, v, z);
    }
    int RemoveXattr(int fd, const char* n) override {
        return Check("xattr.remove") ? -1 : Io::RemoveXattr(fd, n);
    }
    int Access(const std::string& p, int m) override {
        return Check("access") ? -1 : Io::Access(p, m);
    }
    int RealPath(const std::string& p, std::string* r) override {
        return Check("realpath") ? -1 : Io::RealPath(p, r);
    }
    int TryLock(int fd) override { return Check("lock") ? -1 : Io::TryLock(fd); }
    int Step(const char* what) override { return Check(what) ? -1 : Io::Step(what); }

  private:
    bool Check(const std::string& op) {
        ++calls_;
        log_.push_back(op);
        if (calls_ == powerLossAt_) PowerOff();
        if (crashed_) {
            lastErr_ = errno = EIO;
            return true;
        }
        if (hook_) hook_(op);
        const bool opMatch =
            !failOp_.empty() && op == failOp_ && (failOpNth_ == 0 || ++opCalls_ == failOpNth_);
        const bool atMatch =
            failAt_ > 0 && (calls_ == failAt_ || (persistent_ && calls_ > failAt_));
        const bool fail = atMatch || opMatch;
        if (fail) {
            ++failures_;
            lastErr_ = errno = atMatch ? err_ : opErr_;
        }
        return fail;
    }

    long calls_ = 0;
    long powerLossAt_ = 0;
    DiskModel* disk_ = nullptr;
    bool crashed_ = false;
    DiskModel::Snapshot snapshot_;
    long failAt_ = 0;
    long failures_ = 0;
    bool persistent_ = false;
    int err_ = EIO;
    int opErr_ = EIO;
    int lastErr_ = EIO;
    std::string failOp_;
    long failOpNth_ = 0;
    long opCalls_ = 0;
    std::vector<std::string> log_;
    std::function<void(const std::string&)> hook_;
};

}  // namespace tidewell::test
