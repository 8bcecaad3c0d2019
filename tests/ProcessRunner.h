// Starting the built program in the background: for killing it at a chosen
// moment, running two at once, or running it as an unprivileged user.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

namespace tidewell::test {

class Child {
  public:
    // prefix: words put before the program, e.g. {"setpriv", "--reuid=65534", ...}.
    // binary: the program to run, the one just built unless told otherwise.
    Child(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
          const std::vector<std::string>& prefix = {},
          const std::string& binary = TIDEWELL_BINARY) {
        char errName[] = "/tmp/tidewell-child-err-XXXXXX";
        const int errFd = mkstemp(errName);
        errPath_ = errName;
        pid_ = fork();
        if (pid_ == 0) {
            const int devnull = open("/dev/null", O_RDWR);
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(errFd, 2);
            for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
            std::vector<std::string> words = prefix;
            words.push_back(binary);
            words.insert(words.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (auto& w : words) argv.push_back(w.data());
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        close(errFd);
    }
    ~Child() {
        if (!reaped_) {
            kill(pid_, SIGKILL);
            Wait();
        }
        unlink(errPath_.c_str());
    }
    void Kill() { kill(pid_, SIGKILL); }
    void Signal(int sig) { kill(pid_, sig); }
    // Waits for the end; a run still going after timeoutMs is killed and
    // counted as hung. Returns the exit status, or 128 + signal.
    int Wait(int timeoutMs = 60000) {
        if (reaped_) return status_;
        int st = 0;
        for (int waited = 0;; waited += 5) {
            const pid_t r = waitpid(pid_, &st, WNOHANG);
            if (r == pid_) break;
            if (waited >= timeoutMs) {
                hung_ = true;
                kill(pid_, SIGKILL);
                waitpid(pid_, &st, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        reaped_ = true;
        killed_ = WIFSIGNALED(st);
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return status_;
    }
    bool killed() const { return killed_; }
    bool hung() const { return hung_; }
    std::string err() const { return ReadFile(errPath_); }

  private:
    pid_t pid_ = -1;
    std::string errPath_;
    bool reaped_ = false;
    bool killed_ = false;
    bool hung_ = false;
    int status_ = -1;
};

// A private profile for batch runs: XDG_CONFIG_HOME/KORU/tidewell.conf.
inline std::map<std::string, std::string> ProfileEnv(const std::string& configDir,
                                                     const std::string& list,
                                                     const std::string& extra) {
    std::filesystem::create_directories(configDir + "/KORU");
    WriteFile(configDir + "/KORU/tidewell.conf",
              "[TidewellSetup]\nTODOLST2=" + list + "\n" + extra);
    return {{"XDG_CONFIG_HOME", configDir}};
}

}  // namespace tidewell::test
