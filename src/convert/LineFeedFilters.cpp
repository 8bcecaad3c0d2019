#include "convert/LineFeedFilters.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define TIDEWELL_HAVE_AVX2_KERNELS 1
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
static_assert(OutBuffer::kMinCapacity >= 4 * kOutSlack, "pieces must leave room to work in");
// From this many line ends in a chunk on, going byte by byte is cheaper than
// a run copy per line.
constexpr uint64_t kDenseLineEnds = 10;

struct ChunkMasks {
    uint64_t cr;
    uint64_t lf;
};

// The cutter's working values while a kernel runs.
struct CutCounters {
    uint64_t n;  // CRs since the last LF kept
    int64_t w;   // the interval; below -1 until the first LF is kept
    bool f;      // a V2 file's extra LF after the third CR is still due
};

struct Kernels {
    uint8_t* (*cut)(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, CutCounters&);
    uint8_t* (*cutHeader)(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, CutCounters&);
    uint8_t* (*restore)(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*);
};

// Whether an LF of an ordinary (not header-marked) file is written, updating
// the counters: once more than `w` CRs came since the last one kept, or at the
// third CR of a V2 file (once); an interval below -1 keeps the first LF and
// then counts by its size.
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

// Below this CR count an LF is dropped for certain; only a count that reaches
// it needs KeepLineFeed.
inline uint64_t DropBelow(int64_t w, bool f) {
    if (w < -1) return 0;
    uint64_t limit = w >= 0 ? static_cast<uint64_t>(w) + 1 : std::numeric_limits<uint64_t>::max();
    if (f) limit = std::min<uint64_t>(limit, 3);
    return limit;
}

// Kernels for any machine, in plain C++: the reference for the faster ones.
namespace portable {

// Bit i of each mask is set when byte i of the 64-byte chunk at p is CR / LF.
inline ChunkMasks ScanChunk(const uint8_t* p) {
    ChunkMasks m{0, 0};
    for (int i = 0; i < kChunk; ++i) {
        m.cr |= static_cast<uint64_t>(p[i] == CR) << i;
        m.lf |= static_cast<uint64_t>(p[i] == LF) << i;
    }
    return m;
}

// Between two LFs of ordinary text there is one CR, so the zero-or-one case is
// kept off the general count, which without a popcount instruction is slow.
inline uint64_t CountBits(uint64_t x) {
    if ((x & (x - 1)) == 0) return x != 0;
    x = x - ((x >> 1) & 0x5555555555555555ULL);
    x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return (x * 0x0101010101010101ULL) >> 56;
}

#include "convert/LineFeedFilters.inc"

}  // namespace portable

#if defined(__SSE2__)
// The same kernels with 16-byte compares: every x86-64 processor has SSE2.
namespace sse2 {

inline ChunkMasks ScanChunk(const uint8_t* p) {
    ChunkMasks m{0, 0};
    const __m128i cr = _mm_set1_epi8(static_cast<char>(CR));
    const __m128i lf = _mm_set1_epi8(static_cast<char>(LF));
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
}

using portable::CountBits;

#include "convert/LineFeedFilters.inc"

}  // namespace sse2
#endif

#if TIDEWELL_HAVE_AVX2_KERNELS
// The same kernels built for AVX2 machines: 32-byte compares and copies and a
// popcount instruction. Chosen at run time, so the program still runs anywhere.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,popcnt,bmi,bmi2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,popcnt,bmi,bmi2")
#endif
namespace avx2 {

inline uint64_t Mask(__m256i v) {
    return static_cast<uint32_t>(_mm256_movemask_epi8(v));
}

inline ChunkMasks ScanChunk(const uint8_t* p) {
    const __m256i cr = _mm256_set1_epi8(static_cast<char>(CR));
    const __m256i lf = _mm256_set1_epi8(static_cast<char>(LF));
    const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    return {Mask(_mm256_cmpeq_epi8(lo, cr)) | Mask(_mm256_cmpeq_epi8(hi, cr)) << 32,
            Mask(_mm256_cmpeq_epi8(lo, lf)) | Mask(_mm256_cmpeq_epi8(hi, lf)) << 32};
}

inline uint64_t CountBits(uint64_t x) {
    return static_cast<uint64_t>(__builtin_popcountll(x));
}

#include "convert/LineFeedFilters.inc"

}  // namespace avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif

