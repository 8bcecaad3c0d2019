// The two line-feed filters written the plain way, one byte at a time, as
// briefly as they can be read. The program's block filters, on every kernel,
// must give the same bytes.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "convert/LineFeedFilters.h"

namespace tidewell::test {

// Runs the filters on the named kernel while in scope, then on the best again.
class KernelInUse {
  public:
    explicit KernelInUse(const std::string& name) { ok_ = UseLineFeedKernel(name); }
    ~KernelInUse() { UseLineFeedKernel(BestLineFeedKernel()); }
    KernelInUse(const KernelInUse&) = delete;
    KernelInUse& operator=(const KernelInUse&) = delete;
    bool ok() const { return ok_; }

  private:
    bool ok_;
};

struct ReferenceResult {
    std::string out;
    int result = 0;
};

inline ReferenceResult ReferenceCut(const std::string& in, int64_t w, bool f) {
    constexpr int kEnd = -1;
    constexpr char CR = '\r', LF = '\n';
    ReferenceResult r;
    size_t pos = 0;
    auto get = [&]() -> int { return pos < in.size() ? static_cast<uint8_t>(in[pos++]) : kEnd; };

    // Opening check: bytes are written as read and never counted.
    bool header = false;
    int b = get();
    if (b != kEnd) {
        r.out.push_back(static_cast<char>(b));
        if (b == 'T' || b == 't') {
            b = get();
            if (b != kEnd) {
                r.out.push_back(static_cast<char>(b));
                if (b == 'O' || b == 'o') {
                    b = get();
                    if (b != kEnd) {
                        r.out.push_back(static_cast<char>(b));
                        header = b == ':';
                    }
                }
            }
        }
    }

    int64_t n = 0;
    if (header) {
        while ((b = get()) != kEnd) {
            if (b == CR) ++n;
            if (b != LF || n <= 4) r.out.push_back(static_cast<char>(b));
        }
        r.result = -1;
        return r;
    }
    while ((b = get()) != kEnd) {
        if (b == CR) {
            ++n;
            r.out.push_back(CR);
        } else if (b != LF) {
            r.out.push_back(static_cast<char>(b));
        } else if ((w >= 0 && n > w) || (f && n == 3)) {
            r.out.push_back(LF);
            if (f) {
                f = false;
            } else {
                n = 0;
            }
        } else if (w < -1) {
            r.out.push_back(LF);
            w = w == std::numeric_limits<int64_t>::min() ? std::numeric_limits<int64_t>::max() : -w;
        }
    }
    r.out.push_back(LF);
    return r;
}

inline std::string ReferenceRestore(const std::string& in) {
    std::string out;
    bool lastWasCr = false;
    for (const char c : in) {
        if (lastWasCr && c != '\n') out.push_back('\n');
        out.push_back(c);
        lastWasCr = c == '\r';
    }
    if (lastWasCr) out.push_back('\n');
    return out;
}

}  // namespace tidewell::test
