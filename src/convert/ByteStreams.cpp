#include "convert/ByteStreams.h"

#include <algorithm>

namespace tidewell {

ptrdiff_t MemorySource::Read(uint8_t* buf, size_t cap) {
    const size_t n = std::min(cap, data_.size() - pos_);
    std::memcpy(buf, data_.data() + pos_, n);
    pos_ += n;
    return static_cast<ptrdiff_t>(n);
}

OutBuffer::OutBuffer(ByteSink& sink, size_t capacity)
    : sink_(sink),
      buf_(MakeIoBuffer(std::max(capacity, kMinCapacity))),
      capacity_(std::max(capacity, kMinCapacity)) {}

bool OutBuffer::Flush() {
    if (ok_ && len_ > 0) ok_ = sink_.Write(buf_.get(), len_);
    len_ = 0;
    return ok_;
}

void OutBuffer::AppendSlow(const uint8_t* p, size_t n) {
    while (n > 0) {
        if (len_ == capacity_) Flush();
        const size_t take = std::min(n, capacity_ - len_);
        std::memcpy(buf_.get() + len_, p, take);
        len_ += take;
        p += take;
        n -= take;
    }
}

ByteReader::ByteReader(ByteSource& src, size_t capacity)
    : src_(src), buf_(new uint8_t[capacity]), capacity_(capacity) {}

bool ByteReader::Refill() {
    if (atEnd_) return false;
    consumed_ += len_;
    len_ = 0;
    pos_ = 0;
    const ptrdiff_t r = src_.Read(buf_.get(), capacity_);
    if (r <= 0) {
        atEnd_ = true;
        failed_ = r < 0;
        return false;
    }
    len_ = static_cast<size_t>(r);
    return true;
}

}  // namespace tidewell
