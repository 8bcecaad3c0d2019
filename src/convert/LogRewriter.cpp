#include "convert/LogRewriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cerrno>
#include <vector>

#include "convert/FdStreams.h"
#include "convert/LineFeedFilters.h"
#include "platform/Archiver.h"
#include "platform/FileReplace.h"
#include "platform/PathParts.h"

namespace tidewell {
namespace {

constexpr char kBackupArchive[] = "STXBAK";

RewriteOutcome Outcome(RewriteStatus status, std::string reason) {
    RewriteOutcome o;
    o.status = status;
    o.reason = std::move(reason);
    return o;
}

RewriteOutcome Failed(std::string reason) {
    return Outcome(RewriteStatus::kFailed, std::move(reason));
}

RewriteOutcome Skipped(std::string reason) {
    return Outcome(RewriteStatus::kSkipped, std::move(reason));
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
        *outcome = errno == ENOENT ? Outcome(RewriteStatus::kNotFound, "not found")
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

// The job's filter, fed block by block. Keeps what it needs to go on where it
// stopped, so that lines appended to the log after its last read can still be
// converted as if they had been there all along.
class LogFilter {
  public:
    // `sums`: keep the CRC-32 of what is read, for the backup's check.
    LogFilter(const RewriteJob& job, bool sums)
        : reverse_(job.reverse), sums_(sums), cutter_(job.interval, job.forV2) {}

    // Converts from fd to its end into out; false on a read error (errno set).
    bool Feed(Io& io, int fd, OutBuffer& out) {
        const IoBuffer block = MakeIoBuffer(kFilterBlockSize);
        FdSource in(io, fd);
        for (;;) {
            const ptrdiff_t got = in.Read(block.get(), kFilterBlockSize);
            if (got < 0) return false;
            if (got == 0 || !out.ok()) return true;
            consumed_ += got;
            if (sums_) {
                crc_ = static_cast<uint32_t>(crc32(crc_, block.get(), static_cast<uInt>(got)));
            }
            if (reverse_) {
                restorer_.Feed(block.get(), static_cast<size_t>(got), out);
            } else {
                cutter_.Feed(block.get(), static_cast<size_t>(got), out);
            }
        }
    }
    // The bytes that close the text (a last line feed). Leaves the state as it
    // was, so feeding may go on.
    std::string Ending() const {
        MemorySink sink;
        OutBuffer out(sink, OutBuffer::kMinCapacity);
        if (reverse_) {
            LineFeedRestorer copy = restorer_;
            copy.Finish(out);
        } else {
            LineFeedCutter copy = cutter_;
            copy.Finish(out);
        }
        out.Flush();
        return sink.data();
    }
    int64_t consumed() const { return consumed_; }
    uint32_t crc() const { return crc_; }  // of everything read, with `sums`

  private:
    bool reverse_;
    bool sums_;
    uint32_t crc_ = static_cast<uint32_t>(crc32(0L, Z_NULL, 0));
    LineFeedCutter cutter_;
    LineFeedRestorer restorer_;
    int64_t consumed_ = 0;  // bytes of the log read so far
};

// What went into the scratch file: the converted text and, at its end, the
// filter's closing bytes; with `sums`, the CRC-32 of all of it.
struct Written {
    int64_t body = 0;
    std::string ending;
    uint32_t crc = 0;
};

// Only counts what a dry run's filter gives.
class CountingSink : public ByteSink {
  public:
    bool Write(const uint8_t*, size_t n) override {
        written_ += static_cast<int64_t>(n);
        return true;
    }
    int error() const { return 0; }
    int64_t written() const { return written_; }

  private:
    int64_t written_ = 0;
};

// Passes bytes on, summing them.
class CrcSink : public ByteSink {
  public:
    explicit CrcSink(ByteSink& inner) : inner_(inner) {}
    bool Write(const uint8_t* p, size_t n) override {
        crc_ = static_cast<uint32_t>(crc32(crc_, p, static_cast<uInt>(n)));
        return inner_.Write(p, n);
    }
    uint32_t crc() const { return crc_; }

  private:
    ByteSink& inner_;
    uint32_t crc_ = static_cast<uint32_t>(crc32(0L, Z_NULL, 0));
};

// Filters the log into the scratch file's sink (or a dry run's); an empty
// string means every byte got through.
template <class Sink>
std::string Filter(Io& io, int logFd, Sink& sink, LogFilter& filter, Written* written) {
    CrcSink summed(sink);
    OutBuffer out(summed, kFilterBlockSize);
    const bool read = filter.Feed(io, logFd, out);
    const int readError = errno;
    out.Flush();
    written->body = sink.written();
    written->ending = filter.Ending();
    if (read && out.ok())
        summed.Write(reinterpret_cast<const uint8_t*>(written->ending.data()),
                     written->ending.size());
    written->crc = summed.crc();
    if (!read) return "read error: " + ErrnoText(readError);
    if (sink.error()) return "cannot write the converted copy: " + ErrnoText(sink.error());
    return {};
}

// The log has been replaced, but a writer may have appended to the old file
// after our last read. Those bytes are still there behind logFd: convert them
// onto the end of the new log, in place of its closing bytes, and flush.
// Rounds, since the writer may still be at it; one that keeps its descriptor
// open after the replace is reported.
std::string CatchUp(Io& io, int logFd, int newFd, LogFilter& filter, Written& written) {
    constexpr int kRounds = 8;
    for (int round = 0;; ++round) {
        FileStat old;
        if (io.Fstat(logFd, &old) != 0) {
            return "cannot look for lines added during the replace: " + ErrnoText(errno);
        }
        if (old.size <= filter.consumed()) return {};
        if (round == kRounds) {
            return "the old file is still being written to; what was written after the "
                   "replace is not in the log";
        }
        const int64_t end = written.body + static_cast<int64_t>(written.ending.size());
        FileStat now;
        if (io.Fstat(newFd, &now) != 0) return "cannot examine the new log: " + ErrnoText(errno);
        if (now.size != end) {
            return std::to_string(old.size - filter.consumed()) +
                   " bytes added during the replace are not in the log: it was written to "
                   "at the same time";
        }
        // Converted in memory first: what is added is small, and a failure
        // half-way must not leave the log in neither form.
        MemorySink more;
        {
            OutBuffer out(more, kFilterBlockSize);
            if (!filter.Feed(io, logFd, out)) {
                return "cannot read the lines added during the replace: " + ErrnoText(errno);
            }
            out.Flush();
        }
        const std::string ending = filter.Ending();
        const std::string tail = more.data() + ending;
        const bool ok =
            io.Seek(newFd, written.body) == written.body &&
            WriteAll(io, newFd, tail.data(), tail.size()) &&
            (static_cast<int64_t>(tail.size()) >= static_cast<int64_t>(written.ending.size()) ||
             io.Ftruncate(newFd, written.body + static_cast<int64_t>(tail.size())) == 0) &&
            io.Fsync(newFd) == 0;
        if (!ok) {
            const int e = errno;
            // Back to the log as the replace left it: the conversion of what was read.
            const bool restored =
                io.Seek(newFd, written.body) == written.body &&
                WriteAll(io, newFd, written.ending.data(), written.ending.size()) &&
                io.Ftruncate(newFd, end) == 0 && io.Fsync(newFd) == 0;
            return "cannot add the lines added during the replace (" + ErrnoText(e) + ")" +
                   (restored ? "" : "; the log may end in a partial line");
        }
        written.body += static_cast<int64_t>(more.data().size());
        written.ending = ending;
    }
}

}  // namespace

std::string ArchiveListName(const std::string& listName) {
    const PathParts parts = SplitPath(listName);
    return parts.drive + parts.directory + ArchiveFileName(kBackupArchive);
}

std::string BackupCommand(const std::string& listName) {
    const PathParts parts = SplitPath(listName);
    return "a -n " + parts.drive + parts.directory + kBackupArchive + " " + listName;
}

void ArchiveOf(const RewriteJob& job, std::string* folder, std::string* name) {
    *folder = job.archiveFolder;
    *name = job.archiveName;
    if (name->empty()) {
        const PathParts parts = SplitSystemPath(job.path);
        *folder = parts.drive + parts.directory;
        *name = ArchiveFileName(kBackupArchive);
    }
}

std::string BackupFromDescriptor(Io& io, const RewriteJob& job, int fd, const FileStat& st,
                                 LogState* saved) {
    std::string folder, name;
    ArchiveOf(job, &folder, &name);
    std::vector<ArchiveMember> members(1);
    members[0].name = SplitSystemPath(job.path).baseName;
    members[0].fd = fd;
    members[0].st = st;
    const std::string error = AddToArchive(io, folder, name, members);
    if (!error.empty()) return error;
    *saved = {st, members[0].size, members[0].crc};
    return {};
}

bool OpenForRewrite(Io& io, const RewriteJob& job, OpenedLog* log, RewriteOutcome* outcome) {
    log->fd = OpenLog(io, job.path, &log->st, outcome);
    if (log->fd < 0) return false;
    auto give_up = [&](const RewriteOutcome& why) {
        CloseQuietly(io, log->fd);
        log->fd = -1;
        *outcome = why;
        return false;
    };
    auto skip = [&](const std::string& why) { return give_up(Skipped(why)); };
    if (job.list && SameFile(log->st, *job.list)) return skip("is the to-do list itself; skipped");

    // A log its owner made read-only is left alone, even where the folder
    // would let us replace it.
    if ((log->st.mode & 0222) == 0 || io.Access(job.path, W_OK) != 0) {
        const bool denied = (log->st.mode & 0222) == 0 || errno == EACCES || errno == EROFS;
        return denied ? skip("no write permission; left as it is")
                      : give_up(Failed("cannot check the write permission: " + ErrnoText(errno)));
    }
    std::string problem;
    if (!ResolveLinkTarget(io, job.path, &log->target, &problem)) {
        return give_up(Failed(problem));
    }
    if (SplitSystemPath(log->target).baseName == kTempFileName) {
        return skip("bears the scratch file's own name; skipped");
    }
    // Backing the archive up into itself would replace it under our feet.
    const std::string archive = ArchiveFileName(kBackupArchive);
    if (job.backup && !job.reverse &&
        (SplitSystemPath(job.path).baseName == archive ||
         SplitSystemPath(log->target).baseName == archive ||
         (!job.archiveName.empty() && SplitSystemPath(job.path).baseName == job.archiveName))) {
        return skip("is the backup archive itself; skipped");
    }
    return true;
}

RewriteOutcome RewriteLog(Io& io, const RewriteJob& job) {
    RewriteOutcome outcome;
    OpenedLog log;
    if (!OpenForRewrite(io, job, &log, &outcome)) return outcome;
    int logFd = log.fd;
    FileStat before = log.st;
    const std::string scratch = TempPathFor(log.target);
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

    // With a backup, the archive holds the log's original before anything is
    // replaced, and the log is converted only if it still holds those very
    // bytes: the same file, size and times, and the same CRC-32 of what the
    // filter read.
    const bool backup = job.backup && !job.reverse;
    std::string problem;
    LogState expected;
    if (backup && job.expected) {
        expected = *job.expected;
    } else if (backup) {
        problem = BackupFromDescriptor(io, job, logFd, before, &expected);
        if (!problem.empty())
            problem = "backup failed: " + problem + " (" + BackupCommand(job.listName) + ")";
    }
    constexpr char kChanged[] = "log changed since it was backed up; left as it is";
    if (problem.empty() && backup && !Unchanged(expected.st, before)) problem = kChanged;
    if (problem.empty() && backup && io.Seek(logFd, 0) != 0) {
        problem = "read error: " + ErrnoText(errno);
    }
    LogFilter filter(job, backup);
    Written written;
    FdSink scratchSink(io, scratchFd);
    if (problem.empty()) problem = Filter(io, logFd, scratchSink, filter, &written);
    if (problem.empty() && backup &&
        (uint64_t(filter.consumed()) != expected.size || filter.crc() != expected.crc)) {
        problem = kChanged;
    }
    if (problem.empty()) {
        err = CommitReplace(io, scratchFd, scratch, log.target, logFd, before);
        if (err.replaced) {
            // The new content is in place; only what came after the rename can still fail.
            outcome.replaced = true;
            const int64_t read = filter.consumed();
            std::string late = CatchUp(io, logFd, scratchFd, filter, written);
            CloseQuietly(io, logFd);
            // What this run leaves, for a later entry naming the same file:
            // only known when nothing was added after the replace.
            if (backup && job.recordWritten && late.empty() && !err && filter.consumed() == read &&
                io.Fstat(scratchFd, &outcome.written.st) == 0) {
                outcome.written.size = uint64_t(written.body) + uint64_t(written.ending.size());
                outcome.written.crc = written.crc;
            }
            if (io.Close(scratchFd) != 0 && late.empty()) {
                late = "closing failed: " + ErrnoText(errno);
            }
            if (err && !late.empty()) late = err.what + "; " + late;
            if (late.empty()) late = err.what;
            if (late.empty()) return outcome;
            outcome.status = RewriteStatus::kConvertedWithWarning;
            outcome.reason = late;
            return outcome;
        }
        problem = err.what;
    }
    CloseQuietly(io, logFd);
    if (StopSignal()) problem = "interrupted; left as it was";
    if (!DiscardScratchFile(io, scratchFd, scratch)) {
        problem += "; " + scratch + " could not be removed: " + ErrnoText(errno);
    }
    return Failed(problem);
}

RewriteOutcome DryRunLog(Io& io, const RewriteJob& job) {
    RewriteOutcome outcome;
    OpenedLog log;
    if (!OpenForRewrite(io, job, &log, &outcome)) return outcome;
    std::string problem = ScratchFileObstacle(io, TempPathFor(log.target), log.st);
    LogFilter filter(job, false);
    CountingSink counted;
    Written written;
    if (problem.empty()) problem = Filter(io, log.fd, counted, filter, &written);
    CloseQuietly(io, log.fd);
    if (StopSignal()) problem = "interrupted; left as it was";
    if (!problem.empty()) return Failed(problem);
    if (job.backup && !job.reverse) {
        std::string folder, name;
        ArchiveOf(job, &folder, &name);
        outcome.plan.push_back("would back up into " + folder + name + " as " +
                               SplitSystemPath(job.path).baseName);
    }
    const int64_t after = written.body + static_cast<int64_t>(written.ending.size());
    outcome.plan.push_back("would convert (" + std::to_string(filter.consumed()) + " -> " +
                           std::to_string(after) + " bytes)");
    return outcome;
}

}  // namespace tidewell
