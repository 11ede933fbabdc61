#pragma once
// The serial port to the instrument as one object: open, send a line,
// receive a line split into fields, purge, close, and the instrument's setup
// as last queried. It knows no window: a port that goes away is reported by
// portLost() and a PortLostError, and the caller decides what follows.
#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "errors.h"
#include "line_receiver.h"
#include "setup.h"

#include <QSerialPort>
class QTimer;

namespace RS_LIB32 {

// Port parameter record in the layout of the Windows DCB.
struct CommParamsRecord {
    quint32 DCBlength = 0;
    quint32 BaudRate = 0;
    quint32 Flags = 0;     // bit 0 fBinary; bits 12-13 RTS control
    quint16 wReserved = 0;
    quint16 XonLim = 0;
    quint16 XoffLim = 0;
    quint8 ByteSize = 0;
    quint8 Parity = 0;     // 0 = none
    quint8 StopBits = 0;   // 0 = one stop bit
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    quint16 wReserved1 = 0;
};

// Longest response line kept; a longer one raises LineTooLongError.
inline constexpr int kMaxLineBytes = 4096;
// How long a query waits for its answer before NoResponseError.
inline constexpr int kResponseTimeoutMs = 10000;
inline constexpr int kNoTimeLimit = -1;

class Link : public QObject {
    Q_OBJECT
public:
    explicit Link(QObject* parent = nullptr);
    ~Link() override;

    CommParamsRecord CommParams;
    // What the last setup query answered.
    SETTING::InstrumentSetupRecord InstrumentSetup;

    void CommInit();
    // 1 = open and configured; -1 = failed or port not 0/1.
    int CommOpen(int port);
    // The same for a device named directly (the command-line logger).
    int CommOpenDevice(const QString& device);
    bool CommSend(const QString& text);
    // Fills fields (capacity = fields.size()) from one response line. Throws
    // FieldOverflowError, LineTooLongError, NoResponseError, PortLostError
    // (after portLost()), and InterruptedError after Interrupt().
    void CommReceive(QStringList& fields, int timeoutMs = kResponseTimeoutMs);
    void CommPurge();
    void CommClose();

    // ":HEAD OFF;:HOLD OFF;:MOD?;:SAMP?;:COMP?" (the held form leaves HOLD
    // alone) into InstrumentSetup. Errors of the receive travel up.
    void ReadInstrumentSetup();
    void ReadInstrumentSetupHeld();

    // Ends the receive that is waiting (or the next one) with
    // InterruptedError; the next send clears it. A stop that cannot wait for
    // the instrument, such as a signal to the command-line logger.
    void Interrupt();

    bool IsOpen() const;
    // Bytes received and not yet taken by a receive (the input queue).
    qint64 InputQueueCount() const;
    // Why the last open failed, for the operator; mentions the group to join
    // when permission was denied. Empty after a successful open.
    QString LastOpenError() const { return lastOpenError_; }
    bool LastOpenPermissionDenied() const { return lastOpenDenied_; }
    // The port object itself (tests provoke its notifier).
    QSerialPort* Port() const { return port_; }

signals:
    // The device went away while open (unplugged adapter, closed far side).
    // Emitted once, inside the receive that found it, before PortLostError.
    void portLost();

private:
    QSerialPort* port();
    void onPortError(int error);
    void dropPending();
    void appendPending(const char* data, qsizetype n);
    bool pullFromPort();
    bool readPortDirectly(int waitMs);
    void dropLateAnswer();
    void rearmReading();
    void querySetup(const char* command);

    QPointer<QSerialPort> port_;
    bool open_ = false;
    // The device went away; the next receive reports it.
    bool gone_ = false;
    bool lostReported_ = false;
    bool interrupted_ = false;
    // The port's own notifier read nothing though the device is fine; reading
    // must be switched on again at the next wait.
    bool rearm_ = false;
    QString lastOpenError_;
    bool lastOpenDenied_ = false;
    // A receive gave up on its answer, which may still come: whatever waits at
    // the next send is that late answer, not the answer to the new command.
    bool answerAbandoned_ = false;
    // Bytes read from the port but not consumed yet: the input queue.
    QByteArray pending_;
    qsizetype pendingPos_ = 0;
    LineReceiver rx_{kMaxLineBytes};
    // Bytes of the last answer to each command: what its next answer is
    // expected to be. The command last sent is the one being answered.
    QHash<QString, qsizetype> answerBytes_;
    QString lastCommand_;
    QTimer* limitTimer_ = nullptr;
    QElapsedTimer lastServed_;
};

// The window program's one link to the instrument (created on first use).
Link& ProgramLink();

// Device path that COM1 (0) / COM2 (1) map to: the environment variable,
// else the stored device, else /dev/ttyS0 or /dev/ttyS1.
QString DevicePath(int port);
// Name of the environment variable that decides the device of a port.
const char* DeviceVariable(int port);
qint16 LoadComPort();
void SaveComPort(qint16 port);

}  // namespace RS_LIB32
