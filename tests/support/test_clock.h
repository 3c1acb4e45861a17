// A clock for in-process runs. The test executable defines sleep() (test_clock.cpp, exported
// so that the dlopen'ed provider binds to it): real by default; while a FastSleep lives, a wait
// of n seconds lasts n milliseconds, so a run's pauses and polls pass quickly without spinning.
#pragma once

namespace testclock {

class FastSleep {
  public:
    FastSleep();
    ~FastSleep();
    FastSleep(const FastSleep &) = delete;
    FastSleep &operator=(const FastSleep &) = delete;
};

} // namespace testclock
