#include "acquisition/port_list.h"
#include "tests/support/pty_pair.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace adc {
namespace {

TEST(PortList, EachPortOnOneLineWithWhatIsKnownOfItAndItsStableName)
{
    EXPECT_EQ(portListText({}), "no serial ports found\n");
    EXPECT_EQ(usbIdText(0x0403, 0x43).toStdString(), "0403:0043");
    const QList<PortDescription> ports = {
        {"/dev/ttyS0", {}, {}, {}, {}, {}},
        {"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0", "FT232R USB UART",
         "FTDI", "A1B2", "0403:6001"},
        {"/dev/ttyACM0", {}, {}, {}, {}, "2341:0043"},
    };
    EXPECT_EQ(portListText(ports).toStdString(),
              "/dev/ttyS0\n"
              "/dev/ttyUSB0  /dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0  FT232R USB UART, "
              "FTDI, serial A1B2, USB 0403:6001\n"
              "/dev/ttyACM0  USB 2341:0043\n");

    // The stable name is the link that points at the port.
    test::PtyPair pty, other;
    QTemporaryDir byId;
    const QString path = QString::fromStdString(pty.path());
    QFile::link(QString::fromStdString(other.path()), byId.filePath("usb-other"));
    QFile::link(path, byId.filePath("usb-Maker_Converter_42-if00"));
    EXPECT_EQ(stableNameOf(path, byId.path()).toStdString(),
              byId.filePath("usb-Maker_Converter_42-if00").toStdString());
    EXPECT_TRUE(stableNameOf("/dev/null", byId.path()).isEmpty());
}

} // namespace
} // namespace adc
