// What Ctrl-C, a hang-up, a shutdown or a closed output pipe do to a
// conversion. The handler only asks the core to stop (RequestStop), so the log
// under way is left as it was and nothing half-done stays behind; once the run
// is over, the program ends the way the signal would have ended it, as a shell
// expects. Signals someone else handles or ignores are left alone.
// On Windows (StopSignalsWin32.cpp) the same is done for Ctrl-C and Ctrl-Break,
// closing the console, logging off and shutting down; the process then ends
// with the status Windows gives a program ended by Ctrl-C. Windows ends the
// process as soon as a close, log-off or shut-down handler returns, so that
// handler waits (a few seconds at most) for the run to be over.
#pragma once

#include <csignal>
#include <cstddef>

namespace tidewell {

class StopSignals {
  public:
    StopSignals();   // installs the handlers
    ~StopSignals();  // puts the earlier ones back
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Puts the earlier handlers back and, when a signal asked the run to
    // stop, ends the process by that signal. Only from the main thread, once
    // the run is over: a worker that raised it would end the program under
    // the main thread's feet.
    void EndIfStopped();

  private:
#ifndef _WIN32
    void Restore();

    static constexpr size_t kCount = 4;
    static constexpr int kSignals[kCount] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    struct sigaction old_[kCount] = {};
    bool installed_[kCount] = {};
#endif
};

}  // namespace tidewell
