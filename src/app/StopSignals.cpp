#include "app/StopSignals.h"

#include "platform/Io.h"

namespace tidewell {

StopSignals::StopSignals() {
    for (size_t i = 0; i < kCount; ++i) {
        struct sigaction old {};
        if (sigaction(kSignals[i], nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) ||
            old.sa_handler != SIG_DFL) {
            continue;
        }
        struct sigaction sa {};
        sa.sa_handler = [](int sig) { RequestStop(sig); };
        sigemptyset(&sa.sa_mask);
        installed_[i] = sigaction(kSignals[i], &sa, &old_[i]) == 0;
    }
}

StopSignals::~StopSignals() {
    Restore();
}

void StopSignals::Restore() {
    for (size_t i = 0; i < kCount; ++i) {
        if (installed_[i]) sigaction(kSignals[i], &old_[i], nullptr);
        installed_[i] = false;
    }
}

void StopSignals::EndIfStopped() {
    Restore();
    if (const int sig = StopSignal()) {
        ClearStop();
        std::raise(sig);
    }
}

}  // namespace tidewell
