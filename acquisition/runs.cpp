#include "runs.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cmath>

#include "clock.h"
#include "commands.h"
#include "rs_lib32.h"

namespace ACQ {

namespace {
qint16 ClampToInt16(double v) {
    if (!(v > -32768.5)) return -32768;
    if (v >= 32767.5) return 32767;
    return static_cast<qint16>(std::nearbyint(v));
}
}  // namespace

Run::Run(RS_LIB32::Link& link, QObject* parent) : QObject(parent), link_(link) {}

Sample Run::Deliver(Sample sample) {
    if (profile_)
        sample.grade = GRADING::GradeReading(*profile_, sample.resistance(), sample.voltage(),
                                             sample.setup.MeasMode == 0);
    for (Output* o : outputs_) o->Write(sample);
    ++readings_;
    emit readingTaken(sample);
    return sample;
}

void Run::BeginOutputs(const Setup& setup) {
    for (Output* o : outputs_) {
        o->extraColumns = ExtraColumns();
        if (auto* p = dynamic_cast<Published*>(o)) p->SetProfile(profile_);
        o->Begin(setup);
    }
}

// Last added first: the activity ends before the files and sheets let go.
void Run::FinishOutputs() {
    for (auto it = outputs_.rbegin(); it != outputs_.rend(); ++it) (*it)->Finish();
}

void Run::AbortOutputs() {
    for (auto it = outputs_.rbegin(); it != outputs_.rend(); ++it) (*it)->Abort();
}

Outcome Run::Failure(const std::exception& e) {
    Outcome out;
    out.ending = Ending::Failed;
    out.error = QString::fromLocal8Bit(e.what());
    if (dynamic_cast<const FieldOverflowError*>(&e)) DiscardRestOfLine(link_);
    out.portLost = dynamic_cast<const PortLostError*>(&e) != nullptr;
    out.interrupted = dynamic_cast<const InterruptedError*>(&e) != nullptr;
    out.noResponse = dynamic_cast<const NoResponseError*>(&e) != nullptr;
    return out;
}

void Run::ReadSetup(bool held) {
    if (held)
        link_.ReadInstrumentSetupHeld();
    else
        link_.ReadInstrumentSetup();
    const Setup& setup = link_.InstrumentSetup;
    READINGS::AnnounceSetup(setup.MeasMode, setup.CompState);
    emit setupRead(setup);
}

IntervalRun::IntervalRun(RS_LIB32::Link& link, qint16& flagStop, QTimer* timer, QObject* parent)
    : Run(link, parent), flagStop_(flagStop), timer_(timer) {
    if (!timer_) {
        timer_ = new QTimer(this);
        // A coarse timer may fire up to 5 % early: rows a second apart would share a time stamp.
        timer_->setTimerType(Qt::PreciseTimer);
        connect(timer_, &QTimer::timeout, this, &IntervalRun::Tick);
    }
}

Outcome IntervalRun::Start(float interval, qint64 count, bool anyCount) {
    interval_ = interval;
    readings_ = 0;
    const bool byCount = anyCount ? count >= 1 : EndsByCount(count);
    try {
        ReadSetup(false);
        const Setup setup = link_.InstrumentSetup;
        BeginOutputs(setup);
        emit started();
        // A stop pressed while the run was being prepared does not count.
        flagStop_ = 0;
        qint64 counter = 1;
        for (;;) {
            const QStringList fields = TakeReading(link_, setup);
            Deliver({CurrentClock().now(), fields, setup});
            WaitInterval();
            if (flagStop_ || (byCount && counter == count)) break;
            ++counter;
        }
        FinishOutputs();
        return {};
    } catch (const NoSpreadsheetError&) {
        AbortOutputs();
        return {Ending::NoSpreadsheet, {}};
    } catch (const AppError& e) {
        timer_->stop();
        wait_ = nullptr;
        const Outcome out = Failure(e);
        AbortOutputs();
        return out;
    }
}

bool IntervalRun::WaitOver() const {
    if (flagStop_) return true;
    return waitTicks_ == 0 ? timerCount_ != 0 : timerCount_ >= waitTicks_;
}

void IntervalRun::WaitInterval() {
    if (interval_ == 0) return;
    timerCount_ = 0;
    if (interval_ <= 60) {
        waitTicks_ = 0;
        timer_->setInterval(static_cast<int>(std::nearbyint(interval_ * 1000.0)));
    } else {
        waitTicks_ = ClampToInt16(interval_);
        timer_->setInterval(950);
    }
    emit waiting(static_cast<int>(std::nearbyint(interval_ * 1000.0)));
    timer_->start();
    QEventLoop loop;
    wait_ = &loop;
    while (!WaitOver()) loop.exec();
    wait_ = nullptr;
    timer_->stop();
}

void IntervalRun::Tick() {
    ++timerCount_;
    if (wait_ && WaitOver()) wait_->quit();
}

void IntervalRun::Wake() {
    if (wait_) wait_->quit();
}

LoadRun::LoadRun(RS_LIB32::Link& link, QObject* parent) : Run(link, parent) {}

LoadRun::~LoadRun() { End(); }

void LoadRun::QuerySetup() { ReadSetup(false); }

void LoadRun::BeginActivity(READINGS::Kind kind, const Output& described) {
    published_.SetKind(kind);
    published_.Describe(&described);
    BeginOutputs(link_.InstrumentSetup);
    published_.SetProfile(profile_);
    published_.Begin(link_.InstrumentSetup);
}

void LoadRun::End() { published_.End(); }

Outcome LoadRun::Load(SheetLoad* sheet, const QString& cellId) {
    // An ID that would break a row's columns never reaches an output.
    if (!IsSafeCellId(cellId)) return {Ending::Failed, QStringLiteral("unsafe cell ID")};
    try {
        if (sheet) {
            sheet->Ready(link_.InstrumentSetup);
            // The office finds the row's cells while the instrument is asked.
            sheet->PrepareRow();
        }
        ReadSetup(false);
        const Setup setup = link_.InstrumentSetup;
        const QStringList fields = TakeReading(link_, setup);
        Sample sample{CurrentClock().now(), fields, setup};
        sample.cellId = cellId;
        published_.Write(Deliver(sample));
        return {};
    } catch (const NoSpreadsheetError&) {
        return {Ending::NoSpreadsheet, {}};
    } catch (const AppError& e) {
        return Failure(e);
    }
}

Outcome LoadRun::TriggerLoop(SheetLoad* sheet, const qint16& flagStop) {
    Outcome out;
    QStringList answer = FreshFields();
    try {
        // The stop flag is read once per trigger, right after its answer: a
        // stop while a row is taken lets that row be written and ends the
        // loop at the following trigger, which is not logged.
        const bool stoppedBeforeStart = flagStop != 0;
        while (!stoppedBeforeStart) {
            emit waitingForTrigger();
            link_.CommSend(QString::fromLatin1(CMD::WaitTrigger));
            link_.CommReceive(answer, RS_LIB32::kNoTimeLimit);
            if (flagStop) break;
            emit triggerDetected();
            const QString noted = TimeOfDayText();
            ReadSetup(true);
            const Setup setup = link_.InstrumentSetup;
            // Until the clock's seconds change: sleep to the boundary, no events.
            const Clock& clock = CurrentClock();
            for (;;) {
                const QTime t = clock.now();
                if (t.toString(QStringLiteral("HH:mm:ss")) != noted) break;
                clock.sleepMs(qMax(1, 1000 - t.msec()));
            }
            const QStringList fields = TakeReading(link_, setup);
            if (sheet) sheet->Ready(setup);
            published_.Write(Deliver({clock.now(), fields, setup}));
        }
    } catch (const NoSpreadsheetError&) {
        out.ending = Ending::NoSpreadsheet;
    } catch (const AppError& e) {
        out = Failure(e);
    }
    // Purge before the release, not after: on Linux a purge of the transmit
    // side throws away a line the port has not passed on yet, and a lost
    // ":HOLD OFF" leaves the instrument held. The release has no answer, so
    // the input stays clean after it.
    link_.CommPurge();
    link_.CommSend(QString::fromLatin1(CMD::HoldOff));
    return out;
}

Outcome LoadRun::CaptureLoop(SheetLoad* sheet, const qint16& flagStop, CaptureRule rule,
                             std::function<QString()> cellId, std::function<bool(const QString&)> admit) {
    CaptureJudge judge(rule);
    QString shown;
    auto status = [&](const QString& text) {
        if (text == shown) return;
        shown = text;
        emit captureStatus(text);
    };
    const QString lift = QStringLiteral(" \u2014 lift the probes");
    status(QStringLiteral("Place the probes"));
    try {
        // The setup of OK holds: the operator cannot change it while the
        // window reads without pause.
        const Setup setup = link_.InstrumentSetup;
        for (;;) {
            // Keys (the next cell's ID) and Close are taken between readings.
            QCoreApplication::processEvents();
            if (flagStop) break;
            const QStringList fields = TakeReading(link_, setup);
            if (flagStop) break;
            const Sample probe{QTime(), fields, setup};
            switch (judge.Feed(probe.resistance(), probe.voltage())) {
            case CaptureJudge::Step::Lifted:
                status(QStringLiteral("Place the probes"));
                break;
            case CaptureJudge::Step::Settling:
                status(QStringLiteral("Settling %1 of %2").arg(judge.Agreeing()).arg(judge.Count()));
                break;
            case CaptureJudge::Step::Holding:
                break;
            case CaptureJudge::Step::Take: {
                judge.Hold();
                QString id = cellId ? cellId() : QString();
                if (!IsSafeCellId(id)) id.clear();
                // The question may have waited on the operator: a Close meanwhile wins.
                if ((admit && !admit(id)) || flagStop) {
                    status(QStringLiteral("Not taken") + lift);
                    break;
                }
                if (sheet) sheet->Ready(setup);
                Sample sample{CurrentClock().now(), fields, setup};
                sample.cellId = id;
                published_.Write(Deliver(sample));
                status(QStringLiteral("Taken: ") + (id.isEmpty() ? probe.resistance() : id) + lift);
                break;
            }
            }
        }
    } catch (const NoSpreadsheetError&) {
        return {Ending::NoSpreadsheet, {}};
    } catch (const AppError& e) {
        return Failure(e);
    }
    return {};
}

namespace {
// Clears the running flag however the loop is left.
struct RunningGuard {
    qint16& flag;
    ~RunningGuard() { flag = 0; }
};
}  // namespace

void TestRun::Start(qint16& testMeasRunning, qint16& testMeasStopRequest) {
    QStringList fields(2);
    // Running from the call on, not only once the setup is known: during the
    // setup query's wait the logging entries must stay shut (their own setup
    // query would take this loop's answers) and a second start must only ask
    // for the stop, which the first pass then honours.
    testMeasStopRequest = 0;
    testMeasRunning = -1;
    RunningGuard guard{testMeasRunning};
    readings_ = 0;
    ReadSetup(false);
    const Setup setup = link_.InstrumentSetup;
    Published published({.kind = READINGS::Kind::TestMeasurement,
                         .mode = setup.MeasMode,
                         .comp = setup.CompState,
                         .output = QString(),
                         .profile = profile_});
    published.Begin(setup);
    struct Ender {
        Published& p;
        ~Ender() { p.End(); }
    } ender{published};
    for (;;) {
        link_.CommSend(QString::fromLatin1(CMD::MeasRes));
        link_.CommReceive(fields);
        // The comparator's result comes with the resistance answer; the row
        // is laid out as a logged one, so every reader takes it alike.
        Sample sample{CurrentClock().now(), {fields[0], QString(), QString()}, setup};
        if (setup.MeasMode == 1) {
            if (setup.CompState) sample.fields[2] = fields[1];
            link_.CommSend(QString::fromLatin1(CMD::MeasVolt));
            link_.CommReceive(fields);
            sample.fields[1] = fields[0];
        } else if (setup.CompState) {
            sample.fields[1] = fields[1];
        }
        ++readings_;
        if (profile_)
            sample.grade = GRADING::GradeReading(*profile_, sample.resistance(), sample.voltage(), setup.MeasMode == 0);
        emit readingTaken(sample);
        published.Write(sample);
        // New texts reach the screen and a stop request is taken here.
        QCoreApplication::processEvents();
        if (testMeasStopRequest) break;
    }
}

}  // namespace ACQ
