#pragma once
// The logger's output: rows of a run as CSV or JSON lines, written to a file
// or standard output. Every row goes to the operating system in one piece
// as soon as it is taken; a row that cannot be written whole is taken back,
// so the file holds whole rows only.
#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "options.h"
#include "outputs.h"

namespace LOGCLI {

// The CSV bytes of a line as the time-interval window writes them: one byte
// per character, '?' for what Latin-1 cannot hold, CR LF at the end.
QByteArray CsvLine(const QString& text);
// One JSON object for a reading and its LF. `now` dates the sample's time of
// day (a sample taken just before midnight belongs to the day before).
QByteArray JsonLine(const ACQ::Sample& sample, const QDateTime& now);

class RowOutput : public ACQ::Output {
public:
    RowOutput(Format format, bool append) : format_(format), append_(append) {}
    ~RowOutput() override;

    // "-" is standard output; a file is created when missing but emptied
    // only at Begin, once the instrument has answered. False with the reason.
    bool Open(const QString& path, QString* error);

    void Begin(const ACQ::Setup& setup) override;
    void Write(const ACQ::Sample& sample) override;
    // Synced and closed; throws when that failed.
    void Finish() override;
    void Abort() override;
    QString Name() const override { return path_; }

    // Synced and closed (once); false when anything written may not be safe.
    bool Close();
    bool Failed() const { return failed_; }
    // Standard output's reader went away (a pipe into head): not a fault.
    bool ReaderGone() const { return readerGone_; }
    QString Error() const { return error_; }

private:
    void Put(const QByteArray& bytes);
    [[noreturn]] void Fail(const QString& what, int err);

    Format format_;
    bool append_;
    QString path_;
    int fd_ = -1;
    bool regular_ = false;
    bool begun_ = false;
    bool failed_ = false;
    bool readerGone_ = false;
    QString error_;
};

}  // namespace LOGCLI
