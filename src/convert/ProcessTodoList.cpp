#include "convert/ProcessTodoList.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <optional>

#include "convert/BackupPlan.h"
#include "convert/FdStreams.h"
#include "convert/LogRewriter.h"
#include "convert/TodoListScanner.h"
#include "platform/FileReplace.h"
#include "platform/PathParts.h"

namespace tidewell {
namespace {

int OpenList(Io& io, const std::string& path, FileStat* st, std::string* error) {
    const int fd = io.Open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        *error = ErrnoText(errno);
        return -1;
    }
    if (io.Fstat(fd, st) != 0) {
        *error = ErrnoText(errno);
        io.Close(fd);
        return -1;
    }
    if (!S_ISREG(st->mode)) {
        *error = "not a regular file";
        io.Close(fd);
        return -1;
    }
    return fd;
}

RewriteJob JobFor(const ConvertSettings& s, const TodoEntry& entry) {
    RewriteJob job;
    job.listName = entry.fileName;
    job.path = entry.fileName;
    job.reverse = s.m_bReverse != 0;
    job.backup = s.m_bBackup != 0;
    // 64-bit so that the negated interval of an HP entry is defined for every setting.
    job.interval = entry.kind == EntryKind::kHp ? -static_cast<int64_t>(s.m_nLines) : s.m_nLines;
    job.forV2 = s.m_bForV2 != 0;
    return job;
}

enum class Kind { kMissing, kSkipped, kFailed };

// The names a log's job needs on this system: the log's, and with a backup
// the archive's, found the way every name from the list is found. Empty when
// all could be mapped, else why not, and whether that skips the entry (the
// log's own name) or fails it (the backup's).
std::string MapNames(ConvertEnv& env, RewriteJob* job, Kind* kind) {
    std::string error;
    *kind = Kind::kSkipped;
    if (env.mapName) {
        job->path = env.mapName(env.io, job->listName, &error);
        if (!error.empty()) return error;
    }
    if (!job->backup || job->reverse) return {};
    std::string archive = ArchiveListName(job->listName);
    if (job->path == job->listName) {
        // A name used as it stands: the archive lies beside the file this
        // system opens, wherever the list's own separators would put it.
        const PathParts log = SplitSystemPath(job->path);
        archive = log.drive + log.directory + SplitPath(archive).baseName;
    } else if (env.mapName) {
        archive = env.mapName(env.io, archive, &error);
        if (!error.empty()) {
            *kind = Kind::kFailed;
            return "backup failed: " + error + " (" + BackupCommand(job->listName) + ")";
        }
    }
    const PathParts parts = SplitSystemPath(archive);
    job->archiveFolder = parts.drive + parts.directory;
    job->archiveName = parts.baseName;
    return {};
}

void Report(ConvertEnv& env, ProcessOutcome& outcome, const std::string& path,
            const std::string& reason, Kind kind) {
    env.diag << "tidewell: " << (path.empty() ? std::string("(empty file name)") : path) << ": "
             << reason << '\n';
    if (kind != Kind::kMissing) outcome.failures.push_back({path, reason, kind == Kind::kSkipped});
}

// With Backup, the whole list is read once ahead, so that every archive can
// take all of its folder's logs in one commit instead of one per log.
// False when the list could not be read to its end (errno set).
bool PlanBackups(const ConvertSettings& settings, ConvertEnv& env, int fd, const FileStat& list,
                 BackupPlan* plan) {
    FdSource file(env.io, fd);
    ByteReader reader(file);
    TodoListScanner scanner(reader);
    TodoEntry entry;
    for (size_t index = 0; scanner.Next(&entry) && !StopSignal(); ++index) {
        if (entry.fileNameCut) continue;
        RewriteJob job = JobFor(settings, entry);
        job.list = &list;
        Kind kind;
        if (MapNames(env, &job, &kind).empty()) plan->Add(env.io, index, entry.fileName, job);
    }
    errno = file.error();
    return !reader.failed();
}

}  // namespace

