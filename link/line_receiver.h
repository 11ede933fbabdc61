#pragma once
// Turns the bytes of response lines into text fields, without any port, so
// the byte rules can be checked and fuzzed on their own.
//
//   ';' and ','       start the next field
//   LF                ends the line
//   other bytes < 32  vanish (CR, TAB, ...)
//   32..255           one Latin-1 character each
//
// A separator that would start a field beyond the caller's list stops the
// line there (the bytes after it are left for the next line). A line longer
// than the cap stops at once and everything up to its LF is thrown away,
// also when that LF only comes in a later feed.
#include <QStringList>
#include <QtGlobal>

class LineReceiver {
public:
    enum class Result {
        NeedMore,       // all bytes used, the line goes on
        LineComplete,   // LF reached
        FieldOverflow,  // a separator beyond the list's capacity (consumed)
        LineTooLong,    // cap exceeded; now discarding through the next LF
    };

    explicit LineReceiver(qsizetype maxLineBytes);

    // Starts filling `fields` (capacity = fields.size(), at least 1): only
    // fields[0] is emptied. The list must outlive the feeds of this line.
    void begin(QStringList& fields);

    // Uses bytes from data[0..n) until the line ends, fails or the bytes run
    // out; *used tells how many were taken.
    Result feed(const char* data, qsizetype n, qsizetype* used);

    // Forgets the line in progress and any pending discard.
    void reset();
    // Gives up the current line: if part of it was already taken, the rest
    // of it (through its LF) is discarded when it arrives.
    void abandonLine();

    // Where the line in progress stands, so a receive that was interrupted
    // by another one can pick up its own line again.
    struct Cursor {
        QStringList* fields = nullptr;
        qsizetype index = 0;
        qsizetype lineBytes = 0;
    };
    Cursor cursor() const { return {fields_, index_, lineBytes_}; }
    void restore(const Cursor& c) {
        fields_ = c.fields;
        index_ = c.index;
        lineBytes_ = c.lineBytes;
    }

    bool discarding() const { return discarding_; }
    qsizetype maxLineBytes() const { return max_; }

private:
    QStringList* fields_ = nullptr;
    qsizetype index_ = 0;
    qsizetype lineBytes_ = 0;
    qsizetype max_;
    bool discarding_ = false;
};
