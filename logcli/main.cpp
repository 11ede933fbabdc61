// orven5927-log: logs the instrument's readings without a desktop.
#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <cstdio>

#include "logger.h"
#include "options.h"
#include "profile_file.h"

int main(int argc, char** argv) {
    // A reader that goes away is seen as EPIPE on the write, so the run can
    // still release the instrument and end in order.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    LOGCLI::Options options;
    const QString error = LOGCLI::Parse(args, &options);
    if (!error.isEmpty()) {
        LOGCLI::Complain(error + QStringLiteral(" (see --help)"));
        return LOGCLI::ExitUsage;
    }
    if (options.help) {
        std::fputs(LOGCLI::UsageText().toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? LOGCLI::ExitOk : LOGCLI::ExitOutput;
    }
    if (options.version) {
        std::printf("orven5927-log %s\n", ORVEN_VERSION);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? LOGCLI::ExitOk : LOGCLI::ExitOutput;
    }

    if (!options.profile.isEmpty()) {
        // Read before the port is touched: a damaged profile leaves the instrument alone.
        const GRADING::ReadResult read = GRADING::ReadProfile(options.profile);
        if (!read.profile) {
            LOGCLI::Complain(QStringLiteral("profile %1: %2").arg(options.profile, read.error));
            return LOGCLI::ExitUsage;
        }
        options.grading = read.profile;
    }

    LOGCLI::Logger logger(options);
    int rc = LOGCLI::ExitOk;
    // Runs inside the event loop, as the window program's runs do.
    QTimer::singleShot(0, &app, [&] {
        rc = logger.Run();
        QCoreApplication::exit(0);
    });
    QCoreApplication::exec();
    return rc;
}