ProcessOutcome ProcessTodoList(const ConvertSettings& settings, ConvertEnv& env) {
    ProcessOutcome outcome;
    // The stored list path is HARUCOM's own name, like the names in the list.
    outcome.listPath = settings.m_strTodoPath;
    if (env.mapName) {
        outcome.listPath = env.mapName(env.io, settings.m_strTodoPath, &outcome.listError);
        if (!outcome.listError.empty()) {
            outcome.result = -1;
            return outcome;
        }
    }
    FileStat listStat;
    const int fd = OpenList(env.io, outcome.listPath, &listStat, &outcome.listError);
    if (fd < 0) {
        outcome.result = -1;
        return outcome;
    }
    BackupPlan plan;
    // A dry run commits nothing: each entry says which archive it would go to.
    const bool planned = !env.dryRun && settings.m_bBackup != 0 && settings.m_bReverse == 0;
    if (planned) {
        // A list that cannot be read through is reported before anything is converted.
        if (!PlanBackups(settings, env, fd, listStat, &plan) || env.io.Seek(fd, 0) != 0) {
            outcome.listReadFailed = true;
            Report(env, outcome, settings.m_strTodoPath,
                   "error reading the to-do list: " + ErrnoText(errno), Kind::kFailed);
            env.io.Close(fd);
            return outcome;
        }
    }
    FdSource file(env.io, fd);
    ByteReader reader(file);
    TodoListScanner scanner(reader);
    TodoEntry entry;
    size_t done = 0;
    while (scanner.Next(&entry)) {
        if (StopSignal()) break;
        env.trace.write(entry.trace.data(), static_cast<std::streamsize>(entry.trace.size()));
        if (env.progress &&
            !env.progress({done, reader.position(), uint64_t(listStat.size), entry.fileName})) {
            outcome.cancelled = true;
            break;
        }
        const size_t index = done++;
        if (entry.fileNameCut) {
            // Only the name's first 255 bytes were kept: they name another file.
            Report(env, outcome, entry.fileName,
                   "the name is longer than 255 bytes and was cut; not converted", Kind::kSkipped);
            continue;
        }
        const RewriteJob* plannedJob = planned ? plan.Find(index, entry.fileName) : nullptr;
        RewriteJob job;
        std::optional<RewriteOutcome> refused;
        if (plannedJob) {
            // Prepared first: the archive's commit completes the planned job.
            const LogState* expected = plan.Prepare(env.io, index, &refused);
            job = *plannedJob;
            job.expected = expected;
        } else {
            job = JobFor(settings, entry);
            job.list = &listStat;
            Kind kind;
            if (const std::string error = MapNames(env, &job, &kind); !error.empty()) {
                // A name this system cannot reach: nothing is tried.
                Report(env, outcome, entry.fileName, error, kind);
                continue;
            }
        }
        const RewriteOutcome r = refused      ? *refused
                                 : env.dryRun ? DryRunLog(env.io, job)
                                              : RewriteLog(env.io, job);
        if (plannedJob) plan.Converted(index, r);
        for (const std::string& step : r.plan) {
            env.diag << "tidewell: " << entry.fileName << ": " << step << '\n';
        }
        switch (r.status) {
            case RewriteStatus::kConverted:
                ++outcome.converted;
                break;
            case RewriteStatus::kConvertedWithWarning:
                ++outcome.converted;
                env.diag << "tidewell: " << entry.fileName << ": warning: converted, but "
                         << r.reason << '\n';
                outcome.warnings.push_back({entry.fileName, "converted, but " + r.reason});
                break;
            case RewriteStatus::kNotFound:
                ++outcome.notFound;
                Report(env, outcome, entry.fileName, r.reason, Kind::kMissing);
                break;
            case RewriteStatus::kSkipped:
                Report(env, outcome, entry.fileName, r.reason, Kind::kSkipped);
                break;
            case RewriteStatus::kFailed:
                Report(env, outcome, entry.fileName, r.reason, Kind::kFailed);
                break;
        }
    }
    env.trace.flush();
    if (StopSignal()) {
        outcome.cancelled = true;
    } else if (reader.failed()) {
        outcome.listReadFailed = true;
        Report(env, outcome, settings.m_strTodoPath,
               "error reading the to-do list: " + ErrnoText(file.error()), Kind::kFailed);
    }
    env.io.Close(fd);
    return outcome;
}

size_t ProcessOutcome::skipped() const {
    size_t n = 0;
    for (const EntryFailure& f : failures) n += f.skipped ? 1 : 0;
    return n;
}

int ExitStatusOf(const ProcessOutcome& outcome) {
    if (outcome.result < 0 || outcome.listReadFailed) return 2;
    return outcome.failures.empty() && outcome.warnings.empty() ? 0 : 1;
}

}  // namespace tidewell
