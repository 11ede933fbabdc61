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
    void trigger();                   // one external trigger

    QProcess& process();

    static QString simulatorPath();   // next to the test binaries: bin/orven5927-sim

private:
    QProcess proc_;
    QTemporaryDir dir_;
    QString device_;
};
