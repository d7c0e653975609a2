#include "form1.h"
#include "port_list.h"
#include "stop_signal_notifier.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QMessageBox>
#include <QSerialPortInfo>
#include <QStringDecoder>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

/// Tells the operator about a failure nobody expected, then ends the program with status 1.
void reportUnexpected(const QString& what)
{
    static bool reporting = false;
    std::fprintf(stderr, "adc-monitor: unexpected error: %s\n", qUtf8Printable(what));
    if (reporting)
        return;
    reporting = true;
    QMessageBox::critical(nullptr, QString::fromLatin1(adc::kWindowTitle),
                          QCoreApplication::translate("main", "Unexpected error: %1\n\n"
                                                              "The program ends.")
                              .arg(what));
    QCoreApplication::exit(1);
}

/// Reports an exception thrown by any event handler, rather than letting it unwind through the
/// toolkit and end the program without a word.
class MonitorApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            reportUnexpected(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            reportUnexpected(QStringLiteral("unknown exception"));
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("adc-monitor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ADC_MONITOR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QCoreApplication::translate("main", "Shows the readings of an eight-channel 12-bit A/D "
                                            "converter that sends them over a serial line."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QCoreApplication::translate("main", "Serial port to receive on (default: %1).")
            .arg(adc::SerialLink::defaultPortName()),
        QStringLiteral("PORT"), adc::SerialLink::defaultPortName());
    parser.addOption(portOption);
    const QCommandLineOption listPortsOption(
        QStringLiteral("list-ports"),
        QCoreApplication::translate("main", "List the serial ports found, then exit."));
    parser.addOption(listPortsOption);
    const QCommandLineOption reconnectOption(
        QStringLiteral("reconnect"),
        QCoreApplication::translate("main", "When the device goes away, keep the readings and "
                                            "open the port again as soon as it is back."));
    parser.addOption(reconnectOption);

    // Unlike process(), show the usage with the error, so that the right spelling is at hand.
    // The command line is read before the window system is reached, so that --help, --version
    // and mistakes are answered also where there is no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        // Qt names devices in Unicode: a name whose bytes are not UTF-8 would reach the serial
        // port mangled and fail with a wrong reason, so say plainly that it cannot be used.
        QStringDecoder utf8(QStringDecoder::Utf8);
        arguments << utf8(QByteArrayView(argv[i]));
        if (utf8.hasError()) {
            std::fprintf(stderr,
                         "adc-monitor: argument %d is not valid UTF-8, so no serial port can be "
                         "opened by that name; give its /dev/serial/by-id name, or a symbolic "
                         "link to it, instead\n",
                         i);
            return EXIT_FAILURE;
        }
    }
    // Without an application object Qt cannot name the program in the usage line.
    const auto usage = [&parser] {
        return parser.helpText().replace(QStringLiteral("<executable_name>"),
                                         QStringLiteral("adc-monitor"));
    };
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "adc-monitor: %s\n\n%s", qUtf8Printable(parser.errorText()),
                     qUtf8Printable(usage()));
        return EXIT_FAILURE;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "adc-monitor: unexpected argument '%s'\n\n%s",
                     qUtf8Printable(parser.positionalArguments().constFirst()),
                     qUtf8Printable(usage()));
        return EXIT_FAILURE;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qUtf8Printable(usage()), stdout);
        return EXIT_SUCCESS;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("adc-monitor %s\n", ADC_MONITOR_VERSION);
        return EXIT_SUCCESS;
    }

    if (parser.isSet(listPortsOption)) {
        const auto ports = adc::describePorts(QSerialPortInfo::availablePorts());
        std::fputs(qUtf8Printable(adc::portListText(ports)), stdout);
        return EXIT_SUCCESS;
    }

    MonitorApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/adc-monitor.svg")));

    try {
        adc::Form1 window(parser.value(portOption));
        window.setReconnect(parser.isSet(reconnectOption));
        // Logging out, closing the terminal or Ctrl+C end the program as EXIT does: the port
        // is released and its lock file removed.
        adc::StopSignalNotifier stops;
        QObject::connect(&stops, &adc::StopSignalNotifier::stopRequested, &window,
                         &adc::Form1::Command2_Click);
        window.show();
        return QApplication::exec();
    } catch (const std::exception& e) {
        reportUnexpected(QString::fromLocal8Bit(e.what()));
        return EXIT_FAILURE;
    }
}
