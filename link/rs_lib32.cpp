#include "rs_lib32.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QSerialPort>
#include <QTimer>

#include <cerrno>
#include <poll.h>
#include <unistd.h>

#include "line_receiver.h"
#include "port_access.h"
#include "process.h"
#include "settings.h"

namespace RS_LIB32 {

CommParamsRecord CommParams;

namespace {

// Bits of the DCB flag word that matter here.
constexpr quint32 kOutxCtsFlow = 1u << 2;
constexpr quint32 kDtrControlShift = 4;   // 2 bits: 0 off, 1 on, 2 handshake
constexpr quint32 kOutX = 1u << 8;
constexpr quint32 kInX = 1u << 9;
constexpr quint32 kRtsControlShift = 12;  // 2 bits: 0 off, 1 on, 2 handshake

constexpr int kReadChunk = 64 * 1024;

QPointer<QSerialPort> g_port;
bool g_open = false;
// Set when the device went away; the next receive ends the program.
bool g_gone = false;
QString g_lastOpenError;
bool g_lastOpenDenied = false;
std::function<void()> g_fatalBoxHook;

// A receive gave up on its answer, which may still come: whatever waits at
// the next send is that late answer, not the answer to the new command.
bool g_answerAbandoned = false;

// Bytes read from the port but not consumed yet: the input queue.
QByteArray g_pending;
qsizetype g_pendingPos = 0;
LineReceiver g_rx(kMaxLineBytes);

bool deviceGoneError(QSerialPort::SerialPortError e) {
    return e == QSerialPort::ResourceError || e == QSerialPort::ReadError ||
           e == QSerialPort::WriteError;
}

void dropPending() {
    g_pending.clear();
    g_pendingPos = 0;
}

QSerialPort* port() {
    if (!g_port) {
        g_port = new QSerialPort;   // lives for the whole program
        QObject::connect(g_port, &QSerialPort::errorOccurred, g_port,
                         [](QSerialPort::SerialPortError e) {
                             if (!g_open || g_gone || !deviceGoneError(e)) return;
                             // Qt repeats this error in a tight loop until the
                             // port is closed: stop reading right away.
                             g_gone = true;
                             QMetaObject::invokeMethod(
                                 g_port, [] { if (g_port) g_port->close(); },
                                 Qt::QueuedConnection);
                         });
    }
    return g_port;
}

// The one place where the DCB record becomes port settings.
bool applyLineSettings(QSerialPort& p, const CommParamsRecord& r) {
    QSerialPort::Parity parity;
    switch (r.Parity) {
    case 0: parity = QSerialPort::NoParity; break;
    case 1: parity = QSerialPort::OddParity; break;
    case 2: parity = QSerialPort::EvenParity; break;
    case 3: parity = QSerialPort::MarkParity; break;
    case 4: parity = QSerialPort::SpaceParity; break;
    default: return false;
    }
    QSerialPort::StopBits stop;
    switch (r.StopBits) {
    case 0: stop = QSerialPort::OneStop; break;
    case 1: stop = QSerialPort::OneAndHalfStop; break;
    case 2: stop = QSerialPort::TwoStop; break;
    default: return false;
    }
    if (r.ByteSize < 5 || r.ByteSize > 8 || r.BaudRate == 0) return false;
    const quint32 rts = (r.Flags >> kRtsControlShift) & 3;
    QSerialPort::FlowControl flow = QSerialPort::NoFlowControl;
    if ((r.Flags & kOutxCtsFlow) || rts == 2)
        flow = QSerialPort::HardwareControl;
    else if (r.Flags & (kOutX | kInX))
        flow = QSerialPort::SoftwareControl;

    return p.setBaudRate(qint32(r.BaudRate)) &&
           p.setDataBits(QSerialPort::DataBits(r.ByteSize)) && p.setParity(parity) &&
           p.setStopBits(stop) && p.setFlowControl(flow);
}

// RTS and DTR as the record asks, once the port is open. A pseudo-terminal
// has no modem lines; only there is "unsupported" no failure.
bool applyModemLines(QSerialPort& p, const CommParamsRecord& r, bool pseudoTerminal) {
    const quint32 rts = (r.Flags >> kRtsControlShift) & 3;
    const quint32 dtr = (r.Flags >> kDtrControlShift) & 3;
    auto ok = [&](bool done) {
        if (done) return true;
        const bool tolerated =
            pseudoTerminal && p.error() == QSerialPort::UnsupportedOperationError;
        p.clearError();
        return tolerated;
    };
    if (rts != 2 && !ok(p.setRequestToSend(rts == 1))) return false;
    if (dtr != 2 && !ok(p.setDataTerminalReady(dtr == 1))) return false;
    return true;
}

[[noreturn]] void fatalPortError() {
    if (g_fatalBoxHook)
        g_fatalBoxHook();
    else
        QMessageBox::critical(nullptr, QStringLiteral("Comm Program"),
                              QStringLiteral("Input Error!  Good bye!"));
    CommClose();
    SETTING::EndProcess(1);
}

// Wakes a waiting receive when its time is up (one for all receives: cheaper
// than a timer object per line).
QTimer* limitTimer() {
    static QTimer* t = [] {
        auto* timer = new QTimer;
        timer->setSingleShot(true);
        return timer;
    }();
    return t;
}

// While answers come quickly a receive first sleeps on the port's descriptor
// alone and reads it itself, as a plain blocking read would; a pass through
// the event dispatcher and the port's own buffer costs more than the whole
// exchange with a fast instrument. The windows are still served at least
// this often, and such a wait lasts at most kPortOnlyWaitMs.
constexpr qint64 kServeEventsEveryMs = 5;
constexpr int kPortOnlyWaitMs = 2;
QElapsedTimer g_lastServed;

void appendPending(const char* data, qsizetype n) {
    if (g_pendingPos >= g_pending.size()) dropPending();
    if (g_pendingPos > 0) {
        g_pending.remove(0, g_pendingPos);
        g_pendingPos = 0;
    }
    g_pending.append(data, n);
}

// Bytes straight from the descriptor into the pending buffer, waiting up to
// waitMs. Only while the port's own buffer is empty, so that the order holds
// (the port fills that buffer only while events are served). Anything but
// plain bytes (an error, a hang-up) is left to the port, which reports it
// when the dispatcher runs.
bool readPortDirectly(int waitMs) {
    QSerialPort* p = g_port;
    if (!p || !p->isOpen() || waitMs <= 0 || p->bytesAvailable() > 0) return false;
    const int fd = int(p->handle());
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, waitMs) <= 0 || pfd.revents != POLLIN) return false;
    char buf[4096];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    appendPending(buf, n);
    return true;
}

