#pragma once
// SIGINT, SIGTERM and SIGHUP as an event: the handler only writes the
// signal's number into a pipe; the event loop reads it and reports it.
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace LOGCLI {

class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;
    bool Install(QString* error);

signals:
    void received(int signo);

private:
    void drain();
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace LOGCLI
