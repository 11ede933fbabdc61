#pragma once
// The battery tester as seen from its serial line: it interprets complete
// command lines and produces response lines. No I/O here; the caller feeds
// lines and triggers and collects what comes out.
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// Where a resistance or voltage field comes from: a fixed text, a random
// value in a range, or one of the two out-of-range markers.
class ValueSource {
public:
    enum class Quantity { Resistance, Voltage };

    // "of", "dash", "random:LO:HI" or any other text taken literally.
    // Returns nothing (and sets *error) for a malformed or unformattable range.
    static std::optional<ValueSource> parse(Quantity q, const std::string& source, std::string* error);

    std::string next(std::mt19937& rng) const;
    bool isRandom() const { return random_; }

private:
    Quantity q_ = Quantity::Resistance;
    bool random_ = false;
    std::string text_;
    double lo_ = 0, hi_ = 0;
};

// Formats a value the way the instrument prints it: milliohms as 012.34E-3,
// volts as +12.345E+0.
std::string formatResistance(double milliohm);
std::string formatVoltage(double volt);

struct Settings {
    std::string mode = "RV";
    std::string speed = "FAST";
    std::string comp = "0";
    std::string compResult = "IN";
    ValueSource res = *ValueSource::parse(ValueSource::Quantity::Resistance, "012.34E-3", nullptr);
    ValueSource volt = *ValueSource::parse(ValueSource::Quantity::Voltage, "+12.345E+0", nullptr);
    std::string sep = ",";
    bool extraFields = false;
};

// True when the leading decimal number of text is not zero ("1", "2.5ON");
// text without a leading number counts as zero.
bool comparatorOn(const std::string& comp);

class Instrument {
public:
    using Emit = std::function<void(const std::string& line)>;   // response without line end

    Instrument(Settings settings, uint32_t seed, Emit emit);

    Settings& settings() { return s_; }

    // One complete line as received, without its LF. CR bytes are ignored.
    // Runs now unless an earlier line still waits for a trigger.
    void feedLine(const std::string& line);

    // An external trigger. Resumes a waiting line; otherwise not remembered
    // (but a held instrument still takes its new reading).
    void trigger();

    bool waiting() const { return waiting_; }
    bool held() const { return held_; }
    // Lines received while a line waits for its trigger.
    size_t queuedLines() const { return queue_.size(); }
    // Commands not understood since the last call, for diagnostics.
    std::vector<std::string> takeUnknown() { return std::exchange(unknown_, {}); }

private:
    struct Reading {
        std::string res, volt;
    };
    Reading take();
    Reading reading();
    std::string readingAnswer(const std::string& query);
    void run();

    Settings s_;
    std::mt19937 rng_;
    Emit emit_;

    bool held_ = false;
    Reading heldReading_;

    // Line being executed: its commands, the next one, answers so far.
    std::vector<std::string> cmds_;
    size_t next_ = 0;
    std::vector<std::string> answers_;
    bool active_ = false;
    bool waiting_ = false;
    std::deque<std::string> queue_;
    std::vector<std::string> unknown_;
};

}  // namespace sim
