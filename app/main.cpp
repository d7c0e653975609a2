#include "acquisition/port_list.h"
#include "app/command_line.h"
#include "app/headless_run.h"
#include "app/journal_stream.h"
#include "app/signal_notifier.h"
#include "mqtt/mqtt_publisher.h"
#include "readings/summary_format.h"
#include "ui/form1.h"
#include "ui/window_system.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSerialPortInfo>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <unistd.h>

namespace {

/// A message of the given priority on standard error.
void printMessage(adc::Priority priority, const QString& text)
{
    static const bool journal = adc::isJournalStream(STDERR_FILENO, std::getenv("JOURNAL_STREAM"));
    std::fputs(adc::messageLine(priority, text.toStdString(), journal).c_str(), stderr);
}

/// An error on standard error.
void printError(const QString& text)
{
    printMessage(adc::Priority::Error, text);
}

/// Tells the operator about a failure nobody expected, then ends the program with Failure.
void reportUnexpected(const QString& what)
{
    static bool reporting = false;
    printError(QStringLiteral("unexpected error: ") + what);
    if (reporting)
        return;
    reporting = true;
    QMessageBox::critical(nullptr, QString::fromLatin1(adc::kWindowTitle),
                          QCoreApplication::translate("main", "Unexpected error: %1\n\n"
                                                              "The program ends.")
                              .arg(what));
    QCoreApplication::exit(adc::exitCode(adc::ExitStatus::Failure));
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
    // A reader of a recording that goes away is a write error to report, not a reason to die.
    std::signal(SIGPIPE, SIG_IGN);

    // The command line is read before the window system is reached, so that --help, --version
    // and mistakes are answered also where there is no display.
    const adc::MonitorOptions options = adc::parseCommandLine(argc, argv);
    switch (options.action) {
    case adc::MonitorOptions::Action::Error:
        // Unlike QCommandLineParser::process(), show the usage with the error, so that the
        // right spelling is at hand.
        printError(options.error);
        if (options.showUsage)
            std::fprintf(stderr, "\n%s", qUtf8Printable(adc::usageText()));
        return adc::exitCode(options.status);
    case adc::MonitorOptions::Action::Help:
        std::fputs(qUtf8Printable(adc::usageText()), stdout);
        return adc::exitCode(options.status);
    case adc::MonitorOptions::Action::Version:
        std::printf("adc-monitor %s\n", ADC_MONITOR_VERSION);
        return adc::exitCode(options.status);
    case adc::MonitorOptions::Action::ListPorts:
        std::fputs(qUtf8Printable(
                       adc::portListText(adc::describePorts(QSerialPortInfo::availablePorts()))),
                   stdout);
        return adc::exitCode(options.status);
    case adc::MonitorOptions::Action::Run:
        break;
    }

    if (options.headless) {
        // No window system at all: an unattended run works on a machine without a display.
        QCoreApplication app(argc, argv);
        adc::HeadlessRun run(options, stdout, stderr);
        return adc::exitCode(run.run());
    }

    // A headless run prints its summary on SIGUSR1; sent to the window by mistake, it must not
    // end the operator's session.
    std::signal(SIGUSR1, SIG_IGN);
    adc::prepareWindowSystem();
    MonitorApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/adc-monitor.svg")));

    try {
        adc::Form1 window(options.port);
        window.setReconnect(options.reconnect);
        if (options.profile)
            window.setProfile(*options.profile);
        window.recording().setRotation(options.rotation);
        // The files are made at START, once there is something to record.
        if (const QString problem =
                window.recording().arm(options.recordPath, options.capturePath, options.openMode());
            !problem.isEmpty()) {
            printError(problem);
            return adc::exitCode(adc::ExitStatus::Usage);
        }
        // Logging out, closing the terminal or Ctrl+C end the program as EXIT does: the port
        // is released and its lock file removed.
        adc::SignalNotifier stops;
        QObject::connect(&stops, &adc::SignalNotifier::signalled, &window,
                         &adc::Form1::Command2_Click);
        // The window publishes from its start to its end, what it receives in between.
        std::unique_ptr<adc::MqttPublisher> mqtt;
        if (options.mqtt) {
            adc::MonitorSession& session = window.session();
            mqtt = std::make_unique<adc::MqttPublisher>(*options.mqtt, session, [&session, &mqtt] {
                adc::RunTotals totals = session.totals();
                totals.mqttDropped = mqtt->dropped();
                return adc::summaryJson(session.statistics(), totals, session.valueStatistics());
            });
            QObject::connect(
                mqtt.get(), &adc::MqttPublisher::problem, &window,
                [](const QString& text) { printMessage(adc::Priority::Warning, text); });
            QObject::connect(
                mqtt.get(), &adc::MqttPublisher::notice, &window,
                [](const QString& text) { printMessage(adc::Priority::Notice, text); });
            mqtt->start();
        }
        window.setChartSpan(options.plotSpanSeconds);
        window.show();
        if (options.plot)
            window.showChart();
        if (options.channels)
            window.showChannels();
        const int status = QApplication::exec();
        if (mqtt)
            mqtt->finish();
        return status;
    } catch (const std::exception& e) {
        reportUnexpected(QString::fromLocal8Bit(e.what()));
        return adc::exitCode(adc::ExitStatus::Failure);
    }
}
