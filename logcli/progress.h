#pragma once
// One line on a terminal's stderr that says where the run stands, rewritten
// in place. Switched off (nothing written at all) when stderr is no terminal
// or the operator asked for quiet.
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace LOGCLI {

class Progress : public QObject {
    Q_OBJECT
public:
    Progress(bool enabled, qint64 count, double interval);
    bool Enabled() const { return enabled_; }
    void Reading(qint64 taken);
    void Waiting(int ms);
    void WaitingForTrigger(qint64 taken);
    // Wipes the line before the program's last words.
    void Clear();

private:
    void Show(bool force);

    bool enabled_;
    qint64 count_;
    double interval_;
    qint64 taken_ = 0;
    bool trigger_ = false;
    bool shown_ = false;
    QDateTime nextAt_;
    QDateTime firstAt_;
    QElapsedTimer lastShown_;
    QTimer tick_;   // the countdown while an interval passes
};

}  // namespace LOGCLI
