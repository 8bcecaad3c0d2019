// Runs a program with its standard output and error each going to a file or
// to a pseudo-terminal, and collects all three.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace tidewell::test {

struct SpawnOptions {
    bool stdoutOnTerminal = false;
    bool stderrOnTerminal = false;
    unsigned short columns = 80;  // of the terminal
};

struct Spawned {
    int status = -1;
    std::string out;       // standard output when not on the terminal
    std::string err;       // standard error when not on the terminal
    std::string terminal;  // everything written to the terminal, raw
};

// env entries with an empty value are removed; others are set.
inline Spawned Spawn(const std::string& program, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env, const SpawnOptions& opt = {}) {
    Spawned r;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return r;
    const std::string slaveName = ptsname(master);
    struct winsize ws {};
    ws.ws_row = 24;
    ws.ws_col = opt.columns;
    ioctl(master, TIOCSWINSZ, &ws);

    TempDir files;
    const std::string outPath = files / "out";
    const std::string errPath = files / "err";
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        const int slave = open(slaveName.c_str(), O_RDWR);
        // Bytes as written: no LF to CR LF on the way to the screen.
        struct termios tio {};
        tcgetattr(slave, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
        const int out =
            opt.stdoutOnTerminal ? slave : open(outPath.c_str(), O_WRONLY | O_CREAT, 0600);
        const int err =
            opt.stderrOnTerminal ? slave : open(errPath.c_str(), O_WRONLY | O_CREAT, 0600);
        dup2(open("/dev/null", O_RDONLY), 0);
        dup2(out, 1);
        dup2(err, 2);
        for (const auto& [k, v] : env) {
            if (v.empty()) {
                unsetenv(k.c_str());
            } else {
                setenv(k.c_str(), v.c_str(), 1);
            }
        }
        std::vector<std::string> words = args;
        words.insert(words.begin(), program);
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    // Read the terminal while the program runs, so it never blocks on a full
    // terminal; the end shows as EIO once the last holder of the other side
    // has gone.
    char buf[4096];
    for (;;) {
        struct pollfd p {
            master, POLLIN, 0
        };
        if (poll(&p, 1, 200) == 0) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            continue;
        }
        const ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        r.terminal.append(buf, size_t(n));
    }
    if (r.status < 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    // Whatever was still on its way.
    fcntl(master, F_SETFL, O_NONBLOCK);
    for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;) r.terminal.append(buf, size_t(n));
    close(master);
    if (!opt.stdoutOnTerminal) r.out = ReadFile(outPath);
    if (!opt.stderrOnTerminal) r.err = ReadFile(errPath);
    return r;
}

// What a terminal shows after these bytes: printable bytes overwrite the
// cell under the cursor, CR goes to the line's start, LF to the next line.
inline std::vector<std::string> Screen(const std::string& bytes) {
    std::vector<std::string> lines(1);
    size_t col = 0;
    for (const char c : bytes) {
        if (c == '\r') {
            col = 0;
        } else if (c == '\n') {
            lines.emplace_back();
            col = 0;
        } else {
            std::string& line = lines.back();
            if (line.size() <= col) line.resize(col + 1, ' ');
            line[col++] = c;
        }
    }
    // Trailing blanks are not visible.
    for (std::string& line : lines) line.erase(line.find_last_not_of(' ') + 1);
    return lines;
}

}  // namespace tidewell::test
