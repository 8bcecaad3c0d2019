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

// Opens (creating it if needed) and locks the scratch file, then empties it.
// Waits up to lockWaitMs for another run holding it. Returns the fd or -1.
int OpenScratchFile(Io& io, const std::string& path, int lockWaitMs, ReplaceError* err);

// The scratch file is complete: flush it, give it the original's permission
// bits (and owner, when we may), make sure the original was not changed since
// `before` was taken, and rename it over `target`, then sync the folder.
// On failure the target is untouched; the caller still owns the scratch file.
ReplaceError CommitReplace(Io& io, int scratchFd, const std::string& scratchPath,
                           const std::string& target, const FileStat& before);

// Closes and removes a scratch file that is not going to be used.
void DiscardScratchFile(Io& io, int fd, const std::string& path);

// The real file behind a name: a symbolic link is followed so that the link
// itself survives the replace. Returns the name unchanged when it is no link.
std::string ResolveLinkTarget(Io& io, const std::string& name);

std::string ErrnoText(int err);

}  // namespace tidewell
