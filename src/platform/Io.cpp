// What the Io seam shares on every system: the stop request and the helpers
// built on the seam.
#include "platform/Io.h"

#include <fcntl.h>

#include <atomic>
#include <cerrno>

namespace tidewell {
namespace {

// Set from signal handlers, read by whichever thread runs the conversion.
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free,
              "a signal handler may only touch a lock-free atomic");

}  // namespace

void RequestStop(int signal) {
    g_stopSignal.store(signal, std::memory_order_relaxed);
}
int StopSignal() {
    return g_stopSignal.load(std::memory_order_relaxed);
}
void ClearStop() {
    g_stopSignal.store(0, std::memory_order_relaxed);
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

void StartWriteback(int fd, int64_t offset, int64_t length) {
#if defined(__linux__) && defined(SYNC_FILE_RANGE_WRITE)
    ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
#else
    (void)fd;
    (void)offset;
    (void)length;
#endif
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
