// One pass over the to-do list: every log it names is rewritten in place.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "convert/ConvertSettings.h"
#include "platform/Io.h"

namespace tidewell {

struct EntryProgress {
    size_t entriesDone = 0;   // recognised entries handled so far
    uint64_t listOffset = 0;  // bytes of the list scanned so far (not read ahead)
    uint64_t listSize = 0;
    std::string currentFile;  // name as given by the list
};

struct ConvertEnv {
    ConvertEnv(Io& i, std::ostream& t, std::ostream& d) : io(i), trace(t), diag(d) {}
    Io& io;
    std::ostream& trace;  // standard output: the entries' trace text, nothing else
    std::ostream& diag;   // standard error: one line per entry skipped or failed
    // Called before each log is rewritten; returning false stops the run there.
    std::function<bool(const EntryProgress&)> progress;
    // Turns a name read from the list into one this system can open.
    std::function<std::string(Io&, const std::string&, std::string* error)> mapName;
    // Only say on diag what each log would go through (DryRunLog); change nothing.
    bool dryRun = false;
};

struct EntryFailure {
    std::string path;
    std::string reason;
    bool skipped = false;  // left alone on purpose, nothing tried (see RewriteStatus)
};

struct ProcessOutcome {
    int result = 0;         // -1: the list could not be read, else 0
    std::string listPath;   // the list file opened, after mapping
    std::string listError;  // why, when result is -1
    size_t converted = 0;
    size_t notFound = 0;
    std::vector<EntryFailure> failures;  // skipped and failed entries alike
    // Logs that were converted, but with something to tell (the folder could
    // not be flushed, say): not failures, yet not a clean run either.
    std::vector<EntryFailure> warnings;
    bool cancelled = false;
    bool listReadFailed = false;  // the list opened but a read failed part-way
    size_t skipped() const;
    size_t failed() const { return failures.size() - skipped(); }
};

ProcessOutcome ProcessTodoList(const ConvertSettings& settings, ConvertEnv& env);

// 0 when every existing log was converted, 1 when any entry failed or was
// converted with a warning, 2 when the list could not be opened or could not
// be read to its end.
int ExitStatusOf(const ProcessOutcome& outcome);

}  // namespace tidewell
