// The block filters against the plain one-byte-at-a-time reference, for any
// bytes, interval, V2 flag and block size, on every kernel this machine runs:
// the output and the result must match.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ReferenceFilters.h"
#include "convert/ByteStreams.h"
#include "convert/LineFeedFilters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Header: 4 bytes of interval, 1 byte of flags, 2 bytes of block size.
    if (size < 7) return 0;
    int32_t interval;
    std::memcpy(&interval, data, 4);
    const bool forV2 = data[4] & 1;
    const bool reverse = data[4] & 2;
    const bool hp = data[4] & 4;  // the list's HP entries negate the interval
    const size_t block = (size_t(data[5]) << 8 | data[6]) + 1;
    const std::string in(reinterpret_cast<const char*>(data) + 7, size - 7);

    const int64_t w = hp ? -static_cast<int64_t>(interval) : interval;
    const tidewell::test::ReferenceResult want =
        reverse ? tidewell::test::ReferenceResult{tidewell::test::ReferenceRestore(in), 0}
                : tidewell::test::ReferenceCut(in, w, forV2);
    // Every kernel this machine runs, each against the reference.
    for (const std::string& kernel : tidewell::LineFeedKernels()) {
        const tidewell::test::KernelInUse use(kernel);
        if (!use.ok()) std::abort();
        tidewell::MemorySource src(in);
        tidewell::MemorySink out;
        const int result = reverse ? tidewell::RestoreLineFeeds(src, out, block)
                                   : tidewell::CutLineFeeds(src, out, w, forV2, block);
        if (result != want.result || out.data() != want.out) std::abort();
    }
    return 0;
}