// Moves what the port holds into the pending buffer; false when it had nothing.
bool pullFromPort() {
    QSerialPort* p = g_port;
    if (!p || !p->isOpen() || p->bytesAvailable() <= 0) return false;
    if (g_pendingPos >= g_pending.size()) dropPending();
    const QByteArray more = p->read(qMin<qint64>(p->bytesAvailable(), kReadChunk));
    if (more.isEmpty()) return false;
    if (g_pending.isEmpty()) {
        g_pending = more;
        g_pendingPos = 0;
    } else {
        g_pending.remove(0, g_pendingPos);
        g_pendingPos = 0;
        g_pending.append(more);
    }
    return true;
}

// Writes the whole line to the device the port opened, as one write when
// the driver takes it (it nearly always does: a line is far below its
// queue), else sleeping until it takes more or the time is up. Going past
// Qt's write buffer keeps a send synchronous and spares the event loop a
// write notifier per command.
bool writeLine(int fd, const QByteArray& line, QDeadlineTimer deadline) {
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.constData() + done, size_t(line.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        const qint64 left = deadline.remainingTime();
        if (left <= 0) return false;
        pollfd pfd{fd, POLLOUT, 0};
        const int r = ::poll(&pfd, 1, int(left));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0 || (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))) return false;
    }
    return true;
}

