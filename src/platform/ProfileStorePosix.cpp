// The profile as a text file, in the form of the old Windows profile files:
//
//   ; tidewell profile: each value is the text after "=" up to the end of its line
//   [TidewellSetup]
//   TODOLST2=C:\HARUCOM\TODOLST2.DAT
//   LINES=100
//
// A value is every byte after the first '=' up to the line's end (a CR before
// the LF belongs to the line end), with no escapes, quotes or comments, so a
// file edited by hand reads as it looks. Section and entry names match
// without regard to ASCII case; the first matching line counts. Other lines,
// comments and sections are kept as they are when a value is written.
//
// Earlier versions wrote this file through QSettings, which doubles
// backslashes and quotes some values. A file without the comment line above
// may be one of those: a value in exactly the form QSettings would have
// written for some text is read as that text (C:\\HARUCOM → C:\HARUCOM);
// anything else, such as a hand-written C:\HARUCOM, is read as it stands.
// The first write adds the comment line and turns such values into plain form.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef _WIN32
#include <pwd.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/ProfileStore.h"

namespace tidewell {
namespace {

constexpr char kFormatLine[] =
    "; tidewell profile: each value is the text after \"=\" up to the end of its line";
constexpr char kFormatPrefix[] = "; tidewell profile:";

std::string ErrorText(int err) {
    return std::strerror(err);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string home;
    if (xdg && *xdg == '/') {
        home = xdg;
    } else {
        const char* h = std::getenv("HOME");
        if (!h || !*h) {
            const passwd* pw = getpwuid(getuid());
            h = pw ? pw->pw_dir : "";
        }
        home = std::string(h) + "/.config";
    }
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home;
}

bool IsUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t more = c < 0x80             ? 0
                            : (c & 0xE0) == 0xC0 ? 1
                            : (c & 0xF0) == 0xE0 ? 2
                            : (c & 0xF8) == 0xF0 ? 3
                                                 : SIZE_MAX;
        if (more == SIZE_MAX || s.size() - i <= more) return false;
        for (size_t k = 1; k <= more; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        i += more + 1;
    }
    return true;
}

// The text an earlier version meant by `v`, when v is exactly what its
// QSettings writer made of that text and differs from it; otherwise nothing.
std::optional<std::string> EarlierForm(const std::string& v) {
    if ((v.find_first_of("\\\"") == std::string::npos && v.rfind("@@", 0) != 0) || !IsUtf8(v)) {
        return std::nullopt;
    }
    const bool quoted = v.size() >= 2 && v.front() == '"' && v.back() == '"';
    const std::string inner = quoted ? v.substr(1, v.size() - 2) : v;
    std::string text;
    for (size_t i = 0; i < inner.size(); ++i) {
        const char c = inner[i];
        if (c == '"' || static_cast<unsigned char>(c) < 0x20) return std::nullopt;
        if (c == '\\') {
            // Only a doubled backslash and \" are what it wrote for path text.
            if (++i == inner.size() || (inner[i] != '\\' && inner[i] != '"')) return std::nullopt;
        }
        text.push_back(inner[i]);
    }
    const bool needsQuotes = text.find_first_of(";,=") != std::string::npos ||
                             (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (quoted != needsQuotes) return std::nullopt;
    // Text beginning with '@' was stored with the '@' doubled.
    if (!text.empty() && text[0] == '@') {
        if (text.size() < 2 || text[1] != '@') return std::nullopt;
        text.erase(0, 1);
    }
    return text;
}

struct Line {
    std::string text;  // without the line end
    bool cr = false;   // the line ended in CR LF
};

std::vector<Line> SplitLines(const std::string& bytes) {
    std::vector<Line> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        const bool last = end == std::string::npos;
        if (last) end = bytes.size();
        Line l{bytes.substr(start, end - start)};
        if (!l.text.empty() && l.text.back() == '\r' && !last) {
            l.text.pop_back();
            l.cr = true;
        }
        lines.push_back(std::move(l));
        start = end + 1;
    }
    // A leading byte-order mark is no part of the first line's meaning.
    if (!lines.empty() && lines[0].text.rfind("\xEF\xBB\xBF", 0) == 0) lines[0].text.erase(0, 3);
    return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
    std::string out;
    for (const Line& l : lines) out += l.text + (l.cr ? "\r\n" : "\n");
    return out;
}

// "[name]" → name; otherwise nothing.
std::optional<std::string> SectionHeader(const std::string& line) {
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']') return std::nullopt;
    return Trim(t.substr(1, t.size() - 2));
}

