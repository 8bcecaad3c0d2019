// The block filters against the plain one-byte-at-a-time reference, for any
// bytes, interval, V2 flag and block size: the output and the result must match.
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

    tidewell::MemorySource src(in);
    tidewell::MemorySink out;
    if (reverse) {
        if (tidewell::RestoreLineFeeds(src, out, block) != 0) std::abort();
        if (out.data() != tidewell::test::ReferenceRestore(in)) std::abort();
        return 0;
    }
    const int64_t w = hp ? -static_cast<int64_t>(interval) : interval;
    const int result = tidewell::CutLineFeeds(src, out, w, forV2, block);
    const tidewell::test::ReferenceResult ref = tidewell::test::ReferenceCut(in, w, forV2);
    if (result != ref.result || out.data() != ref.out) std::abort();
    return 0;
}
