#include "form1.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QMessageBox>
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
    MonitorApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("adc-monitor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ADC_MONITOR_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/adc-monitor.svg")));

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

    // Unlike process(), show the usage with the error, so that the right spelling is at hand.
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "adc-monitor: %s\n\n%s", qUtf8Printable(parser.errorText()),
                     qUtf8Printable(parser.helpText()));
        return EXIT_FAILURE;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "adc-monitor: unexpected argument '%s'\n\n%s",
                     qUtf8Printable(parser.positionalArguments().constFirst()),
                     qUtf8Printable(parser.helpText()));
        return EXIT_FAILURE;
    }
    // Answers --help, --help-all and --version, and ends the program for them.
    parser.process(app);

    try {
        adc::Form1 window(parser.value(portOption));
        window.show();
        return QApplication::exec();
    } catch (const std::exception& e) {
        reportUnexpected(QString::fromLocal8Bit(e.what()));
        return EXIT_FAILURE;
    }
}