bool IsComment(const std::string& line) {
    const std::string t = Trim(line);
    return !t.empty() && t[0] == ';';
}

// Position of the '=' of an entry line, or npos.
size_t EntryEquals(const std::string& line) {
    if (IsComment(line) || SectionHeader(line)) return std::string::npos;
    return line.find('=');
}

bool HasFormatLine(const std::vector<Line>& lines) {
    for (const Line& l : lines) {
        if (l.text.rfind(kFormatPrefix, 0) == 0) return true;
    }
    return false;
}

struct Found {
    size_t line = std::string::npos;        // the entry's line
    size_t sectionEnd = std::string::npos;  // after the section's last entry line
};

Found Find(const std::vector<Line>& lines, const std::string& section, const std::string& entry) {
    Found f;
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (const auto name = SectionHeader(lines[i].text)) {
            inSection = SameIgnoringAsciiCase(*name, section);
            if (inSection && f.sectionEnd == std::string::npos) f.sectionEnd = i + 1;
            continue;
        }
        if (!inSection) continue;
        const size_t eq = EntryEquals(lines[i].text);
        if (eq == std::string::npos) continue;
        f.sectionEnd = i + 1;
        if (f.line == std::string::npos &&
            SameIgnoringAsciiCase(Trim(lines[i].text.substr(0, eq)), entry)) {
            f.line = i;
        }
    }
    return f;
}

// Reads the whole file. Missing: true with no lines. Otherwise false and *error.
bool ReadLines(const std::string& path, std::vector<Line>* lines, std::string* error) {
    lines->clear();
    error->clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return true;
        *error = ErrorText(errno);
        return false;
    }
    struct stat st {};
    std::string bytes;
    if (::fstat(fd, &st) != 0) {
        *error = ErrorText(errno);
    } else if (!S_ISREG(st.st_mode)) {
        *error = "not a regular file";
    } else {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                *error = ErrorText(errno);
                break;
            }
            if (n == 0) break;
            bytes.append(buf, size_t(n));
        }
    }
    ::close(fd);
    if (!error->empty()) return false;
    *lines = SplitLines(bytes);
    return true;
}

bool MakeFolders(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        errno = ENOTDIR;
        return false;
    }
    const size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash))) {
        return false;
    }
    return ::mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// Replaces the file at `path` (the target of a link, if it is one) by `bytes`
