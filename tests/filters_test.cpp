// Fixed cases of both filters, written with \r for CR and \n for LF.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "convert/LineFeedFilters.h"

namespace tidewell {
namespace {

struct CutCase {
    std::string input;
    int64_t interval;
    bool forV2;
    std::string output;
    int result;
};

const std::string kSix = "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\n";
const std::string kNine = "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n";

const CutCase kCutCases[] = {
    {kSix, 0, false, "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\n\n", 0},
    {kSix, 1, false, "a\rb\r\nc\rd\r\ne\rf\r\n\n", 0},
    {kSix, 2, false, "a\rb\rc\r\nd\re\rf\r\n\n", 0},
    {kSix, 3, false, "a\rb\rc\rd\r\ne\rf\r\n", 0},
    {kSix, 100, false, "a\rb\rc\rd\re\rf\r\n", 0},
    {kSix, -1, false, "a\rb\rc\rd\re\rf\r\n", 0},
    {kSix, -2, false, "a\r\nb\rc\r\nd\re\rf\r\n\n", 0},
    {kSix, -100, false, "a\r\nb\rc\rd\re\rf\r\n", 0},
    {kSix, 2, true, "a\rb\rc\r\nd\r\ne\rf\r\n", 0},
    {kSix, 100, true, "a\rb\rc\r\nd\re\rf\r\n", 0},
    {"TO:x\r\ny\r\nz\r\nw\r\nv\r\nu\r\n", 3, false, "TO:x\r\ny\r\nz\r\nw\r\nv\ru\r", -1},
    {"to:x\r\ny\r\nz\r\nw\r\nv\r\nu\r\n", -7, true, "to:x\r\ny\r\nz\r\nw\r\nv\ru\r", -1},
    {"TO:", 100, false, "TO:", -1},
    {kNine, 2, true, "1\r2\r3\r\n4\r\n5\r6\r7\r\n8\r9\r\n", 0},
    {kNine, 1, true, "1\r2\r\n3\r\n4\r5\r\n6\r7\r\n8\r9\r\n\n", 0},
    {kNine, -5, false, "1\r\n2\r3\r4\r5\r6\r\n7\r8\r9\r\n", 0},
    {"a\nb\n", 0, false, "ab\n", 0},
    {"\r\na\r\nb\r\n", 1, false, "\ra\rb\r\n\n", 0},
    {"", 100, false, "\n", 0},
    {"T", 100, false, "T\n", 0},
    {"To", 100, false, "To\n", 0},
    {"To\r\nx\r\n", 0, false, "To\rx\r\n\n", 0},  // the opening check's CR is not counted
    {"TOx\r\n", 0, false, "TOx\r\n\n", 0},        // no colon: normal mode
    {"\n\r\n", 0, false, "\n\r\n\n", 0},          // a first LF is written by the opening check
    // The most negative setting is negated without overflow: its first LF is
    // kept, after that the interval is beyond any file.
    {kSix, INT32_MIN, false, "a\r\nb\rc\rd\re\rf\r\n", 0},
    {kSix, -static_cast<int64_t>(INT32_MIN), false, "a\rb\rc\rd\re\rf\r\n", 0},
    {kSix, INT32_MAX, true, "a\rb\rc\r\nd\re\rf\r\n", 0},
};

class CutTable : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutTable, GivesExactBytesForEveryBlockSize) {
    const CutCase& c = GetParam();
    for (size_t block : {size_t(1), size_t(2), size_t(3), kFilterBlockSize}) {
        MemorySource in(c.input);
        MemorySink out;
        const int result = CutLineFeeds(in, out, c.interval, c.forV2, block);
        EXPECT_EQ(out.data(), c.output) << "block " << block;
        EXPECT_EQ(result, c.result) << "block " << block;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CutTable, ::testing::ValuesIn(kCutCases));

struct RestoreCase {
    std::string input;
    std::string output;
};

const RestoreCase kRestoreCases[] = {
    {"a\rb\r\nc\r", "a\r\nb\r\nc\r\n"}, {"a\r\r\nb", "a\r\n\r\nb"}, {"", ""}, {"a\nb", "a\nb"},
    {"\r\r\r", "\r\n\r\n\r\n"},
};

class RestoreTable : public ::testing::TestWithParam<RestoreCase> {};

TEST_P(RestoreTable, GivesExactBytesForEveryBlockSize) {
    const RestoreCase& c = GetParam();
    for (size_t block : {size_t(1), size_t(2), kFilterBlockSize}) {
        MemorySource in(c.input);
        MemorySink out;
        EXPECT_EQ(RestoreLineFeeds(in, out, block), 0);
        EXPECT_EQ(out.data(), c.output) << "block " << block;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RestoreTable, ::testing::ValuesIn(kRestoreCases));

// A sink that refuses after a number of bytes, as a full disk would.
class FullSink : public ByteSink {
  public:
    explicit FullSink(size_t room) : room_(room) {}
    bool Write(const uint8_t*, size_t n) override {
        if (n > room_) return false;
        room_ -= n;
        return true;
    }

  private:
    size_t room_;
};

TEST(Filters, StopAtTheFirstRefusedWrite) {
    const std::string big(1 << 20, 'x');
    MemorySource in(big);
    FullSink out(1000);
    CutLineFeeds(in, out, 100, false, 4096);  // must return rather than spin
    SUCCEED();
}

}  // namespace
}  // namespace tidewell
