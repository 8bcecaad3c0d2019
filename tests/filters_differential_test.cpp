// The block filters against the byte-at-a-time reference, on random text cut
// into blocks of every awkward size. A failure names its seed; to replay it, run
// the failing test with TIDEWELL_FILTER_SEED set to that seed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ReferenceFilters.h"
#include "convert/ByteStreams.h"
#include "convert/LineFeedFilters.h"

namespace tidewell {
namespace {

using test::ReferenceCut;
using test::ReferenceRestore;

const std::vector<int64_t>& Intervals() {
    static const std::vector<int64_t> all = [] {
        std::vector<int64_t> w;
        for (int64_t i = -10; i <= 10; ++i) w.push_back(i);
        for (int64_t i : {100, -100, 2147483647, -2147483647}) w.push_back(i);
        w.push_back(std::numeric_limits<int32_t>::min());
        return w;
    }();
    return all;
}

// 1 and 2 put every state on a block edge; the primes drift against the
// 64-byte scan; the last is the program's own.
const std::vector<size_t> kBlockSizes = {1, 2, 3, 5, 7, 13, 61, 97, 257, 1021, kFilterBlockSize};

// Mixes of the bytes the filters care about. Line-shaped text is what logs
// hold; the byte soup finds orders nobody writes on purpose.
std::string MakeInput(uint64_t seed, size_t maxSize) {
    std::mt19937_64 rng(seed);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    static const char* const kOpenings[] = {"",   "",     "",    "T",   "t",       "TO",
                                            "tO", "To:",  "TO:", "to:", "TO:\r\n", "T:",
                                            "Tx", "\r\n", "\n",  "TO"};
    std::string s = kOpenings[pick(sizeof kOpenings / sizeof kOpenings[0])];
    const size_t size = maxSize == 0 ? 0 : pick(maxSize + 1);
    const int style = static_cast<int>(pick(5));
    static const char kSoup[] = "\r\r\r\n\n\nTtOo:ab\0\xff";
    static const char* const kEnds[] = {"\r\n", "\r\n", "\r\n", "\r\n",
                                        "\r",   "\n",   "\n\r", "\r\r\n"};
    while (s.size() < size) {
        if (style == 0) {
            s.push_back(kSoup[pick(sizeof kSoup - 1)]);
            continue;
        }
        // Lines: mostly short, some far longer than a scan chunk or a small
        // block; style 4 packs many line ends into each chunk.
        const size_t len = style == 3 && pick(8) == 0 ? pick(3000) : pick(style == 4 ? 4 : 81);
        for (size_t i = 0; i < len; ++i) {
            const size_t r = pick(40);
            s.push_back(r == 0 ? '\r' : r == 1 ? '\n' : r < 5 ? "TtOo:"[pick(5)] : 'a' + pick(26));
        }
        s += style == 1 ? "\r\n" : kEnds[pick(sizeof kEnds / sizeof kEnds[0])];
    }
    return s;
}

// Equal bytes, or where they part, shown briefly: outputs run to megabytes.
testing::AssertionResult SameBytes(const std::string& got, const std::string& want) {
    if (got == want) return testing::AssertionSuccess();
    size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
    auto around = [at](const std::string& s) {
        std::string shown;
        const size_t from = at < 8 ? 0 : at - 8;
        for (size_t i = from; i < s.size() && i < at + 8; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02x ", static_cast<uint8_t>(s[i]));
            shown += hex;
        }
        return shown;
    };
    return testing::AssertionFailure()
           << "outputs differ at byte " << at << " (sizes " << got.size() << " and " << want.size()
           << ")\n  got:  " << around(got) << "\n  want: " << around(want);
}

// The seeds a test runs: its own range, or only the one asked for.
std::vector<uint64_t> Seeds(uint64_t first, uint64_t last) {
    if (const char* v = std::getenv("TIDEWELL_FILTER_SEED")) return {std::strtoull(v, nullptr, 0)};
    std::vector<uint64_t> seeds;
    for (uint64_t s = first; s <= last; ++s) seeds.push_back(s);
    return seeds;
}

// Runs the whole-stream filters for one input over every interval, V2 flag and
// the given block sizes.
void CompareAll(const std::string& input, uint64_t seed, const std::vector<size_t>& blockSizes) {
    SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(input.size()) + " bytes");
    const std::string restored = ReferenceRestore(input);
    for (const size_t block : blockSizes) {
        MemorySource in(input);
        MemorySink out;
        EXPECT_EQ(RestoreLineFeeds(in, out, block), 0);
        ASSERT_TRUE(SameBytes(out.data(), restored)) << "restore, block size " << block;
    }
    for (const int64_t w : Intervals()) {
        for (const bool f : {false, true}) {
            const test::ReferenceResult want = ReferenceCut(input, w, f);
            for (const size_t block : blockSizes) {
                MemorySource in(input);
                MemorySink out;
                const int got = CutLineFeeds(in, out, w, f, block);
                ASSERT_TRUE(SameBytes(out.data(), want.out))
                    << "interval " << w << ", V2 " << f << ", block " << block;
                ASSERT_EQ(got, want.result)
                    << "interval " << w << ", V2 " << f << ", block " << block;
            }
        }
    }
}

// Every test runs on each kernel this machine has, by name, so that the
// dispatcher's choice cannot hide a broken one.
class FilterDifferential : public testing::TestWithParam<std::string> {
  protected:
    void SetUp() override { ASSERT_TRUE(kernel_.ok()) << GetParam(); }

