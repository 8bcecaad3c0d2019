// Replacing a file by a freshly written one without a moment in which neither
// exists: write a scratch file beside it, flush it, rename it over the original.
#pragma once

#include <string>

#include "platform/Io.h"

namespace tidewell {

struct ReplaceError {
    std::string what;       // empty when all went well
    bool replaced = false;  // the target now holds the new content
    explicit operator bool() const { return !what.empty(); }
};

// Creates the scratch file afresh (never reusing a file found there), private
// to us, and locks it. Waits up to lockWaitMs for another run holding it. A
// leftover of ours (or of the folder's owner) that no run holds is removed
// first; one of another user, or no regular file, is refused. `log` is the
// file about to be rewritten. Returns the fd or -1; on failure nothing of ours
// is left under the scratch name.
int OpenScratchFile(Io& io, const std::string& path, const FileStat& log, int lockWaitMs,
                    ReplaceError* err);

// What is known to keep OpenScratchFile from creating the scratch file, found
// without creating or locking anything: a file in the way that is not to be
// cleared, a folder this process may not write. Empty when nothing is known;
// a run at work on the same folder is not looked for.
std::string ScratchFileObstacle(Io& io, const std::string& path, const FileStat& log);

// The scratch file is complete: give it the original's owner, extended
// attributes (ACLs among them, read through logFd, the original still open)
// and permission bits, flush it, make sure the original was not changed since
// `before` was taken, and rename it over `target`, then sync the folder.
// On failure the target is untouched; the caller still owns the scratch file.
ReplaceError CommitReplace(Io& io, int scratchFd, const std::string& scratchPath,
                           const std::string& target, int logFd, const FileStat& before);

// Removes a scratch file that is not going to be used (while still holding its
// lock, so no other run sees a half file), then closes it. False if the name
// could not be removed.
bool DiscardScratchFile(Io& io, int fd, const std::string& path);

// The real file behind a name: a symbolic link is followed so that the link
// itself survives the replace. False with a reason when the name cannot be
// examined or the link cannot be followed.
bool ResolveLinkTarget(Io& io, const std::string& name, std::string* target, std::string* error);

// Same file, same size, same times: nobody wrote to it in between.
bool SameFile(const FileStat& a, const FileStat& b);
bool Unchanged(const FileStat& a, const FileStat& b);

// An exclusive advisory lock on a folder, for work that replaces a shared file
// in it (the backup archive). Waits up to waitMs. Returns the fd to close, or -1.
int LockDirectory(Io& io, const std::string& dir, int waitMs, std::string* error);

}  // namespace tidewell
