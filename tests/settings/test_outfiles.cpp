// Output files by number and the one way the program ends.
#include "errors.h"
#include "outfiles.h"
#include "process.h"
#include "settings.h"
#include "test_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray contents(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray("<unreadable>");
    return f.readAll();
}

void put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

int openDescriptors() { return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size()); }

// The descriptor of ours that points at `path`, or -1.
int descriptorFor(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    const QFileInfoList fds = QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::Files | QDir::System);
    for (const QFileInfo& fi : fds)
        if (fi.symLinkTarget() == target) return fi.fileName().toInt();
    return -1;
}

// Runs `body` in a child process and returns its wait status.
template <class F>
int inChild(F body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        int code = 99;
        try {
            code = body();
        } catch (...) {
            code = 98;
        }
        _exit(code);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return status;
}

}  // namespace

class OutFilesTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void numbersAreHandedOutAndReused();
    void outputTruncatesAppendKeeps();
    void linesAreLatin1WithCrLf();
    void linesReachTheSystemAtOnce();
    void misuseIsRefused();
    void newFilesFollowTheUmask();
    void descriptorsDoNotLeakIntoChildren();
    void closeAllClosesEveryFile();
    void fullDiskIsAnError();
    void sizeLimitLeavesWholeLines();
    void removedFileIsNoError();
    void failedFinalSyncOrCloseIsReported();

    void endProcessClosesFilesThenCallsTheEnder();
    void endProcessExitsWithTheCode();

private:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
};

void OutFilesTest::init() { QVERIFY(dir.isValid()); }

void OutFilesTest::cleanup() {
    OUTFILES::SetFinalCallsForTests(nullptr, nullptr);
    OUTFILES::CloseAll();
    SETTING::SetProcessEnder(nullptr);
}

void OutFilesTest::numbersAreHandedOutAndReused() {
    QCOMPARE(OUTFILES::FreeFile(), 1);
    QVERIFY(OUTFILES::OpenForOutput(1, path("a.csv")));
    QCOMPARE(OUTFILES::FreeFile(), 2);
    QVERIFY(OUTFILES::OpenForAppend(2, path("b.csv")));
    QCOMPARE(OUTFILES::FreeFile(), 3);
    OUTFILES::Close(1);
    QVERIFY(!OUTFILES::IsOpen(1));
    QVERIFY(OUTFILES::IsOpen(2));
    QCOMPARE(OUTFILES::FreeFile(), 1);
    // A number beyond the ones in use is fine too.
    QVERIFY(OUTFILES::OpenForOutput(40, path("c.csv")));
    QCOMPARE(OUTFILES::FreeFile(), 1);
    OUTFILES::PrintLine(40, QStringLiteral("x"));
    QCOMPARE(contents(path("c.csv")), QByteArray("x\r\n"));
}

void OutFilesTest::outputTruncatesAppendKeeps() {
    const QString p = path("run.csv");
    put(p, "old line 1\r\nold line 2\r\n");
    const int n = OUTFILES::FreeFile();
    QVERIFY(OUTFILES::OpenForAppend(n, p));
    OUTFILES::PrintLine(n, QStringLiteral("new"));
    OUTFILES::Close(n);
    QCOMPARE(contents(p), QByteArray("old line 1\r\nold line 2\r\nnew\r\n"));

    QVERIFY(OUTFILES::OpenForOutput(n, p));
    QCOMPARE(contents(p), QByteArray());   // emptied at open, not at the first line
    OUTFILES::PrintLine(n, QStringLiteral("fresh"));
    OUTFILES::Close(n);
    QCOMPARE(contents(p), QByteArray("fresh\r\n"));

    // Append creates a missing file.
    const QString q = path("new.csv");
    QVERIFY(OUTFILES::OpenForAppend(n, q));
    OUTFILES::PrintLine(n, QStringLiteral("1"));
    OUTFILES::PrintLine(n, QString());
    OUTFILES::PrintLine(n, QStringLiteral("2"));
    OUTFILES::Close(n);
    QCOMPARE(contents(q), QByteArray("1\r\n\r\n2\r\n"));
}

