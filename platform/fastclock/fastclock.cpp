// The fast clock: preloaded into a simulated host so that the provider's waits of a second or
// more (job polling, the pause after starting a run) pass at once. Shorter waits stay real, so
// loops that pace themselves with them do not turn into busy spins.
#include <cerrno>
#include <ctime>
#include <sched.h>
#include <unistd.h>

#define FASTCLOCK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Lets the threads the sleeper waits for make progress before it looks again.
void skip_wait() {
    sched_yield();
}

int real_nanosleep(const struct timespec *request, struct timespec *remaining) {
    int rc = clock_nanosleep(CLOCK_REALTIME, 0, request, remaining);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return 0;
}

} // namespace

FASTCLOCK_EXPORT unsigned int sleep(unsigned int) {
    skip_wait();
    return 0;
}

FASTCLOCK_EXPORT int usleep(useconds_t microseconds) {
    if (microseconds >= 1000000) {
        skip_wait();
        return 0;
    }
    struct timespec request {};
    request.tv_nsec = static_cast<long>(microseconds) * 1000;
    return real_nanosleep(&request, nullptr);
}

FASTCLOCK_EXPORT int nanosleep(const struct timespec *request, struct timespec *remaining) {
    if (request != nullptr && request->tv_sec >= 1 && request->tv_nsec >= 0 &&
        request->tv_nsec < 1000000000) {
        skip_wait();
        if (remaining != nullptr) {
            remaining->tv_sec = 0;
            remaining->tv_nsec = 0;
        }
        return 0;
    }
    return real_nanosleep(request, remaining);
}
