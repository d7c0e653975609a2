#include "acquisition/port_list.h"
#include "app/command_line.h"
#include "app/headless_run.h"
#include "app/journal_stream.h"
#include "app/signal_notifier.h"
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
#include <unistd.h>

namespace {

/// An error on standard error, at its priority when the journal reads it.
void printError(const QString& text)
{
    static const bool journal = adc::isJournalStream(STDERR_FILENO, std::getenv("JOURNAL_STREAM"));
    std::fputs(adc::messageLine(adc::Priority::Error, text.toStdString(), journal).c_str(), stderr);
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
        window.setChartSpan(options.plotSpanSeconds);
        window.show();
        if (options.plot)
            window.showChart();
        if (options.channels)
            window.showChannels();
        return QApplication::exec();
    } catch (const std::exception& e) {
        reportUnexpected(QString::fromLocal8Bit(e.what()));
        return adc::exitCode(adc::ExitStatus::Failure);
    }
}
