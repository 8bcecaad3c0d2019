// The to-do list scanner: which entries it finds and how many bytes each takes,
// in hand-made lists and, against a plain reference reader, in random ones. A
// random failure names its seed; to replay it, run the failing test with
// TIDEWELL_LIST_SEED set to that seed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "convert/ProcessTodoList.h"
#include "convert/TodoListScanner.h"

namespace tidewell {
namespace {

using test::ListBuilder;

struct Found {
    std::string kind, sub, file, trace;
    bool cut = false;  // the name ran past its 255 bytes
    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Found& f) {
    return os << "{" << f.kind << "|" << f.sub << "|" << f.file << "|" << f.trace
              << (f.cut ? "|cut" : "") << "}";
}

// Names are terminated text: what follows a NUL byte does not count.
std::string Text(const std::string& s) {
    return s.c_str();
}

std::vector<Found> Scan(const std::string& list, size_t bufferSize = 3) {
    MemorySource src(list);
    ByteReader reader(src, bufferSize);  // tiny buffers: refills land inside entries
    TodoListScanner scanner(reader);
    std::vector<Found> found;
    TodoEntry e;
    while (scanner.Next(&e)) {
        found.push_back({e.kindName, Text(e.subName), e.fileName, e.trace, e.fileNameCut});
    }
    return found;
}

std::string Hex(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(static_cast<char>(b));
    return s;
}

struct ScanCase {
    const char* name;
    std::string list;
    std::vector<Found> expected;
};

std::vector<ScanCase> Cases() {
    using S = std::string;
    return {
        {"patio entry",
         Hex({2, 9, 0x32, 5}) + "PATIO" + Hex({2}) + "ab" +
             Hex({0xFF, 0x11, 0x22, 0, 0x33, 0, 0, 0x44}) + "C:\\LOG\\P.TXT\r",
         {{"PATIO", "ab", "C:\\LOG\\P.TXT", ""}}},
        {"mail entry with a spread marker",
         Hex({2, 0x41, 9, 0x41, 0x32, 4}) + "MAIL" + Hex({7, 3}) + "xyz" +
             Hex({1, 2, 1, 0x41, 0, 2, 0x42, 0x43, 5, 6}) + "C:\\M.TXT" + S(1, '\0'),
         {{"MAIL", "xyz", "C:\\M.TXT", "MAIL xyz "}}},
        {"F entry whose terminator starts the next marker; list ends inside HP",
         Hex({2, 9, 0x32, 4}) + "FPCX" + Hex({5}) + "MES07" + Hex({0, 0, 0, 9}) + "D:\\F.LOG" +
             Hex({2, 9, 0x32, 2}) + "QQ" + Hex({9, 0x32, 2}) + "HP",
         {{"FPCX", "MES07", "D:\\F.LOG", "FPCX.07 "}, {"HP", "", "", ""}}},
        {"no marker", "just some bytes \x02\x09 but never the digit", {}},
        {"lower-case and unknown kinds are passed over",
         ListBuilder().Marker().Counted("patio").Raw("zz").Marker().Counted("XYZ").bytes() +
             ListBuilder().Board("PATIO", "s", "keep.txt").bytes(),
         {{"PATIO", "s", "keep.txt", ""}}},
        {"an unknown kind's length byte 2 restarts the marker",
         ListBuilder().Marker().Counted("QQ").Raw("\x09\x32").Counted("HP").Counted("s").bytes() +
             Hex({0xFF, 0, 0, 0x44}) + "h.txt\r",
         {{"HP", "s", "h.txt", ""}}},
        {"short sub-name of an S entry traces empty",
         ListBuilder().FileTransfer("SYS", "ab", "s.txt").bytes(),
         {{"SYS", "ab", "s.txt", "SYS. "}}},
        {"file name with spaces is read whole, stops at a high byte",
         ListBuilder().Board("PATIO", "x", "my log.txt", '\x80').bytes(),
         {{"PATIO", "x", "my log.txt", ""}}},
        {"file name stops at TAB",
         ListBuilder().Board("HP", "x", "a.txt", '\t').bytes(),
         {{"HP", "x", "a.txt", ""}}},
        {"over-long values are consumed whole and cut",
         ListBuilder().Marker().Counted("FABCDEFGHIJKLMNOPQRS").Counted("0123456789").bytes() +
             Hex({0xFF, 0, 0, 0x44}) + S(300, 'n') + "\r" +
             ListBuilder().Mail("abcdefghijklmnop", "m.txt").bytes(),
         {{"FABCDEFGHIJKLMN", "0123456", S(255, 'n'), "FABCDEFGHIJKLMN.3456 ", true},
          {"MAIL", "abcdefghijk", "m.txt", "MAIL abcdefghijk "}}},
        {"a name of exactly 255 bytes is whole",
         ListBuilder().Board("HP", "x", S(255, 'm')).bytes(),
         {{"HP", "x", S(255, 'm'), ""}}},
        {"mail with zero-length counted skips",
         ListBuilder()
             .Marker()
             .Counted("MAIL")
             .Raw("\x07")
             .Counted("s")
             .Raw("\x01\x02")
             .Raw(S(3, '\0'))
             .Raw("\x05\x06")
             .Raw("z.txt\r")
             .bytes(),
         {{"MAIL", "s", "z.txt", "MAIL s "}}},
        {"a complete name at the very end of the list is still used",
         ListBuilder()
             .Board("PATIO", "x", "end.txt")
             .bytes()
             .substr(0, ListBuilder().Board("PATIO", "x", "end.txt").bytes().size() - 1),
         {{"PATIO", "x", "end.txt", ""}}},
        {"a double-zero skip starts afresh",
         ListBuilder()
             .Marker()
             .Counted("PATIO")
             .Counted("x")
             .Raw(S("\0", 1))
             .Raw(S("\x01\0\x01\0\0", 5))
             .Raw("\x44p.txt\r")
             .bytes(),
         {{"PATIO", "x", "p.txt", ""}}},
    };
}

TEST(TodoListScanner, FindsExactlyTheseEntries) {
    for (const ScanCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Scan(c.list), c.expected);
    }
}

// The reader written the plain way, one byte at a time from the list's rules,
// into fixed, terminated buffers.
std::vector<Found> ReferenceScan(const std::string& list) {
    constexpr int kEnd = -1;
    size_t pos = 0;
    auto get = [&]() -> int {
        return pos < list.size() ? static_cast<uint8_t>(list[pos++]) : kEnd;
    };
    int state = 0;
    auto feed = [&](int v) {
        if (state == 0 && v == 0x02) {
            state = 1;
        } else if (state == 1 && v == 0x09) {
            state = 2;
        } else if (state == 2 && v == 0x32) {
            state = 3;
        }
    };
    // A body of n bytes, all consumed, the first `cap` kept.
    auto body = [&](int n, char* buf, size_t cap) {
        size_t kept = 0;
        for (int i = 0; i < n; ++i) {
            const int c = get();
            if (c != kEnd && kept < cap) buf[kept++] = static_cast<char>(c);
        }
        buf[kept] = '\0';
    };
    auto counted = [&](char* buf, size_t cap) { body(std::max(get(), 0), buf, cap); };
    auto skipToZeroPair = [&] {
        for (int prev = kEnd, c = get(); c != kEnd; prev = c, c = get()) {
            if (c == 0 && prev == 0) return;
        }
    };
    auto nameRun = [&](char* buf, bool* cut) {
        size_t kept = 0;
        for (;;) {
            const int c = get();
            if (c < 0x20 || c > 0x7E) {
                buf[kept] = '\0';
                return c;
            }
            if (kept < 255) {
                buf[kept++] = static_cast<char>(c);
            } else {
                *cut = true;
            }
        }
    };

    std::vector<Found> found;
    for (int b = get(); b != kEnd; b = get()) {
        if (state != 3) {
            feed(b);
            continue;
        }
        char kind[16], sub[12] = "", file[256] = "", junk[1];
        body(b, kind, 15);
        bool cut = false;
        int end;
        std::string trace;
        if (kind[0] == 'F' || kind[0] == 'S') {
            counted(sub, 7);
            get();
            skipToZeroPair();
            get();
            end = nameRun(file, &cut);
            trace = std::string(kind) + "." + (std::strlen(sub) > 3 ? sub + 3 : "") + " ";
        } else if (!std::strcmp(kind, "PATIO") || !std::strcmp(kind, "HP")) {
            counted(sub, 11);
            get();
            skipToZeroPair();
            get();
            end = nameRun(file, &cut);
        } else if (!std::strcmp(kind, "MAIL")) {
            get();
            counted(sub, 11);
            get();
            get();
            for (int i = 0; i < 3; ++i) counted(junk, 0);
            get();
            get();
            end = nameRun(file, &cut);
            trace = std::string(kind) + " " + sub + " ";
        } else {
            state = 0;
            feed(b);
            continue;
        }
        found.push_back({kind, sub, file, trace, cut});
        state = 0;
        if (end != kEnd) feed(end);
    }
    return found;
}

// Lists built from the landmarks the reader knows, with the bytes it must not
// be misled by: spread and partial markers, names ended by every kind of byte
// (0x02 ones often followed by the rest of a marker), zeros inside skips,
// over-long fields, and lists cut short anywhere.
std::string RandomList(uint64_t seed) {
    std::mt19937_64 rng(seed);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    static const uint8_t kTricky[] = {0, 0, 2, 9, 0x32, 0x0D, 0x20, 0x7E, 0x7F, 0x80, 0xFF, 'F'};
    auto anyByte = [&] {
        return static_cast<char>(pick(3) == 0 ? pick(256) : kTricky[pick(sizeof kTricky)]);
    };
    std::string s;
    auto counted = [&](size_t maxLen) {
        const size_t n = pick(maxLen + 1);
        s.push_back(static_cast<char>(n));
        for (size_t i = 0; i < n; ++i)
            s.push_back(pick(2) ? static_cast<char>('a' + pick(26)) : anyByte());
    };
    bool afterMarkerStart = false;  // the last name ended with 0x02
    auto marker = [&] {
        if (afterMarkerStart && pick(3) != 0) {
            s += "\x09\x32";
        } else if (pick(4) == 0) {
            s += "\x02";
            s.push_back(anyByte());
            s += "\x09";
            s.push_back(anyByte());
            s += "\x32";
        } else {
            s += "\x02\x09\x32";
        }
        afterMarkerStart = false;
    };
    auto name = [&] {
        const size_t len = pick(6) == 0 ? 250 + pick(12) : pick(30);
        static const char kChars[] = "AZaz09 ._-:\\/~";
        for (size_t i = 0; i < len; ++i) s.push_back(kChars[pick(sizeof kChars - 1)]);
        static const char kEnds[] = {0x0D, 0x00, 0x02, 0x02, 0x02, 0x09, 0x1F, 0x7F};
        const char end =
            pick(8) == 0 ? static_cast<char>(0x80 + pick(128)) : kEnds[pick(sizeof kEnds)];
        s.push_back(end);
        afterMarkerStart = end == 0x02;
    };
    auto zeroPairSkip = [&] {
        for (size_t i = pick(6); i > 0; --i) s.push_back(pick(2) ? '\0' : anyByte());
        s += std::string(2, '\0');
    };
    static const char* const kKinds[] = {"F",   "S",    "FPCX", "SYS",  "PATIO",
                                         "HP",  "MAIL", "MAIL", "HP",   "patio",
                                         "XYZ", "",     "QQ",   "Mail", "FABCDEFGHIJKLMNOPQRST"};
    for (size_t piece = pick(14); piece > 0; --piece) {
        if (pick(6) == 0) {
            for (size_t i = pick(8); i > 0; --i) s.push_back(anyByte());
            continue;
        }
        marker();
        const std::string kind = kKinds[pick(sizeof kKinds / sizeof kKinds[0])];
        s.push_back(static_cast<char>(kind.size()));
        s += kind;
        if (kind == "MAIL") {
            s.push_back(anyByte());
            counted(14);
            s.push_back(anyByte());
            s.push_back(anyByte());
            for (int i = 0; i < 3; ++i) counted(4);
            s.push_back(anyByte());
            s.push_back(anyByte());
            name();
        } else if (kind[0] == 'F' || kind[0] == 'S' || kind == "PATIO" || kind == "HP") {
            counted(kind[0] == 'F' || kind[0] == 'S' ? 10 : 14);
            s.push_back(anyByte());
            zeroPairSkip();
            s.push_back(anyByte());
            name();
        } else {
            // An unknown kind's length byte is fed to the marker: 2 starts one.
            afterMarkerStart = kind.size() == 2;
        }
    }
    if (pick(4) == 0) s.resize(pick(s.size() + 1));
    return s;
}

std::vector<uint64_t> Seeds(uint64_t first, uint64_t last) {
    if (const char* v = std::getenv("TIDEWELL_LIST_SEED")) return {std::strtoull(v, nullptr, 0)};
    std::vector<uint64_t> seeds;
    for (uint64_t s = first; s <= last; ++s) seeds.push_back(s);
    return seeds;
}

TEST(TodoListScanner, MatchesTheReferenceReaderOnRandomLists) {
    // Both readers must agree on the hand-made lists too.
    for (const ScanCase& c : Cases()) EXPECT_EQ(ReferenceScan(c.list), c.expected) << c.name;
    size_t entries = 0;
    for (const uint64_t seed : Seeds(1, 2000)) {
        const std::string list = RandomList(seed);
        const std::vector<Found> want = ReferenceScan(list);
        entries += want.size();
        for (const size_t buffer : {size_t{1}, size_t{7}, size_t{4096}}) {
            ASSERT_EQ(Scan(list, buffer), want) << "seed " << seed << ", buffer " << buffer;
        }
    }
    EXPECT_GT(entries, 1000u);  // the lists are not all noise
}

// Progress reports how far the scan has got, not how much has been read
// ahead: the list is far smaller than one read, yet each entry reports the
// offset just past its own bytes.
TEST(TodoListScanner, ProgressIsTheScannersPosition) {
    test::TempDir dir;
    ListBuilder list;
    std::vector<uint64_t> ends;
    for (const char* name : {"a.log", "b.log", "c.log"}) {
        list.Board("PATIO", "x", dir / name);
        ends.push_back(list.bytes().size());
    }
    list.Raw("trailing bytes that name no log");
    test::WriteFile(dir / "TODOLST2.DAT", list.bytes());
    std::ostringstream out, err;
    Io io;
    ConvertEnv env(io, out, err);
    std::vector<uint64_t> offsets;
    env.progress = [&](const EntryProgress& p) {
        EXPECT_EQ(p.listSize, list.bytes().size());
        offsets.push_back(p.listOffset);
        return true;
    };
    ConvertSettings s;
    s.m_strTodoPath = dir / "TODOLST2.DAT";
    ProcessTodoList(s, env);
    EXPECT_EQ(offsets, ends);
}

}  // namespace
}  // namespace tidewell
