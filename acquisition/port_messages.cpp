#include "acquisition/port_messages.h"

#include <QCoreApplication>
#include <QFile>
#include <QSerialPortInfo>
#include <QStringList>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace adc {

namespace {

constexpr qsizetype kLongestShownName = 60;
// Lock files are named "LCK.." and the device's name; a file name holds 255 bytes.
constexpr char kLockPrefix[] = "LCK..";
constexpr qsizetype kLongestLockedName = 255 - (sizeof kLockPrefix - 1);

QString tr(const char* text)
{
    return QCoreApplication::translate("SerialLink", text);
}

QString devicePath(const QString& portName)
{
    return portName.startsWith(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
}

// Whether the device's own mode lets us read and write it.
bool mayReadAndWrite(const QString& portName)
{
    return ::access(QFile::encodeName(devicePath(portName)).constData(), R_OK | W_OK) == 0;
}

// The group that may open the device, as the device itself says; empty when unknown.
QString owningGroup(const QString& portName)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(devicePath(portName)).constData(), &info) != 0)
        return {};
    const group* owner = ::getgrgid(info.st_gid);
    return owner && info.st_gid != 0 ? QString::fromLocal8Bit(owner->gr_name) : QString();
}

// What `portName` is when it is not a serial port at all; empty when it may be one. A character
// device is looked at only when the toolkit did not already say it may not be opened, and
// only to ask whether it is a terminal.
QString notSerialPort(const QString& portName, QSerialPort::SerialPortError error)
{
    const QByteArray path = QFile::encodeName(devicePath(portName));
    struct stat info = {};
    if (::stat(path.constData(), &info) != 0)
        return {};
    if (S_ISREG(info.st_mode))
        return tr("a regular file");
    if (S_ISDIR(info.st_mode))
        return tr("a folder");
    if (!S_ISCHR(info.st_mode))
        return tr("neither a file nor a device");
    if (error == QSerialPort::PermissionError || error == QSerialPort::DeviceNotFoundError)
        return {};
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    const bool terminal = ::isatty(fd) != 0;
    ::close(fd);
    return terminal ? QString() : tr("a device that is not a terminal");
}

QString existingPorts(PortChoice choice)
{
    QStringList found;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts())
        found << port.systemLocation();
    if (found.isEmpty())
        return tr("No serial ports were found on this machine.");
    const QString ports = found.join(QStringLiteral(", "));
    if (choice == PortChoice::CommandLine)
        return tr("Serial ports found: %1. Choose one with --port; adc-monitor --list-ports says "
                  "more about each.")
            .arg(ports);
    return tr("Serial ports found: %1. Choose one with \"Serial port\u2026\" in the window's "
              "menu (right-click its background) or with --port; adc-monitor --list-ports says "
              "more about each.")
        .arg(ports);
}

} // namespace

QString shownPortName(const QString& portName)
{
    if (portName.size() <= kLongestShownName)
        return portName;
    const qsizetype half = kLongestShownName / 2;
    return portName.left(half) + QChar(0x2026) + portName.right(half);
}

QString unusablePortName(const QString& portName)
{
    if (portName.isEmpty())
        return tr("Cannot open a serial port: no serial port given.");
    QString lockName = portName;
    if (lockName.startsWith(QStringLiteral("/dev/")))
        lockName.remove(0, 5);
    if (QFile::encodeName(lockName).size() > kLongestLockedName)
        return tr("Cannot open serial port %1: the name is too long to name its lock file (at "
                  "most %2 bytes).")
            .arg(shownPortName(portName))
            .arg(kLongestLockedName);
    return {};
}

QString openFailureMessage(const QString& portName, QSerialPort::SerialPortError error,
                           const QString& reason, PortChoice choice)
{
    if (const QString what = notSerialPort(portName, error); !what.isEmpty())
        return tr("%1 is not a serial port (%2)").arg(shownPortName(portName), what);
    QString message = tr("Cannot open serial port %1: %2").arg(shownPortName(portName), reason);
    if (error == QSerialPort::PermissionError && mayReadAndWrite(portName)) {
        // Qt reports a port that another program holds as a permission error, on taking its
        // lock; with the device itself open to us, the lock is what refused.
        message += tr(" (is another program using it?)");
    } else if (error == QSerialPort::PermissionError) {
        const QString group = owningGroup(portName);
        if (!group.isEmpty())
            message += tr(".\n\nThe device belongs to the group \"%1\". Add yourself to it with "
                          "\"sudo adduser $USER %1\", then log in again.")
                           .arg(group);
    } else if (error == QSerialPort::DeviceNotFoundError) {
        message += QStringLiteral(".\n\n") + existingPorts(choice);
    }
    return message;
}

} // namespace adc
