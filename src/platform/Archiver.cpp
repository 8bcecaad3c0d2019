#include "platform/Archiver.h"

#include <fcntl.h>
#include <zip.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/FileReplace.h"
#include "platform/Io.h"
#include "platform/PathParts.h"

namespace tidewell {
namespace {

struct AddResult {
    std::string error;
};

void Report(const std::string& text, char* output, int outputSize) {
    if (!output || outputSize <= 0) return;
    std::snprintf(output, static_cast<size_t>(outputSize), "%s", text.c_str());
}

// Size and CRC-32 of a file as it is on disk now.
bool Checksum(Io& io, const std::string& path, uint64_t* size, uLong* crc, std::string* error) {
    const int fd = io.Open(path, O_RDONLY);
    if (fd < 0) {
        *error = "cannot read " + path + ": " + ErrnoText(errno);
        return false;
    }
    std::unique_ptr<unsigned char[]> buf(new unsigned char[64 * 1024]);
    *size = 0;
    *crc = crc32(0L, Z_NULL, 0);
    for (;;) {
        const ssize_t r = io.Read(fd, buf.get(), 64 * 1024);
        if (r < 0) {
            *error = "cannot read " + path + ": " + ErrnoText(errno);
            io.Close(fd);
            return false;
        }
        if (r == 0) break;
        *crc = crc32(*crc, buf.get(), static_cast<uInt>(r));
        *size += static_cast<uint64_t>(r);
    }
    io.Close(fd);
    return true;
}

std::string ZipError(zip_t* za) {
    return zip_strerror(za);
}

// Reopens the archive with its consistency checks and compares the member.
std::string VerifyMember(const std::string& archive, const std::string& member, uint64_t size,
                         uLong crc) {
    int zerr = 0;
    zip_t* za = zip_open(archive.c_str(), ZIP_CHECKCONS | ZIP_RDONLY, &zerr);
    if (!za) {
        zip_error_t e;
        zip_error_init_with_code(&e, zerr);
        std::string text = std::string("archive fails its check: ") + zip_error_strerror(&e);
        zip_error_fini(&e);
        return text;
    }
    zip_stat_t st;
    zip_stat_init(&st);
    std::string error;
    if (zip_stat(za, member.c_str(), ZIP_FL_ENC_RAW, &st) != 0) {
        error = "member " + member + " missing after writing";
    } else if (st.size != size || st.crc != crc) {
        error = "member " + member + " does not match the file";
    }
    zip_discard(za);
    return error;
}

std::string AddToArchive(Io& io, const std::string& archive, const std::string& file) {
    const std::string member = SplitPath(file).baseName;
    uint64_t size = 0;
    uLong crc = 0;
    std::string error;
    if (!Checksum(io, file, &size, &crc, &error)) return error;
    FileStat fst;
    if (io.Stat(file, &fst) != 0) return "cannot examine " + file + ": " + ErrnoText(errno);

    if (io.Step("archive.add") != 0) return "cannot add to " + archive + ": " + ErrnoText(errno);
    int zerr = 0;
    zip_t* za = zip_open(archive.c_str(), ZIP_CREATE, &zerr);
    if (!za) {
        zip_error_t e;
        zip_error_init_with_code(&e, zerr);
        error = "cannot open " + archive + ": " + zip_error_strerror(&e);
        zip_error_fini(&e);
        return error;
    }
    zip_source_t* src = zip_source_file(za, file.c_str(), 0, -1);
    if (!src) {
        error = "cannot read " + file + ": " + ZipError(za);
        zip_discard(za);
        return error;
    }
    const zip_int64_t idx =
        zip_file_add(za, member.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_RAW);
    if (idx < 0) {
        error = "cannot add " + member + ": " + ZipError(za);
        zip_source_free(src);
        zip_discard(za);
        return error;
    }
    const auto index = static_cast<zip_uint64_t>(idx);
    if (zip_set_file_compression(za, index, ZIP_CM_DEFLATE, 0) != 0 ||
        zip_file_set_mtime(za, index, fst.mtime.tv_sec, 0) != 0) {
        error = "cannot set up " + member + ": " + ZipError(za);
        zip_discard(za);
        return error;
    }
    if (io.Step("archive.commit") != 0) {
        error = "cannot write " + archive + ": " + ErrnoText(errno);
        zip_discard(za);
        return error;
    }
    // libzip writes a temporary beside the archive and renames it into place.
    if (zip_close(za) != 0) {
        error = "cannot write " + archive + ": " + ZipError(za);
        zip_discard(za);
        return error;
    }
    // The rename is not flushed by libzip: the backup must be on disk before
    // the log it saves is replaced.
    const int afd = io.Open(archive, O_RDONLY);
    if (afd < 0) return "cannot reopen " + archive + ": " + ErrnoText(errno);
    const int rc = io.Fsync(afd);
    const int saved = errno;
    io.Close(afd);
    if (rc != 0) return "cannot flush " + archive + ": " + ErrnoText(saved);
    if (SyncDirectory(io, DirectoryToSync(archive)) != 0) {
        return "cannot flush the folder of " + archive + ": " + ErrnoText(errno);
    }
    return VerifyMember(archive, member, size, crc);
}

}  // namespace

std::vector<std::string> SplitCommandWords(const std::string& command) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (char c : command) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (c == ' ' && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

std::string ArchiveFileName(const std::string& name) {
    const std::string base = SplitPath(name).baseName;
    return base.find('.') == std::string::npos ? name + ".zip" : name;
}

int ArchiverCommand(const void* /*caller*/, const char* command, char* output, int outputSize) {
    const std::vector<std::string> words = SplitCommandWords(command ? command : "");
    if (words.empty() || words[0] != "a") {
        Report("unsupported archiver command", output, outputSize);
        return 1;
    }
    size_t i = 1;
    for (; i < words.size() && words[i].size() > 1 && words[i][0] == '-'; ++i) {
        if (words[i] != "-n") {
            Report("unsupported switch " + words[i], output, outputSize);
            return 1;
        }
    }
    if (words.size() - i < 2) {
        Report("archive or file name missing", output, outputSize);
        return 1;
    }
    const std::string archive = ArchiveFileName(words[i]);
    for (size_t f = i + 1; f < words.size(); ++f) {
        const std::string error = AddToArchive(CurrentIo(), archive, words[f]);
        if (!error.empty()) {
            Report(error, output, outputSize);
            return 1;
        }
    }
    Report("", output, outputSize);
    return 0;
}

}  // namespace tidewell
