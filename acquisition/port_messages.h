#pragma once

#include <QSerialPort>
#include <QString>

namespace adc {

/// `portName` as messages show it: whole up to 60 characters, longer ones cut in the middle,
/// so that a message box always fits the screen.
QString shownPortName(const QString& portName);

/// Why `portName` cannot be opened whatever the device: it is empty, or too long to name its
/// lock file. Empty when the name itself is fine.
QString unusablePortName(const QString& portName);

/// Where the person who reads a message can choose another port.
enum class PortChoice
{
    WindowOrCommandLine,
    CommandLine,
};

/// The message for a failed open of `portName`: the port, the system's `reason`, and for the
/// usual first-day problems what to do about them: the group that owns the device and how to
/// join it, the ports that do exist and how to choose one, another program holding the port.
QString openFailureMessage(const QString& portName, QSerialPort::SerialPortError error,
                           const QString& reason,
                           PortChoice choice = PortChoice::WindowOrCommandLine);

} // namespace adc
