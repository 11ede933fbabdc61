#pragma once
// The runs that take readings: at an interval, on demand (the return key),
// on each external trigger, and the test measurement. Each is a loop on the
// one thread whose waits sleep in nested event loops; the stop flags belong
// to the caller and are read at fixed points. A run knows no window: it
// reports what happens through signals and its outcome, and the caller shows
// what the operator should see.
#include <QObject>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <vector>

#include "capture.h"

#include "outputs.h"
#include "reading.h"
#include "readings.h"

class QEventLoop;
class QTimer;

namespace RS_LIB32 {
class Link;
}

namespace ACQ {

enum class Ending {
    Completed,       // the count was reached, or the run was stopped
    NoSpreadsheet,   // the sheet output found no office
    Failed,          // a reading or a row failed (the error text says which)
};

struct Outcome {
    Ending ending = Ending::Completed;
    QString error;          // what failed, for a log line
    bool portLost = false;  // the device went away
    bool interrupted = false;
    bool noResponse = false;  // the instrument stayed silent past the time limit

    bool ok() const { return ending == Ending::Completed; }
};

// What the base of every run shares: the link, the outputs and the reports.
class Run : public QObject {
    Q_OBJECT
public:
    explicit Run(RS_LIB32::Link& link, QObject* parent = nullptr);
    // Outputs are written in the order added; they stay the caller's.
    void AddOutput(Output* output) { outputs_.push_back(output); }
    void ClearOutputs() { outputs_.clear(); }
    qint64 ReadingsTaken() const { return readings_; }
    // Grades every reading by the profile (none: no grading), and whether
    // readings carry a cell ID. Either on adds the bin and cell ID columns.
    void SetGrading(std::optional<GRADING::Profile> profile) { profile_ = std::move(profile); }
    void SetCellIds(bool on) { cellIds_ = on; }
    const std::optional<GRADING::Profile>& Grading() const { return profile_; }
    bool ExtraColumns() const { return profile_.has_value() || cellIds_; }

signals:
    // The instrument's setup was just read (the display lays itself out).
    void setupRead(const ACQ::Setup& setup);
    // A reading was written to every output.
    void readingTaken(const ACQ::Sample& sample);

protected:
    // Grades the sample (while grading is on), writes it to every output
    // and reports it.
    Sample Deliver(Sample sample);
    void BeginOutputs(const Setup& setup);
    void FinishOutputs();
    void AbortOutputs();
    // The outcome of an error caught in a run (reads away the rest of an
    // overfull line first).
    Outcome Failure(const std::exception& e);
    void ReadSetup(bool held);

    RS_LIB32::Link& link_;
    std::vector<Output*> outputs_;
    qint64 readings_ = 0;
    std::optional<GRADING::Profile> profile_;
    bool cellIds_ = false;
};

// Readings at a fixed interval for a count or until the stop flag.
class IntervalRun : public Run {
    Q_OBJECT
public:
    // `timer` paces the run (the caller may own it; a run makes its own when
    // none is given); `flagStop` is read after every interval.
    IntervalRun(RS_LIB32::Link& link, qint16& flagStop, QTimer* timer = nullptr, QObject* parent = nullptr);

    // Seconds between readings (0 to 3600) and the count: 1..32767 ends by
    // count, anything else runs until stopped (`anyCount`: every count from 1
    // on ends the run).
    Outcome Start(float interval, qint64 count, bool anyCount = false);
    // A tick of the pacing timer.
    void Tick();
    // Ends the interval wait at once (after the stop flag was set).
    void Wake();

    static bool EndsByCount(qint64 count) { return count >= 1 && count <= 32767; }

signals:
    // The outputs are ready; the first reading comes next.
    void started();
    // The run sleeps `ms` until its next reading.
    void waiting(int ms);

private:
    void WaitInterval();
    bool WaitOver() const;

    qint16& flagStop_;
    QTimer* timer_;
    float interval_ = 0;
    qint16 timerCount_ = 0;
    int waitTicks_ = 0;   // 0: one tick ends the wait
    QEventLoop* wait_ = nullptr;
};

// The loading windows' run: from OK (the setup query, the activity) until the
// window closes, one reading each time it is asked for (the return key), or
// one on each external trigger the instrument reports until the stop flag is
// seen after a trigger's answer; the instrument is released (":HOLD OFF")
// however the trigger loop ends. Readings are published as they are written.
class LoadRun : public Run {
    Q_OBJECT
public:
    explicit LoadRun(RS_LIB32::Link& link, QObject* parent = nullptr);
    ~LoadRun() override;
    // The setup query of OK; errors travel up.
    void QuerySetup();
    // After the outputs are open: the outputs begin and the activity starts;
    // it lasts until End(). `described` names the output the activity shows.
    void BeginActivity(READINGS::Kind kind, const Output& described);
    void End();
    // One reading, for the cell `cellId` where IDs are on. `sheet` (may be
    // null) is found before the reading and prepares its row while the
    // instrument is asked.
    Outcome Load(SheetLoad* sheet, const QString& cellId = {});
    // Rows on each trigger until `flagStop` is seen right after a trigger's
    // answer (or was set before the first wait).
    Outcome TriggerLoop(SheetLoad* sheet, const qint16& flagStop);
    // Hands-free: reads without pause and takes a row once `rule` finds the
    // reading settled, then nothing until the probes are lifted. `flagStop`
    // is read after every answer. `cellId` names the settled cell; `admit`
    // (may be empty) can decline it, and the loop then waits for the lift.
    Outcome CaptureLoop(SheetLoad* sheet, const qint16& flagStop, CaptureRule rule,
                        std::function<QString()> cellId,
                        std::function<bool(const QString&)> admit = {});

signals:
    void waitingForTrigger();
    void triggerDetected();
    // What the operator should do or know now ("Place the probes",
    // "Settling 2 of 3", "Taken: ... — lift the probes"), sent on change.
    void captureStatus(const QString& text);

private:
    Published published_{READINGS::Activity{}};
};

// The test measurement: pass after pass until the stop request is seen at
// the end of a pass. The running flag is true from the call on and false
// again on return; errors travel up to the caller.
class TestRun : public Run {
    Q_OBJECT
public:
    using Run::Run;
    void Start(qint16& testMeasRunning, qint16& testMeasStopRequest);
};

}  // namespace ACQ
