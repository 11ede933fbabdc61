#pragma once
// Time of day for the time stamps and the trigger run's pause. `sleepMs`
// blocks without serving events. Tests install a fake; nullptr parts fall
// back to the computer's clock.
#include <QTime>
#include <functional>

namespace ACQ {
struct Clock {
    std::function<QTime()> now;
    std::function<void(int ms)> sleepMs;
};
void SetClock(const Clock& clock);
const Clock& CurrentClock();
// "HH:mm:ss" of the clock's time of day.
QString TimeOfDayText();
}  // namespace ACQ
