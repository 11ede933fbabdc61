#include "clock.h"

#include <chrono>
#include <thread>

namespace ACQ {

namespace {
Clock SystemClock() {
    return Clock{[] { return QTime::currentTime(); },
                 [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }};
}

Clock& ClockSlot() {
    static Clock clock = SystemClock();
    return clock;
}
}  // namespace

void SetClock(const Clock& clock) {
    Clock c = clock;
    if (!c.now) c.now = SystemClock().now;
    if (!c.sleepMs) c.sleepMs = SystemClock().sleepMs;
    ClockSlot() = c;
}

const Clock& CurrentClock() { return ClockSlot(); }

QString TimeOfDayText() { return CurrentClock().now().toString(QStringLiteral("HH:mm:ss")); }

}  // namespace ACQ
