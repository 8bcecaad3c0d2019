// Narrow byte-stream seams the filters read from and write to: files in the
// program, memory in the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace tidewell {

// Buffers handed to read and write are page-aligned: on some machines the
// kernel copies into or out of misaligned memory several times slower.
inline constexpr size_t kIoAlignment = 4096;
struct IoBufferDelete {
    void operator()(uint8_t* p) const { ::operator delete[](p, std::align_val_t(kIoAlignment)); }
};
using IoBuffer = std::unique_ptr<uint8_t[], IoBufferDelete>;
inline IoBuffer MakeIoBuffer(size_t n) {
    return IoBuffer(static_cast<uint8_t*>(::operator new[](n, std::align_val_t(kIoAlignment))));
}

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Fills up to cap bytes; returns the count, 0 at end of input, -1 on error.
    virtual ptrdiff_t Read(uint8_t* buf, size_t cap) = 0;
};

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Takes all n bytes or fails.
    virtual bool Write(const uint8_t* p, size_t n) = 0;
};

class MemorySource : public ByteSource {
  public:
    explicit MemorySource(std::string data) : data_(std::move(data)) {}
    ptrdiff_t Read(uint8_t* buf, size_t cap) override;

  private:
    std::string data_;
    size_t pos_ = 0;
};

class MemorySink : public ByteSink {
  public:
    bool Write(const uint8_t* p, size_t n) override {
        data_.append(reinterpret_cast<const char*>(p), n);
        return true;
    }
    const std::string& data() const { return data_; }

  private:
    std::string data_;
};

// Collects output into a fixed buffer and hands it to the sink in large writes.
// After the sink fails, everything further is dropped and ok() stays false.
class OutBuffer {
  public:
    OutBuffer(ByteSink& sink, size_t capacity);
    void Append(const uint8_t* p, size_t n) {
        if (n <= capacity_ - len_) {
            std::memcpy(buf_.get() + len_, p, n);
            len_ += n;
        } else {
            AppendSlow(p, n);
        }
    }
    void Put(uint8_t b) {
        if (len_ == capacity_) Flush();
        buf_[len_++] = b;
    }
    // Room for n bytes to be written in place (n at most capacity()); Commit
    // then keeps the first `used` of them. Lets a filter write without a call per run.
    uint8_t* Reserve(size_t n) {
        if (capacity_ - len_ < n) Flush();
        return buf_.get() + len_;
    }
    void Commit(size_t used) { len_ += used; }
    size_t capacity() const { return capacity_; }
    bool Flush();
    bool ok() const { return ok_; }

    static constexpr size_t kMinCapacity = 1024;

  private:
    void AppendSlow(const uint8_t* p, size_t n);

    ByteSink& sink_;
    IoBuffer buf_;
    size_t capacity_;
    size_t len_ = 0;
    bool ok_ = true;
};

// Single-byte reads over a source, for the to-do list scanner.
class ByteReader {
  public:
    static constexpr int kEnd = -1;
    explicit ByteReader(ByteSource& src, size_t capacity = 64 * 1024);
    int Get() {
        if (pos_ == len_ && !Refill()) return kEnd;
        return buf_[pos_++];
    }
    bool failed() const { return failed_; }
    // Bytes handed out by Get so far (not what has been read ahead).
    uint64_t position() const { return consumed_ + pos_; }

  private:
    bool Refill();

    ByteSource& src_;
    uint64_t consumed_ = 0;  // bytes of the buffers before the current one
    std::unique_ptr<uint8_t[]> buf_;
    size_t capacity_;
    size_t pos_ = 0;
    size_t len_ = 0;
    bool atEnd_ = false;
    bool failed_ = false;
};

}  // namespace tidewell
