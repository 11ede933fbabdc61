#pragma once
// A consumer of the readings as any new one would be written: it records
// what the windows announce and publish, one line per event.
#include <QStringList>
#include <QTime>

#include "readings.h"

struct Followed : READINGS::Subscriber {
    QStringList events;
    QList<QTime> times;   // of the readings, in order
    Followed() { READINGS::Subscribe(this); }
    void activityStarted(const READINGS::Activity& a) override {
        static const char* const kinds[] = {"test", "time", "return key", "trigger"};
        events << QStringLiteral("start %1 mode %2 comp %3 count %4 interval %5 %6%7")
                      .arg(QLatin1String(kinds[int(a.kind)]))
                      .arg(a.mode)
                      .arg(a.comp)
                      .arg(a.count)
                      .arg(a.interval)
                      .arg(a.toSheet ? QStringLiteral("sheet ") : QString(), a.output);
    }
    void readingTaken(const READINGS::Reading& r) override {
        events << QStringLiteral("%1 mode %2 comp %3").arg(r.fields.join(QLatin1Char('|'))).arg(r.mode).arg(r.comp);
        times << r.time;
    }
    void activityEnded() override { events << QStringLiteral("end"); }
};
