// Shared helpers for the suite: scratch folders, whole-file I/O, to-do list
// bytes, private profiles, and the one way tests run the built program.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tidewell::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

// Builds the bytes of a to-do list entry by entry.
class ListBuilder {
  public:
    ListBuilder& Raw(const std::string& bytes);
    ListBuilder& Marker();
    ListBuilder& Counted(const std::string& s);
    // Entries of each known kind naming `file`, ended by `terminator`.
    ListBuilder& FileTransfer(const std::string& kind, const std::string& sub,
                              const std::string& file, char terminator = '\r');
    ListBuilder& Board(const std::string& kind, const std::string& sub, const std::string& file,
                       char terminator = '\r');
    ListBuilder& Mail(const std::string& sub, const std::string& file, char terminator = '\r');
    const std::string& bytes() const { return bytes_; }

  private:
    std::string bytes_;
};

// Writes a private profile naming `list`, plus `extra` lines, in
// dir/<folder>/KORU/tidewell.conf, and returns HeadlessEnv(dir, folder): the
// environment of a run on it.
std::map<std::string, std::string> WriteProfile(const TempDir& dir, const std::string& list,
                                                const std::string& extra = "",
                                                const std::string& folder = "config");

// The environment of a run on the profile in dir/<folder>: a Wine prefix of its
// own (so no real HARUCOM data is ever reached) and no display of any kind.
std::map<std::string, std::string> HeadlessEnv(const TempDir& dir,
                                               const std::string& folder = "config");

// How to start the program; the defaults suit most tests.
struct RunOptions {
    std::string binary = TIDEWELL_BINARY;  // the program to run
    // Words put before the program, e.g. {"setpriv", "--reuid=65534", "--"}.
    std::vector<std::string> prefix = {};
    // Standard output or error on a pseudo-terminal of `columns` columns
    // rather than into a file; what reaches it is RunResult::terminal.
    bool stdoutOnTerminal = false;
    bool stderrOnTerminal = false;
    unsigned short columns = 80;
    // A run still going after this long is killed and counted as hung.
    int timeoutMs = 120000;
};

struct RunResult {
    int status = -1;      // exit status, or 128 + the signal that ended it
    bool killed = false;  // ended by a signal
    bool hung = false;    // killed for running past RunOptions::timeoutMs
    std::string out;
    std::string err;
    std::string terminal;  // everything written to the terminal, raw
};

// The program started in the background, for signalling it at a chosen moment
// or running two at once. Standard input is /dev/null. env entries with an
// empty value are removed from the environment; others are set. A run not
// waited for is killed when this goes.
class Started {
  public:
    Started(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
            const RunOptions& options = {});
    ~Started();
    Started(const Started&) = delete;
    Started& operator=(const Started&) = delete;
    void Signal(int sig) const;
    // Waits for the end; the result is kept, so a second call returns it again.
    const RunResult& Wait();

  private:
    TempDir files_;
    RunOptions options_;
    int pid_ = -1;
    int terminal_ = -1;  // our side of the pseudo-terminal
    int screen_ = -1;    // the program's side
    bool reaped_ = false;
    RunResult result_;
};

// Runs the program to its end.
RunResult RunTidewell(const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env = {},
                      const RunOptions& options = {});

}  // namespace tidewell::test
