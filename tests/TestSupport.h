// Shared helpers for the suite: scratch folders, whole-file I/O, to-do list
// bytes, and running the built program.
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

// Writes a private profile under dir/config/KORU naming `list`, plus `extra` lines.
void WriteProfile(const TempDir& dir, const std::string& list, const std::string& extra = "");

// The environment of a run on that profile, with a Wine prefix of its own (so
// no real HARUCOM data is ever reached) and no display of any kind.
std::map<std::string, std::string> HeadlessEnv(const TempDir& dir);

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the built program with these arguments. env entries with an empty value
// are removed from the environment; others are set.
RunResult RunTidewell(const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env = {});

}  // namespace tidewell::test
