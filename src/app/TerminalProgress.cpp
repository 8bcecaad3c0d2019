#include "app/TerminalProgress.h"

#ifdef _WIN32
#include <io.h>

#include "platform/Win32Api.h"
#else
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

namespace tidewell {
namespace {

constexpr size_t kDefaultColumns = 80;
constexpr char kEllipsis[] = "...";

#ifdef _WIN32
HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// _isatty also says yes for NUL: only a console has a console mode.
bool IsTerminal(int fd) {
    DWORD mode = 0;
    return GetConsoleMode(HandleOf(fd), &mode) != 0;
}

// A process has one console at most.
bool SameTerminal(int a, int b) {
    return IsTerminal(a) && IsTerminal(b);
}
#else
bool IsTerminal(int fd) {
    return isatty(fd) != 0;
}

bool SameTerminal(int a, int b) {
    if (!isatty(a) || !isatty(b)) return false;
    struct stat sa {};
    struct stat sb {};
    if (fstat(a, &sa) != 0 || fstat(b, &sb) != 0) return false;
    return sa.st_rdev == sb.st_rdev;
}
#endif

}  // namespace

std::string ProgressLineText(const EntryProgress& p, size_t columns) {
    std::string head = "tidewell: entry " + std::to_string(p.entriesDone + 1) + ", ";
    if (p.listSize > 0) {
        const uint64_t read = std::min(p.listOffset, p.listSize);
        head += std::to_string(read * 100 / p.listSize) + "% of the list (" + std::to_string(read) +
                " of " + std::to_string(p.listSize) + " bytes): ";
    } else {
        head += std::to_string(p.listOffset) + " bytes of the list: ";
    }
    // A name is shown as it is only when every byte prints as one column; a
    // control byte must not reach the terminal.
    std::string name = p.currentFile;
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
            c = '?';
        }
    }
    // The last column is left free: a line filling it would wrap on some
    // terminals and could no longer be erased in place.
    const size_t room = columns > 1 ? columns - 1 : 0;
    if (head.size() + name.size() <= room) return head + name;
    if (head.size() + sizeof(kEllipsis) - 1 < room) {
        const size_t keep = room - head.size() - (sizeof(kEllipsis) - 1);
        return head + kEllipsis + name.substr(name.size() - keep);
    }
    return head.substr(0, room);
}

TerminalProgress::TerminalProgress(int errFd, int outFd, std::ostream& trace, std::ostream& diag,
                                   Clock clock)
    : m_errFd(errFd),
      m_bActive(IsTerminal(errFd)),
      m_bSharesTerminal(SameTerminal(errFd, outFd)),
      m_traceBuf(*this, trace.rdbuf(), true),
      m_diagBuf(*this, diag.rdbuf(), false),
      m_trace(&m_traceBuf),
      m_diag(&m_diagBuf),
      m_clock(std::move(clock)) {}

TerminalProgress::~TerminalProgress() {
    Erase();
}

bool TerminalProgress::Update(const EntryProgress& p) {
    if (!m_bActive) return true;
    // Thousands of small logs would otherwise keep the terminal busy redrawing.
    const auto now = m_clock();
    if (m_bDrawn && now - m_lastDraw < kRedrawInterval) {
        m_pending = p;
        m_bPending = true;
        return true;
    }
    m_bDrawn = true;
    m_lastDraw = now;
    Draw(p);
    return true;
}

void TerminalProgress::Finish() {
    if (m_bPending && m_bActive) Draw(m_pending);
    Erase();
}

void TerminalProgress::Draw(const EntryProgress& p) {
    m_bPending = false;
    Erase();
    if (m_bTraceMidLine) {
        // The line goes below the trace text, not over it.
        Write("\n");
        m_bTraceMidLine = false;
    }
    const std::string line = ProgressLineText(p, Columns());
    Write("\r" + line);
    if (m_bActive) m_nShown = line.size();
}

void TerminalProgress::Erase() {
    if (m_nShown == 0) return;
    // Spaces rather than an escape sequence: works on every terminal. Built in
    // place: "\r" + std::string(...) trips a false -Wrestrict in GCC 12 at -O3.
    std::string blank(m_nShown + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    Write(blank);
    m_nShown = 0;
}

void TerminalProgress::BeforeOutput(bool isTrace) {
    if (isTrace && !m_bSharesTerminal) return;  // goes elsewhere
    Erase();
    if (!isTrace && m_bTraceMidLine) {
        Write("\n");
        m_bTraceMidLine = false;
    }
}

void TerminalProgress::AfterTrace(char last) {
    if (!m_bSharesTerminal) return;
    // On the screen now, so that the next progress line finds it there.
    m_traceBuf.pubsync();
    m_bTraceMidLine = last != '\n';
}

void TerminalProgress::Write(const std::string& bytes) {
    if (!m_bActive) return;
    // Whatever the error stream still holds goes first.
    m_diagBuf.pubsync();
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_errFd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // A terminal that takes no more output gets no more progress.
            m_bActive = false;
            m_nShown = 0;
            return;
        }
        done += size_t(n);
    }
}

size_t TerminalProgress::Columns() const {
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(HandleOf(m_errFd), &info) &&
        info.srWindow.Right >= info.srWindow.Left) {
        return size_t(info.srWindow.Right - info.srWindow.Left + 1);
    }
#else
    struct winsize ws {};
    if (ioctl(m_errFd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
#endif
    if (const char* env = std::getenv("COLUMNS")) {
        const long n = std::strtol(env, nullptr, 10);
        if (n > 0) return size_t(n);
    }
    return kDefaultColumns;
}

int TerminalProgress::ClearingBuf::overflow(int c) {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    m_owner.BeforeOutput(m_bTrace);
    const int r = m_target->sputc(traits_type::to_char_type(c));
    if (m_bTrace) m_owner.AfterTrace(traits_type::to_char_type(c));
    return r;
}

std::streamsize TerminalProgress::ClearingBuf::xsputn(const char* s, std::streamsize n) {
    if (n <= 0) return 0;
    m_owner.BeforeOutput(m_bTrace);
    const std::streamsize r = m_target->sputn(s, n);
    if (m_bTrace) m_owner.AfterTrace(s[n - 1]);
    return r;
}

}  // namespace tidewell
