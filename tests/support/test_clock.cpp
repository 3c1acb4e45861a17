// The test executable's sleep(): see test_clock.h.
#include "test_clock.h"

#include <atomic>
#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

namespace {

std::atomic<int> g_fast{0};

using SleepFunction = unsigned int (*)(unsigned int);

SleepFunction real_sleep() {
    static const SleepFunction real = reinterpret_cast<SleepFunction>(dlsym(RTLD_NEXT, "sleep"));
    return real;
}

} // namespace

extern "C" __attribute__((visibility("default"))) unsigned int sleep(unsigned int seconds) {
    if (g_fast.load() == 0) {
        return real_sleep()(seconds);
    }
    struct timespec wait {
        static_cast<time_t>(seconds / 1000), static_cast<long>(seconds % 1000) * 1000000
    };
    nanosleep(&wait, nullptr);
    return 0;
}

namespace testclock {

FastSleep::FastSleep() {
    g_fast.fetch_add(1);
}

FastSleep::~FastSleep() {
    g_fast.fetch_sub(1);
}

} // namespace testclock