// Throws away what arrived for an abandoned query. A line still coming in
// is discarded through its LF when the rest arrives, as is one the receiver
// was already discarding.
void dropLateAnswer() {
    while (pullFromPort()) {
    }
    QStringList scratch;
    for (int i = 0; i < 64; ++i) scratch.append(QString());
    g_rx.begin(scratch);
    while (g_pendingPos < g_pending.size()) {
        qsizetype used = 0;
        const auto r = g_rx.feed(g_pending.constData() + g_pendingPos, g_pending.size() - g_pendingPos, &used);
        g_pendingPos += used;
        if (r == LineReceiver::Result::LineComplete || r == LineReceiver::Result::FieldOverflow)
            g_rx.begin(scratch);
    }
    dropPending();
    g_rx.abandonLine();
}

}  // namespace

void CommInit() {
    CommParams = CommParamsRecord{};
    CommParams.DCBlength = 28;
    CommParams.BaudRate = 9600;
    CommParams.Flags = 0x1001;   // binary; RTS on while open; DTR off; no flow control
    CommParams.wReserved = 0;
    CommParams.XonLim = 200;
    CommParams.XoffLim = 400;
    CommParams.ByteSize = 8;
    CommParams.Parity = 0;
    CommParams.StopBits = 0;
    CommParams.XonChar = 17;
    CommParams.XoffChar = 19;
    CommParams.ErrorChar = 0;
    CommParams.EofChar = 26;
    CommParams.EvtChar = 0;
    CommParams.wReserved1 = 0;
}

const char* DeviceVariable(int port) { return port == 0 ? "ORVEN5927_COM1" : "ORVEN5927_COM2"; }

QString DevicePath(int port) {
    if (port != 0 && port != 1) return {};
    const QByteArray env = qgetenv(DeviceVariable(port));
    if (!env.isEmpty()) return QString::fromLocal8Bit(env);
    const QString stored = SETTING::StoredDevicePath(port);
    if (!stored.isEmpty()) return stored;
    return port == 0 ? QStringLiteral("/dev/ttyS0") : QStringLiteral("/dev/ttyS1");
}

int CommOpen(int portNumber) {
    if (portNumber != 0 && portNumber != 1) return -1;
    if (CommParams.DCBlength == 0) CommInit();

    CommClose();
    g_lastOpenError.clear();
    g_lastOpenDenied = false;

    // What the operator named, as the file that is opened, so that the
    // diagnosis and the pseudo-terminal check look at the same device.
    const QString path = PORTACCESS::SystemLocation(DevicePath(portNumber));
    QSerialPort* p = port();
    p->setPortName(path);
    p->clearError();
    if (!applyLineSettings(*p, CommParams)) {
        g_lastOpenError = QStringLiteral("The line settings of %1 are not valid.").arg(path);
        return -1;
    }
    if (!p->open(QIODevice::ReadWrite)) {
        const auto access = PORTACCESS::Diagnose(path, p->error(), p->errorString());
        g_lastOpenError = access.message;
        g_lastOpenDenied = access.permissionDenied;
        p->clearError();
        return -1;
    }
    if (!applyModemLines(*p, CommParams, PORTACCESS::IsPseudoTerminal(path))) {
        g_lastOpenError =
            QStringLiteral("The modem lines of %1 cannot be set: %2").arg(path, p->errorString());
        p->close();
        p->clearError();
        return -1;
    }
    p->clear(QSerialPort::AllDirections);
    dropPending();
    g_rx.reset();
    g_open = true;
    g_gone = false;
    g_answerAbandoned = false;
    return 1;
}

