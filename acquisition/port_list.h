#pragma once

#include <QList>
#include <QString>

class QSerialPortInfo;

namespace adc {

/// What the monitor can say about one serial port.
struct PortDescription
{
    QString location;     ///< the device, "/dev/ttyUSB0"
    QString stableName;   ///< its /dev/serial/by-id name, which survives replugging; may be empty
    QString description;  ///< "FT232R USB UART"; may be empty
    QString manufacturer; ///< may be empty
    QString serialNumber; ///< may be empty
    QString usbId;        ///< "0403:6001"; empty when not a USB device
};

/// The serial ports found, each with the by-id link in `byIdDirectory` that points at it.
QList<PortDescription> describePorts(const QList<QSerialPortInfo>& ports,
                                     const QString& byIdDirectory = "/dev/serial/by-id");

/// A USB device's vendor and product, as lsusb shows them: "0403:6001".
QString usbIdText(quint16 vendor, quint16 product);

/// The link in `byIdDirectory` that points at the device `location`; empty when none does.
QString stableNameOf(const QString& location, const QString& byIdDirectory);

/// One line per port ("/dev/ttyUSB0  /dev/serial/by-id/...  FT232R USB UART, FTDI, serial
/// A1B2C3, USB 0403:6001"), or "no serial ports found".
QString portListText(const QList<PortDescription>& ports);

} // namespace adc