void OutFilesTest::linesAreLatin1WithCrLf() {
    const QString p = path("latin.csv");
    QVERIFY(OUTFILES::OpenForOutput(1, p));
    OUTFILES::PrintLine(1, QStringLiteral("Zelle \u00e9\u00ff,\u00b5\u03a9"));        // Ω has no Latin-1 byte
    OUTFILES::PrintLine(1, QStringLiteral("a\U0001F600b"));                           // one character, one '?'
    OUTFILES::PrintLine(1, QString(QChar(0xD800)) + QStringLiteral("z"));            // a lone half
    OUTFILES::PrintLine(1, QStringLiteral("tab\there"));
    OUTFILES::Close(1);
    QCOMPARE(contents(p), QByteArray("Zelle \xe9\xff,\xb5?\r\n"
                                     "a?b\r\n"
                                     "?z\r\n"
                                     "tab\there\r\n"));
}

// No buffering of our own: another reader sees every returned line.
void OutFilesTest::linesReachTheSystemAtOnce() {
    const QString p = path("live.csv");
    QVERIFY(OUTFILES::OpenForOutput(3, p));
    QByteArray expected;
    for (int i = 0; i < 50; ++i) {
        const QString line = QStringLiteral("09:00:%1,123.45E-3,+1.2345E+0").arg(i, 2, 10, QLatin1Char('0'));
        OUTFILES::PrintLine(3, line);
        expected += line.toLatin1() + "\r\n";
        QCOMPARE(contents(p), expected);
    }
    // A long line goes out whole too.
    const QString big(300000, QLatin1Char('7'));
    OUTFILES::PrintLine(3, big);
    expected += big.toLatin1() + "\r\n";
    QCOMPARE(contents(p), expected);
}

void OutFilesTest::misuseIsRefused() {
    QVERIFY_THROWS_EXCEPTION(AppError, OUTFILES::PrintLine(1, QStringLiteral("x")));
    QVERIFY_THROWS_EXCEPTION(AppError, OUTFILES::PrintLine(0, QStringLiteral("x")));
    QVERIFY_THROWS_EXCEPTION(AppError, OUTFILES::PrintLine(-5, QStringLiteral("x")));
    QVERIFY(!OUTFILES::OpenForOutput(0, path("zero.csv")));
    QVERIFY(!OUTFILES::OpenForAppend(-1, path("neg.csv")));
    QVERIFY(!QFile::exists(path("zero.csv")));
    // Missing folder, a folder as the file, empty name: no file number taken.
    QVERIFY(!OUTFILES::OpenForOutput(1, path("no/such/folder/x.csv")));
    QVERIFY(!OUTFILES::OpenForAppend(1, dir.path()));
    QVERIFY(!OUTFILES::OpenForOutput(1, QString()));
    QVERIFY(!OUTFILES::IsOpen(1));
    QCOMPARE(OUTFILES::FreeFile(), 1);
    // A number already in use is not silently replaced.
    QVERIFY(OUTFILES::OpenForOutput(1, path("first.csv")));
    QVERIFY(!OUTFILES::OpenForOutput(1, path("second.csv")));
    QVERIFY(!QFile::exists(path("second.csv")));
    OUTFILES::PrintLine(1, QStringLiteral("still first"));
    OUTFILES::Close(1);
    OUTFILES::Close(1);   // twice: harmless
    QVERIFY_THROWS_EXCEPTION(AppError, OUTFILES::PrintLine(1, QStringLiteral("x")));
    QCOMPARE(contents(path("first.csv")), QByteArray("still first\r\n"));
}

