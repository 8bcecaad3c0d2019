// Byte streams over open file descriptors, through the Io seam.
#pragma once

#include <fcntl.h>

#include <cerrno>

#include "convert/ByteStreams.h"
#include "platform/Io.h"

namespace tidewell {

class FdSource : public ByteSource {
  public:
    FdSource(Io& io, int fd) : io_(io), fd_(fd) {
        // A hint for a larger read-ahead; it cannot fail in a way that matters.
#ifdef POSIX_FADV_SEQUENTIAL
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    }
    ptrdiff_t Read(uint8_t* buf, size_t cap) override {
        const ssize_t r = io_.Read(fd_, buf, cap);
        if (r < 0) error_ = errno;
        return r;
    }
    int error() const {
        return error_;
    }  // errno of the first failed read, or 0

  private:
    Io& io_;
    int fd_;
    int error_ = 0;
};

class FdSink : public ByteSink {
  public:
    FdSink(Io& io, int fd) : io_(io), fd_(fd) {}
    bool Write(const uint8_t* p, size_t n) override {
        if (error_ != 0) return false;
        if (!WriteAll(io_, fd_, p, n)) {
            error_ = errno ? errno : EIO;
            return false;
        }
        written_ += static_cast<off_t>(n);
        StartWriteback();
        return true;
    }
    int error() const { return error_; }
    int64_t written() const { return written_; }

  private:
    // The copy is flushed to disk before it replaces the log: its disk writes
    // start every few megabytes, while we go on filtering.
    void StartWriteback() {
        constexpr off_t kStep = 2 << 20;
        if (written_ - kicked_ >= kStep) {
            tidewell::StartWriteback(fd_, kicked_, written_ - kicked_);
            kicked_ = written_;
        }
    }

    Io& io_;
    int fd_;
    int error_ = 0;
    off_t written_ = 0;
    off_t kicked_ = 0;
};

}  // namespace tidewell
