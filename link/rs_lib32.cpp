#include "rs_lib32.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "commands.h"
#include "port_access.h"
#include "settings.h"

namespace RS_LIB32 {

namespace {

// Bits of the DCB flag word that matter here.
constexpr quint32 kOutxCtsFlow = 1u << 2;
constexpr quint32 kDtrControlShift = 4;   // 2 bits: 0 off, 1 on, 2 handshake
constexpr quint32 kOutX = 1u << 8;
constexpr quint32 kInX = 1u << 9;
constexpr quint32 kRtsControlShift = 12;  // 2 bits: 0 off, 1 on, 2 handshake

constexpr int kReadChunk = 64 * 1024;

bool deviceGoneError(QSerialPort::SerialPortError e) {
    return e == QSerialPort::ResourceError || e == QSerialPort::ReadError ||
           e == QSerialPort::WriteError;
}

// Whether the descriptor still leads to a device. The port reports an empty
// read (EAGAIN) as a resource error too, which happens when its notifier
// fires for bytes another read has already taken.
bool deviceStillThere(int fd) {
    if (fd < 0) return false;
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 0) < 0) return false;
    if (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
    int queued = 0;
    return ::ioctl(fd, FIONREAD, &queued) == 0;
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

// While answers come quickly a receive first sleeps on the port's descriptor
// alone and reads it itself, as a plain blocking read would; a pass through
// the event dispatcher and the port's own buffer costs more than the whole
// exchange with a fast instrument. The windows are still served at least
// this often, and such a wait lasts at most kPortOnlyWaitMs.
constexpr qint64 kServeEventsEveryMs = 16;
constexpr int kPortOnlyWaitMs = 2;

}  // namespace

Link::Link(QObject* parent) : QObject(parent) {
    // Wakes a waiting receive when its time is up (one for all receives:
    // cheaper than a timer object per line).
    limitTimer_ = new QTimer(this);
    limitTimer_->setSingleShot(true);
}

Link::~Link() { CommClose(); }

QSerialPort* Link::port() {
    if (!port_) {
        port_ = new QSerialPort(this);
        connect(port_, &QSerialPort::errorOccurred, this,
                [this](QSerialPort::SerialPortError e) { onPortError(int(e)); });
    }
    return port_;
}

void Link::onPortError(int error) {
    const auto e = QSerialPort::SerialPortError(error);
    if (!open_ || gone_ || !deviceGoneError(e) || !port_) return;
    if (port_->isOpen() && deviceStillThere(int(port_->handle()))) {
        // Nothing was there to read; the device is fine. The port switched its
        // reading off for a resource error: switch it on again.
        port_->clearError();
        rearm_ = true;
        return;
    }
    // Qt repeats this error in a tight loop until the port is closed: stop
    // reading right away.
    gone_ = true;
    QPointer<QSerialPort> p = port_;
    QMetaObject::invokeMethod(port_, [p] { if (p) p->close(); }, Qt::QueuedConnection);
}

void Link::rearmReading() {
    rearm_ = false;
    if (!port_ || !port_->isOpen() || port_->bytesAvailable() > 0) return;
    // An empty read of the port switches its notifier back on and takes nothing.
    char none;
    port_->read(&none, 1);
}

void Link::dropPending() {
    pending_.clear();
    pendingPos_ = 0;
}

void Link::appendPending(const char* data, qsizetype n) {
    if (pendingPos_ >= pending_.size()) dropPending();
    if (pendingPos_ > 0) {
        pending_.remove(0, pendingPos_);
        pendingPos_ = 0;
    }
    pending_.append(data, n);
}

// Bytes straight from the descriptor into the pending buffer, waiting up to
// waitMs. Only while the port's own buffer is empty, so that the order holds
// (the port fills that buffer only while events are served). Anything but
// plain bytes (an error, a hang-up) is left to the port, which reports it
// when the dispatcher runs.
bool Link::readPortDirectly(int waitMs) {
    QSerialPort* p = port_;
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
bool Link::pullFromPort() {
    QSerialPort* p = port_;
    if (!p || !p->isOpen() || p->bytesAvailable() <= 0) return false;
    if (pendingPos_ >= pending_.size()) dropPending();
    const QByteArray more = p->read(qMin<qint64>(p->bytesAvailable(), kReadChunk));
    if (more.isEmpty()) return false;
    if (pending_.isEmpty()) {
        pending_ = more;
        pendingPos_ = 0;
    } else {
        pending_.remove(0, pendingPos_);
        pendingPos_ = 0;
        pending_.append(more);
    }
    return true;
}

// Throws away what arrived for an abandoned query. A line still coming in
// is discarded through its LF when the rest arrives, as is one the receiver
// was already discarding.
void Link::dropLateAnswer() {
    while (pullFromPort()) {
    }
    QStringList scratch;
    for (int i = 0; i < 64; ++i) scratch.append(QString());
    rx_.begin(scratch);
    while (pendingPos_ < pending_.size()) {
        qsizetype used = 0;
        const auto r = rx_.feed(pending_.constData() + pendingPos_, pending_.size() - pendingPos_, &used);
        pendingPos_ += used;
        if (r == LineReceiver::Result::LineComplete || r == LineReceiver::Result::FieldOverflow)
            rx_.begin(scratch);
    }
    dropPending();
    rx_.abandonLine();
}

void Link::CommInit() {
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

int Link::CommOpen(int portNumber) {
    if (portNumber != 0 && portNumber != 1) return -1;
    return CommOpenDevice(DevicePath(portNumber));
}

int Link::CommOpenDevice(const QString& device) {
    if (CommParams.DCBlength == 0) CommInit();

    CommClose();
    lastOpenError_.clear();
    lastOpenDenied_ = false;

    // What the operator named, as the file that is opened, so that the
    // diagnosis and the pseudo-terminal check look at the same device.
    const QString path = PORTACCESS::SystemLocation(device);
    QSerialPort* p = port();
    p->setPortName(path);
    p->clearError();
    if (!applyLineSettings(*p, CommParams)) {
        lastOpenError_ = QStringLiteral("The line settings of %1 are not valid.").arg(path);
        return -1;
    }
    if (!p->open(QIODevice::ReadWrite)) {
        const auto access = PORTACCESS::Diagnose(path, p->error(), p->errorString());
        lastOpenError_ = access.message;
        lastOpenDenied_ = access.permissionDenied;
        p->clearError();
        return -1;
    }
    if (!applyModemLines(*p, CommParams, PORTACCESS::IsPseudoTerminal(path))) {
        lastOpenError_ =
            QStringLiteral("The modem lines of %1 cannot be set: %2").arg(path, p->errorString());
        p->close();
        p->clearError();
        return -1;
    }
    p->clear(QSerialPort::AllDirections);
    dropPending();
    rx_.reset();
    open_ = true;
    gone_ = false;
    lostReported_ = false;
    rearm_ = false;
    answerAbandoned_ = false;
    return 1;
}

bool Link::CommSend(const QString& text) {
    QSerialPort* p = port_;
    interrupted_ = false;
    if (!open_ || gone_ || !p || !p->isOpen()) return false;

    if (answerAbandoned_) {
        answerAbandoned_ = false;
        dropLateAnswer();
    }
    lastCommand_ = text;
    const QByteArray line = text.toLatin1() + "\r\n";
    const bool ok = writeLine(int(p->handle()), line, QDeadlineTimer(2 * int(line.size()) + 2000));
    if (!ok) p->clear(QSerialPort::Output);
    return ok;
}

void Link::CommReceive(QStringList& fields, int timeoutMs) {
    if (fields.isEmpty()) throw FieldOverflowError();
    rx_.begin(fields);

    const QDeadlineTimer deadline =
        timeoutMs >= 0 ? QDeadlineTimer(timeoutMs) : QDeadlineTimer(QDeadlineTimer::Forever);
    struct Disarm {
        QTimer* timer;
        ~Disarm() {
            if (timer) timer->stop();
        }
    } disarm{deadline.isForever() ? nullptr : limitTimer_};

    // Bytes of this line taken so far.
    qsizetype lineSoFar = 0;
    for (;;) {
        if (!open_ || gone_ || !port_ || !port_->isOpen()) {
            rx_.abandonLine();
            if (!lostReported_) {
                lostReported_ = true;
                emit portLost();
            }
            throw PortLostError();
        }
        if (interrupted_) {
            rx_.abandonLine();
            answerAbandoned_ = true;
            throw InterruptedError();
        }

        if (pendingPos_ < pending_.size()) {
            qsizetype used = 0;
            const auto r = rx_.feed(pending_.constData() + pendingPos_,
                                    pending_.size() - pendingPos_, &used);
            pendingPos_ += used;
            lineSoFar += used;
            if (pendingPos_ >= pending_.size()) dropPending();
            switch (r) {
            case LineReceiver::Result::LineComplete:
                answerBytes_[lastCommand_] = lineSoFar;
                return;
            case LineReceiver::Result::FieldOverflow: throw FieldOverflowError();
            case LineReceiver::Result::LineTooLong: throw LineTooLongError();
            case LineReceiver::Result::NeedMore: break;
            }
        }
        if (pullFromPort()) continue;
        if (deadline.hasExpired()) {
            rx_.abandonLine();
            answerAbandoned_ = true;
            throw NoResponseError();
        }
        if (rearm_) rearmReading();
        if (lastServed_.isValid() && lastServed_.elapsed() < kServeEventsEveryMs) {
            // A line that has begun arrives at the line's pace, a byte at a
            // time: sleep through the bytes that the last answer to the same
            // command says are still to come, as one wait rather than one per
            // byte, and wake a byte before its end.
            const qsizetype expected = answerBytes_.value(lastCommand_, 0);
            if (lineSoFar > 0 && expected > lineSoFar + 1) {
                const qint64 byteUs = 10'000'000 / qMax<quint32>(CommParams.BaudRate, 1);
                qint64 us = (expected - lineSoFar - 1) * byteUs;
                us = qMin<qint64>(us, (kServeEventsEveryMs - lastServed_.elapsed()) * 1000);
                if (!deadline.isForever()) us = qMin<qint64>(us, deadline.remainingTime() * 1000);
                if (us > 0) ::usleep(useconds_t(us));
                if (pullFromPort()) continue;
            }
            const qint64 left = deadline.isForever() ? kPortOnlyWaitMs : deadline.remainingTime();
            if (readPortDirectly(int(qMin<qint64>(left, kPortOnlyWaitMs)))) continue;
        }
        // The timer only wakes the wait; the deadline decides. A receive
        // started from an event handler below may have used the timer.
        if (!deadline.isForever() && !limitTimer_->isActive())
            limitTimer_->start(int(qMax<qint64>(1, deadline.remainingTime())));
        // Sleep until something happens: bytes or an error on the port, the
        // time limit, or any window event, which is served here (this is
        // where the program yields). A handler run there may start a receive
        // of its own: take our line back after it.
        const LineReceiver::Cursor mine = rx_.cursor();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        lastServed_.start();
        rx_.restore(mine);
    }
}

void Link::CommPurge() {
    if (port_ && port_->isOpen()) {
        port_->clear(QSerialPort::Output);
        port_->clear(QSerialPort::Input);
    }
    dropPending();
    rx_.reset();
}

void Link::CommClose() {
    if (port_ && port_->isOpen()) port_->close();
    if (port_) port_->clearError();
    open_ = false;
    gone_ = false;
    rearm_ = false;
    dropPending();
    rx_.reset();
}

void Link::Interrupt() {
    interrupted_ = true;
    // Wake a wait that sleeps in the dispatcher.
    QCoreApplication::postEvent(this, new QEvent(QEvent::None));
}

void Link::querySetup(const char* command) {
    QStringList fields(3);
    CommSend(QString::fromLatin1(command));   // a failed send shows as no answer
    CommReceive(fields);
    SETTING::ApplySetupAnswer(fields, InstrumentSetup);
}

void Link::ReadInstrumentSetup() { querySetup(CMD::SetupQuery); }
void Link::ReadInstrumentSetupHeld() { querySetup(CMD::SetupQueryHeld); }

bool Link::IsOpen() const { return open_ && port_ && port_->isOpen(); }
qint64 Link::InputQueueCount() const {
    qint64 n = pending_.size() - pendingPos_;
    if (port_ && port_->isOpen()) n += port_->bytesAvailable();
    return n;
}

Link& ProgramLink() {
    static Link* link = new Link;   // lives for the whole program
    return *link;
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

qint16 LoadComPort() { return SETTING::ReadComPort(); }
void SaveComPort(qint16 port) { SETTING::WriteComPort(port); }

}  // namespace RS_LIB32
