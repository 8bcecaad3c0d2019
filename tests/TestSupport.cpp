#include "TestSupport.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace tidewell::test {

TempDir::TempDir() {
    // A new folder of a name nobody else took; create_directory tells.
    static std::mt19937_64 random{std::random_device{}()};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "tidewell-%06llx",
                      static_cast<unsigned long long>(random() & 0xFFFFFFull));
        std::error_code ec;
        if (std::filesystem::create_directory(base / name, ec)) {
            path_ = (base / name).string();
            return;
        }
    }
    throw std::runtime_error("cannot make a scratch folder in " + base.string());
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

std::map<std::string, std::string> WriteProfile(const TempDir& dir, const std::string& list,
                                                const std::string& extra,
                                                const std::string& folder) {
    std::filesystem::create_directories(dir / (folder + "/KORU"));
    WriteFile(dir / (folder + "/KORU/tidewell.conf"),
              "[TidewellSetup]\nTODOLST2=" + list + "\n" + extra);
    return HeadlessEnv(dir, folder);
}

std::map<std::string, std::string> HeadlessEnv(const TempDir& dir, const std::string& folder) {
    return {{"XDG_CONFIG_HOME", dir / folder},
            {"WINEPREFIX", dir / "wine"},
            {"DISPLAY", ""},
            {"WAYLAND_DISPLAY", ""},
            {"QT_QPA_PLATFORM", ""}};
}

// Starting the program from a test is for Linux: under Wine the package is
// run end to end by tools/windows/e2e.sh instead.
#ifndef _WIN32

namespace {

int StatusOf(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

// This process's environment with `changes` made: empty values remove.
std::vector<std::string> EnvironmentWith(const std::map<std::string, std::string>& changes) {
    std::vector<std::string> vars;
    for (char** e = environ; *e; ++e) {
        const std::string var = *e;
        if (!changes.count(var.substr(0, var.find('=')))) vars.push_back(var);
    }
    for (const auto& [k, v] : changes) {
        if (!v.empty()) vars.push_back(k + "=" + v);
    }
    return vars;
}

std::vector<char*> Pointers(std::vector<std::string>& words) {
    std::vector<char*> p;
    for (auto& w : words) p.push_back(w.data());
    p.push_back(nullptr);
    return p;
}

}  // namespace

Started::Started(const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env, const RunOptions& options)
    : options_(options) {
    // Everything the child needs is made before the fork.
    std::vector<std::string> words = options.prefix;
    words.push_back(options.binary);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<std::string> vars = EnvironmentWith(env);
    std::vector<char*> argv = Pointers(words), envp = Pointers(vars);
    const std::string outPath = files_ / "out", errPath = files_ / "err";

    if (options.stdoutOnTerminal || options.stderrOnTerminal) {
        terminal_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (terminal_ < 0 || grantpt(terminal_) != 0 || unlockpt(terminal_) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        // We hold the other side too until the end, so that reading ours
        // never meets a hang-up before the program has opened it.
        screen_ = open(ptsname(terminal_), O_RDWR | O_NOCTTY | O_CLOEXEC);
        // Bytes as written: no LF to CR LF on the way to the screen.
        struct termios tio {};
        tcgetattr(screen_, &tio);
        cfmakeraw(&tio);
        tcsetattr(screen_, TCSANOW, &tio);
        struct winsize ws {};
        ws.ws_row = 24;
        ws.ws_col = options.columns;
        ioctl(terminal_, TIOCSWINSZ, &ws);
    }
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        if (screen_ >= 0) {
            setsid();  // a session of its own, with the terminal as its own
            ioctl(screen_, TIOCSCTTY, 0);
        }
        const int out = options.stdoutOnTerminal
                            ? screen_
                            : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = options.stderrOnTerminal
                            ? screen_
                            : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(open("/dev/null", O_RDONLY), 0);
        dup2(out, 1);
        dup2(err, 2);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
}

Started::~Started() {
    if (!reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (screen_ >= 0) close(screen_);
    if (terminal_ >= 0) close(terminal_);
}

void Started::Signal(int sig) const {
    if (!reaped_) kill(pid_, sig);
}

const RunResult& Started::Wait() {
    if (reaped_) return result_;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(options_.timeoutMs);
    char buf[4096];
    int st = 0;
    for (;;) {
        // Read the terminal while the program runs, so that it never blocks
        // on a full one; otherwise look in every millisecond.
        if (terminal_ >= 0) {
            struct pollfd p {
                terminal_, POLLIN, 0
            };
            if (poll(&p, 1, 1) > 0) {
                const ssize_t n = read(terminal_, buf, sizeof buf);
                if (n > 0) result_.terminal.append(buf, size_t(n));
            }
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (waitpid(pid_, &st, WNOHANG) == pid_) break;
        if (Clock::now() >= deadline) {
            result_.hung = true;
            kill(pid_, SIGKILL);
            waitpid(pid_, &st, 0);
            break;
        }
    }
    reaped_ = true;
    if (terminal_ >= 0) {
        // Whatever was still on its way.
        fcntl(terminal_, F_SETFL, O_NONBLOCK);
        for (ssize_t n; (n = read(terminal_, buf, sizeof buf)) > 0;) {
            result_.terminal.append(buf, size_t(n));
        }
    }
    result_.status = StatusOf(st);
    result_.killed = WIFSIGNALED(st);
    if (!options_.stdoutOnTerminal) result_.out = ReadFile(files_ / "out");
    if (!options_.stderrOnTerminal) result_.err = ReadFile(files_ / "err");
    return result_;
}

RunResult RunTidewell(const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env, const RunOptions& options) {
    return Started(args, env, options).Wait();
}

#endif

}  // namespace tidewell::test
