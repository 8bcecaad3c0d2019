// An Io that counts every operation and fails the chosen ones, to prove that
// no failure at any point loses a log.
#pragma once

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "platform/Io.h"

namespace tidewell::test {

class FaultyIo : public Io {
  public:
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
    int Fsync(int fd) override { return Check("fsync") ? -1 : Io::Fsync(fd); }
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

// Puts a FaultyIo in place as the process-wide Io for the lifetime of the guard.
class ScopedIo {
  public:
    explicit ScopedIo(Io* io) { SetCurrentIo(io); }
    ~ScopedIo() { SetCurrentIo(nullptr); }
};

}  // namespace tidewell::test
