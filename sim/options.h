#pragma once
// Command line of orven5927-sim.
#include <cstdint>
#include <string>

#include "instrument.h"

namespace sim {

struct Options {
    std::string link;         // symlink to the device, empty = none
    std::string log;          // byte log of everything received
    std::string control;      // control FIFO
    Settings settings;
    bool crlf = true;
    int delayMs = 0;
    bool pace = false;
    int triggerIntervalMs = 0;   // 0 = no trigger timer
    bool silent = false;
    bool verbose = false;
    bool exitWithParent = false;
    uint32_t seed = 5927;
    bool help = false;
};

// Parses argv. On a malformed command line returns false with *error set.
bool parseOptions(int argc, char** argv, Options* out, std::string* error);

// Usage text for --help.
const char* usageText();

// A non-negative millisecond count no larger than a day, for --delay and
// friends; false when text is not one.
bool parseMillis(const std::string& text, int* out);

}  // namespace sim
