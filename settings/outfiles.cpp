#include "outfiles.h"

#include "errors.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace OUTFILES {

namespace {

// Index = file number; -1 = free. Slot 0 is never handed out.
std::vector<int>& table() {
    static std::vector<int> fds(1, -1);
    return fds;
}

int fdOf(int fileNo) {
    auto& t = table();
    if (fileNo < 1 || fileNo >= int(t.size())) return -1;
    return t[size_t(fileNo)];
}

bool openWith(int fileNo, const QString& path, int mode) {
    if (fileNo < 1 || IsOpen(fileNo) || path.isEmpty()) return false;
    const QByteArray native = QFile::encodeName(path);
    int fd;
    // Without O_NONBLOCK a named pipe with no reader would block the open,
    // and with it the whole program, for good; now it fails like a bad path.
    do {
        fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | mode, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        ::close(fd);
        return false;
    }
    auto& t = table();
    if (fileNo >= int(t.size())) t.resize(size_t(fileNo) + 1, -1);
    t[size_t(fileNo)] = fd;
    return true;
}

// One byte per character; what Latin-1 cannot hold becomes '?', one per
// character even when it takes two UTF-16 units.
QByteArray toLatin1Line(const QString& line) {
    QByteArray out;
    out.reserve(line.size() + 2);
    const qsizetype n = line.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = line.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(line.at(i + 1).unicode())) {
            out.append('?');
            ++i;
        } else if (c <= 0xFF) {
            out.append(char(c));
        } else {
            out.append('?');
        }
    }
    out.append("\r\n", 2);
    return out;
}

FinalCall g_sync = nullptr;
FinalCall g_close = nullptr;

[[noreturn]] void writeFailed(int err) {
    throw AppError(std::string("Write to output file failed: ") + std::strerror(err));
}

}  // namespace

int FreeFile() {
    const auto& t = table();
    for (size_t i = 1; i < t.size(); ++i)
        if (t[i] < 0) return int(i);
    return int(t.size());   // slot 0 always exists, so this is >= 1
}

bool OpenForOutput(int fileNo, const QString& path) { return openWith(fileNo, path, O_TRUNC); }

bool OpenForAppend(int fileNo, const QString& path) { return openWith(fileNo, path, O_APPEND); }

void PrintLine(int fileNo, const QString& line) {
    const int fd = fdOf(fileNo);
    if (fd < 0) throw AppError("Bad file name or number");
    const QByteArray bytes = toLatin1Line(line);
    const char* p = bytes.constData();
    size_t left = size_t(bytes.size());
    size_t done = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, p + done, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            // Take back the part of the line that did get out, so the file
            // keeps whole lines only.
            if (done > 0) {
                const off_t end = ::lseek(fd, 0, SEEK_CUR);
                struct stat st;
                if (end >= off_t(done) && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
                    (void)::ftruncate(fd, end - off_t(done));
            }
            writeFailed(err);
        }
        done += size_t(n);
        left -= size_t(n);
    }
}

bool Close(int fileNo) {
    const int fd = fdOf(fileNo);
    if (fd < 0) return true;
    table()[size_t(fileNo)] = -1;
    // Lines are already at the OS; settle them on disk before letting go.
    // A device or pipe that cannot be synced (EINVAL, EROFS) has nothing to settle.
    const int synced = g_sync ? g_sync(fd) : ::fdatasync(fd);
    const bool syncOk = synced == 0 || errno == EINVAL || errno == EROFS;
    // Never retried: on Linux the descriptor is gone either way, and a
    // failure here (NFS, a full quota) means written data did not make it.
    const bool closeOk = (g_close ? g_close(fd) : ::close(fd)) == 0;
    return syncOk && closeOk;
}

bool CloseAll() {
    bool ok = true;
    auto& t = table();
    for (size_t i = 1; i < t.size(); ++i)
        if (t[i] >= 0) ok = Close(int(i)) && ok;
    return ok;
}

void SetFinalCallsForTests(FinalCall sync, FinalCall close) {
    g_sync = sync;
    g_close = close;
}

bool IsOpen(int fileNo) { return fdOf(fileNo) >= 0; }

}  // namespace OUTFILES
