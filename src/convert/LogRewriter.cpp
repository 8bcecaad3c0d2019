#include "convert/LogRewriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "convert/FdStreams.h"
#include "convert/LineFeedFilters.h"
#include "platform/Archiver.h"
#include "platform/FileReplace.h"
#include "platform/PathParts.h"

namespace tidewell {
namespace {

constexpr int kArchiverOutputSize = 1024;
constexpr char kBackupArchive[] = "STXBAK";

RewriteOutcome Failed(std::string reason) {
    return {RewriteStatus::kFailed, std::move(reason)};
}

RewriteOutcome Skipped(std::string reason) {
    return {RewriteStatus::kSkipped, std::move(reason)};
}

// Closes a descriptor we only read from; its result cannot hurt the data.
void CloseQuietly(Io& io, int fd) {
    const int saved = errno;
    io.Close(fd);
    errno = saved;
}

// Opens the log for reading and makes sure it is a plain file. O_NONBLOCK keeps
// a FIFO from hanging the run; for a regular file it changes nothing.
int OpenLog(Io& io, const std::string& path, FileStat* st, RewriteOutcome* outcome) {
    const int fd = io.Open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        *outcome = errno == ENOENT ? RewriteOutcome{RewriteStatus::kNotFound, "not found"}
                                   : Failed("cannot open: " + ErrnoText(errno));
        return -1;
    }
    if (io.Fstat(fd, st) != 0) {
        *outcome = Failed("cannot examine: " + ErrnoText(errno));
        CloseQuietly(io, fd);
        return -1;
    }
    if (!S_ISREG(st->mode)) {
        *outcome = Skipped("not a regular file; skipped");
        CloseQuietly(io, fd);
        return -1;
    }
    return fd;
}

// Filters the log into the scratch file; an empty string means every byte got through.
std::string Filter(Io& io, int logFd, int scratchFd, const RewriteJob& job) {
    FdSource in(io, logFd);
    FdSink out(io, scratchFd);
    if (job.reverse) {
        RestoreLineFeeds(in, out);
    } else {
        CutLineFeeds(in, out, job.interval, job.forV2);
    }
    if (in.error()) return "read error: " + ErrnoText(in.error());
    if (out.error()) return "cannot write the converted copy: " + ErrnoText(out.error());
    return {};
}

std::string Backup(const RewriteJob& job) {
    const std::string command = BackupCommand(job.listName);
    char output[kArchiverOutputSize] = {};
    if (ArchiverCommand(job.caller, command.c_str(), output, kArchiverOutputSize) != 0) {
        return std::string("backup failed: ") + output;
    }
    return {};
}

}  // namespace

std::string BackupCommand(const std::string& listName) {
    const PathParts parts = SplitPath(listName);
    return "a -n " + QuoteArgument(parts.drive + parts.directory + kBackupArchive) + " " +
           QuoteArgument(listName);
}

RewriteOutcome RewriteLog(Io& io, const RewriteJob& job) {
    RewriteOutcome outcome;
    FileStat before;
    int logFd = OpenLog(io, job.path, &before, &outcome);
    if (logFd < 0) return outcome;
    if (job.list && SameFile(before, *job.list)) {
        CloseQuietly(io, logFd);
        return Skipped("is the to-do list itself; skipped");
    }

    // A log its owner made read-only is left alone, even where the folder
    // would let us replace it.
    if ((before.mode & 0222) == 0 || io.Access(job.path, W_OK) != 0) {
        const bool denied = (before.mode & 0222) == 0 || errno == EACCES || errno == EROFS;
        const std::string why = denied ? "no write permission; left as it is"
                                       : "cannot check the write permission: " + ErrnoText(errno);
        CloseQuietly(io, logFd);
        return denied ? Skipped(why) : Failed(why);
    }
    std::string target, problem;
    if (!ResolveLinkTarget(io, job.path, &target, &problem)) {
        CloseQuietly(io, logFd);
        return Failed(problem);
    }
    if (SplitPath(target).baseName == kTempFileName) {
        CloseQuietly(io, logFd);
        return Skipped("bears the scratch file's own name; skipped");
    }
    // Backing the archive up into itself would replace it under our feet.
    const bool backup = job.backup && !job.reverse;
    if (backup && (SplitPath(job.path).baseName == ArchiveFileName(kBackupArchive) ||
                   SplitPath(target).baseName == ArchiveFileName(kBackupArchive))) {
        CloseQuietly(io, logFd);
        return Skipped("is the backup archive itself; skipped");
    }
    const std::string scratch = TempPathFor(target);
    ReplaceError err;
    const int scratchFd = OpenScratchFile(io, scratch, before, job.lockWaitMs, &err);
    if (scratchFd < 0) {
        CloseQuietly(io, logFd);
        return Failed(err.what);
    }
    // While we waited for the scratch file another run may have replaced the
    // log: convert what is there now, not the copy it superseded.
    FileStat current;
    if (io.Stat(job.path, &current) == 0 && !SameFile(current, before)) {
        CloseQuietly(io, logFd);
        logFd = OpenLog(io, job.path, &before, &outcome);
        if (logFd < 0) {
            DiscardScratchFile(io, scratchFd, scratch);
            return outcome;
        }
    }

    problem = Filter(io, logFd, scratchFd, job);
    CloseQuietly(io, logFd);
    if (problem.empty() && backup) problem = Backup(job);
    if (problem.empty()) {
        err = CommitReplace(io, scratchFd, scratch, target, before);
        if (err.replaced) {
            // The new content is in place; only what came after the rename can still fail.
            if (io.Close(scratchFd) != 0 && !err) err.what = "closing failed: " + ErrnoText(errno);
            if (!err) return outcome;
            return Failed("converted, but " + err.what);
        }
        problem = err.what;
    }
    if (StopSignal()) problem = "interrupted; left as it was";
    if (!DiscardScratchFile(io, scratchFd, scratch)) {
        problem += "; " + scratch + " could not be removed: " + ErrnoText(errno);
    }
    return Failed(problem);
}

}  // namespace tidewell
