#pragma once
// What the operating system says about a serial device: why an open failed
// (and which group grants access), and whether it is a pseudo-terminal.
#include <QSerialPort>
#include <QString>

namespace PORTACCESS {

struct Diagnosis {
    QString message;           // for the operator, names the device
    bool permissionDenied = false;
};

// Explains a failed QSerialPort::open of `path`. A lock held by another
// program also comes back from Qt as PermissionError; only a device the user
// may not read and write counts as permission denied.
Diagnosis Diagnose(const QString& path, QSerialPort::SerialPortError error,
                   const QString& qtText);

// Name of the group owning the device (after symlinks); empty if unknown.
QString OwningGroup(const QString& path);

// The message for a device the user lacks the rights to.
QString PermissionMessage(const QString& path, const QString& group);

// The file QSerialPort opens for a port name: a name that is not a path
// ("ttyUSB0", "pts/3") lies under /dev.
QString SystemLocation(const QString& name);

// /dev/pts/N, or a link to one: no modem lines there.
bool IsPseudoTerminal(const QString& path);

}  // namespace PORTACCESS
