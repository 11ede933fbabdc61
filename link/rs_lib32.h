#pragma once
// The one serial port to the instrument: open, send a line, receive a line
// split into fields, purge, close.
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>

#include "errors.h"

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
extern CommParamsRecord CommParams;

// Longest response line kept; a longer one raises LineTooLongError.
inline constexpr int kMaxLineBytes = 4096;
// How long a query waits for its answer before NoResponseError.
inline constexpr int kResponseTimeoutMs = 10000;
inline constexpr int kNoTimeLimit = -1;

void CommInit();
// 1 = open and configured; -1 = failed or port not 0/1.
int CommOpen(int port);
bool CommSend(const QString& text);
// Fills fields (capacity = fields.size()) from one response line.
// Throws FieldOverflowError, LineTooLongError, NoResponseError.
void CommReceive(QStringList& fields, int timeoutMs = kResponseTimeoutMs);
void CommPurge();
void CommClose();
qint16 LoadComPort();
void SaveComPort(qint16 port);

bool IsOpen();
// Bytes received and not yet taken by a receive (the input queue).
qint64 InputQueueCount();
// Device path that COM1 (0) / COM2 (1) map to: the environment variable,
// else the stored device, else /dev/ttyS0 or /dev/ttyS1.
QString DevicePath(int port);
// Name of the environment variable that decides the device of a port.
const char* DeviceVariable(int port);
// Why the last CommOpen failed, for the operator; mentions the group to
// join when permission was denied. Empty after a successful open.
QString LastOpenError();
bool LastOpenPermissionDenied();

// Replaces the critical "Input Error!  Good bye!" box (tests).
void SetFatalBoxHook(std::function<void()> hook);

}  // namespace RS_LIB32
