#pragma once
// The logger's command line.
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

#include "profile.h"

namespace LOGCLI {

enum class Format { Csv, Jsonl };

// Exit statuses, as the manual page lists them.
enum Exit : int {
    ExitOk = 0,
    ExitOutput = 1,       // the output cannot be opened, written or synced
    ExitUsage = 2,
    ExitPortOpen = 3,     // the serial device cannot be opened
    ExitDeviceLost = 4,   // the device went away during the run
    ExitNoAnswer = 5,     // the instrument stopped answering
    ExitBadAnswer = 6,    // an answer that cannot be read (too long, too many fields)
};

struct Options {
    QString device = QStringLiteral("COM1");
    double interval = 1.0;   // seconds between readings
    qint64 count = 0;        // 0: until stopped
    bool trigger = false;
    QString output = QStringLiteral("-");
    Format format = Format::Csv;
    bool append = false;
    bool quiet = false;
    QString profile;   // --profile: grades every reading
    std::optional<GRADING::Profile> grading;   // read from `profile` before the run
    bool help = false;
    bool version = false;
};

// Empty when the arguments (without the program name) are sound, else the
// one-line complaint.
QString Parse(const QStringList& args, Options* options);
QString UsageText();
// COM1/COM2 (any case) as the window program maps them, else the path itself.
QString DeviceFor(const QString& given);

}  // namespace LOGCLI
