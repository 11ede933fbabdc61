#include "options.h"

#include <QLocale>
#include <cmath>

#include "rs_lib32.h"

namespace LOGCLI {

namespace {

bool ParseSeconds(const QString& text, double* out) {
    bool ok = false;
    // Always the C locale: "0.5" on every machine, never "0,5".
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(v) || v < 0 || v > 3600) return false;
    *out = v;
    return true;
}

bool ParseCount(const QString& text, qint64* out) {
    bool ok = false;
    const qint64 v = text.toLongLong(&ok, 10);
    if (!ok || v < 0 || text.startsWith(QLatin1Char('+'))) return false;
    *out = v;
    return true;
}

}  // namespace

QString Parse(const QStringList& args, Options* o) {
    bool intervalGiven = false;
    for (int i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        QString value;
        bool inlineValue = false;
        if (arg.startsWith(QLatin1String("--"))) {
            const qsizetype eq = arg.indexOf(QLatin1Char('='));
            if (eq > 0) {
                value = arg.mid(eq + 1);
                arg = arg.left(eq);
                inlineValue = true;
            }
        }
        auto is = [&](const char* longName, const char* shortName) {
            return arg == QLatin1String(longName) || (shortName && arg == QLatin1String(shortName));
        };
        // An option that takes a value: inline, or the next argument.
        auto take = [&](QString* error) {
            if (inlineValue) return true;
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("option %1 needs a value").arg(arg);
                return false;
            }
            value = args[++i];
            return true;
        };
        auto flag = [&](bool* target) {
            if (inlineValue) return QStringLiteral("option %1 takes no value").arg(arg);
            *target = true;
            return QString();
        };
        QString error;
        if (is("--help", "-h")) {
            error = flag(&o->help);
        } else if (is("--version", "-V")) {
            error = flag(&o->version);
        } else if (is("--trigger", "-t")) {
            error = flag(&o->trigger);
        } else if (is("--append", "-a")) {
            error = flag(&o->append);
        } else if (is("--quiet", "-q")) {
            error = flag(&o->quiet);
        } else if (is("--device", "-d")) {
            if (take(&error)) {
                if (value.isEmpty()) error = QStringLiteral("--device needs a device path, COM1 or COM2");
                o->device = value;
            }
        } else if (is("--interval", "-i")) {
            if (take(&error)) {
                if (!ParseSeconds(value, &o->interval))
                    error = QStringLiteral("--interval wants seconds from 0 to 3600, not \"%1\"").arg(value);
                intervalGiven = true;
            }
        } else if (is("--count", "-n")) {
            if (take(&error) && !ParseCount(value, &o->count))
                error = QStringLiteral("--count wants a whole number from 0 on, not \"%1\"").arg(value);
        } else if (is("--output", "-o")) {
            if (take(&error)) {
                if (value.isEmpty()) error = QStringLiteral("--output needs a file name or -");
                o->output = value;
            }
        } else if (is("--profile", "-p")) {
            if (take(&error)) {
                if (value.isEmpty()) error = QStringLiteral("--profile needs a grading profile file");
                o->profile = value;
            }
        } else if (is("--format", "-f")) {
            if (take(&error)) {
                if (value == QLatin1String("csv"))
                    o->format = Format::Csv;
                else if (value == QLatin1String("jsonl"))
                    o->format = Format::Jsonl;
                else
                    error = QStringLiteral("--format is csv or jsonl, not \"%1\"").arg(value);
            }
        } else if (arg.startsWith(QLatin1Char('-')) && arg != QLatin1String("-")) {
            error = QStringLiteral("unknown option %1").arg(arg);
        } else {
            error = QStringLiteral("unexpected argument \"%1\"").arg(arg);
        }
        if (!error.isEmpty()) return error;
    }
    if (o->trigger && intervalGiven) return QStringLiteral("--interval does not go with --trigger");
    return {};
}

QString DeviceFor(const QString& given) {
    if (given.compare(QLatin1String("COM1"), Qt::CaseInsensitive) == 0) return RS_LIB32::DevicePath(0);
    if (given.compare(QLatin1String("COM2"), Qt::CaseInsensitive) == 0) return RS_LIB32::DevicePath(1);
    return given;
}

QString UsageText() {
    return QStringLiteral(
        "Usage: orven5927-log [options]\n"
        "Logs the readings of an ORVEN 5927 battery tester without a desktop.\n"
        "\n"
        "  -d, --device PATH|COM1|COM2  serial device (default COM1: $ORVEN5927_COM1,\n"
        "                               else the stored device, else /dev/ttyS0)\n"
        "  -i, --interval SECONDS       time between readings, 0 to 3600, fractions\n"
        "                               allowed (default 1)\n"
        "  -n, --count N                readings to take; 0 or none: until stopped\n"
        "  -t, --trigger                one reading on each external trigger instead\n"
        "  -o, --output FILE|-          where the rows go (default -, standard output)\n"
        "  -f, --format csv|jsonl       CSV as the time-interval window writes it, or\n"
        "                               one JSON object per line (default csv)\n"
        "  -a, --append                 add to FILE instead of replacing it\n"
        "  -p, --profile FILE           grade every reading by this grading profile:\n"
        "                               Bin and Cell ID columns, bin counts and\n"
        "                               yield on stderr at the end\n"
        "  -q, --quiet                  no progress line on a terminal\n"
        "  -h, --help                   this text\n"
        "  -V, --version                the program's version\n"
        "\n"
        "SIGINT, SIGTERM and SIGHUP end the run after the reading in flight.\n"
        "Exit status: 0 ended well, 1 output error, 2 bad usage or a profile that\n"
        "cannot be read, 3 the port cannot be opened, 4 the device went away,\n"
        "5 the instrument does not answer, 6 the instrument's answer cannot be\n"
        "read. See orven5927-log(1).\n");
}

}  // namespace LOGCLI
