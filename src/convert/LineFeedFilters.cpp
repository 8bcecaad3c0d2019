#include "convert/LineFeedFilters.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace tidewell {
namespace {

constexpr uint8_t CR = 0x0D;
constexpr uint8_t LF = 0x0A;
constexpr uint64_t kHeaderLfLimit = 4;  // LFs survive while at most four CRs were seen

const uint8_t* FindByte(const uint8_t* p, const uint8_t* end, uint8_t b) {
    return static_cast<const uint8_t*>(std::memchr(p, b, static_cast<size_t>(end - p)));
}

uint64_t CountCr(const uint8_t* p, const uint8_t* end) {
    return static_cast<uint64_t>(std::count(p, end, CR));
}

template <typename Filter>
int RunFilter(Filter& filter, ByteSource& in, ByteSink& sink, size_t blockSize) {
    blockSize = std::max<size_t>(blockSize, 1);
    std::unique_ptr<uint8_t[]> block(new uint8_t[blockSize]);
    OutBuffer out(sink, std::max<size_t>(blockSize, 4096));
    for (;;) {
        const ptrdiff_t got = in.Read(block.get(), blockSize);
        if (got <= 0 || !out.ok()) {
            if (got < 0 || !out.ok()) return 0;  // caller sees the failure on its streams
            break;
        }
        filter.Feed(block.get(), static_cast<size_t>(got), out);
    }
    const int result = filter.Finish(out);
    out.Flush();
    return result;
}

}  // namespace

const uint8_t* LineFeedCutter::FeedOpening(const uint8_t* p, const uint8_t* end, OutBuffer& out) {
    // Bytes of the opening check are written as read and never counted.
    while (p < end && phase_ != Phase::kHeader && phase_ != Phase::kNormal) {
        const uint8_t b = *p++;
        out.Put(b);
        switch (phase_) {
            case Phase::kFirst:
                phase_ = (b == 'T' || b == 't') ? Phase::kAfterT : Phase::kNormal;
                break;
            case Phase::kAfterT:
                phase_ = (b == 'O' || b == 'o') ? Phase::kAfterO : Phase::kNormal;
                break;
            case Phase::kAfterO:
                phase_ = (b == ':') ? Phase::kHeader : Phase::kNormal;
                break;
            default:
                break;
        }
    }
    return p;
}

void LineFeedCutter::FeedHeader(const uint8_t* p, const uint8_t* end, OutBuffer& out) {
    // Until the fifth CR every byte passes; the count only matters up to there.
    while (p < end && crCount_ <= kHeaderLfLimit) {
        const uint8_t b = *p++;
        if (b == CR) ++crCount_;
        if (b != LF || crCount_ <= kHeaderLfLimit) out.Put(b);
    }
    while (p < end) {
        const uint8_t* lf = FindByte(p, end, LF);
        const uint8_t* stop = lf ? lf : end;
        out.Append(p, static_cast<size_t>(stop - p));
        p = lf ? lf + 1 : end;
    }
}

bool LineFeedCutter::KeepLineFeed() {
    if ((interval_ >= 0 && crCount_ > static_cast<uint64_t>(interval_)) ||
        (forV2_ && crCount_ == 3)) {
        if (forV2_) {
            forV2_ = false;
        } else {
            crCount_ = 0;
        }
        return true;
    }
    if (interval_ < -1) {
        interval_ = -interval_;
        return true;
    }
    return false;
}

void LineFeedCutter::FeedNormal(const uint8_t* p, const uint8_t* end, OutBuffer& out) {
    while (p < end) {
        const uint8_t* lf = FindByte(p, end, LF);
        const uint8_t* stop = lf ? lf : end;
        crCount_ += CountCr(p, stop);
        out.Append(p, static_cast<size_t>(stop - p));
        if (!lf) return;
        if (KeepLineFeed()) out.Put(LF);
        p = lf + 1;
    }
}

void LineFeedCutter::Feed(const uint8_t* p, size_t n, OutBuffer& out) {
    const uint8_t* end = p + n;
    p = FeedOpening(p, end, out);
    if (phase_ == Phase::kHeader) {
        FeedHeader(p, end, out);
    } else if (phase_ == Phase::kNormal) {
        FeedNormal(p, end, out);
    }
}

int LineFeedCutter::Finish(OutBuffer& out) {
    if (phase_ == Phase::kHeader) return -1;
    out.Put(LF);
    return 0;
}

void LineFeedRestorer::Feed(const uint8_t* p, size_t n, OutBuffer& out) {
    const uint8_t* end = p + n;
    while (p < end) {
        if (lastWasCr_ && *p != LF) out.Put(LF);
        const uint8_t* cr = FindByte(p, end, CR);
        if (!cr) {
            out.Append(p, static_cast<size_t>(end - p));
            lastWasCr_ = false;
            return;
        }
        out.Append(p, static_cast<size_t>(cr + 1 - p));
        lastWasCr_ = true;
        p = cr + 1;
    }
}

int LineFeedRestorer::Finish(OutBuffer& out) {
    if (lastWasCr_) out.Put(LF);
    lastWasCr_ = false;
    return 0;
}

int CutLineFeeds(ByteSource& in, ByteSink& out, int64_t interval, bool forV2, size_t blockSize) {
    LineFeedCutter cutter(interval, forV2);
    return RunFilter(cutter, in, out, blockSize);
}

int RestoreLineFeeds(ByteSource& in, ByteSink& out, size_t blockSize) {
    LineFeedRestorer restorer;
    return RunFilter(restorer, in, out, blockSize);
}

}  // namespace tidewell
