// The two byte filters a log goes through. Both work block by block, yet give
// exactly the bytes they would give if fed one byte at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "convert/ByteStreams.h"

namespace tidewell {

inline constexpr size_t kFilterBlockSize = 256 * 1024;

// Cutting: CR LF becomes bare CR except every so many lines. Keeps its state
// between Feed calls, so a block boundary may fall anywhere.
class LineFeedCutter {
  public:
    // interval is 64-bit so that negating any 32-bit setting is well defined.
    LineFeedCutter(int64_t interval, bool forV2) : interval_(interval), forV2_(forV2) {}
    void Feed(const uint8_t* p, size_t n, OutBuffer& out);
    // Appends the closing LF in normal mode. Returns -1 for a header-marked
    // file (begins with T or t, O or o, ':'), otherwise 0.
    int Finish(OutBuffer& out);

  private:
    enum class Phase { kFirst, kAfterT, kAfterO, kHeader, kNormal };
    const uint8_t* FeedOpening(const uint8_t* p, const uint8_t* end, OutBuffer& out);
    const uint8_t* FeedHeaderStart(const uint8_t* p, const uint8_t* end, OutBuffer& out);

    Phase phase_ = Phase::kFirst;
    int64_t interval_;
    bool forV2_;
    uint64_t crCount_ = 0;
};

// Restoring: every CR not followed by LF gets one.
class LineFeedRestorer {
  public:
    void Feed(const uint8_t* p, size_t n, OutBuffer& out);
    int Finish(OutBuffer& out);

  private:
    bool lastWasCr_ = false;
};

// Whole-stream forms. The result is the filter's (-1 or 0); whether the bytes
// got through is for the caller to ask its source and sink.
int CutLineFeeds(ByteSource& in, ByteSink& out, int64_t interval, bool forV2,
                 size_t blockSize = kFilterBlockSize);
int RestoreLineFeeds(ByteSource& in, ByteSink& out, size_t blockSize = kFilterBlockSize);

// The filters' inner loops come as kernels, one per instruction set, all
// giving the same bytes: "portable" (plain C++, the reference the others are
// checked against), "sse2" and "avx2". The best kernel the processor runs is
// used unless a test or benchmark names another.

// The kernels this machine runs, plainest first, best last.
const std::vector<std::string>& LineFeedKernels();
// The one chosen for this processor when none is named.
const std::string& BestLineFeedKernel();
// Runs the filters on the named kernel from now on. False, and nothing
// changed, when this machine has no kernel of that name.
bool UseLineFeedKernel(const std::string& name);
// The kernel in use.
const std::string& ActiveLineFeedKernel();

}  // namespace tidewell
