// Rewrites one log file in place through the scratch file beside it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Io.h"

namespace tidewell {

// What a log held at a moment this run knows of: the file, its size and
// times, and the CRC-32 of its bytes.
struct LogState {
    FileStat st;
    uint64_t size = 0;
    uint32_t crc = 0;
};

struct RewriteJob {
    std::string listName;  // the name as the to-do list gives it (shown in messages)
    std::string path;      // the name to open on this system
    bool reverse = false;
    bool backup = false;
    int64_t interval = 100;
    bool forV2 = false;
    int lockWaitMs = 5000;
    // The to-do list being read: HARUCOM's file, never rewritten even when it
    // names itself.
    const FileStat* list = nullptr;
    // With backup: the archive's folder (keeping its trailing separator) and
    // file name on this system. Empty: STXBAK.zip beside `path`.
    std::string archiveFolder;
    std::string archiveName;
    // With backup: the state the log must still be in, when its original is in
    // the archive already (or this run wrote it). Unset: RewriteLog backs the
    // log up itself first.
    const LogState* expected = nullptr;
    // With backup: the run converts this file again later, so what the
    // rewrite leaves is wanted in RewriteOutcome::written.
    bool recordWritten = false;
};

// kSkipped: left alone on purpose, before anything was tried (not a regular
// file, the list, the scratch file or the archive itself, a read-only log);
// kFailed: tried, and something went wrong. Either way the log is unchanged.
// kConvertedWithWarning: the log holds its converted form, but something after
// the replace went wrong (the folder could not be flushed, say); the reason says what.
enum class RewriteStatus { kConverted, kConvertedWithWarning, kNotFound, kSkipped, kFailed };

struct RewriteOutcome {
    RewriteStatus status = RewriteStatus::kConverted;
    std::string reason;     // empty when converted without a warning
    bool replaced = false;  // the log holds the converted bytes (a warning may follow)
    LogState written;       // with recordWritten, once replaced: what the log holds now
    // From DryRunLog, when the log would be converted: what a real run would
    // do with it, one line each, in its order.
    std::vector<std::string> plan;
};

RewriteOutcome RewriteLog(Io& io, const RewriteJob& job);

// What RewriteLog would do, found without creating, changing or locking
// anything: the same checks, the filter run to count the converted size, the
// backup it would make, and what is known to stop the scratch file. Status as
// RewriteLog's (kConverted: it would convert, and `plan` says how). What only
// writing shows (a full disk, say) is not foreseen.
RewriteOutcome DryRunLog(Io& io, const RewriteJob& job);

// A log opened for a rewrite, after every check that needs no scratch file:
// a plain file that is not the list, not read-only, not the scratch file's
// nor the archive's name. `target` is the file behind a symbolic link.
struct OpenedLog {
    int fd = -1;
    FileStat st;
    std::string target;
};
bool OpenForRewrite(Io& io, const RewriteJob& job, OpenedLog* log, RewriteOutcome* outcome);

// Where the archive for a log of this name lies: drive and folder of the name
// as the list gives it, and the archive's name.
std::string ArchiveListName(const std::string& listName);

// The archive a backup of the job's log goes into, on this system: its
// folder (keeping its trailing separator) and file name.
void ArchiveOf(const RewriteJob& job, std::string* folder, std::string* name);

// The archiver command a person would type for this backup: "a -n
// <drive><folder>STXBAK <file>", for messages only (names are never split
// from it again).
std::string BackupCommand(const std::string& listName);

// Takes the log's original into the archive from its open descriptor: the
// member holds exactly the bytes read there. Empty on success, else why.
std::string BackupFromDescriptor(Io& io, const RewriteJob& job, int fd, const FileStat& st,
                                 LogState* saved);

}  // namespace tidewell
