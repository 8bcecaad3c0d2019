// Fixed cases of both filters, written with \r for CR and \n for LF.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "ReferenceFilters.h"
#include "convert/LineFeedFilters.h"

namespace tidewell {
namespace {

struct CutCase {
    const char* name;
    std::string input;
    int64_t interval;
    bool forV2;
    std::string output;
    int result;
};

const std::string kSix = "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\n";
const std::string kNine = "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n";

const CutCase kCutCases[] = {
    {"six_lines_interval_0", kSix, 0, false, "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\n\n", 0},
    {"six_lines_interval_1", kSix, 1, false, "a\rb\r\nc\rd\r\ne\rf\r\n\n", 0},
    {"six_lines_interval_2", kSix, 2, false, "a\rb\rc\r\nd\re\rf\r\n\n", 0},
    {"six_lines_interval_3", kSix, 3, false, "a\rb\rc\rd\r\ne\rf\r\n", 0},
    {"six_lines_interval_100", kSix, 100, false, "a\rb\rc\rd\re\rf\r\n", 0},
    {"six_lines_interval_minus_1", kSix, -1, false, "a\rb\rc\rd\re\rf\r\n", 0},
    {"six_lines_interval_minus_2", kSix, -2, false, "a\r\nb\rc\r\nd\re\rf\r\n\n", 0},
    {"six_lines_interval_minus_100", kSix, -100, false, "a\r\nb\rc\rd\re\rf\r\n", 0},
    {"six_lines_v2_interval_2", kSix, 2, true, "a\rb\rc\r\nd\r\ne\rf\r\n", 0},
    {"six_lines_v2_interval_100", kSix, 100, true, "a\rb\rc\r\nd\re\rf\r\n", 0},
    {"header_TO_interval_3", "TO:x\r\ny\r\nz\r\nw\r\nv\r\nu\r\n", 3, false,
     "TO:x\r\ny\r\nz\r\nw\r\nv\ru\r", -1},
    {"header_to_v2_interval_minus_7", "to:x\r\ny\r\nz\r\nw\r\nv\r\nu\r\n", -7, true,
     "to:x\r\ny\r\nz\r\nw\r\nv\ru\r", -1},
    {"header_mark_alone", "TO:", 100, false, "TO:", -1},
    {"nine_lines_v2_interval_2", kNine, 2, true, "1\r2\r3\r\n4\r\n5\r6\r7\r\n8\r9\r\n", 0},
    {"nine_lines_v2_interval_1", kNine, 1, true, "1\r2\r\n3\r\n4\r5\r\n6\r7\r\n8\r9\r\n\n", 0},
    {"nine_lines_interval_minus_5", kNine, -5, false, "1\r\n2\r3\r4\r5\r6\r\n7\r8\r9\r\n", 0},
    {"bare_lfs_dropped", "a\nb\n", 0, false, "ab\n", 0},
    {"leading_line_end", "\r\na\r\nb\r\n", 1, false, "\ra\rb\r\n\n", 0},
    {"empty_input", "", 100, false, "\n", 0},
    {"one_byte_T", "T", 100, false, "T\n", 0},
    {"opening_To_then_end", "To", 100, false, "To\n", 0},
    {"cr_of_opening_check_not_counted", "To\r\nx\r\n", 0, false, "To\rx\r\n\n", 0},
    {"no_colon_is_normal_mode", "TOx\r\n", 0, false, "TOx\r\n\n", 0},
    {"first_lf_written_by_opening_check", "\n\r\n", 0, false, "\n\r\n\n", 0},
    // The most negative setting is negated without overflow: its first LF is
    // kept, after that the interval is beyond any file.
    {"interval_int32_min", kSix, INT32_MIN, false, "a\r\nb\rc\rd\re\rf\r\n", 0},
    {"interval_minus_int32_min", kSix, -static_cast<int64_t>(INT32_MIN), false,
     "a\rb\rc\rd\re\rf\r\n", 0},
    {"v2_interval_int32_max", kSix, INT32_MAX, true, "a\rb\rc\r\nd\re\rf\r\n", 0},
};

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

class CutTable : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutTable, GivesExactBytesForEveryBlockSize) {
    const CutCase& c = GetParam();
    for (const std::string& kernel : LineFeedKernels()) {
        test::KernelInUse use(kernel);
        for (size_t block : {size_t(1), size_t(2), size_t(3), kFilterBlockSize}) {
            MemorySource in(c.input);
            MemorySink out;
            const int result = CutLineFeeds(in, out, c.interval, c.forV2, block);
            EXPECT_EQ(out.data(), c.output) << kernel << ", block " << block;
            EXPECT_EQ(result, c.result) << kernel << ", block " << block;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CutTable, ::testing::ValuesIn(kCutCases), CaseName<CutCase>);

struct RestoreCase {
    const char* name;
    std::string input;
    std::string output;
};

const RestoreCase kRestoreCases[] = {
    {"bare_crs_get_lfs", "a\rb\r\nc\r", "a\r\nb\r\nc\r\n"},
    {"cr_before_crlf", "a\r\r\nb", "a\r\n\r\nb"},
    {"empty_input", "", ""},
    {"bare_lf_kept", "a\nb", "a\nb"},
    {"only_crs", "\r\r\r", "\r\n\r\n\r\n"},
};

class RestoreTable : public ::testing::TestWithParam<RestoreCase> {};

TEST_P(RestoreTable, GivesExactBytesForEveryBlockSize) {
    const RestoreCase& c = GetParam();
    for (const std::string& kernel : LineFeedKernels()) {
        test::KernelInUse use(kernel);
        for (size_t block : {size_t(1), size_t(2), kFilterBlockSize}) {
            MemorySource in(c.input);
            MemorySink out;
            EXPECT_EQ(RestoreLineFeeds(in, out, block), 0);
            EXPECT_EQ(out.data(), c.output) << kernel << ", block " << block;
        }
    }
}

// The best kernel this processor runs is the one used, so that a failing check
// of the processor or a kernel left out of the build cannot pass unseen.
TEST(KernelChoice, TheBestThisProcessorRunsIsUsed) {
#if defined(__x86_64__)
    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
                      __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
    const std::vector<std::string> expected =
        avx2 ? std::vector<std::string>{"portable", "sse2", "avx2"}
             : std::vector<std::string>{"portable", "sse2"};
#else
    const std::vector<std::string> expected{"portable"};
#endif
    EXPECT_EQ(LineFeedKernels(), expected);
    EXPECT_EQ(BestLineFeedKernel(), expected.back());
    EXPECT_EQ(ActiveLineFeedKernel(), expected.back());
    {
        test::KernelInUse use("portable");
        EXPECT_EQ(ActiveLineFeedKernel(), "portable");
        EXPECT_FALSE(UseLineFeedKernel("neon"));
        EXPECT_EQ(ActiveLineFeedKernel(), "portable");
    }
    EXPECT_EQ(ActiveLineFeedKernel(), expected.back());
}

INSTANTIATE_TEST_SUITE_P(Cases, RestoreTable, ::testing::ValuesIn(kRestoreCases),
                         CaseName<RestoreCase>);

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
