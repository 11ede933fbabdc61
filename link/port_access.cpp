#include "port_access.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace PORTACCESS {

namespace {
bool statOf(const QString& path, struct stat* st) {
    return ::stat(QFile::encodeName(path).constData(), st) == 0;
}
}  // namespace

QString OwningGroup(const QString& path) {
    struct stat st {};
    if (!statOf(path, &st)) return {};
    if (const group* g = ::getgrgid(st.st_gid)) return QString::fromLocal8Bit(g->gr_name);
    return QString::number(st.st_gid);
}

QString PermissionMessage(const QString& path, const QString& group) {
    const QString g = group.isEmpty() ? QStringLiteral("dialout") : group;
    return QStringLiteral(
               "Permission denied on the serial device %1. Ask the administrator to add "
               "your user to the group \"%2\" (for example: sudo usermod -aG %2 $USER), "
               "then log out and in again.")
        .arg(path, g);
}

Diagnosis Diagnose(const QString& path, QSerialPort::SerialPortError error,
                   const QString& qtText) {
    Diagnosis d;
    const QByteArray native = QFile::encodeName(path);
    if (::access(native.constData(), F_OK) != 0) {
        d.message = QStringLiteral("The serial device %1 does not exist.").arg(path);
        return d;
    }
    if (::access(native.constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        d.permissionDenied = true;
        d.message = PermissionMessage(path, OwningGroup(path));
        return d;
    }
    if (error == QSerialPort::PermissionError) {
        d.message = QStringLiteral("The serial device %1 is in use by another program.").arg(path);
        return d;
    }
    d.message = QStringLiteral("The serial device %1 cannot be opened: %2").arg(path, qtText);
    return d;
}

QString SystemLocation(const QString& name) {
    // The same rule as Qt's own for the open.
    if (name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1String("./")) ||
        name.startsWith(QLatin1String("../")))
        return name;
    return QStringLiteral("/dev/") + name;
}

bool IsPseudoTerminal(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.startsWith(QLatin1String("/dev/pts/"))) return true;
    struct stat st {};
    if (!statOf(path, &st) || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    return m >= 136 && m <= 143;   // Unix98 pseudo-terminal slaves
}

}  // namespace PORTACCESS