struct NamedKernels {
    std::string name;
    const Kernels* kernels;
};

// Plainest first, best last; only those this processor runs.
const std::vector<NamedKernels>& Available() {
    static const std::vector<NamedKernels> all = [] {
        std::vector<NamedKernels> k{{"portable", &portable::kKernels}};
#if defined(__SSE2__)
        k.push_back({"sse2", &sse2::kKernels});
#endif
#if TIDEWELL_HAVE_AVX2_KERNELS
        __builtin_cpu_init();  // in case we run before the library's own constructors
        if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
            __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2")) {
            k.push_back({"avx2", &avx2::kKernels});
        }
#endif
        return k;
    }();
    return all;
}

// The kernels in use; null until chosen, then the best unless one was named.
std::atomic<const NamedKernels*> g_active{nullptr};

const NamedKernels& Active() {
    const NamedKernels* k = g_active.load(std::memory_order_relaxed);
    return k ? *k : Available().back();
}

const Kernels& ChooseKernels() {
    return *Active().kernels;
}

// Filters whole blocks from a source to a sink through the given filter.
template <typename Filter>
int RunFilter(Filter& filter, ByteSource& in, ByteSink& sink, size_t blockSize) {
    blockSize = std::max<size_t>(blockSize, 1);
    const IoBuffer block = MakeIoBuffer(blockSize);
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

const std::vector<std::string>& LineFeedKernels() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const NamedKernels& k : Available()) n.push_back(k.name);
        return n;
    }();
    return names;
}

const std::string& BestLineFeedKernel() {
    return Available().back().name;
}

bool UseLineFeedKernel(const std::string& name) {
    for (const NamedKernels& k : Available()) {
        if (k.name == name) {
            g_active.store(&k, std::memory_order_relaxed);
            return true;
        }
    }
    return false;
}

const std::string& ActiveLineFeedKernel() {
    return Active().name;
}

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

void LineFeedCutter::Feed(const uint8_t* p, size_t n, OutBuffer& out) {
    const uint8_t* end = p + n;
    p = FeedOpening(p, end, out);
    if (phase_ == Phase::kHeader) p = FeedHeaderStart(p, end, out);
    if (phase_ != Phase::kHeader && phase_ != Phase::kNormal) return;
    // Cutting never lengthens the text, so a piece fits in room of its own size.
    const size_t maxPiece = out.capacity() - kOutSlack;
    const Kernels& kernels = ChooseKernels();
    CutCounters counters{crCount_, interval_, forV2_};
    while (p < end) {
        const size_t piece = std::min(static_cast<size_t>(end - p), maxPiece);
        uint8_t* const start = out.Reserve(piece + kOutSlack);
        uint8_t* const stop = (phase_ == Phase::kHeader ? kernels.cutHeader : kernels.cut)(
            p, p + piece, end, start, counters);
        out.Commit(static_cast<size_t>(stop - start));
        p += piece;
    }
    crCount_ = counters.n;
    interval_ = counters.w;
    forV2_ = counters.f;
}

int LineFeedCutter::Finish(OutBuffer& out) {
    if (phase_ == Phase::kHeader) return -1;
    out.Put(LF);
    return 0;
}

void LineFeedRestorer::Feed(const uint8_t* p, size_t n, OutBuffer& out) {
    if (n == 0) return;
    const uint8_t* end = p + n;
    if (lastWasCr_ && *p != LF) out.Put(LF);
    // At most one LF is added per input byte.
    const size_t maxPiece = (out.capacity() - kOutSlack) / 2;
    const Kernels& kernels = ChooseKernels();
    while (p < end) {
        const size_t piece = std::min(static_cast<size_t>(end - p), maxPiece);
        uint8_t* const start = out.Reserve(2 * piece + kOutSlack);
        uint8_t* const stop = kernels.restore(p, p + piece, end, start);
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
