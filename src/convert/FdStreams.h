// Byte streams over open file descriptors, through the Io seam.
#pragma once

#include <cerrno>

#include "convert/ByteStreams.h"
#include "platform/Io.h"

namespace tidewell {

class FdSource : public ByteSource {
  public:
    FdSource(Io& io, int fd) : io_(io), fd_(fd) {}
    ptrdiff_t Read(uint8_t* buf, size_t cap) override {
        const ssize_t r = io_.Read(fd_, buf, cap);
        if (r < 0) error_ = errno;
        return r;
    }
    int error() const { return error_; }  // errno of the first failed read, or 0

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
        if (!WriteAll(io_, fd_, p, n)) error_ = errno ? errno : EIO;
        return error_ == 0;
    }
    int error() const { return error_; }

  private:
    Io& io_;
    int fd_;
    int error_ = 0;
};

}  // namespace tidewell
