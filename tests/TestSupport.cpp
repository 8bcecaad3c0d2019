#include "TestSupport.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tidewell::test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tidewell-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

ListBuilder& ListBuilder::Raw(const std::string& bytes) {
    bytes_ += bytes;
    return *this;
}
ListBuilder& ListBuilder::Marker() {
    return Raw("\x02\x09\x32");
}
ListBuilder& ListBuilder::Counted(const std::string& s) {
    bytes_.push_back(static_cast<char>(s.size()));
    return Raw(s);
}
ListBuilder& ListBuilder::FileTransfer(const std::string& kind, const std::string& sub,
                                       const std::string& file, char terminator) {
    Marker().Counted(kind).Counted(sub);
    Raw(std::string("\xFF"
                    "ab\0\0"
                    "\x44",
                    6))
        .Raw(file);
    bytes_.push_back(terminator);
    return *this;
}
ListBuilder& ListBuilder::Board(const std::string& kind, const std::string& sub,
                                const std::string& file, char terminator) {
    return FileTransfer(kind, sub, file, terminator);
}
ListBuilder& ListBuilder::Mail(const std::string& sub, const std::string& file, char terminator) {
    Marker().Counted("MAIL").Raw("\x07").Counted(sub).Raw("\x01\x02");
    Counted("A").Counted("").Counted("BC").Raw("\x05\x06").Raw(file);
    bytes_.push_back(terminator);
    return *this;
}

void WriteProfile(const TempDir& dir, const std::string& list, const std::string& extra) {
    std::filesystem::create_directories(dir / "config/KORU");
    WriteFile(dir / "config/KORU/tidewell.conf",
              "[TidewellSetup]\nTODOLST2=" + list + "\n" + extra);
}

std::map<std::string, std::string> HeadlessEnv(const TempDir& dir) {
    return {{"XDG_CONFIG_HOME", dir / "config"},
            {"WINEPREFIX", dir / "wine"},
            {"DISPLAY", ""},
            {"WAYLAND_DISPLAY", ""},
            {"QT_QPA_PLATFORM", ""}};
}

RunResult RunTidewell(const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env) {
    char outName[] = "/tmp/tidewell-out-XXXXXX";
    char errName[] = "/tmp/tidewell-err-XXXXXX";
    const int outFd = mkstemp(outName);
    const int errFd = mkstemp(errName);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, 1);
        dup2(errFd, 2);
        const int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        for (const auto& [k, v] : env) {
            if (v.empty()) {
                unsetenv(k.c_str());
            } else {
                setenv(k.c_str(), v.c_str(), 1);
            }
        }
        std::vector<char*> argv;
        std::string bin = TIDEWELL_BINARY;
        argv.push_back(bin.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(bin.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(outFd);
    close(errFd);
    RunResult r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadFile(outName);
    r.err = ReadFile(errName);
    unlink(outName);
    unlink(errName);
    return r;
}

}  // namespace tidewell::test
