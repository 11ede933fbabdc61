#include "progress.h"

#include <cmath>
#include <cstdio>

namespace LOGCLI {

Progress::Progress(bool enabled, qint64 count, double interval)
    : enabled_(enabled), count_(count), interval_(interval) {
    tick_.setInterval(1000);
    connect(&tick_, &QTimer::timeout, this, [this] { Show(true); });
}

void Progress::Reading(qint64 taken) {
    if (!enabled_) return;
    taken_ = taken;
    if (taken == 1) firstAt_ = QDateTime::currentDateTime();
    nextAt_ = {};
    // At interval 0 readings come by the hundred a second: a few redraws do.
    Show(taken == count_);
}

void Progress::Waiting(int ms) {
    if (!enabled_) return;
    nextAt_ = QDateTime::currentDateTime().addMSecs(ms);
    if (ms >= 1000) tick_.start();
    Show(true);
}

void Progress::WaitingForTrigger(qint64 taken) {
    if (!enabled_) return;
    trigger_ = true;
    taken_ = taken;
    Show(true);
}

void Progress::Show(bool force) {
    if (!force && lastShown_.isValid() && lastShown_.elapsed() < 100) return;
    lastShown_.start();
    const QDateTime now = QDateTime::currentDateTime();
    QString text;
    if (trigger_) {
        text = QStringLiteral("waiting for trigger, %1 logged").arg(taken_);
    } else {
        text = count_ > 0 ? QStringLiteral("reading %1 of %2").arg(taken_).arg(count_)
                          : QStringLiteral("reading %1").arg(taken_);
        if (nextAt_.isValid()) {
            const qint64 left = now.msecsTo(nextAt_);
            if (left <= 0) {
                tick_.stop();
            } else {
                text += QStringLiteral(", next in %1 s").arg((left + 999) / 1000);
            }
        }
        if (count_ <= 0) {
            text += QStringLiteral(", until stopped");
        } else if (taken_ < count_ && taken_ >= 1) {
            // Measured pace once there is one, else the interval asked for.
            double perReading = interval_;
            if (taken_ >= 2 && firstAt_.isValid())
                perReading = double(firstAt_.msecsTo(now)) / 1000.0 / double(taken_ - 1);
            const QDateTime end = now.addMSecs(qint64(std::llround(perReading * 1000.0 * double(count_ - taken_))));
            text += QStringLiteral(", ends about %1").arg(end.toString(QStringLiteral("HH:mm:ss")));
        }
    }
    const QByteArray line = "\r" + text.toLocal8Bit() + "\033[K";
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
    shown_ = true;
}

void Progress::Clear() {
    tick_.stop();
    if (!enabled_ || !shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
}

}  // namespace LOGCLI
