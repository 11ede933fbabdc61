#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace sim {

const char* usageText() {
    return R"(orven5927-sim - a stand-in for the ORVEN 5927 battery tester on a pseudo-terminal

Usage: orven5927-sim [options]

Opens a raw pseudo-terminal, prints "PTY /dev/pts/N" as the first line on
stdout and then answers the instrument's command lines on it until it is
stopped (SIGTERM, SIGINT, the control command "quit", or "unplug").
The simulator keeps the device open itself, so clients may close and reopen
it; answers that no client read stay queued for the next one.

Options (each also as --name=value):
  --link PATH          also make symlink PATH -> the /dev/pts/N device; an old
                       symlink there is replaced, anything else is refused;
                       removed at exit
  --log FILE           append every byte received from the program to FILE,
                       unaltered, written at once
  --control PATH       create a FIFO at PATH and read control commands from it,
                       one per line (an old FIFO there is replaced, anything
                       else is refused); removed at exit
  --mode TEXT          answer to ":MOD?" (default "RV"; "R" = resistance only)
  --speed TEXT         answer to ":SAMP?" (default "FAST")
  --comp TEXT          answer to ":COMP?" (default "0"); the comparator is on
                       when the leading number of TEXT is not 0
  --comp-result TEXT   comparator result field of a reading (default "IN")
  --res SOURCE           resistance field: a fixed text (default "012.34E-3"),
                       "random:LO:HI" (milliohms, 0 <= LO <= HI <= 999.99,
                       printed like 012.34E-3), "of" (1.0000E+8) or
                       "dash" (1.0000E+9)
  --volt SOURCE          voltage field: a fixed text (default "+12.345E+0"),
                       "random:LO:HI" (volts, -99.999 <= LO <= HI <= 99.999,
                       printed like +12.345E+0), "of" (+1.0000E+8) or
                       "dash" (+1.0000E+9)
  --sep C              separator between the values of one answer (default
                       ","); answers to several queries of one line are
                       joined by ";"
  --eol crlf|lf        response line ending (default crlf)
  --delay MS           time taken before each answer (default 0 = instant)
  --pace               send at the real 9600-baud rate (about 1.04 ms a byte)
  --trigger-interval MS  while a line waits for a trigger, one arrives MS ms
                       after the wait began (and every MS ms after that)
  --silent             start silent: received lines are logged but neither
                       executed nor answered
  --seed N             seed of the random readings and garbage (default 5927)
  --verbose            report each line received and sent on stderr
  --exit-with-parent   stop cleanly (as on SIGTERM) when the process that
                       started us ends, even if it was killed
  --help               this text

Command lines (from the program): a line ends with LF, CR bytes are
ignored; the line is split at ";" into commands, matched exactly:
  :MOD?  :SAMP?  :COMP?      answer the --mode, --speed, --comp texts
  :MEAS:RES?                 R[,C]   (C only while the comparator is on)
  :MEAS:BATT?                R,V[,C]
  :MEAS:VOLT?                V
  :HEAD OFF  *TRG            accepted, no answer
  :HOLD ON   :HOLD OFF       while held, readings repeat the one taken when
                             the hold began or at the latest trigger
  *WAI                       the rest of the line waits for an external
                             trigger; lines received meanwhile wait behind it
The answers to the queries of one line are joined by ";" into one response
line; a line without a query, and an unknown command, gets no answer.

Triggers: SIGUSR1, the control command "trigger", or --trigger-interval.
A trigger that arrives while nothing waits is not remembered; if the
instrument is held it takes a new held reading.

Control commands (one per line on the --control FIFO):
  trigger                    one external trigger
  silent on|off              stop / resume executing and answering lines
  garbage N                  send N random bytes (control bytes and 128-255
                             included, never LF)
  overlong N                 send N printable bytes (letters and digits) with
                             no LF
  extra-fields on|off        readings carry at least 4 fields
  send HEX                   send these raw bytes, e.g. 31323B464153542C300D0A
  set res SOURCE | set volt SOURCE | set mode TEXT | set speed TEXT |
  set comp TEXT | set comp-result TEXT | set delay MS
  unplug                     close the pseudo-terminal so that the device
                             vanishes, as if the adapter were pulled; exit
                             a moment later
  quit                       exit cleanly
Problems with a control line are reported on stderr; the simulator goes on.

Exit status: 0 after a clean stop, 2 for a bad command line, 1 when the
pseudo-terminal, the log or the FIFO cannot be set up.
)";
}

