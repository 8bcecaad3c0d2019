// Bytes per second of the two filters on text held in memory, so that only the
// filtering is measured: the output goes to a sink that drops it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>

#include "convert/ByteStreams.h"
#include "convert/LineFeedFilters.h"

namespace tidewell {
namespace {

constexpr size_t kTextSize = 16 << 20;

class SpanSource : public ByteSource {
  public:
    explicit SpanSource(const std::string& s) : s_(s) {}
    ptrdiff_t Read(uint8_t* buf, size_t cap) override {
        const size_t n = std::min(cap, s_.size() - pos_);
        std::memcpy(buf, s_.data() + pos_, n);
        pos_ += n;
        return static_cast<ptrdiff_t>(n);
    }

  private:
    const std::string& s_;
    size_t pos_ = 0;
};

class DropSink : public ByteSink {
  public:
    bool Write(const uint8_t* p, size_t n) override {
        benchmark::DoNotOptimize(p);
        bytes += n;
        return true;
    }
    size_t bytes = 0;
};

// Lines of minLen..maxLen printable bytes, each ended by `end`.
std::string MakeText(size_t minLen, size_t maxLen, const char* end) {
    std::mt19937 rng(42);
    std::string s;
    s.reserve(kTextSize + maxLen + 2);
    while (s.size() < kTextSize) {
        const size_t len = minLen + rng() % (maxLen - minLen + 1);
        for (size_t i = 0; i < len; ++i) s.push_back(static_cast<char>('!' + rng() % 94));
        s += end;
    }
    return s;
}

const std::string& ShortLines() {
    static const std::string s = MakeText(0, 80, "\r\n");
    return s;
}
const std::string& LongLines() {
    static const std::string s = MakeText(200, 2000, "\r\n");
    return s;
}
const std::string& OnlyLineEnds() {
    static const std::string s = MakeText(0, 0, "\r\n");
    return s;
}
const std::string& ShortLinesCut() {
    static const std::string s = MakeText(0, 80, "\r");
    return s;
}

void Cut(benchmark::State& state, const std::string& text, int64_t interval) {
    for (auto _ : state) {
        SpanSource in(text);
        DropSink out;
        benchmark::DoNotOptimize(CutLineFeeds(in, out, interval, false));
        benchmark::DoNotOptimize(out.bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void Restore(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        SpanSource in(text);
        DropSink out;
        benchmark::DoNotOptimize(RestoreLineFeeds(in, out));
        benchmark::DoNotOptimize(out.bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The yardstick: the same reads and writes with no filtering between them.
void BM_CopyOnly(benchmark::State& state) {
    const std::string& text = ShortLines();
    const IoBuffer block = MakeIoBuffer(kFilterBlockSize);
    uint8_t* const buf = block.get();
    for (auto _ : state) {
        SpanSource in(text);
        DropSink sink;
        OutBuffer out(sink, kFilterBlockSize);
        for (ptrdiff_t got; (got = in.Read(buf, kFilterBlockSize)) > 0;) {
            out.Append(buf, static_cast<size_t>(got));
        }
        out.Flush();
        benchmark::DoNotOptimize(sink.bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The filter objects alone, fed straight from the text: no copy into a block.
template <typename Filter>
void FeedOnly(benchmark::State& state, const std::string& text, Filter make) {
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    for (auto _ : state) {
        auto filter = make();
        DropSink sink;
        OutBuffer out(sink, kFilterBlockSize);
        for (size_t pos = 0; pos < text.size(); pos += kFilterBlockSize) {
            filter.Feed(p + pos, std::min(kFilterBlockSize, text.size() - pos), out);
        }
        benchmark::DoNotOptimize(filter.Finish(out));
        out.Flush();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_CutShortLinesFeedOnly(benchmark::State& s) {
    FeedOnly(s, ShortLines(), [] { return LineFeedCutter(100, false); });
}
void BM_RestoreShortLinesCutFeedOnly(benchmark::State& s) {
    FeedOnly(s, ShortLinesCut(), [] { return LineFeedRestorer(); });
}

// The same on each kernel this machine runs, by name, to time the faster ones
// against the plain one.
const bool kPerKernel = [] {
    for (const std::string& kernel : LineFeedKernels()) {
        benchmark::RegisterBenchmark(("BM_CutShortLines/" + kernel).c_str(),
                                     [kernel](benchmark::State& s) {
                                         UseLineFeedKernel(kernel);
                                         Cut(s, ShortLines(), 100);
                                         UseLineFeedKernel(BestLineFeedKernel());
                                     });
        benchmark::RegisterBenchmark(("BM_RestoreShortLinesCut/" + kernel).c_str(),
                                     [kernel](benchmark::State& s) {
                                         UseLineFeedKernel(kernel);
                                         Restore(s, ShortLinesCut());
                                         UseLineFeedKernel(BestLineFeedKernel());
                                     });
    }
    return true;
}();

void BM_CutShortLines(benchmark::State& s) {
    Cut(s, ShortLines(), 100);
}
void BM_CutShortLinesKeepAll(benchmark::State& s) {
    Cut(s, ShortLines(), 0);
}
void BM_CutLongLines(benchmark::State& s) {
    Cut(s, LongLines(), 100);
}
void BM_CutOnlyLineEnds(benchmark::State& s) {
    Cut(s, OnlyLineEnds(), 100);
}
void BM_RestoreShortLines(benchmark::State& s) {
    Restore(s, ShortLines());
}
void BM_RestoreShortLinesCut(benchmark::State& s) {
    Restore(s, ShortLinesCut());
}
void BM_RestoreLongLines(benchmark::State& s) {
    Restore(s, LongLines());
}
void BM_RestoreOnlyLineEnds(benchmark::State& s) {
    Restore(s, OnlyLineEnds());
}

BENCHMARK(BM_CopyOnly);
BENCHMARK(BM_CutShortLines);
BENCHMARK(BM_CutShortLinesKeepAll);
BENCHMARK(BM_CutLongLines);
BENCHMARK(BM_CutOnlyLineEnds);
BENCHMARK(BM_RestoreShortLines);
BENCHMARK(BM_RestoreShortLinesCut);
BENCHMARK(BM_RestoreLongLines);
BENCHMARK(BM_RestoreOnlyLineEnds);
BENCHMARK(BM_CutShortLinesFeedOnly);
BENCHMARK(BM_RestoreShortLinesCutFeedOnly);

}  // namespace
}  // namespace tidewell

BENCHMARK_MAIN();
