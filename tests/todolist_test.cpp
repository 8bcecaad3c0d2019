// The to-do list scanner: which entries it finds and how many bytes each takes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "convert/TodoListScanner.h"

namespace tidewell {
namespace {

using test::ListBuilder;

struct Found {
    std::string kind, sub, file, trace;
    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Found& f) {
    return os << "{" << f.kind << "|" << f.sub << "|" << f.file << "|" << f.trace << "}";
}

std::vector<Found> Scan(const std::string& list) {
    MemorySource src(list);
    ByteReader reader(src, 3);  // tiny buffer: refills land inside entries
    TodoListScanner scanner(reader);
    std::vector<Found> found;
    TodoEntry e;
    while (scanner.Next(&e)) found.push_back({e.kindName, e.subName, e.fileName, e.trace});
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
         {{"FABCDEFGHIJKLMN", "0123456", S(255, 'n'), "FABCDEFGHIJKLMN.3456 "},
          {"MAIL", "abcdefghijk", "m.txt", "MAIL abcdefghijk "}}},
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

}  // namespace
}  // namespace tidewell
