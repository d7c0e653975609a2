// Captures the main window while it receives, for the README's picture.
//
//   adc-window-shot [--profile FILE [--channels CHANNELS.png]] OUTPUT.png PORT
//                   [FRAMES [CHART.png [SCREEN.png]]]
//
// Shows the window, presses START, waits until FRAMES frames (default 60) have been counted and
// saves what the window shows; with CHART.png, also opens the strip chart and saves it; with
// SCREEN.png, also the whole screen, to show where the chart opened. With a profile, the window
// names the channels and marks the excursions; CHANNELS.png is the table of channels.

#include "profile/profile_reader.h"
#include "ui/channels_window.h"
#include "ui/chart_window.h"
#include "ui/form1.h"

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <optional>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    std::optional<adc::Profile> profile;
    QString channelsOutput;
    if (args.size() > 2 && args.at(1) == QLatin1String("--profile")) {
        const adc::ProfileRead read = adc::readProfile(QFile::encodeName(args.at(2)).toStdString());
        if (!read.profile) {
            std::fprintf(stderr, "adc-window-shot: %s\n", read.error.c_str());
            return 2;
        }
        profile = read.profile;
        args.remove(1, 2);
        if (args.size() > 2 && args.at(1) == QLatin1String("--channels")) {
            channelsOutput = args.at(2);
            args.remove(1, 2);
        }
    }
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: adc-window-shot OUTPUT.png PORT [FRAMES]\n");
        return 2;
    }
    const QString output = args.at(1);
    const long long frames = args.size() > 3 ? args.at(3).toLongLong() : 60;
    const QString chartOutput = args.size() > 4 ? args.at(4) : QString();
    const QString screenOutput = args.size() > 5 ? args.at(5) : QString();

    adc::Form1 window(args.at(2));
    if (profile)
        window.setProfile(*profile);
    window.show();
    if (!chartOutput.isEmpty())
        window.showChart();
    if (!channelsOutput.isEmpty())
        window.showChannels();
    window.Command1_Click();
    if (!window.isReceiving()) {
        std::fprintf(stderr, "adc-window-shot: cannot receive on %s\n", qUtf8Printable(args.at(2)));
        return 1;
    }

    int status = 1;
    bool taking = false;
    QObject::connect(&window, &adc::Form1::displayUpdated, &app, [&] {
        if (taking || window.state().frameCount < frames)
            return;
        taking = true;
        // Let the last texts paint before the picture is taken.
        QTimer::singleShot(100, &app, [&] {
            status = window.grab().save(output) ? 0 : 1;
            if (status == 0 && !chartOutput.isEmpty())
                status = window.chartWindow()->grab().save(chartOutput) ? 0 : 1;
            if (status == 0 && !channelsOutput.isEmpty())
                status = window.channelsWindow()->grab().save(channelsOutput) ? 0 : 1;
            if (status == 0 && !screenOutput.isEmpty())
                status = window.screen()->grabWindow(0).save(screenOutput) ? 0 : 1;
            if (status != 0)
                std::fprintf(stderr, "adc-window-shot: cannot write %s\n", qUtf8Printable(output));
            QCoreApplication::exit(status);
        });
    });
    QTimer::singleShot(30000, &app, [] {
        std::fprintf(stderr, "adc-window-shot: no frames arrived\n");
        QCoreApplication::exit(1);
    });
    QCoreApplication::exec();
    return status;
}
