#pragma once
// Runs build/bin/orven5927-sim on a pseudo-terminal for a test and talks to
// its control channel. The simulator prints "PTY <path>" as its first stdout line.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class SimProcess {
public:
    // extraArgs: simulator options such as {"--mode", "R", "--comp", "1"}.
    explicit SimProcess(const QStringList& extraArgs = {});
    ~SimProcess();   // stops the simulator

    bool started() const;
    QString devicePath() const;      // /dev/pts/N (or the --link path)
    QString logPath() const;         // every byte the simulator received

    // Bytes the simulator has received so far (reads the log file).
    QByteArray received() const;
    // Waits (event loop, bounded) until received() contains needle.
    bool waitReceived(const QByteArray& needle, int timeoutMs = 5000) const;

    // Sends one control command line (see orven5927-sim --help), e.g.
    // "silent on", "unplug", "trigger", "garbage 10", "set res 012.34E-3".
    bool control(const QString& line);
    // One external trigger (SIGUSR1). Triggers are not remembered while no
    // line waits, so first waitReceived() the line that waits for it.
    void trigger();
    // Sends a signal to the simulator; false when it is not running.
    bool signal(int sig);
    // Waits (event loop, bounded) until the simulator has exited.
    bool waitFinished(int timeoutMs = 5000);
    QString controlPath() const;      // the control FIFO

    QProcess& process();

    static QString simulatorPath();   // next to the test binaries: bin/orven5927-sim

private:
    QProcess proc_;
    QTemporaryDir dir_;
    QString device_;
};
