#include "logger.h"

#include <QSerialPort>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

#include "errors.h"
#include "stop_signals.h"

namespace LOGCLI {

namespace {

bool ProgressWanted(const Options& o) {
    if (o.quiet || !::isatty(STDERR_FILENO)) return false;
    // Rows on the same terminal already show how far the run is, and the
    // line would be torn by them.
    return !(o.output == QLatin1String("-") && ::isatty(STDOUT_FILENO));
}

ACQ::Outcome OutcomeOf(const AppError& e) {
    ACQ::Outcome out;
    out.ending = ACQ::Ending::Failed;
    out.error = QString::fromLocal8Bit(e.what());
    out.portLost = dynamic_cast<const PortLostError*>(&e) != nullptr;
    out.interrupted = dynamic_cast<const InterruptedError*>(&e) != nullptr;
    out.noResponse = dynamic_cast<const NoResponseError*>(&e) != nullptr;
    return out;
}

}  // namespace

void Complain(const QString& text) {
    std::fprintf(stderr, "orven5927-log: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

Logger::Logger(const Options& options, QObject* parent)
    : QObject(parent),
      options_(options),
      output_(options.format, options.append),
      progress_(ProgressWanted(options), options.count, options.trigger ? 0.0 : options.interval) {
    if (options_.grading) grading_.emplace(*options_.grading);
}

int Logger::Run() {
    StopSignals stops;
    QString error;
    if (!stops.Install(&error)) {
        Complain(error);
        return ExitOutput;
    }
    connect(&stops, &StopSignals::received, this, &Logger::OnSignal);

    device_ = DeviceFor(options_.device);
    link_.CommInit();
    if (link_.CommOpenDevice(device_) != 1) {
        Complain(link_.LastOpenError());
        return ExitPortOpen;
    }
    // The device may go while a long interval passes: end the wait then,
    // rather than at the next reading.
    connect(link_.Port(), &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if (e != QSerialPort::ResourceError && e != QSerialPort::ReadError && e != QSerialPort::WriteError) return;
        if (!link_.IsOpen() || portGone_) return;
        portGone_ = true;
        flagStop_ = 1;
        if (interval_) interval_->Wake();
    });
    connect(&link_, &RS_LIB32::Link::portLost, this, [this] { portGone_ = true; });

    if (!output_.Open(options_.output, &error)) {
        link_.CommClose();
        Complain(error);
        return ExitOutput;
    }
    const int rc = options_.trigger ? RunTrigger() : RunInterval();
    link_.CommClose();
    return rc;
}

int Logger::RunInterval() {
    ACQ::IntervalRun run(link_, flagStop_);
    interval_ = &run;
    run.SetGrading(options_.grading);
    run.AddOutput(&output_);
    connect(&run, &ACQ::IntervalRun::started, this, [this] { phase_ = Phase::Running; });
    connect(&run, &ACQ::IntervalRun::readingTaken, this, &Logger::OnReading);
    connect(&run, &ACQ::IntervalRun::waiting, &progress_, &Progress::Waiting);
    ACQ::Outcome out;
    if (stopRequested_)
        out.interrupted = true;
    else
        out = run.Start(float(options_.interval), options_.count, true);
    interval_ = nullptr;
    return Conclude(out);
}

int Logger::RunTrigger() {
    ACQ::LoadRun run(link_);
    run.SetGrading(options_.grading);
    run.AddOutput(&output_);
    connect(&run, &ACQ::LoadRun::readingTaken, this, &Logger::OnReading);
    connect(&run, &ACQ::LoadRun::triggerDetected, this, [this] { phase_ = Phase::TakingRow; });
    connect(&run, &ACQ::LoadRun::waitingForTrigger, this, [this] {
        phase_ = Phase::WaitingForTrigger;
        progress_.WaitingForTrigger(taken_);
        // The loop sends its trigger command next, which would clear an
        // interrupt given now: give it once the loop waits.
        if (stopRequested_) QTimer::singleShot(0, this, [this] { link_.Interrupt(); });
    });
    ACQ::Outcome out;
    try {
        if (stopRequested_) return Conclude(ACQ::Outcome{});
        run.QuerySetup();
        run.BeginActivity(READINGS::Kind::ExternalTrigger, output_);
    } catch (const AppError& e) {
        out = OutcomeOf(e);
        run.End();
        return Conclude(out);
    }
    // Released (":HOLD OFF") however the loop ends.
    out = run.TriggerLoop(nullptr, flagStop_);
    run.End();
    return Conclude(out);
}

void Logger::OnReading(const ACQ::Sample& sample) {
    ++taken_;
    if (grading_ && sample.grade) grading_->add(*sample.grade, std::nullopt, std::nullopt);
    progress_.Reading(taken_);
    // A run that starts clears the stop flag; a stop asked for while it
    // started is set again here.
    if (stopRequested_) flagStop_ = 1;
    if (options_.trigger && options_.count > 0 && taken_ >= options_.count) {
        stopRequested_ = true;
        flagStop_ = 1;
    }
}

void Logger::OnSignal() {
    ++signals_;
    stopRequested_ = true;
    flagStop_ = 1;
    // The first signal lets the reading in flight finish; a second one
    // (or a stop while nothing is being read) gives up the wait at once.
    const bool atOnce = signals_ >= 2 || phase_ == Phase::Preparing || phase_ == Phase::WaitingForTrigger;
    if (atOnce) link_.Interrupt();
    if (interval_) interval_->Wake();
}

// The bins' counts and the yield, as a short table on stderr.
void Logger::PrintGrading() {
    if (!grading_) return;
    const GRADING::Profile& profile = *options_.grading;
    const GRADING::Capability& c = *grading_;
    int width = 6;   // "Reject"
    for (const GRADING::Bin& b : profile.bins) width = qMax(width, int(b.name.size()));
    auto share = [&](int n) {
        return c.graded() ? QString::number(100.0 * n / c.graded(), 'f', 1) + QStringLiteral(" %")
                          : QStringLiteral("-");
    };
    QString table = QStringLiteral("%1 %2 %3\n").arg(QStringLiteral("bin"), -width).arg(QStringLiteral("count"), 8)
                        .arg(QStringLiteral("share"), 8);
    auto row = [&](const QString& name, int n) {
        table += QStringLiteral("%1 %2 %3\n").arg(name, -width).arg(n, 8).arg(share(n), 8);
    };
    for (int i = 0; i < profile.bins.size(); ++i) row(profile.bins[i].name, c.count(i));
    row(QString::fromLatin1(GRADING::kRejectName), c.rejects());
    const std::optional<double> yield = c.yield();
    table += QStringLiteral("yield %1 of %2 graded\n")
                 .arg(yield ? QString::number(100.0 * *yield, 'f', 1) + QStringLiteral(" %") : QStringLiteral("-"))
                 .arg(c.graded());
    std::fputs(table.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

int Logger::Conclude(const ACQ::Outcome& out) {
    progress_.Clear();
    output_.Close();
    PrintGrading();
    if (output_.ReaderGone()) return ExitOk;   // the reader had enough (| head)
    if (output_.Failed()) {
        Complain(output_.Error());
        return ExitOutput;
    }
    if (portGone_ || out.portLost) {
        Complain(QStringLiteral("the serial device %1 went away (adapter unplugged?); %2 readings logged")
                     .arg(device_)
                     .arg(taken_));
        return ExitDeviceLost;
    }
    if (out.ok() || (out.interrupted && stopRequested_)) return ExitOk;
    if (out.noResponse) {
        Complain(QStringLiteral("the instrument on %1 does not answer (is it on, is the cable in?)").arg(device_));
        return ExitNoAnswer;
    }
    Complain(QStringLiteral("the instrument's answer on %1 cannot be read: %2").arg(device_, out.error));
    return ExitBadAnswer;
}

}  // namespace LOGCLI