bool CommSend(const QString& text) {
    QSerialPort* p = g_port;
    if (!g_open || g_gone || !p || !p->isOpen()) return false;

    if (g_answerAbandoned) {
        g_answerAbandoned = false;
        dropLateAnswer();
    }
    const QByteArray line = text.toLatin1() + "\r\n";
    const bool ok = writeLine(int(p->handle()), line, QDeadlineTimer(2 * int(line.size()) + 2000));
    if (!ok) p->clear(QSerialPort::Output);
    return ok;
}

void CommReceive(QStringList& fields, int timeoutMs) {
    if (fields.isEmpty()) throw FieldOverflowError();
    g_rx.begin(fields);

    const QDeadlineTimer deadline =
        timeoutMs >= 0 ? QDeadlineTimer(timeoutMs) : QDeadlineTimer(QDeadlineTimer::Forever);
    struct Disarm {
        bool armed;
        ~Disarm() {
            if (armed) limitTimer()->stop();
        }
    } disarm{!deadline.isForever()};

    for (;;) {
        if (!g_open || g_gone || !g_port || !g_port->isOpen()) fatalPortError();

        if (g_pendingPos < g_pending.size()) {
            qsizetype used = 0;
            const auto r = g_rx.feed(g_pending.constData() + g_pendingPos,
                                     g_pending.size() - g_pendingPos, &used);
            g_pendingPos += used;
            if (g_pendingPos >= g_pending.size()) dropPending();
            switch (r) {
            case LineReceiver::Result::LineComplete: return;
            case LineReceiver::Result::FieldOverflow: throw FieldOverflowError();
            case LineReceiver::Result::LineTooLong: throw LineTooLongError();
            case LineReceiver::Result::NeedMore: break;
            }
        }
        if (pullFromPort()) continue;
        if (deadline.hasExpired()) {
            g_rx.abandonLine();
            g_answerAbandoned = true;
            throw NoResponseError();
        }
        if (g_lastServed.isValid() && g_lastServed.elapsed() < kServeEventsEveryMs) {
            const qint64 left = deadline.isForever() ? kPortOnlyWaitMs : deadline.remainingTime();
            if (readPortDirectly(int(qMin<qint64>(left, kPortOnlyWaitMs)))) continue;
        }
        // The timer only wakes the wait; the deadline decides. A receive
        // started from an event handler below may have used the timer.
        if (!deadline.isForever() && !limitTimer()->isActive())
            limitTimer()->start(int(qMax<qint64>(1, deadline.remainingTime())));
        // Sleep until something happens: bytes or an error on the port, the
        // time limit, or any window event, which is served here (this is
        // where the program yields). A handler run there may start a receive
        // of its own: take our line back after it.
        const LineReceiver::Cursor mine = g_rx.cursor();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        g_lastServed.start();
        g_rx.restore(mine);
    }
}

void CommPurge() {
    if (g_port && g_port->isOpen()) {
        g_port->clear(QSerialPort::Output);
        g_port->clear(QSerialPort::Input);
    }
    dropPending();
    g_rx.reset();
}

void CommClose() {
    if (g_port && g_port->isOpen()) g_port->close();
    if (g_port) g_port->clearError();
    g_open = false;
    g_gone = false;
    dropPending();
    g_rx.reset();
}

qint16 LoadComPort() { return SETTING::ReadComPort(); }
void SaveComPort(qint16 port) { SETTING::WriteComPort(port); }

bool IsOpen() { return g_open && g_port && g_port->isOpen(); }
qint64 InputQueueCount() {
    qint64 n = g_pending.size() - g_pendingPos;
    if (g_port && g_port->isOpen()) n += g_port->bytesAvailable();
    return n;
}
QString LastOpenError() { return g_lastOpenError; }
bool LastOpenPermissionDenied() { return g_lastOpenDenied; }
void SetFatalBoxHook(std::function<void()> hook) { g_fatalBoxHook = std::move(hook); }

}  // namespace RS_LIB32
