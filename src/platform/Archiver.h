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
// opened (the very one its conversion reads), from the start.
struct ArchiveMember {
    std::string name;  // the member's name, every byte as given
    int fd = -1;
    FileStat st;  // Fstat of fd when it was opened
    // Set once the archive holding the member is on disk and read back:
    uint64_t size = 0;
    uint32_t crc = 0;
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
