#include "convert/LineFeedFilters.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tidewell {
namespace {

constexpr uint8_t CR = 0x0D;
constexpr uint8_t LF = 0x0A;
constexpr uint64_t kHeaderLfLimit = 4;  // LFs survive while at most four CRs were seen

// The scan looks at 64 bytes at a time. Runs are copied in 64-byte strides that
// may read up to 63 bytes past the run's end, and a run ends at most one byte
// past its chunk, so a chunk is only scanned while this much input is left.
constexpr ptrdiff_t kChunk = 64;
constexpr ptrdiff_t kScanReach = 2 * kChunk;
// Output may overrun by one stride before the exact length is known.
constexpr size_t kOutSlack = 128;

struct ChunkMasks {
    uint64_t cr;
    uint64_t lf;
};

// Bit i of each mask is set when byte i of the 64-byte chunk at p is CR / LF.
inline ChunkMasks ScanChunk(const uint8_t* p) {
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8(static_cast<char>(CR));
    const __m128i lf = _mm_set1_epi8(static_cast<char>(LF));
    ChunkMasks m{0, 0};
    for (int i = 0; i < 4; ++i) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        const auto shift = static_cast<unsigned>(16 * i);
        m.cr |=
            static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr))))
            << shift;
        m.lf |=
            static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf))))
            << shift;
    }
    return m;
#else
    ChunkMasks m{0, 0};
    for (int i = 0; i < kChunk; ++i) {
        m.cr |= static_cast<uint64_t>(p[i] == CR) << i;
        m.lf |= static_cast<uint64_t>(p[i] == LF) << i;
    }
    return m;
#endif
}

inline unsigned LowestBit(uint64_t x) {
    return static_cast<unsigned>(__builtin_ctzll(x));
}

// Number of set bits. Between two LFs of ordinary text there is one CR, so the
// zero-or-one case is kept off the general count, which without a popcount
// instruction is a library call.
inline uint64_t CountBits(uint64_t x) {
#if defined(__POPCNT__)
    return static_cast<uint64_t>(__builtin_popcountll(x));
#else
    if ((x & (x - 1)) == 0) return x != 0;
    x = x - ((x >> 1) & 0x5555555555555555ULL);
    x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return (x * 0x0101010101010101ULL) >> 56;
#endif
}

// Copies [from, to) to dst and returns the end of the copy. May read up to 63
// bytes past `to` and write up to 63 bytes past the result. Most lines fit the
// first stride, so the loop is rarely entered and its branch rarely missed.
inline uint8_t* CopyRunLoose(uint8_t* dst, const uint8_t* from, const uint8_t* to) {
    uint8_t* const result = dst + (to - from);
    std::memcpy(dst, from, 64);
    while (to - from > 64) {
        from += 64;
        dst += 64;
        std::memcpy(dst, from, 64);
    }
    return result;
}

// Exact copy. Long runs go in fixed 64-byte strides: on some machines the
// library's copy of large blocks (rep movsb) is several times slower.
inline uint8_t* CopyRun(uint8_t* dst, const uint8_t* from, const uint8_t* to) {
    auto n = static_cast<size_t>(to - from);
    uint8_t* const result = dst + n;
    for (; n >= 64; n -= 64, from += 64, dst += 64) std::memcpy(dst, from, 64);
    if (n > 0) std::memcpy(dst, from, n);
    return result;
}

// Rule a and b of the normal mode for one LF; true when it is written.
inline bool KeepLineFeed(uint64_t& n, int64_t& w, bool& f) {
    if ((w >= 0 && n > static_cast<uint64_t>(w)) || (f && n == 3)) {
        if (f) {
            f = false;
        } else {
            n = 0;
        }
        return true;
    }
    if (w < -1) {
        // The lowest interval has no positive counterpart in 64 bits; the largest
        // one behaves the same, since no file holds that many CRs.
        w = w == std::numeric_limits<int64_t>::min() ? std::numeric_limits<int64_t>::max() : -w;
        return true;
    }
    return false;
}

// Below this CR count an LF is dropped for certain, and only a count that
// reaches it needs the full rules.
inline uint64_t DropBelow(int64_t w, bool f) {
    if (w < -1) return 0;
    uint64_t limit = w >= 0 ? static_cast<uint64_t>(w) + 1 : std::numeric_limits<uint64_t>::max();
    if (f) limit = std::min<uint64_t>(limit, 3);
    return limit;
}

