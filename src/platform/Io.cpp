// What the Io seam shares on every system: the stop request, the current
// instance and the helpers built on the seam.
#include "platform/Io.h"

#include <cerrno>

namespace tidewell {
namespace {

Io g_systemIo;
Io* g_current = &g_systemIo;
volatile std::sig_atomic_t g_stopSignal = 0;

}  // namespace

void RequestStop(int signal) {
    g_stopSignal = signal;
}
int StopSignal() {
    return g_stopSignal;
}
void ClearStop() {
    g_stopSignal = 0;
}

Io& CurrentIo() {
    return *g_current;
}
void SetCurrentIo(Io* io) {
    g_current = io ? io : &g_systemIo;
}

bool WriteAll(Io& io, int fd, const void* buf, size_t n) {
    const char* p = static_cast<const char*>(buf);
    while (n > 0) {
        ssize_t w = io.Write(fd, p, n);
        if (w < 0) return false;
        if (w == 0) {
            errno = ENOSPC;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

int SyncDirectory(Io& io, const std::string& dir) {
    int fd = io.Open(dir.empty() ? std::string(".") : dir, O_RDONLY | O_DIRECTORY);
    if (fd < 0) return -1;
    int rc = io.Fsync(fd);
    int saved = errno;
    io.Close(fd);
    errno = saved;
    return rc;
}

}  // namespace tidewell
