#pragma once
// The observer of readings. The windows that take readings announce each
// activity (a test measurement, a time-interval run, a loading window from OK
// to its close) and publish every reading once; subscribers such as the trend
// window follow without those windows knowing them. Publishing only hands the
// reading to each subscriber, which must return at once: nothing here waits.
#include <QString>
#include <QStringList>
#include <QTime>
#include <QtGlobal>
#include <optional>

#include "profile.h"

namespace READINGS {

enum class Kind { TestMeasurement, TimeInterval, ReturnKey, ExternalTrigger };

struct Activity {
    Kind kind = Kind::TestMeasurement;
    qint16 mode = 0;        // 0 resistance only, 1 resistance and voltage
    qint16 comp = 0;        // comparator on when not 0
    qint64 count = 0;       // time interval: readings asked for, 0 until Stop
    double interval = 0;    // time interval: seconds between readings
    QString output;         // the file's path or the sheet's name; empty when nothing is logged
    bool toSheet = false;   // the output is a worksheet
    std::optional<GRADING::Profile> profile;   // while readings are graded
};

// Each field means the same whatever the mode, unlike a row of the file:
// fields[0] the resistance, fields[1] the voltage (empty in resistance-only
// mode), fields[2] the comparator's result (empty while it is off), each as
// the instrument sent it. Always three fields.
struct Reading {
    QTime time;             // time of day it was taken
    QStringList fields;
    qint16 mode = 0;
    qint16 comp = 0;
    std::optional<GRADING::Grade> grade;   // while readings are graded
    QString cellId;                        // where the operator gave one
};

class Subscriber {
public:
    virtual ~Subscriber();   // unsubscribes
    virtual void activityStarted(const Activity& activity) = 0;
    virtual void readingTaken(const Reading& reading) = 0;
    virtual void activityEnded() = 0;
    // The instrument's setup was just read (mode 0 resistance only, 1 with
    // voltage); it may be read again before every reading.
    virtual void setupRead(qint16 mode, qint16 comp) {
        Q_UNUSED(mode);
        Q_UNUSED(comp);
    }
};

void Subscribe(Subscriber* subscriber);
void Unsubscribe(Subscriber* subscriber);

// A new activity ends the one before it. The number returned ends this
// activity only, so a late end of an older one changes nothing.
quint64 StartActivity(const Activity& activity);
void EndActivity(quint64 id);
void Publish(const Reading& reading);
void AnnounceSetup(qint16 mode, qint16 comp);

// The activity under way, or nullptr; a subscriber that comes late starts from it.
const Activity* CurrentActivity();

// What the activity under way has published so far, for a subscriber that
// comes late: its own count goes on from here. Times are in the steady
// clock of MonotonicMs(); -1 before the first reading.
struct Published {
    qint64 readings = 0;
    qint64 firstMs = -1;
    qint64 lastMs = -1;
};
Published PublishedSoFar();
// Milliseconds of a clock that never steps back (not the time of day).
qint64 MonotonicMs();

// Starts an activity and ends it however the scope is left.
class ActivityScope {
public:
    explicit ActivityScope(const Activity& activity) : id_(StartActivity(activity)) {}
    ~ActivityScope() { EndActivity(id_); }
    void end() { EndActivity(id_); }
    ActivityScope(const ActivityScope&) = delete;
    ActivityScope& operator=(const ActivityScope&) = delete;

private:
    quint64 id_;
};

}  // namespace READINGS
