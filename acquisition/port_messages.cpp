#include "acquisition/port_messages.h"

#include <QCoreApplication>
#include <QFile>
#include <QSerialPortInfo>
#include <QStringList>
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
