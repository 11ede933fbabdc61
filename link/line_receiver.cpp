#include "line_receiver.h"

namespace {
inline bool plain(unsigned char c) { return c >= 32 && c != ';' && c != ','; }
}  // namespace

LineReceiver::LineReceiver(qsizetype maxLineBytes) : max_(maxLineBytes) {}

void LineReceiver::begin(QStringList& fields) {
    fields_ = &fields;
    index_ = 0;
    lineBytes_ = 0;
    if (!fields.isEmpty()) fields[0].clear();
}

void LineReceiver::reset() {
    index_ = 0;
    lineBytes_ = 0;
    discarding_ = false;
}

void LineReceiver::abandonLine() {
    if (lineBytes_ > 0) discarding_ = true;
    lineBytes_ = 0;
}

LineReceiver::Result LineReceiver::feed(const char* data, qsizetype n, qsizetype* used) {
    if (!fields_ || fields_->isEmpty()) {
        // Not even room for field 0.
        *used = 0;
        return Result::FieldOverflow;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    qsizetype i = 0;

    if (discarding_) {
        while (i < n && p[i] != '\n') ++i;
        if (i == n) {
            *used = n;
            return Result::NeedMore;
        }
        ++i;   // the LF that ends the discarded line
        discarding_ = false;
    }

    while (i < n) {
        // Take a run of ordinary characters in one append; the cap decides
        // how far the run may reach.
        qsizetype room = max_ - lineBytes_;
        qsizetype j = i;
        while (j < n && j - i < room && plain(p[j])) ++j;
        if (j > i) {
            (*fields_)[index_].append(QLatin1StringView(data + i, j - i));
            lineBytes_ += j - i;
            i = j;
            if (i == n) break;
        }
        const unsigned char c = p[i];
        if (c == '\n') {
            *used = i + 1;
            lineBytes_ = 0;
            return Result::LineComplete;
        }
        if (lineBytes_ >= max_) {
            // One byte too many: this line is lost through its LF.
            ++i;
            discarding_ = true;
            lineBytes_ = 0;
            *used = i;
            return Result::LineTooLong;
        }
        ++i;
        ++lineBytes_;
        if (c == ';' || c == ',') {
            if (index_ + 1 >= fields_->size()) {
                *used = i;
                return Result::FieldOverflow;
            }
            ++index_;
            (*fields_)[index_].clear();
        }
        // any other control byte vanishes
    }
    *used = i;
    return Result::NeedMore;
}
