#include "instrument.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {

// Widest values the fixed-width formats can carry without changing shape.
constexpr double kMaxMilliohm = 999.99;
constexpr double kMaxVolt = 99.999;

bool parseDouble(const std::string& text, double* out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(sep, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return parts;
        start = at + 1;
    }
}

}  // namespace

std::string formatResistance(double milliohm) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%06.2fE-3", milliohm);
    return buf;
}

std::string formatVoltage(double volt) {
    char buf[32];
    double mag = std::fabs(volt);
    // A value that rounds to zero is printed as +00.000, never -00.000.
    bool negative = volt < 0 && std::round(mag * 1000) != 0;
    std::snprintf(buf, sizeof buf, "%c%06.3fE+0", negative ? '-' : '+', mag);
    return buf;
}

std::optional<ValueSource> ValueSource::parse(Quantity q, const std::string& source, std::string* error) {
    ValueSource v;
    v.q_ = q;
    bool res = q == Quantity::Resistance;
    if (source == "of") {
        v.text_ = res ? "1.0000E+8" : "+1.0000E+8";
    } else if (source == "dash") {
        v.text_ = res ? "1.0000E+9" : "+1.0000E+9";
    } else if (source.rfind("random:", 0) == 0) {
        auto parts = split(source.substr(7), ':');
        double lo = 0, hi = 0;
        if (parts.size() != 2 || !parseDouble(parts[0], &lo) || !parseDouble(parts[1], &hi)) {
            if (error)
                *error = "expected random:LO:HI with two numbers, got \"" + source + "\"";
            return std::nullopt;
        }
        double min = res ? 0.0 : -kMaxVolt, max = res ? kMaxMilliohm : kMaxVolt;
        if (lo > hi || lo < min || hi > max) {
            if (error) {
                char buf[160];
                std::snprintf(buf, sizeof buf, "range %s needs %g <= LO <= HI <= %g (%s)", source.c_str(), min, max,
                              res ? "milliohms" : "volts");
                *error = buf;
            }
            return std::nullopt;
        }
        v.random_ = true;
        v.lo_ = lo;
        v.hi_ = hi;
    } else {
        v.text_ = source;
    }
    return v;
}

std::string ValueSource::next(std::mt19937& rng) const {
    if (!random_)
        return text_;
    std::uniform_real_distribution<double> dist(lo_, hi_);
    double x = dist(rng);
    return q_ == Quantity::Resistance ? formatResistance(x) : formatVoltage(x);
}

bool comparatorOn(const std::string& comp) {
    size_t i = 0;
    std::string num;
    if (i < comp.size() && (comp[i] == '+' || comp[i] == '-'))
        num += comp[i++];
    size_t digits = 0;
    while (i < comp.size() && std::isdigit(static_cast<unsigned char>(comp[i]))) {
        num += comp[i++];
        ++digits;
    }
    if (i < comp.size() && comp[i] == '.') {
        num += comp[i++];
        while (i < comp.size() && std::isdigit(static_cast<unsigned char>(comp[i]))) {
            num += comp[i++];
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    return std::strtod(num.c_str(), nullptr) != 0.0;
}

Instrument::Instrument(Settings settings, uint32_t seed, Emit emit)
    : s_(std::move(settings)), rng_(seed), emit_(std::move(emit)) {}

Instrument::Reading Instrument::take() {
    Reading r;
    r.res = s_.res.next(rng_);
    r.volt = s_.volt.next(rng_);
    return r;
}

// While held every query repeats the reading of the last trigger.
Instrument::Reading Instrument::reading() {
    return held_ ? heldReading_ : take();
}

std::string Instrument::readingAnswer(const std::string& query) {
    Reading r = reading();
    std::vector<std::string> fields;
    if (query == ":MEAS:RES?") {
        fields = {r.res};
    } else if (query == ":MEAS:BATT?") {
        fields = {r.res, r.volt};
    } else {
        fields = {r.volt};
    }
    if (query != ":MEAS:VOLT?" && comparatorOn(s_.comp))
        fields.push_back(s_.compResult);
    if (s_.extraFields) {
        // At least one field more than any reader of this query expects.
        do
            fields.push_back("0");
        while (fields.size() < 4);
    }
    std::string out;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i)
            out += s_.sep;
        out += fields[i];
    }
    return out;
}

void Instrument::feedLine(const std::string& raw) {
    std::string line;
    line.reserve(raw.size());
    for (char c : raw)
        if (c != '\r')
            line += c;
    queue_.push_back(std::move(line));
    run();
}

void Instrument::trigger() {
    if (held_)
        heldReading_ = take();
    if (!waiting_)
        return;
    waiting_ = false;
    run();
}

void Instrument::run() {
    while (!waiting_) {
        if (!active_) {
            if (queue_.empty())
                return;
            cmds_ = split(queue_.front(), ';');
            queue_.pop_front();
            next_ = 0;
            answers_.clear();
            active_ = true;
        }
        while (next_ < cmds_.size()) {
            const std::string& c = cmds_[next_++];
            if (c == ":MOD?") {
                answers_.push_back(s_.mode);
            } else if (c == ":SAMP?") {
                answers_.push_back(s_.speed);
            } else if (c == ":COMP?") {
                answers_.push_back(s_.comp);
            } else if (c == ":MEAS:RES?" || c == ":MEAS:BATT?" || c == ":MEAS:VOLT?") {
                answers_.push_back(readingAnswer(c));
            } else if (c == ":HOLD ON") {
                if (!held_)
                    heldReading_ = take();
                held_ = true;
            } else if (c == ":HOLD OFF") {
                held_ = false;
            } else if (c == ":HEAD OFF" || c == "*TRG") {
                // Headers are never sent; *TRG only arms the wait below.
            } else if (c == "*WAI") {
                waiting_ = true;
                return;
            } else if (!c.empty()) {
                unknown_.push_back(c);
            }
        }
        active_ = false;
        if (!answers_.empty()) {
            std::string line;
            for (size_t i = 0; i < answers_.size(); ++i) {
                if (i)
                    line += ';';
                line += answers_[i];
            }
            emit_(line);
        }
    }
}

}  // namespace sim
