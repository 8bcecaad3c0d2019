// The backups of one run, one archive commit per archive: every log of the
// run that goes into one archive is added to it at once, before the first of
// them is converted, instead of rewriting the archive once per log.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "convert/LogRewriter.h"
#include "platform/Io.h"

namespace tidewell {

class BackupPlan {
  public:
    // Entry `index` of the list (named `listName` there) will be converted by
    // `job`, whose names are mapped already. Call in list order, before Prepare.
    void Add(Io& io, size_t index, const std::string& listName, const RewriteJob& job);

    // The job planned for entry `index`, if the list still names the same file
    // there; else null (the list changed: that entry backs itself up).
    const RewriteJob* Find(size_t index, const std::string& listName) const;

    // Before entry `index` is converted: at the first entry of an archive,
    // adds every log planned for that archive in one commit. Returns what the
    // entry's log must still hold to be converted (its original, as the
    // archive has it, or what an earlier entry left), or null when the entry
    // has to back itself up as it is converted (the log could not be taken
    // then: missing, say). When the log could not be examined or the archive
    // could not take it, *refused is the entry's outcome: it is not converted.
    const LogState* Prepare(Io& io, size_t index, std::optional<RewriteOutcome>* refused);

    // The entry's rewrite is over: a later entry naming the same file expects
    // what this one left.
    void Converted(size_t index, const RewriteOutcome& outcome);

  private:
    struct Planned {
        size_t index;
        std::string listName;
        RewriteJob job;
        size_t group;
    };
    struct Refusal {
        RewriteOutcome outcome;
        bool backup;  // the archive could not take the log
    };
    struct Group {
        bool tried = false;
        std::vector<size_t> entries;  // into planned_
        // By member name; names of one file share one state.
        std::map<std::string, std::shared_ptr<LogState>> saved;
        std::map<std::string, Refusal> failed;  // by member name
    };
    void Commit(Io& io, Group& group);
    const Planned* Lookup(size_t index) const;
    std::shared_ptr<LogState> StateOf(const Planned& p) const;

    std::vector<Planned> planned_;  // in list order
    std::vector<Group> groups_;
    std::map<std::string, size_t> groupByArchive_;
};

}  // namespace tidewell