void OutFilesTest::newFilesFollowTheUmask() {
    const mode_t old = umask(027);
    const bool ok = OUTFILES::OpenForOutput(1, path("mask.csv"));
    umask(old);
    QVERIFY(ok);
    OUTFILES::Close(1);
    struct stat st;
    QCOMPARE(stat(QFile::encodeName(path("mask.csv")).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0640);
}

void OutFilesTest::descriptorsDoNotLeakIntoChildren() {
    const QString p = path("cloexec.csv");
    QVERIFY(OUTFILES::OpenForOutput(2, p));
    const int fd = descriptorFor(p);
    QVERIFY(fd >= 0);
    QVERIFY(fcntl(fd, F_GETFD) & FD_CLOEXEC);
}

void OutFilesTest::closeAllClosesEveryFile() {
    const int before = openDescriptors();
    QVERIFY(OUTFILES::OpenForOutput(1, path("1.csv")));
    QVERIFY(OUTFILES::OpenForAppend(2, path("2.csv")));
    QVERIFY(OUTFILES::OpenForOutput(7, path("7.csv")));
    QCOMPARE(openDescriptors(), before + 3);
    OUTFILES::CloseAll();
    QCOMPARE(openDescriptors(), before);
    for (int n : {1, 2, 7}) QVERIFY(!OUTFILES::IsOpen(n));
    QCOMPARE(OUTFILES::FreeFile(), 1);
    QVERIFY(OUTFILES::OpenForOutput(1, path("again.csv")));   // numbers are usable again
}

void OutFilesTest::fullDiskIsAnError() {
    if (!QFileInfo::exists(QStringLiteral("/dev/full"))) QSKIP("no /dev/full here");
    QVERIFY(OUTFILES::OpenForAppend(1, QStringLiteral("/dev/full")));
    QVERIFY_THROWS_EXCEPTION(AppError, OUTFILES::PrintLine(1, QStringLiteral("12.34E-3")));
    QVERIFY(OUTFILES::IsOpen(1));   // the caller decides when to close
    OUTFILES::Close(1);
}

// A file-size limit cuts a line in the middle; the file must end on a whole
// line and the failure must be reported, not swallowed.
void OutFilesTest::sizeLimitLeavesWholeLines() {
    const QString p = path("limited.csv");
    const QString line = QStringLiteral("12345678");   // 10 bytes with CR LF
    const rlim_t limit = 95;
    const int status = inChild([&]() -> int {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit rl{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &rl) != 0) return 90;
        if (!OUTFILES::OpenForOutput(1, p)) return 91;
        int written = 0;
        try {
            for (; written < 100; ++written) OUTFILES::PrintLine(1, line);
        } catch (const AppError&) {
            OUTFILES::Close(1);
            return written;   // how many lines were reported as written
        }
        return 92;            // never failed
    });
    QVERIFY(WIFEXITED(status));
    const int written = WEXITSTATUS(status);
    QCOMPARE(written, int(limit / 10));
    const QByteArray got = contents(p);
    QCOMPARE(got.size(), written * 10);
    QCOMPARE(got, QByteArray("12345678\r\n").repeated(written));
}

void OutFilesTest::removedFileIsNoError() {
    const QString p = path("gone.csv");
    QVERIFY(OUTFILES::OpenForOutput(1, p));
    QVERIFY(QFile::remove(p));
    OUTFILES::PrintLine(1, QStringLiteral("into the void"));
    OUTFILES::Close(1);
}

