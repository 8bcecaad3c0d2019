// Our own stand-in for the archiver library the converter hands its backups
// to: adds logs to a zip archive in their folder, called with the names as
// values, so that every byte of every name arrives as it was read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Io.h"

namespace tidewell {

// One file to keep in the archive. Its bytes come from a descriptor the caller
// opened (the very one its conversion reads), from the start; or, with fd -1,
// from `path`, opened only while libzip reads it (a folder of a thousand logs
// must not need a thousand descriptors at once).
struct ArchiveMember {
    std::string name;  // the member's name, every byte as given
    int fd = -1;
    std::string path;  // with fd -1: the file to read, still as `st` describes it
    FileStat st;       // Fstat of the file when it was examined
    // Set once the archive holding the member is on disk and read back:
    uint64_t size = 0;
    uint32_t crc = 0;
    // Set when the commit failed because of this member (its file could not
    // be read, or changed): without it, the others may go in.
    std::string problem;
};

// Adds every member in one commit to the archive `fileName` in `folder` (which
// keeps its trailing separator; empty for the working folder), replacing
// members of the same names. The new archive is written beside the old one,
// flushed, and each new member read back and compared with the bytes taken
// from its descriptor before it takes the old one's place. Returns an empty
// string on success, else why; then the archive is as it was and nothing of
// the attempt is left behind.
std::string AddToArchive(Io& io, const std::string& folder, const std::string& fileName,
                         std::vector<ArchiveMember>& members);

// An archive name without an extension gets ".zip".
std::string ArchiveFileName(const std::string& name);

}  // namespace tidewell
