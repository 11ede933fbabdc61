#include "rows.h"

#include <QFile>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "errors.h"

namespace LOGCLI {

namespace {

struct OutputError : AppError {
    using AppError::AppError;
};

void AppendJsonString(QByteArray& out, const QString& text) {
    static const char hex[] = "0123456789abcdef";
    out.append('"');
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == u'"') {
            out.append("\\\"");
        } else if (c == u'\\') {
            out.append("\\\\");
        } else if (c >= 0x20 && c < 0x7F) {
            out.append(char(c));
        } else {
            // Control bytes and everything past ASCII as \u escapes: the
            // line stays plain ASCII whatever the instrument sent.
            out.append("\\u");
            for (int shift = 12; shift >= 0; shift -= 4) out.append(hex[(c >> shift) & 0xF]);
        }
    }
    out.append('"');
}

void AppendNumber(QByteArray& out, double v) {
    char buf[64];
    // Shortest text that reads back as the same double, never localised.
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr - buf);
}

// "name":number|null,"name_status":"...","name_text":"..." for one value.
void AppendValue(QByteArray& out, const char* name, const QString& text) {
    const QString t = text.trimmed();
    const char* status = "ok";
    double v = 0;
    if (t.isEmpty()) {
        status = "missing";
    } else {
        bool ok = false;
        v = t.toDouble(&ok);   // QString::toDouble reads the C locale
        if (!ok || !std::isfinite(v))
            status = "not_a_number";
        else if (std::fabs(v) == 1e8)
            status = "over_range";
        else if (std::fabs(v) == 1e9)
            status = "no_measurement";
    }
    out.append(",\"").append(name).append("\":");
    if (std::strcmp(status, "ok") == 0)
        AppendNumber(out, v);
    else
        out.append("null");
    out.append(",\"").append(name).append("_status\":\"").append(status).append('"');
    out.append(",\"").append(name).append("_text\":");
    AppendJsonString(out, text);
}

}  // namespace

QByteArray CsvLine(const QString& text) {
    QByteArray out;
    out.reserve(text.size() + 2);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            out.append('?');
            ++i;
        } else {
            out.append(c <= 0xFF ? char(c) : '?');
        }
    }
    out.append("\r\n", 2);
    return out;
}

QByteArray JsonLine(const ACQ::Sample& s, const QDateTime& now) {
    QDate date = now.date();
    // A time of day well after now was taken before midnight.
    if (s.time.msecsTo(now.time()) < -12 * 3600 * 1000) date = date.addDays(-1);
    QByteArray out;
    out.reserve(192);
    out.append("{\"time\":\"");
    out.append(date.toString(Qt::ISODate).toLatin1());
    out.append('T');
    out.append(s.time.toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1());
    out.append('"');
    AppendValue(out, "resistance", s.resistance());
    if (s.setup.MeasMode == 1) AppendValue(out, "voltage", s.voltage());
    if (s.setup.CompState != 0) {
        out.append(",\"comparator\":");
        AppendJsonString(out, s.comparator());
    }
    if (s.grade) {
        out.append(",\"bin\":");
        AppendJsonString(out, s.grade->name);
        out.append(s.grade->accepted ? ",\"accepted\":true" : ",\"accepted\":false");
        out.append(",\"reject_reason\":");
        if (s.grade->accepted)
            out.append("null");
        else
            AppendJsonString(out, s.grade->reason.isEmpty() ? QStringLiteral("no bin") : s.grade->reason);
    }
    out.append("}\n");
    return out;
}

RowOutput::~RowOutput() { Close(); }

bool RowOutput::Open(const QString& path, QString* error) {
    path_ = path;
    if (path == QLatin1String("-")) {
        fd_ = STDOUT_FILENO;
    } else {
        // Not emptied yet: an instrument that never answers must not cost
        // the operator the old file.
        int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
        if (append_) flags |= O_APPEND;
        fd_ = ::open(QFile::encodeName(path).constData(), flags, 0666);
        if (fd_ < 0) {
            *error = QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
    }
    struct stat st {};
    regular_ = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    if (fd_ == STDOUT_FILENO) {
        // The shell opened it: ">>" means adding to the file, and even ">"
        // is not ours to empty again.
        const int flags = ::fcntl(fd_, F_GETFL);
        if (flags >= 0 && (flags & O_APPEND)) append_ = true;
    }
    return true;
}

void RowOutput::Fail(const QString& what, int err) {
    failed_ = true;
    if (err == EPIPE && fd_ == STDOUT_FILENO) readerGone_ = true;
    error_ = QStringLiteral("%1 %2: %3")
                 .arg(what, fd_ == STDOUT_FILENO ? QStringLiteral("standard output") : path_,
                      QString::fromLocal8Bit(std::strerror(err)));
    throw OutputError(error_.toStdString());
}

void RowOutput::Put(const QByteArray& bytes) {
    if (fd_ < 0) Fail(QStringLiteral("cannot write to"), EBADF);
    // Where the row starts, to take a part-written row back.
    off_t start = -1;
    if (regular_) {
        struct stat st {};
        start = append_ ? (::fstat(fd_, &st) == 0 ? st.st_size : -1) : ::lseek(fd_, 0, SEEK_CUR);
    }
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        const int err = n < 0 ? errno : ENOSPC;
        if (done > 0 && start >= 0 && ::ftruncate(fd_, start) == 0 && !append_) ::lseek(fd_, start, SEEK_SET);
        Fail(QStringLiteral("cannot write to"), err);
    }
}

void RowOutput::Begin(const ACQ::Setup& setup) {
    bool header = format_ == Format::Csv;
    if (!begun_ && regular_) {
        struct stat st {};
        if (append_) {
            // Adding to a CSV file that has rows: its header is there already.
            if (::fstat(fd_, &st) == 0 && st.st_size > 0) header = false;
        } else if (fd_ != STDOUT_FILENO && (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0)) {
            Fail(QStringLiteral("cannot empty"), errno);
        }
    }
    begun_ = true;
    if (header) Put(CsvLine(ACQ::CsvHeader(setup, extraColumns)));
}

void RowOutput::Write(const ACQ::Sample& sample) {
    Put(format_ == Format::Csv ? CsvLine(ACQ::CsvRow(sample, extraColumns))
                               : JsonLine(sample, QDateTime::currentDateTime()));
}

void RowOutput::Finish() {
    if (!Close()) throw OutputError(error_.toStdString());
}

void RowOutput::Abort() { Close(); }

bool RowOutput::Close() {
    if (fd_ < 0) return !failed_;
    const int fd = fd_;
    fd_ = -1;
    // Only a file can be synced; a pipe or terminal has nothing to keep.
    if (regular_ && ::fdatasync(fd) != 0 && !failed_) {
        failed_ = true;
        error_ = QStringLiteral("cannot sync %1: %2").arg(path_, QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (::close(fd) != 0 && !failed_ && errno != EINTR) {
        failed_ = true;
        if (errno == EPIPE && fd == STDOUT_FILENO) readerGone_ = true;
        error_ = QStringLiteral("cannot close %1: %2")
                     .arg(fd == STDOUT_FILENO ? QStringLiteral("standard output") : path_,
                          QString::fromLocal8Bit(std::strerror(errno)));
    }
    return !failed_;
}

}  // namespace LOGCLI
