#pragma once
// Offices for the tests: a private pipe name and a throw-away profile per test
// program, and ending exactly the office processes started with that pipe.
#include "calc_provider.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace CALCTEST {

// ORVEN5927_TEST_RUN (set by `make test`) marks the pipes of one test run, so
// that the run can count what its offices left in /tmp without counting
// anyone else's.
inline QString TestPipe(const char* tag) {
    QString pipe = QStringLiteral("orven5927_%1_%2").arg(QString::fromLatin1(tag)).arg(QCoreApplication::applicationPid());
    const QString run = qEnvironmentVariable("ORVEN5927_TEST_RUN");
    if (!run.isEmpty()) pipe += QLatin1Char('_') + run;
    return pipe;
}

// Options for a headless office with its profile under `profileDir`.
inline SHEET::CALC::Options HeadlessOptions(const QString& pipe, const QString& profileDir) {
    SHEET::CALC::Options o;
    o.pipe = pipe;
    o.extraArgs = {QStringLiteral("--headless"),
                   QStringLiteral("-env:UserInstallation=file://%1").arg(profileDir)};
    o.callLimitMs = 20000;   // a loaded 2-core machine; a hang is its own test
    o.startLimitMs = 60000;
    return o;
}

// Processes whose command line names this pipe: the soffice launcher and the
// office itself. Found by id so nothing else on the machine is touched.
inline QList<pid_t> ProcessesNaming(const QByteArray& needle) {
    QList<pid_t> pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& e : entries) {
        bool ok = false;
        const pid_t pid = pid_t(e.toInt(&ok));
        if (!ok) continue;
        QFile f(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!f.open(QIODevice::ReadOnly)) continue;
        if (f.readAll().contains(needle)) pids << pid;
    }
    return pids;
}

inline QList<pid_t> OfficePids(const QString& pipe) { return ProcessesNaming("name=" + pipe.toLatin1() + ";"); }

// True when every process of the office is stopped (state T), so that a
// SIGSTOP has taken hold of all its threads.
inline bool OfficeStopped(const QString& pipe) {
    const QList<pid_t> pids = OfficePids(pipe);
    if (pids.isEmpty()) return false;
    for (pid_t pid : pids) {
        const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
        for (const QString& t : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile f(tasks.filePath(t) + "/stat");
            if (!f.open(QIODevice::ReadOnly)) continue;
            const QByteArray stat = f.readAll();
            const int at = stat.lastIndexOf(')');
            if (at < 0 || stat.mid(at + 2, 1) != "T") return false;
        }
    }
    return true;
}

// Ends the office on this pipe with the socket files its pipes leave in
// /tmp, and the accept pipe of an office on it that was killed before.
inline void EndOffice(const QString& pipe) {
    for (pid_t pid : OfficePids(pipe)) SHEET::CALC::KillProcessTree(pid);
    QFile::remove(QStringLiteral("/tmp/OSL_PIPE_%1_%2").arg(::getuid()).arg(pipe));
}

inline int SignalOffice(const QString& pipe, int sig) {
    int n = 0;
    for (pid_t pid : OfficePids(pipe))
        if (::kill(pid, sig) == 0) ++n;
    return n;
}

}  // namespace CALCTEST
