#include "convert/BackupPlan.h"

#include <algorithm>
#include <set>

#include "platform/Archiver.h"
#include "platform/PathParts.h"

namespace tidewell {
namespace {

// One archive, however its folder is named: two spellings of one folder
// (through a link, with "./" in it) must not make two commits that each
// replace the other's members.
std::string ArchiveKey(Io& io, const RewriteJob& job) {
    std::string folder, name;
    ArchiveOf(job, &folder, &name);
    FileStat st;
    if (io.Stat(folder.empty() ? "." : folder, &st) == 0) {
        return std::to_string(st.dev) + ":" + std::to_string(st.ino) + "/" + name;
    }
    return "?" + folder + name;
}

RewriteOutcome Failure(const std::string& reason) {
    RewriteOutcome o;
    o.status = RewriteStatus::kFailed;
    o.reason = reason;
    return o;
}

std::string MemberName(const RewriteJob& job) {
    return SplitSystemPath(job.path).baseName;
}

}  // namespace

void BackupPlan::Add(Io& io, size_t index, const std::string& listName, const RewriteJob& job) {
    const auto [it, added] = groupByArchive_.emplace(ArchiveKey(io, job), groups_.size());
    if (added) groups_.emplace_back();
    groups_[it->second].entries.push_back(planned_.size());
    planned_.push_back({index, listName, job, it->second});
}

const BackupPlan::Planned* BackupPlan::Lookup(size_t index) const {
    const auto it = std::lower_bound(planned_.begin(), planned_.end(), index,
                                     [](const Planned& p, size_t i) { return p.index < i; });
    return it != planned_.end() && it->index == index ? &*it : nullptr;
}

const RewriteJob* BackupPlan::Find(size_t index, const std::string& listName) const {
    const Planned* p = Lookup(index);
    return p && p->listName == listName ? &p->job : nullptr;
}

std::shared_ptr<LogState> BackupPlan::StateOf(const Planned& p) const {
    const auto& saved = groups_[p.group].saved;
    const auto it = saved.find(MemberName(p.job));
    return it == saved.end() ? nullptr : it->second;
}

// Every log of the group that a rewrite would take, examined as the rewrite
// examines it, goes into the archive in one commit. A log left out (missing
// now, say) or a commit that fails leaves its entries to back themselves up
// one by one, as they are converted: no log is replaced unless the archive
// holds its original.
void BackupPlan::Commit(Io& io, Group& group) {
    group.tried = true;
    std::vector<ArchiveMember> members;
    std::set<std::string> taken;
    std::string folder, name;
    for (const size_t at : group.entries) {
        const Planned& p = planned_[at];
        if (folder.empty() && name.empty()) ArchiveOf(p.job, &folder, &name);
        const std::string member = MemberName(p.job);
        if (!taken.insert(member).second) continue;
        OpenedLog log;
        RewriteOutcome why;
        if (!OpenForRewrite(io, p.job, &log, &why)) {
            // Missing or skipped: the entry finds out again itself, and a log
            // that turns up meanwhile backs itself up. A failure stands.
            if (why.status == RewriteStatus::kFailed) group.failed[member] = {why, false};
            continue;
        }
        ArchiveMember m;
        m.name = member;
        m.path = p.job.path;
        m.st = log.st;
        io.Close(log.fd);
        members.push_back(std::move(m));
    }
    // A log that could not be read, or changed meanwhile, fails alone; the
    // others go in without it.
    for (;;) {
        if (members.empty()) return;
        const std::string error = AddToArchive(io, folder, name, members);
        if (error.empty()) break;
        const auto bad =
            std::stable_partition(members.begin(), members.end(),
                                  [](const ArchiveMember& m) { return m.problem.empty(); });
        if (bad == members.begin() || bad == members.end()) {
            for (const ArchiveMember& m : members) group.failed[m.name] = {Failure(error), true};
            return;
        }
        for (auto m = bad; m != members.end(); ++m)
            group.failed[m->name] = {Failure(m->problem), true};
        members.erase(bad, members.end());
    }
    std::map<std::pair<uint64_t, uint64_t>, std::shared_ptr<LogState>> byFile;
    for (const ArchiveMember& m : members) {
        std::shared_ptr<LogState>& state = byFile[{m.st.dev, m.st.ino}];
        if (!state) state = std::make_shared<LogState>(LogState{m.st, m.size, m.crc});
        group.saved[m.name] = state;
    }
    // A file named again later must tell what its rewrite left, for the
    // later entry to check against.
    std::map<const LogState*, Planned*> last;
    for (const size_t at : group.entries) {
        Planned& p = planned_[at];
        const std::shared_ptr<LogState> state = StateOf(p);
        if (!state) continue;
        Planned*& before = last[state.get()];
        if (before) before->job.recordWritten = true;
        before = &p;
    }
}

const LogState* BackupPlan::Prepare(Io& io, size_t index, std::optional<RewriteOutcome>* refused) {
    refused->reset();
    const Planned* p = Lookup(index);
    if (!p) return nullptr;
    Group& group = groups_[p->group];
    if (!group.tried) Commit(io, group);
    if (const auto it = group.failed.find(MemberName(p->job)); it != group.failed.end()) {
        RewriteOutcome o = it->second.outcome;
        if (StopSignal()) {
            o.reason = "interrupted; left as it was";
        } else if (it->second.backup) {
            o.reason = "backup failed: " + o.reason + " (" + BackupCommand(p->listName) + ")";
        }
        *refused = o;
    }
    return StateOf(*p).get();
}

void BackupPlan::Converted(size_t index, const RewriteOutcome& outcome) {
    const Planned* p = Lookup(index);
    if (!p || !outcome.replaced) return;
    const std::shared_ptr<LogState> state = StateOf(*p);
    // Unknown when lines were caught up after the replace: the state stays
    // the original's, and a later entry finds the log changed and leaves it.
    if (state && outcome.written.st.mode != 0) *state = outcome.written;
}

}  // namespace tidewell