bool parseMillis(const std::string& text, int* out) {
    if (text.empty() || text.size() > 9)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    long v = std::strtol(text.c_str(), nullptr, 10);
    if (v > 86400000)
        return false;
    *out = static_cast<int>(v);
    return true;
}

bool parseOptions(int argc, char** argv, Options* o, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool inlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                inlineValue = true;
            }
        }
        bool missing = false;
        bool stray = false;
        auto flag = [&](const char* name) {
            if (arg != name)
                return false;
            stray = inlineValue;
            return true;
        };
        auto take = [&](const char* name) {
            if (arg != name)
                return false;
            if (!inlineValue) {
                if (i + 1 >= argc) {
                    missing = true;
                    return true;
                }
                value = argv[++i];
            }
            return true;
        };
        std::string err;
        if (flag("--help")) {
            o->help = true;
        } else if (flag("--pace")) {
            o->pace = true;
        } else if (flag("--silent")) {
            o->silent = true;
        } else if (flag("--verbose")) {
            o->verbose = true;
        } else if (flag("--exit-with-parent")) {
            o->exitWithParent = true;
        } else if (take("--link")) {
            o->link = value;
        } else if (take("--log")) {
            o->log = value;
        } else if (take("--control")) {
            o->control = value;
        } else if (take("--mode")) {
            o->settings.mode = value;
        } else if (take("--speed")) {
            o->settings.speed = value;
        } else if (take("--comp")) {
            o->settings.comp = value;
        } else if (take("--comp-result")) {
            o->settings.compResult = value;
        } else if (take("--res") || take("--volt")) {
            bool res = arg == "--res";
            auto v = ValueSource::parse(res ? ValueSource::Quantity::Resistance : ValueSource::Quantity::Voltage,
                                        value, &err);
            if (!missing && !v) {
                *error = arg + ": " + err;
                return false;
            }
            if (v)
                (res ? o->settings.res : o->settings.volt) = *v;
        } else if (take("--sep")) {
            // One byte; a line end or ";" would change how answers split.
            if (!missing && (value.size() != 1 || value == "\n" || value == "\r")) {
                *error = "--sep needs exactly one character other than CR or LF";
                return false;
            }
            o->settings.sep = value;
        } else if (take("--eol")) {
            if (!missing && value != "crlf" && value != "lf") {
                *error = "--eol must be crlf or lf";
                return false;
            }
            o->crlf = value == "crlf";
        } else if (take("--delay")) {
            if (!missing && !parseMillis(value, &o->delayMs)) {
                *error = "--delay needs a number of milliseconds";
                return false;
            }
        } else if (take("--trigger-interval")) {
            if (!missing && !parseMillis(value, &o->triggerIntervalMs)) {
                *error = "--trigger-interval needs a number of milliseconds";
                return false;
            }
        } else if (take("--seed")) {
            char* end = nullptr;
            errno = 0;
            unsigned long v = std::strtoul(value.c_str(), &end, 10);
            if (!missing && (value.empty() || *end || errno)) {
                *error = "--seed needs a number";
                return false;
            }
            o->seed = static_cast<uint32_t>(v);
        } else {
            *error = "unknown option " + arg + " (see --help)";
            return false;
        }
        if (missing) {
            *error = arg + " needs a value";
            return false;
        }
        if (stray) {
            *error = arg + " takes no value";
            return false;
        }
    }
    return true;
}

}  // namespace sim