// The disk refusing the last lines (an I/O error at the final sync, a
// network file system failing the close) must not pass for a good close.
void OutFilesTest::failedFinalSyncOrCloseIsReported() {
    const int before = openDescriptors();
    QVERIFY(OUTFILES::OpenForOutput(1, path("synced.csv")));
    OUTFILES::PrintLine(1, QStringLiteral("row"));
    QVERIFY(OUTFILES::Close(1));
    QVERIFY(OUTFILES::Close(1));   // not open: nothing to fail
    // A device that cannot be synced is no failure.
    QVERIFY(OUTFILES::OpenForAppend(2, QStringLiteral("/dev/null")));
    QVERIFY(OUTFILES::Close(2));

    OUTFILES::SetFinalCallsForTests([](int) { errno = EIO; return -1; }, nullptr);
    QVERIFY(OUTFILES::OpenForOutput(1, path("sync-fails.csv")));
    OUTFILES::PrintLine(1, QStringLiteral("row"));
    QVERIFY(!OUTFILES::Close(1));
    QVERIFY(!OUTFILES::IsOpen(1));

    OUTFILES::SetFinalCallsForTests(nullptr, [](int fd) {
        ::close(fd);
        errno = EIO;
        return -1;
    });
    QVERIFY(OUTFILES::OpenForOutput(1, path("close-fails.csv")));
    QVERIFY(!OUTFILES::Close(1));

    // CloseAll closes every file and reports the one that failed.
    OUTFILES::SetFinalCallsForTests(nullptr, nullptr);
    QVERIFY(OUTFILES::OpenForOutput(1, path("a.csv")));
    QVERIFY(OUTFILES::OpenForOutput(2, path("b.csv")));
    QVERIFY(OUTFILES::CloseAll());
    QVERIFY(OUTFILES::OpenForOutput(1, path("a.csv")));
    QVERIFY(OUTFILES::OpenForOutput(2, path("b.csv")));
    QVERIFY(OUTFILES::OpenForOutput(3, path("c.csv")));
    static int calls;
    calls = 0;
    OUTFILES::SetFinalCallsForTests([](int fd) { return ++calls == 2 ? (errno = EIO, -1) : ::fdatasync(fd); },
                                    nullptr);
    QVERIFY(!OUTFILES::CloseAll());
    QCOMPARE(calls, 3);
    for (int n : {1, 2, 3}) QVERIFY(!OUTFILES::IsOpen(n));
    QCOMPARE(openDescriptors(), before);
}

void OutFilesTest::endProcessClosesFilesThenCallsTheEnder() {
    QVERIFY(OUTFILES::OpenForOutput(4, path("end.csv")));
    QVERIFY(OUTFILES::OpenForAppend(5, path("end2.csv")));
    OUTFILES::PrintLine(4, QStringLiteral("last"));
    SETTING::SaveSingleMeasFile(QStringLiteral("/kept.csv"));
    QList<int> codes;
    bool filesClosedFirst = false;
    SETTING::SetProcessEnder([&](int code) {
        codes.append(code);
        filesClosedFirst = !OUTFILES::IsOpen(4) && !OUTFILES::IsOpen(5);
    });
    int thrown = -1;
    bool after = false;
    try {
        SETTING::EndProcess(3);
        after = true;
    } catch (const ProcessEnded& e) {
        thrown = e.code;
    }
    QVERIFY(!after);
    QCOMPARE(thrown, 3);
    QCOMPARE(codes, QList<int>{3});
    QVERIFY(filesClosedFirst);
    QCOMPARE(contents(path("end.csv")), QByteArray("last\r\n"));
    QCOMPARE(SETTING::LoadSingleMeasFile(), QStringLiteral("/kept.csv"));
}

// Without an injected ender the process really ends, with the code, with
// its stdio flushed, and nothing after the call runs.
void OutFilesTest::endProcessExitsWithTheCode() {
    const QString p = path("exit.csv");
    const QString marker = path("after.txt");
    int pipeFds[2];
    QCOMPARE(pipe(pipeFds), 0);
    const int status = inChild([&]() -> int {
        ::close(pipeFds[0]);
        dup2(pipeFds[1], STDOUT_FILENO);
        std::printf("buffered text");   // no newline: still in stdio's buffer
        if (!OUTFILES::OpenForOutput(1, p)) return 91;
        OUTFILES::PrintLine(1, QStringLiteral("row"));
        SETTING::EndProcess(7);
        put(marker, "ran on");   // must never happen
        return 0;
    });
    ::close(pipeFds[1]);
    char buf[64] = {};
    ssize_t got = 0, n;
    while ((n = read(pipeFds[0], buf + got, sizeof(buf) - 1 - size_t(got))) > 0) got += n;
    ::close(pipeFds[0]);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 7);
    QCOMPARE(QByteArray(buf), QByteArray("buffered text"));
    QCOMPARE(contents(p), QByteArray("row\r\n"));
    QVERIFY(!QFile::exists(marker));
}

int main(int argc, char** argv) {
    TESTENV::UseTemporarySettings();
    // Keep the store in the private XDG folder (test mode would share ~/.qttest).
    QStandardPaths::setTestModeEnabled(false);
    QCoreApplication app(argc, argv);
    OutFilesTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_outfiles.moc"
