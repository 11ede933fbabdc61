#pragma once
// One logging run from the command line: the port, the output, the run of
// the engine, and the stop that a signal or the count asks for.
#include <QObject>
#include <QString>
#include <QtGlobal>
#include <optional>

#include "capability.h"

#include "options.h"
#include "progress.h"
#include "rows.h"
#include "rs_lib32.h"
#include "runs.h"

namespace LOGCLI {

class Logger : public QObject {
    Q_OBJECT
public:
    explicit Logger(const Options& options, QObject* parent = nullptr);
    // The exit status; what went wrong is on stderr already.
    int Run();

private:
    enum class Phase { Preparing, Running, WaitingForTrigger, TakingRow };

    int RunInterval();
    int RunTrigger();
    int Conclude(const ACQ::Outcome& outcome);
    void OnSignal();
    void OnReading(const ACQ::Sample& sample);
    void PrintGrading();

    Options options_;
    QString device_;
    RS_LIB32::Link link_;
    RowOutput output_;
    Progress progress_;
    ACQ::IntervalRun* interval_ = nullptr;
    Phase phase_ = Phase::Preparing;
    qint16 flagStop_ = 0;
    bool stopRequested_ = false;
    int signals_ = 0;
    bool portGone_ = false;
    qint64 taken_ = 0;
    std::optional<GRADING::Capability> grading_;
};

// "orven5927-log: text" on stderr.
void Complain(const QString& text);

}  // namespace LOGCLI
