// Rewrites one log file in place through the scratch file beside it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Io.h"

namespace tidewell {

struct RewriteJob {
    std::string listName;  // the name as the to-do list gives it (used in the backup command)
    std::string path;      // the name to open on this system
    bool reverse = false;
    bool backup = false;
    int64_t interval = 100;
    bool forV2 = false;
    const void* caller = nullptr;  // handed to the archiver
    int lockWaitMs = 5000;
    // The to-do list being read: HARUCOM's file, never rewritten even when it
    // names itself.
    const FileStat* list = nullptr;
};

// kSkipped: left alone on purpose, before anything was tried (not a regular
// file, the list, the scratch file or the archive itself, a read-only log);
// kFailed: tried, and something went wrong. Either way the log is unchanged.
// kConvertedWithWarning: the log holds its converted form, but something after
// the replace went wrong (the folder could not be flushed, say); the reason says what.
enum class RewriteStatus { kConverted, kConvertedWithWarning, kNotFound, kSkipped, kFailed };

struct RewriteOutcome {
    RewriteStatus status = RewriteStatus::kConverted;
    std::string reason;  // empty when converted without a warning
};

RewriteOutcome RewriteLog(Io& io, const RewriteJob& job);

// "a -n <drive><dir>STXBAK <file>", paths with spaces quoted.
std::string BackupCommand(const std::string& listName);

}  // namespace tidewell
