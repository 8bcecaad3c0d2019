// The progress line of a batch run on a terminal: one line on standard error,
// redrawn in place as the entries go by (at most about ten times a second)
// and erased before anything else is written there, and at the end.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <ostream>
#include <streambuf>
#include <string>

#include "convert/ProcessTodoList.h"

namespace tidewell {

// The line's text, cut to fit `columns` (the file name loses its front first).
std::string ProgressLineText(const EntryProgress& p, size_t columns);

class TerminalProgress {
  public:
    // errFd: where the line goes (standard error); outFd: standard output.
    // trace and diag are the streams the run would write its trace and its
    // error lines to.
    // clock: where the time between redraws is taken from (tests set their own).
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    TerminalProgress(int errFd, int outFd, std::ostream& trace, std::ostream& diag,
                     Clock clock = std::chrono::steady_clock::now);
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // False when errFd is not a terminal: then nothing is ever drawn.
    bool active() const { return m_bActive; }
    // Standard output is the same terminal; then TraceMidLine tells whether
    // the trace left the cursor in the middle of a line.
    bool SharesTerminal() const { return m_bSharesTerminal; }
    bool TraceMidLine() const { return m_bTraceMidLine; }

    // The run's streams while the line may be shown: whatever is written
    // through them lands on lines of its own, never mixed with the progress
    // line. The bytes that reach the underlying streams are unchanged.
    std::ostream& trace() { return m_trace; }
    std::ostream& diag() { return m_diag; }

    // For ConvertEnv::progress: always lets the run go on. Within a tenth of a
    // second of the last redraw the state is only kept, for the next one.
    bool Update(const EntryProgress& p);
    // Draws the last state kept, if it never made it to the screen, then
    // erases the line: the end of the run.
    void Finish();
    // Removes the line; the cursor is left at the start of the empty line.
    void Erase();

    static constexpr std::chrono::milliseconds kRedrawInterval{100};

  private:
    // Passes everything on to target, clearing the way first.
    class ClearingBuf : public std::streambuf {
      public:
        ClearingBuf(TerminalProgress& owner, std::streambuf* target, bool isTrace)
            : m_owner(owner), m_target(target), m_bTrace(isTrace) {}

      protected:
        int overflow(int c) override;
        std::streamsize xsputn(const char* s, std::streamsize n) override;
        int sync() override { return m_target->pubsync(); }

      private:
        TerminalProgress& m_owner;
        std::streambuf* m_target;
        bool m_bTrace;
    };

    void Draw(const EntryProgress& p);
    void BeforeOutput(bool isTrace);
    void AfterTrace(char last);
    void Write(const std::string& bytes);
    size_t Columns() const;

    int m_errFd;
    bool m_bActive;
    // Standard output is the same terminal: its trace text and the progress
    // line share the screen.
    bool m_bSharesTerminal;
    bool m_bTraceMidLine = false;  // the screen's last line holds trace text
    ClearingBuf m_traceBuf;
    ClearingBuf m_diagBuf;
    std::ostream m_trace;
    std::ostream m_diag;
    size_t m_nShown = 0;  // width of the line on screen, 0 when none
    Clock m_clock;
    bool m_bDrawn = false;  // at least once: m_lastDraw is set
    std::chrono::steady_clock::time_point m_lastDraw{};
    bool m_bPending = false;  // m_pending came too soon after a redraw
    EntryProgress m_pending;
};

}  // namespace tidewell
