// The to-do list reader on arbitrary bytes: it must end, keep every field
// within its capacity, let only printable bytes into a file name, and find the
// same entries however the list is cut into reads.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "convert/ByteStreams.h"
#include "convert/TodoListScanner.h"

namespace {

using tidewell::ByteReader;
using tidewell::TodoEntry;

// Hands out the list in pieces of changing size, as a slow file might.
class ChoppySource : public tidewell::ByteSource {
  public:
    ChoppySource(const std::string& data, uint8_t seed) : data_(data), seed_(seed) {}
    ptrdiff_t Read(uint8_t* buf, size_t cap) override {
        seed_ = static_cast<uint8_t>(seed_ * 37 + 11);
        size_t n = std::min<size_t>({cap, data_.size() - pos_, static_cast<size_t>(seed_ % 7 + 1)});
        std::copy_n(data_.data() + pos_, n, buf);
        pos_ += n;
        return static_cast<ptrdiff_t>(n);
    }

  private:
    const std::string& data_;
    size_t pos_ = 0;
    uint8_t seed_;
};

std::vector<TodoEntry> Scan(tidewell::ByteSource& src, size_t capacity) {
    ByteReader reader(src, capacity);
    tidewell::TodoListScanner scanner(reader);
    std::vector<TodoEntry> entries;
    TodoEntry e;
    while (scanner.Next(&e)) {
        if (e.kindName.size() > tidewell::kKindNameCapacity) std::abort();
        const bool shortSub = e.kind == tidewell::EntryKind::kFileTransfer;
        if (e.subName.size() >
            (shortSub ? tidewell::kShortSubNameCapacity : tidewell::kSubNameCapacity)) {
            std::abort();
        }
        if (e.fileName.size() > tidewell::kFileNameCapacity) std::abort();
        for (unsigned char c : e.fileName) {
            if (c < 0x20 || c > 0x7E) std::abort();
        }
        entries.push_back(e);
    }
    return entries;
}

bool Same(const std::vector<TodoEntry>& a, const std::vector<TodoEntry>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].kind != b[i].kind || a[i].kindName != b[i].kindName ||
            a[i].subName != b[i].subName || a[i].fileName != b[i].fileName ||
            a[i].fileNameCut != b[i].fileNameCut || a[i].trace != b[i].trace) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string list(reinterpret_cast<const char*>(data), size);
    tidewell::MemorySource whole(list);
    const std::vector<TodoEntry> one = Scan(whole, std::max<size_t>(size, 1));
    ChoppySource pieces(list, size ? data[0] : 0);
    const std::vector<TodoEntry> other = Scan(pieces, 3);
    if (!Same(one, other)) std::abort();
    return 0;
}