// Filters whole blocks from a source to a sink through the given filter.
template <typename Filter>
int RunFilter(Filter& filter, ByteSource& in, ByteSink& sink, size_t blockSize) {
    blockSize = std::max<size_t>(blockSize, 1);
    std::unique_ptr<uint8_t[]> block(new uint8_t[blockSize]);
    OutBuffer out(sink, std::max<size_t>(blockSize, kFilterBlockSize));
    for (;;) {
        const ptrdiff_t got = in.Read(block.get(), blockSize);
        if (got < 0 || !out.ok()) return 0;  // the caller sees the failure on its streams
        if (got == 0) break;
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

const uint8_t* LineFeedCutter::FeedHeaderStart(const uint8_t* p, const uint8_t* end,
                                               OutBuffer& out) {
    // Until the fifth CR every byte passes; the count only matters up to there.
    while (p < end && crCount_ <= kHeaderLfLimit) {
        const uint8_t b = *p++;
        if (b == CR) ++crCount_;
        if (b != LF || crCount_ <= kHeaderLfLimit) out.Put(b);
    }
    return p;
}

// One pass of the normal mode over [p, end) (or, with kDropAll, of the header
// mode past its fifth CR, where every LF goes). Bytes between dropped LFs are
// copied as runs; input may be read up to limit.
template <bool kDropAll>
uint8_t* LineFeedCutter::CutSpan(const uint8_t* p, const uint8_t* end, const uint8_t* limit,
                                 uint8_t* dst) {
    uint64_t n = crCount_;
    int64_t w = interval_;
    bool f = forV2_;
    uint64_t dropBelow = DropBelow(w, f);
    const uint8_t* run = p;
    while (end - p >= kChunk && limit - p >= kScanReach) {
        const ChunkMasks m = ScanChunk(p);
        uint64_t cr = m.cr;
        for (uint64_t lf = m.lf; lf != 0; lf &= lf - 1) {
            if constexpr (!kDropAll) {
                const uint64_t before = cr & ((lf & (0 - lf)) - 1);
                n += CountBits(before);
                cr ^= before;
                if (n >= dropBelow) {
                    const bool keep = KeepLineFeed(n, w, f);
                    dropBelow = DropBelow(w, f);
                    if (keep) continue;
                }
            }
            const uint8_t* at = p + LowestBit(lf);
            dst = CopyRunLoose(dst, run, at);
            run = at + 1;
        }
        if constexpr (!kDropAll) n += CountBits(cr);
        p += kChunk;
    }
    for (; p < end; ++p) {
        if (*p == CR) {
            ++n;
        } else if (*p == LF && (kDropAll || !KeepLineFeed(n, w, f))) {
            dst = CopyRun(dst, run, p);
            run = p + 1;
        }
    }
    dst = CopyRun(dst, run, end);
    crCount_ = n;
    interval_ = w;
    forV2_ = f;
    return dst;
}

void LineFeedCutter::Feed(const uint8_t* p, size_t n, OutBuffer& out) {
    const uint8_t* end = p + n;
    p = FeedOpening(p, end, out);
    if (phase_ == Phase::kHeader) p = FeedHeaderStart(p, end, out);
    if (phase_ != Phase::kHeader && phase_ != Phase::kNormal) return;
    // Cutting never lengthens the text, so a piece fits in room of its own size.
    const size_t maxPiece = out.capacity() - kOutSlack;
    while (p < end) {
        const size_t piece = std::min(static_cast<size_t>(end - p), maxPiece);
        uint8_t* const start = out.Reserve(piece + kOutSlack);
        uint8_t* const stop = phase_ == Phase::kHeader ? CutSpan<true>(p, p + piece, end, start)
                                                       : CutSpan<false>(p, p + piece, end, start);
        out.Commit(static_cast<size_t>(stop - start));
        p += piece;
    }
}

int LineFeedCutter::Finish(OutBuffer& out) {
    if (phase_ == Phase::kHeader) return -1;
    out.Put(LF);
    return 0;
}

// Writes [p, stop) with an LF after every CR whose next byte is not LF. Input
// may be read up to limit; a CR at limit - 1 is left for the caller to decide.
uint8_t* LineFeedRestorer::RestoreSpan(const uint8_t* p, const uint8_t* stop, const uint8_t* limit,
                                       uint8_t* dst) {
    const uint8_t* run = p;
    while (stop - p >= kChunk && limit - p >= kScanReach) {
        const ChunkMasks m = ScanChunk(p);
        const uint64_t nextIsLf = (m.lf >> 1) | (static_cast<uint64_t>(p[kChunk] == LF) << 63);
        for (uint64_t bare = m.cr & ~nextIsLf; bare != 0; bare &= bare - 1) {
            const uint8_t* after = p + LowestBit(bare) + 1;
            dst = CopyRunLoose(dst, run, after);
            *dst++ = LF;
            run = after;
        }
        p += kChunk;
    }
    for (; p < stop; ++p) {
        if (p[0] == CR && limit - p >= 2 && p[1] != LF) {
            dst = CopyRun(dst, run, p + 1);
            *dst++ = LF;
            run = p + 1;
        }
    }
    return CopyRun(dst, run, stop);
}

void LineFeedRestorer::Feed(const uint8_t* p, size_t n, OutBuffer& out) {
    if (n == 0) return;
    const uint8_t* end = p + n;
    if (lastWasCr_ && *p != LF) out.Put(LF);
    // At most one LF is added per input byte.
    const size_t maxPiece = (out.capacity() - kOutSlack) / 2;
    while (p < end) {
        const size_t piece = std::min(static_cast<size_t>(end - p), maxPiece);
        uint8_t* const start = out.Reserve(2 * piece + kOutSlack);
        uint8_t* const stop = RestoreSpan(p, p + piece, end, start);
        out.Commit(static_cast<size_t>(stop - start));
        p += piece;
    }
    lastWasCr_ = end[-1] == CR;
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