// through a new file beside it, so that a failure leaves the old one whole.
bool ReplaceFile(const std::string& path, const std::string& bytes, std::string* error) {
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
    if (!MakeFolders(folder)) {
        *error = "cannot create the folder " + folder + ": " + ErrorText(errno);
        return false;
    }
    const bool existed = ::stat(target.c_str(), &st) == 0;
    std::string temp;
    int fd = -1;
    for (int i = 0; fd < 0 && i < 100; ++i) {
        temp = target + ".new" + std::to_string(::getpid()) + "-" + std::to_string(i);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        *error = "cannot write in " + folder + ": " + ErrorText(errno);
        return false;
    }
    // The new file keeps the old one's permissions; a first one gets the umask's.
    bool ok = (!existed || ::fchmod(fd, st.st_mode & 07777) == 0) && WriteAll(fd, bytes) &&
              ::fsync(fd) == 0;
    int err = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        *error = "cannot write " + target + ": " + ErrorText(err);
        return false;
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace

struct ProfileStore::Impl {
    std::string path;
    bool loaded = false;
    std::vector<Line> lines;
    std::string readError;
    std::string writeError;

    void Load() {
        if (loaded) return;
        loaded = true;
        if (!ReadLines(path, &lines, &readError)) lines.clear();
    }

    std::optional<std::string> Value(const std::string& section, const std::string& entry) {
        Load();
        const Found f = Find(lines, section, entry);
        if (f.line == std::string::npos) return std::nullopt;
        const std::string& text = lines[f.line].text;
        const std::string raw = text.substr(text.find('=') + 1);
        if (!HasFormatLine(lines)) {
            if (auto earlier = EarlierForm(raw)) return earlier;
        }
        return raw;
    }
};

ProfileStore::ProfileStore(const std::string& registryKey, const std::string& applicationName)
    : impl_(std::make_unique<Impl>()) {
    impl_->path = ConfigHome() + "/" + registryKey + "/" + applicationName + ".conf";
}

ProfileStore::~ProfileStore() = default;

std::string ProfileStore::ReadError() const {
    impl_->Load();
    return impl_->readError.empty() ? std::string() : impl_->path + ": " + impl_->readError;
}

std::string ProfileStore::GetProfileString(const std::string& section, const std::string& entry,
                                           const std::string& defaultValue) const {
    return impl_->Value(section, entry).value_or(defaultValue);
}

int ProfileStore::GetProfileInt(const std::string& section, const std::string& entry,
                                int defaultValue) const {
    const auto value = impl_->Value(section, entry);
    if (!value) return defaultValue;
    const std::string t = Trim(*value);
    const size_t digits = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
    if (t.size() == digits || t.find_first_not_of("0123456789", digits) != std::string::npos) {
        return defaultValue;
    }
    errno = 0;
    const long long n = std::strtoll(t.c_str(), nullptr, 10);
    if (errno == ERANGE || n < INT_MIN || n > INT_MAX) return defaultValue;
    return static_cast<int>(n);
}

bool ProfileStore::WriteProfileString(const std::string& section, const std::string& entry,
                                      const std::string& value) {
    Impl& d = *impl_;
    d.writeError.clear();
    if (value.find_first_of(std::string("\n\r\0", 3)) != std::string::npos) {
        d.writeError = entry + ": a line break or NUL byte cannot be kept in the profile";
        return false;
    }
    // What is on disk now, so that nothing written meanwhile is lost.
    std::vector<Line> lines;
    std::string error;
    if (!ReadLines(d.path, &lines, &error)) {
        d.writeError = "cannot read " + d.path + " to update it: " + error;
        return false;
    }
    if (!HasFormatLine(lines)) {
        // From now on values are read as written: spell out the earlier ones.
        for (Line& l : lines) {
            const size_t eq = EntryEquals(l.text);
            if (eq == std::string::npos) continue;
            if (auto earlier = EarlierForm(l.text.substr(eq + 1))) {
                l.text = l.text.substr(0, eq + 1) + *earlier;
            }
        }
        lines.insert(lines.begin(), Line{kFormatLine});
    }
    const Found f = Find(lines, section, entry);
    if (f.line != std::string::npos) {
        std::string& text = lines[f.line].text;
        text = text.substr(0, text.find('=') + 1) + value;
    } else if (f.sectionEnd != std::string::npos) {
        lines.insert(lines.begin() + std::ptrdiff_t(f.sectionEnd), Line{entry + "=" + value});
    } else {
        lines.push_back(Line{"[" + section + "]"});
        lines.push_back(Line{entry + "=" + value});
    }
    if (!ReplaceFile(d.path, JoinLines(lines), &error)) {
        d.writeError = error;
        return false;
    }
    d.lines = std::move(lines);
    d.loaded = true;
    d.readError.clear();
    return true;
}

bool ProfileStore::WriteProfileInt(const std::string& section, const std::string& entry,
                                   int value) {
    return WriteProfileString(section, entry, std::to_string(value));
}

const std::string& ProfileStore::WriteError() const {
    return impl_->writeError;
}

std::string ProfileStore::FileName() const {
    return impl_->path;
}

}  // namespace tidewell
