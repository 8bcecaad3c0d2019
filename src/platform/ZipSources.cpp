#include "platform/ZipSources.h"

#include <fcntl.h>
#include <zlib.h>

#include <cerrno>
#include <memory>

#include "platform/FileReplace.h"

namespace tidewell {
namespace {

constexpr size_t kCopyBuffer = 256 * 1024;

zip_int64_t StatReply(void* data, zip_uint64_t len, int64_t size, const FileStat& st,
                      zip_error_t* error) {
    if (len < sizeof(zip_stat_t)) {
        zip_error_set(error, ZIP_ER_INVAL, 0);
        return -1;
    }
    auto* zs = static_cast<zip_stat_t*>(data);
    zip_stat_init(zs);
    zs->size = static_cast<zip_uint64_t>(size);
    zs->mtime = st.mtime.tv_sec;
    zs->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
    return sizeof(zip_stat_t);
}

}  // namespace

ArchiveFileSource::ArchiveFileSource(Io& io, int readFd, int64_t readSize, std::string workPath,
                                     uint32_t newMode)
    : io_(io),
      readFd_(readFd),
      readSize_(readSize),
      workPath_(std::move(workPath)),
      newMode_(newMode),
      writable_(!workPath_.empty()) {
    zip_error_init(&error_);
}

ArchiveFileSource::~ArchiveFileSource() {
    Discard();
    zip_error_fini(&error_);
}

zip_source_t* ArchiveFileSource::Create(zip_error_t* error) {
    return zip_source_function_create(&ArchiveFileSource::Callback, this, error);
}

zip_int64_t ArchiveFileSource::Callback(void* state, void* data, zip_uint64_t len,
                                        zip_source_cmd_t cmd) {
    return static_cast<ArchiveFileSource*>(state)->Call(data, len, cmd);
}

zip_int64_t ArchiveFileSource::Fail(int zipError, const std::string& what) {
    const int err = errno;
    zip_error_set(&error_, zipError, err);
    problem_ = what + ": " + ErrnoText(err);
    return -1;
}

// Removes the file being written, if any: it is not going to be used.
void ArchiveFileSource::Discard() {
    if (writeFd_ >= 0) {
        const int saved = errno;
        io_.Close(writeFd_);
        errno = saved;
        writeFd_ = -1;
    }
    if (created_) {
        const int saved = errno;
        if (io_.Remove(workPath_) != 0 && errno != ENOENT) io_.Remove(workPath_);
        errno = saved;
        created_ = false;
    }
}

// Creates the new archive file; its first `keep` bytes are those of the
// archive as it is (libzip keeps the members before its first change as they
// are, and writes only what follows).
bool ArchiveFileSource::BeginWrite(zip_uint64_t keep) {
    Discard();
    // libzip starts again without the kept part when that fails; a failure
    // of the system is not one to retry behind the caller's back.
    if (!problem_.empty()) return false;
    writeFd_ = io_.Open(workPath_, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY, newMode_);
    if (writeFd_ < 0) return Fail(ZIP_ER_TMPOPEN, "cannot create " + workPath_) >= 0;
    created_ = true;
    writePos_ = writeEnd_ = kicked_ = 0;
    if (keep == 0) return true;
    if (io_.Seek(readFd_, 0) != 0) return Fail(ZIP_ER_SEEK, "cannot read the archive") >= 0;
    readSeek_ = true;
    std::unique_ptr<unsigned char[]> buf(new unsigned char[kCopyBuffer]);
    while (writePos_ < keep) {
        const size_t want =
            static_cast<size_t>(std::min<zip_uint64_t>(kCopyBuffer, keep - writePos_));
        const ssize_t r = io_.Read(readFd_, buf.get(), want);
        if (r <= 0) {
            if (r == 0) errno = EIO;  // shorter than libzip found it
            return Fail(ZIP_ER_READ, "cannot read the archive") >= 0;
        }
        if (!WriteAll(io_, writeFd_, buf.get(), static_cast<size_t>(r))) {
            return Fail(ZIP_ER_WRITE, "cannot write " + workPath_) >= 0;
        }
        writePos_ += static_cast<zip_uint64_t>(r);
        KickWriteback();
    }
    writeEnd_ = writePos_;
    return true;
}

// The new archive is flushed before it is used: on a big one, copying the
// members kept as they are and flushing them at the end would take twice as
// long as letting the disk writes run during the copy.
void ArchiveFileSource::KickWriteback() {
    constexpr zip_uint64_t kStep = 2 << 20;
    if (writePos_ >= kicked_ + kStep) {
        StartWriteback(writeFd_, static_cast<int64_t>(kicked_),
                       static_cast<int64_t>(writePos_ - kicked_));
        kicked_ = writePos_;
    }
}

zip_int64_t ArchiveFileSource::Call(void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    switch (cmd) {
        case ZIP_SOURCE_SUPPORTS: {
            zip_int64_t bits = ZIP_SOURCE_SUPPORTS_SEEKABLE;
            if (writable_) {
                bits |= ZIP_SOURCE_SUPPORTS_WRITABLE |
                        zip_source_make_command_bitmap(ZIP_SOURCE_BEGIN_WRITE_CLONING, -1);
            }
            return bits;
        }
        case ZIP_SOURCE_STAT:
            if (readFd_ < 0) {
                // No archive yet: libzip then starts a new one.
                zip_error_set(&error_, ZIP_ER_READ, ENOENT);
                return -1;
            }
            return StatReply(data, len, readSize_, FileStat{}, &error_);
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&error_, data, len);
        case ZIP_SOURCE_OPEN:
            readPos_ = 0;
            readSeek_ = true;
            return 0;
        case ZIP_SOURCE_READ: {
            if (readSeek_) {
                if (io_.Seek(readFd_, static_cast<int64_t>(readPos_)) < 0) {
                    return Fail(ZIP_ER_SEEK, "cannot read the archive");
                }
                readSeek_ = false;
            }
            const ssize_t r = io_.Read(readFd_, data, static_cast<size_t>(len));
            if (r < 0) return Fail(ZIP_ER_READ, "cannot read the archive");
            readPos_ += static_cast<zip_uint64_t>(r);
            return r;
        }
        case ZIP_SOURCE_SEEK: {
            const zip_int64_t pos = zip_source_seek_compute_offset(
                readPos_, static_cast<zip_uint64_t>(readSize_), data, len, &error_);
            if (pos < 0) return -1;
            if (static_cast<zip_uint64_t>(pos) != readPos_) readSeek_ = true;
            readPos_ = static_cast<zip_uint64_t>(pos);
            return 0;
        }
        case ZIP_SOURCE_TELL:
            return static_cast<zip_int64_t>(readPos_);
        case ZIP_SOURCE_CLOSE:
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_BEGIN_WRITE:
            return BeginWrite(0) ? 0 : -1;
        case ZIP_SOURCE_BEGIN_WRITE_CLONING:
            return BeginWrite(len) ? 0 : -1;
        case ZIP_SOURCE_WRITE:
            if (!WriteAll(io_, writeFd_, data, static_cast<size_t>(len))) {
                return Fail(ZIP_ER_WRITE, "cannot write " + workPath_);
            }
            writePos_ += len;
            writeEnd_ = std::max(writeEnd_, writePos_);
            KickWriteback();
            return static_cast<zip_int64_t>(len);
        case ZIP_SOURCE_SEEK_WRITE: {
            const zip_int64_t pos =
                zip_source_seek_compute_offset(writePos_, writeEnd_, data, len, &error_);
            if (pos < 0) return -1;
            if (io_.Seek(writeFd_, static_cast<int64_t>(pos)) < 0) {
                return Fail(ZIP_ER_SEEK, "cannot write " + workPath_);
            }
            writePos_ = static_cast<zip_uint64_t>(pos);
            return 0;
        }
        case ZIP_SOURCE_TELL_WRITE:
            return static_cast<zip_int64_t>(writePos_);
        case ZIP_SOURCE_COMMIT_WRITE:
            // Stays open and under its working name: the caller flushes and
            // checks it before it replaces anything.
            return 0;
        case ZIP_SOURCE_ROLLBACK_WRITE:
            Discard();
            return 0;
        case ZIP_SOURCE_REMOVE:
            // Only asked for when an archive would be left without members,
            // which a backup never does.
            zip_error_set(&error_, ZIP_ER_INTERNAL, 0);
            problem_ = "the archive would be left empty";
            return -1;
        default:
            zip_error_set(&error_, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

MemberSource::MemberSource(Io& io, int fd, const FileStat& st, std::string path)
    : io_(io), fd_(fd), st_(st), path_(std::move(path)) {
    zip_error_init(&error_);
}

MemberSource::~MemberSource() {
    CloseOwn();
    zip_error_fini(&error_);
}

zip_source_t* MemberSource::Create(zip_t* za) {
    return zip_source_function(za, &MemberSource::Callback, this);
}

zip_int64_t MemberSource::Callback(void* state, void* data, zip_uint64_t len,
                                   zip_source_cmd_t cmd) {
    return static_cast<MemberSource*>(state)->Call(data, len, cmd);
}

zip_int64_t MemberSource::Fail(int zipError, std::string what) {
    zip_error_set(&error_, zipError, errno);
    problem_ = std::move(what);
    return -1;
}

void MemberSource::CloseOwn() {
    if (!ownFd_) return;
    const int saved = errno;
    io_.Close(fd_);
    errno = saved;
    fd_ = -1;
    ownFd_ = false;
}

// The file must still be the one examined before: another file under the
// name, or one written to since, is not what the caller means to convert.
bool MemberSource::OpenByName() {
    CloseOwn();
    fd_ = io_.Open(path_, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) return Fail(ZIP_ER_OPEN, path_ + ": cannot open: " + ErrnoText(errno)) >= 0;
    ownFd_ = true;
    FileStat now;
    if (io_.Fstat(fd_, &now) != 0) {
        return Fail(ZIP_ER_READ, path_ + ": cannot examine: " + ErrnoText(errno)) >= 0;
    }
    if (!Unchanged(now, st_)) {
        errno = 0;
        changed_ = true;
        return Fail(ZIP_ER_CHANGED, "changed while it was being backed up") >= 0;
    }
    return true;
}

zip_int64_t MemberSource::Call(void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    switch (cmd) {
        case ZIP_SOURCE_SUPPORTS:
            return ZIP_SOURCE_SUPPORTS_READABLE;
        case ZIP_SOURCE_STAT:
            return StatReply(data, len, st_.size, st_, &error_);
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&error_, data, len);
        case ZIP_SOURCE_OPEN:
            if (!path_.empty()) {
                if (!OpenByName()) return -1;
            } else if (io_.Seek(fd_, 0) != 0) {
                // From the start each time, whatever read the descriptor before.
                return Fail(ZIP_ER_SEEK, "cannot read: " + ErrnoText(errno));
            }
            size_ = 0;
            crc_ = static_cast<uint32_t>(crc32(0L, Z_NULL, 0));
            complete_ = false;
            return 0;
        case ZIP_SOURCE_READ: {
            const ssize_t r = io_.Read(fd_, data, static_cast<size_t>(len));
            if (r < 0) return Fail(ZIP_ER_READ, "cannot read: " + ErrnoText(errno));
            if (r == 0) complete_ = true;
            crc_ = static_cast<uint32_t>(
                crc32(crc_, static_cast<const Bytef*>(data), static_cast<uInt>(r)));
            size_ += static_cast<uint64_t>(r);
            return r;
        }
        case ZIP_SOURCE_CLOSE:
        case ZIP_SOURCE_FREE:
            CloseOwn();
            return 0;
        default:
            zip_error_set(&error_, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

}  // namespace tidewell
