// Writes a small HARUCOM tree to try the converter on: a to-do list naming a
// few logs of each kind, the logs, and a profile that points at the list.
//
// With a second argument, the tree is HARUCOM's as seen from Windows: the list
// and the profile name the folder by that name (e.g. C:\HARUCOM), and the list
// is also written where the built-in default path looks (TODOLST2, no ".DAT").
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Counted(const std::string& s) {
    return std::string(1, char(s.size())) + s;
}

const std::string kMarker = "\x02\x09\x32";
const std::string kFiller = std::string(
    "\xFF"
    "ab\0\0"
    "\x44",
    6);

std::string Board(const std::string& kind, const std::string& sub, const std::string& file) {
    return kMarker + Counted(kind) + Counted(sub) + kFiller + file + "\r";
}

std::string Mail(const std::string& sub, const std::string& file) {
    return kMarker + Counted("MAIL") + "\x07" + Counted(sub) + "\x01\x02" + Counted("A") +
           Counted("") + Counted("BC") + "\x05\x06" + file + "\r";
}

std::string Lines(const std::string& prefix, int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) text += prefix + " line " + std::to_string(i) + "\r\n";
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make-sample FOLDER [WINDOWS-NAME-OF-FOLDER]\n");
        return 2;
    }
    const std::string root = argv[1];
    const std::string logs = root + "/LOG/";
    // How the list and the profile name the folder and its logs.
    const std::string named = argc == 3 ? argv[2] : root;
    const char sep = argc == 3 ? '\\' : '/';
    const std::string namedLogs = named + sep + "LOG" + sep;
    std::error_code ec;
    std::filesystem::create_directories(logs, ec);
    std::filesystem::create_directories(root + "/config/KORU", ec);

    Write(logs + "MAIL01.TXT", "TO: friend\r\n" + Lines("mail", 7));
    Write(logs + "PATIO01.TXT", Lines("patio", 8));
    Write(logs + "HP01.TXT", Lines("home page", 6));
    Write(logs + "FILE01.LOG", Lines("transfer", 5));
    const std::string list = std::string("HARUCOM to-do\0\0", 15) +
                             Mail("inbox", namedLogs + "MAIL01.TXT") +
                             Board("PATIO", "board", namedLogs + "PATIO01.TXT") +
                             Board("HP", "page", namedLogs + "HP01.TXT") +
                             Board("FPCX", "MES07", namedLogs + "FILE01.LOG") +
                             Board("PATIO", "gone", namedLogs + "MISSING.TXT");
    Write(root + "/TODOLST2.DAT", list);
    if (argc == 3) Write(root + "/TODOLST2", list);
    // A slash after the folder: in the profile file a backslash escapes, and
    // either separator leads to the same file.
    Write(root + "/config/KORU/tidewell.conf", "[TidewellSetup]\nTODOLST2=" + named +
                                                   "/TODOLST2.DAT\nLINES=2\nREVERSE=0\n"
                                                   "BACKUP=1\nFORV2=0\n");
    std::printf("sample HARUCOM tree written to %s\n", root.c_str());
    return 0;
}
