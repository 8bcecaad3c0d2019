// libzip reads and writes through these, so that every byte of the backup goes
// through the Io seam: no file is created, read or removed behind its back.
#pragma once

#include <zip.h>

#include <cstdint>
#include <string>

#include "platform/Io.h"

namespace tidewell {

// The archive as libzip sees it: read from `readFd` (the archive as it is, or
// -1 for a new one), written to `workPath`, a file of ours created on the
// first write. After a commit the written file stays open (writeFd) for the
// caller to flush, check and put in place; a rollback removes it.
class ArchiveFileSource {
  public:
    // `newMode`: permission bits of the written file (the umask applies). An
    // empty workPath gives a source that only reads (to check an archive).
    ArchiveFileSource(Io& io, int readFd, int64_t readSize, std::string workPath = {},
                      uint32_t newMode = 0600);
    ArchiveFileSource(const ArchiveFileSource&) = delete;
    ArchiveFileSource& operator=(const ArchiveFileSource&) = delete;
    ~ArchiveFileSource();

    // A libzip source over this object; the object must outlive it.
    zip_source_t* Create(zip_error_t* error);

    // The caller takes the written file over: removing it is its business now.
    int TakeWriteFd() {
        const int fd = writeFd_;
        writeFd_ = -1;
        created_ = false;
        return fd;
    }
    // Why the last failing call failed, in words.
    const std::string& problem() const { return problem_; }

  private:
    static zip_int64_t Callback(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd);
    zip_int64_t Call(void* data, zip_uint64_t len, zip_source_cmd_t cmd);
    zip_int64_t Fail(int zipError, const std::string& what);
    bool BeginWrite(zip_uint64_t keep);
    void Discard();
    void KickWriteback();

    Io& io_;
    int readFd_;
    int64_t readSize_;
    std::string workPath_;
    uint32_t newMode_;
    bool writable_;
    zip_uint64_t readPos_ = 0;
    bool readSeek_ = true;  // the descriptor's offset is not readPos_
    int writeFd_ = -1;
    bool created_ = false;
    zip_uint64_t writePos_ = 0;
    zip_uint64_t writeEnd_ = 0;
    zip_uint64_t kicked_ = 0;  // disk writes started up to here
    zip_error_t error_{};
    std::string problem_;
};

// One member's bytes, read from an open descriptor from its start, or from a
// file opened by name for the read and closed after it (fd -1), which must be
// the very file `st` describes, unchanged. The CRC-32 and size of what libzip
// actually took are kept, so that the caller can compare them with what the
// archive holds and with what it converts.
class MemberSource {
  public:
    MemberSource(Io& io, int fd, const FileStat& st, std::string path = {});
    MemberSource(const MemberSource&) = delete;
    MemberSource& operator=(const MemberSource&) = delete;
    ~MemberSource();

    zip_source_t* Create(zip_t* za);

    uint64_t size() const { return size_; }
    uint32_t crc() const { return crc_; }
    bool complete() const { return complete_; }  // read to its end
    const std::string& problem() const { return problem_; }
    // The file was no longer as examined when it was opened to be read.
    bool changed() const { return changed_; }

  private:
    static zip_int64_t Callback(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd);
    zip_int64_t Call(void* data, zip_uint64_t len, zip_source_cmd_t cmd);
    zip_int64_t Fail(int zipError, std::string what);
    bool OpenByName();
    void CloseOwn();

    Io& io_;
    int fd_;
    FileStat st_;
    std::string path_;  // opened by name: fd_ is ours while libzip reads
    bool ownFd_ = false;
    bool changed_ = false;
    uint64_t size_ = 0;
    uint32_t crc_ = 0;
    bool complete_ = false;
    zip_error_t error_{};
    std::string problem_;
};

}  // namespace tidewell