  private:
    test::KernelInUse kernel_{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Kernels, FilterDifferential, testing::ValuesIn(LineFeedKernels()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

TEST_P(FilterDifferential, ShortInputsEveryBlockSize) {
    for (const uint64_t seed : Seeds(1, 24)) {
        CompareAll(MakeInput(seed, 600), seed, kBlockSizes);
        if (HasFatalFailure()) return;
    }
}

TEST_P(FilterDifferential, LongInputsLargeBlocks) {
    // Hundreds of kilobytes: many scan chunks, long runs, pieces of the output
    // buffer, and blocks that do not divide the file.
    for (const uint64_t seed : Seeds(1001, 1002)) {
        CompareAll(MakeInput(seed, 250000), seed, {4099, kFilterBlockSize});
        if (HasFatalFailure()) return;
    }
}

TEST_P(FilterDifferential, LongInputByteAtATime) {
    for (const uint64_t seed : Seeds(2001, 2001)) {
        const std::string input = MakeInput(seed, 200000);
        SCOPED_TRACE("seed " + std::to_string(seed));
        for (const auto& [w, f] : std::vector<std::pair<int64_t, bool>>{{100, false}, {-3, true}}) {
            MemorySource in(input);
            MemorySink out;
            const int got = CutLineFeeds(in, out, w, f, 1);
            const test::ReferenceResult want = ReferenceCut(input, w, f);
            EXPECT_TRUE(SameBytes(out.data(), want.out)) << "interval " << w;
            EXPECT_EQ(got, want.result);
        }
        MemorySource in(input);
        MemorySink out;
        RestoreLineFeeds(in, out, 1);
        EXPECT_TRUE(SameBytes(out.data(), ReferenceRestore(input)));
    }
}

// The filter objects fed in uneven slices, through output buffers of various
// sizes, as a caller with its own reads would use them.
TEST_P(FilterDifferential, RandomSlicesAndOutputBuffers) {
    for (const uint64_t seed : Seeds(3001, 3030)) {
        const std::string input = MakeInput(seed, seed % 4 == 0 ? 100000 : 3000);
        std::mt19937_64 rng(seed);
        const size_t capacity = std::vector<size_t>{1, 1024, 1500, 70000}[rng() % 4];
        const int64_t w = Intervals()[rng() % Intervals().size()];
        const bool f = rng() % 2;
        SCOPED_TRACE("seed " + std::to_string(seed) + ", interval " + std::to_string(w) + ", V2 " +
                     std::to_string(f) + ", buffer " + std::to_string(capacity));

        MemorySink cutSink, restoreSink;
        OutBuffer cutOut(cutSink, capacity), restoreOut(restoreSink, capacity);
        LineFeedCutter cutter(w, f);
        LineFeedRestorer restorer;
        const auto* p = reinterpret_cast<const uint8_t*>(input.data());
        for (size_t pos = 0; pos < input.size();) {
            const size_t slice =
                std::min<size_t>(input.size() - pos, rng() % 3 == 0 ? rng() % 4 : rng() % 9000);
            cutter.Feed(p + pos, slice, cutOut);
            restorer.Feed(p + pos, slice, restoreOut);
            pos += slice;
        }
        const int result = cutter.Finish(cutOut);
        restorer.Finish(restoreOut);
        cutOut.Flush();
        restoreOut.Flush();

        const test::ReferenceResult want = ReferenceCut(input, w, f);
        ASSERT_TRUE(SameBytes(cutSink.data(), want.out));
        ASSERT_EQ(result, want.result);
        ASSERT_TRUE(SameBytes(restoreSink.data(), ReferenceRestore(input)));
    }
}

}  // namespace
}  // namespace tidewell
