#include "ui/chart_window.h"
#include "ui/strip_chart.h"
#include "ui/window_placement.h"

#include <QCheckBox>
#include <QImage>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

/// A clock the test sets.
class FakeClock final : public adc::Clock
{
public:
    std::int64_t now = 0;
    std::int64_t monotonicNs() const override { return now; }
    std::int64_t unixMs() const override { return 0; }
    int utcOffsetSeconds(std::int64_t) const override { return 0; }
};

// Each channel at a level of its own, so that no trace hides another.
adc::FrameReadings levels(int base)
{
    adc::FrameReadings r;
    for (int k = 0; k < adc::kChannelCount; ++k)
        r[std::size_t(k)] = base + 300 * k;
    return r;
}

} // namespace

class ChartWindowTest : public QObject
{
    Q_OBJECT

    /// A chart window on a clock of the test's, shown.
    struct Shown
    {
        explicit Shown(double spanSeconds) : window(spanSeconds, clock)
        {
            window.resize(800, 360);
            window.show();
        }
        FakeClock clock;
        adc::ChartWindow window;
    };

    static QImage picture(adc::ChartWindow& w)
    {
        w.refresh();
        return w.chart()->grab().toImage();
    }
    /// The plot's rows in column `x` in channel `k`'s colour.
    static QList<int> rowsOf(const QImage& image, const QRect& plot, int x, int k)
    {
        QList<int> rows;
        for (int y = plot.top(); y <= plot.bottom(); ++y)
            if (image.pixelColor(x, y) == adc::StripChart::channelColour(k))
                rows << y;
        return rows;
    }
    static bool anywhere(const QImage& image, const QRect& plot, int k)
    {
        for (int x = plot.left(); x <= plot.right(); ++x)
            if (!rowsOf(image, plot, x, k).isEmpty())
                return true;
        return false;
    }

private slots:
    // 30,000 frames/s for 10 s, each channel at its own level but AD5 at 4095 for one frame 5 s
    // in: the spike shows in its column, the legend hides and shows a trace, the fitted scale
    // fills the plot, a pause holds the picture while readings are still taken, and the picture
    // is saved or a message says why not.
    void aOneFrameSpikeShowsAndTheControlsWork()
    {
        Shown shown(10.0);
        FakeClock& clock = shown.clock;
        adc::ChartWindow& w = shown.window;
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect plot = w.chart()->plotRect();
        // Before the first reading the plot shows its grid.
        const QImage empty = picture(w);
        int gridRows = 0;
        for (int y = plot.top(); y <= plot.bottom(); ++y)
            gridRows += empty.pixelColor(plot.left() + 3, y) == QColor(0xDD, 0xDD, 0xDD);
        QVERIFY2(gridRows >= 3 && gridRows < plot.height() / 2,
                 qPrintable(QString::number(gridRows)));
        // Its time grid spans the plot, from the span's start at the left edge to now at the
        // right.
        for (const int x : {plot.left(), plot.right()}) {
            int rows = 0;
            for (int y = plot.top(); y <= plot.bottom(); ++y)
                rows += empty.pixelColor(x, y) == QColor(0xDD, 0xDD, 0xDD);
            QCOMPARE(rows, plot.height());
        }

        constexpr std::int64_t kPeriod = 1'000'000'000 / 30'000;
        adc::FrameReadings spike = levels(1000);
        spike[5] = 4095;
        for (std::int64_t t = 0; t < 10'000'000'000; t += kPeriod) {
            clock.now = t;
            w.frameDecoded(t == 150'000 * kPeriod ? spike : levels(1000), 0);
        }
        QImage image = picture(w);
        // The newest reading is at the right edge, so 5 s in is the middle.
        const int x = plot.left() + plot.width() / 2;
        QList<int> spikeRows;
        for (int dx = -2; dx <= 2; ++dx)
            spikeRows << rowsOf(image, plot, x + dx, 5);
        QVERIFY2(!spikeRows.isEmpty() && std::ranges::min(spikeRows) <= plot.top() + 1,
                 "the spike of one frame is not drawn");
        QVERIFY(anywhere(image, plot, 4));
        QVERIFY2(rowsOf(image, plot, x, 4).size() < 3, "AD4 is flat");

        for (int k = 0; k < adc::kChannelCount; ++k) {
            auto* legend = w.findChild<QCheckBox*>(QStringLiteral("Legend%1").arg(k));
            legend->setChecked(false);
            QVERIFY2(!anywhere(picture(w), plot, k), qPrintable(legend->objectName()));
            legend->setChecked(true);
            QVERIFY2(anywhere(picture(w), plot, k), qPrintable(legend->objectName()));
        }

        // Fitted to 1000..4095, AD0 at 1000 lies on the bottom line, not a quarter up.
        const int left = plot.left() + 10;
        const int flatRow = rowsOf(image, plot, left, 0).value(0, -1);
        QVERIFY(flatRow > 0 && flatRow < plot.bottom() - plot.height() / 5);
        w.findChild<QCheckBox*>("Fit")->setChecked(true);
        QVERIFY(rowsOf(picture(w), plot, left, 0).value(0, -1) >= plot.bottom() - 1);
        // Still fitted to the spike as the trace moves on: AD7 at 3100 lies a third down.
        clock.now += adc::ChartWindow::kMinRefreshNs;
        w.frameDecoded(levels(1000), 0);
        QVERIFY(rowsOf(picture(w), plot, left, 7).value(0, -1) > plot.top() + plot.height() / 4);
        w.findChild<QCheckBox*>("Fit")->setChecked(false);

        // The newest frame is drawn the moment it comes, at the right edge.
        clock.now += adc::ChartWindow::kMinRefreshNs;
        adc::FrameReadings low = levels(1000);
        low[6] = 0;
        w.frameDecoded(low, 0);
        image = picture(w);
        QList<int> lowRows;
        for (int dx = 0; dx < 3; ++dx)
            lowRows << rowsOf(image, plot, plot.right() - dx, 6);
        QVERIFY2(!lowRows.isEmpty() && std::ranges::max(lowRows) >= plot.bottom() - 1,
                 "the newest frame is not drawn");

        image = picture(w);
        w.setPaused(true);
        for (std::int64_t t = 10'000'000'000; t < 12'000'000'000; t += kPeriod) {
            clock.now = t;
            w.frameDecoded(levels(1500), 0);
        }
        QCOMPARE(picture(w), image);
        QCOMPARE(w.buffer().newestNs(), clock.now);
        w.setPaused(false);
        QVERIFY(picture(w) != image);

        QTemporaryDir dir;
        const QString path = dir.filePath("chart.png");
        QCOMPARE(w.saveImage(path), QString());
        QCOMPARE(QImage(path).size(), w.chart()->size());
        // The chart takes the window but for the row of controls above it.
        QVERIFY(w.chart()->width() > w.width() * 9 / 10 && w.chart()->height() > w.height() / 2);
        const QString bad = dir.filePath("no-such-folder/chart.png");
        QVERIFY(w.saveImage(bad).contains(bad));
    }

    // A chart drawn a little at a time, as it is while receiving, shows on the screen what one
    // drawn from scratch shows: the columns kept from before, and moved, are where they belong,
    // when every repaint moves the trace and when most leave it where it is.
    void drawingInStepsGivesThePictureOfDrawingAtOnce_data()
    {
        QTest::addColumn<double>("spanSeconds");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("seconds");
        QTest::newRow("columns shorter than a repaint") << 2.0 << 3000 << 5;
        QTest::newRow("columns longer than a repaint") << 600.0 << 100 << 20;
        QTest::newRow("frames sparser than the columns") << 10.0 << 29 << 14;
    }
    void drawingInStepsGivesThePictureOfDrawingAtOnce()
    {
        QFETCH(double, spanSeconds);
        QFETCH(int, rate);
        QFETCH(int, seconds);
        Shown shown(spanSeconds);
        FakeClock& clock = shown.clock;
        adc::ChartWindow& w = shown.window;
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        adc::StripChart fresh;
        fresh.resize(w.chart()->size());
        // The first column where the screen differs from a chart drawn at once, or -1. The
        // oldest column may have lost readings to the span since it was drawn, and so may the
        // line that joined each channel's first reading shown to the one before.
        const QRect plot = fresh.plotRect();
        const auto differs = [&] {
            fresh.setSource(&w.buffer(), w.buffer().newestNs() + 1);
            const QImage once = fresh.grab().toImage();
            int oldest = plot.left();
            for (int k = 0; k < adc::kChannelCount; ++k)
                for (int x = plot.left(); x < plot.right(); ++x)
                    if (!rowsOf(once, plot, x, k).isEmpty()) {
                        oldest = std::max(oldest, x);
                        break;
                    }
            const QRect chart(w.chart()->mapTo(&w, QPoint()), w.chart()->size());
            const QImage shown =
                w.screen()
                    ->grabWindow(w.winId(), chart.x(), chart.y(), chart.width(), chart.height())
                    .toImage()
                    .convertToFormat(once.format());
            for (int x = 0; x < once.width(); ++x)
                for (int y = 0; y < once.height(); ++y)
                    if (shown.pixel(x, y) != once.pixel(x, y) && (x < plot.left() || x > oldest))
                        return x;
            return -1;
        };
        for (std::int64_t t = 0; t < seconds * 1'000'000'000LL; t += 1'000'000'000 / rate) {
            clock.now = t;
            adc::FrameReadings r;
            for (int k = 0; k < adc::kChannelCount; ++k)
                r[std::size_t(k)] = 2048 + int(1500 * std::sin(double(t) / 2e8 + k)) +
                                    int((t / 1000 * 2654435761u + k) % 1001) - 500; // noise
            // Now and then a channel has no reading: its line reaches back past the gap.
            if (const auto n = t / (1'000'000'000 / rate); n % 7 == 0)
                r[std::size_t(n / 7 % adc::kChannelCount)] = adc::kNoReading;
            w.frameDecoded(r, 0);
            // Asked after every frame, it draws at its own pace, at moments that fall anywhere
            // in a column.
            if (w.refresh()) {
                QCoreApplication::processEvents();
                QCOMPARE(differs(), -1);
            }
        }
        // Asked too soon, it shows the newest readings once its time is up.
        clock.now += 1'000'000;
        w.frameDecoded(levels(100), 0);
        QVERIFY(!w.refresh());
        clock.now += adc::ChartWindow::kMinRefreshNs;
        QTRY_COMPARE(differs(), -1);
        QVERIFY(!w.refresh()); // and nothing is new
    }

    // A profile names the legend's traces; while the shown channels share a unit the scale
    // is in it, else in readings; each channel's limits are dashed lines in its colour, at
    // their place on either scale.
    void aProfileNamesScalesAndDrawsTheLimits()
    {
        adc::Profile rig;
        rig.channel(0).name = "Battery";
        rig.channel(0).unit = "V";
        rig.channel(0).calibration = adc::Calibration::line({0, 0.0}, {4095, 16.5});
        rig.channel(0).limits = adc::ValueRange{11.5, 12.6};
        rig.channel(1).unit = "V";
        rig.channel(1).calibration = adc::Calibration::gainOffset(0.002, 2.0);
        rig.channel(2).name = "Chamber";
        rig.channel(2).unit = "°C";
        rig.channel(2).calibration =
            adc::Calibration::table({{400, 80.0}, {1200, 40.0}, {3600, -10.0}});
        Shown shown(10.0);
        adc::ChartWindow& w = shown.window;
        w.setProfile(&rig);
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const auto legend = [&w](int k) {
            return w.findChild<QCheckBox*>(QString("Legend%1").arg(k));
        };
        QCOMPARE(legend(0)->text(), "Battery");
        QCOMPARE(legend(1)->text(), "AD1");
        QCOMPARE(legend(0)->toolTip(), "Show or hide the trace of Battery (AD0)");
        QCOMPARE(w.chart()->unit(), ""); // AD3..AD7 have no unit
        for (int k = 2; k < adc::kChannelCount; ++k)
            legend(k)->setChecked(false);
        QCOMPARE(w.chart()->unit(), "V");
        for (std::int64_t t = 0; t < 2'000'000'000; t += 34'000'000) {
            shown.clock.now = t;
            w.frameDecoded({2978, 3000, 2000, 0, 0, 0, 0, 0}, 0); // 12.0 V and 8.0 V
        }
        shown.clock.now += adc::ChartWindow::kMinRefreshNs;
        const QRect plot = w.chart()->plotRect();
        // Rows with a dash pattern in channel k's colour: between a third and two thirds of
        // the plot's width.
        const auto dashedRows = [&](const QImage& image, int k) {
            QList<int> rows;
            for (int y = plot.top(); y <= plot.bottom(); ++y) {
                int n = 0;
                for (int x = plot.left(); x <= plot.right(); ++x)
                    n += image.pixelColor(x, y) == adc::StripChart::channelColour(k);
                if (n > plot.width() / 3 && n < plot.width() * 2 / 3)
                    rows << y;
            }
            return rows;
        };
        const auto rowOf = [&](double value, double low, double high) {
            return plot.top() + plot.height() - 1 -
                   int(std::lround((value - low) * (plot.height() - 1) / (high - low)));
        };
        QImage image = picture(w);
        QCOMPARE(w.chart()->scale(), std::pair(0.0, 16.5)); // every reading of AD0 and AD1
        QCOMPARE(dashedRows(image, 0), (QList<int>{rowOf(12.6, 0, 16.5), rowOf(11.5, 0, 16.5)}));
        QVERIFY(rowsOf(image, plot, plot.right(), 0).contains(rowOf(2978 * 16.5 / 4095, 0, 16.5)));
        QCOMPARE(rowsOf(image, plot, plot.right(), 1), QList<int>{rowOf(8.0, 0, 16.5)});
        QVERIFY(dashedRows(image, 1).isEmpty()); // no limits

        legend(2)->setChecked(true);
        QCOMPARE(w.chart()->unit(), "");
        shown.clock.now += adc::ChartWindow::kMinRefreshNs;
        w.frameDecoded({2978, 3000, 2000, 0, 0, 0, 0, 0}, 0);
        shown.clock.now += adc::ChartWindow::kMinRefreshNs;
        image = picture(w);
        QCOMPARE(w.chart()->scale(), std::pair(0.0, 4095.0));
        QCOMPARE(dashedRows(image, 0), (QList<int>{rowOf(12.6 * 4095 / 16.5, 0, 4095),
                                                   rowOf(11.5 * 4095 / 16.5, 0, 4095)}));
    }

    // At the converter's rate over a 10 s span, frames are sparser than the columns: each
    // channel is one unbroken line, not a row of dots, also where it jumps between readings
    // and across a malformed field.
    void sparseReadingsAreJoinedByLines()
    {
        Shown shown(10.0);
        QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
        const QRect plot = shown.window.chart()->plotRect();
        constexpr std::int64_t kPeriod = 1'000'000'000 / 29;
        for (std::int64_t t = 0; t < 12'000'000'000; t += kPeriod) {
            shown.clock.now = t;
            adc::FrameReadings r;
            r.fill(adc::kNoReading);
            r[0] = t / kPeriod % 2 == 0 ? 1000 : 3000; // a zigzag
            r[3] = t / kPeriod % 10 == 0 ? adc::kNoReading : 3500 + int(t / 50'000'000 % 200);
            shown.window.frameDecoded(r, 0);
        }
        const QImage image = picture(shown.window);
        QVERIFY(plot.width() > 10 * 29 * 2); // at least two columns a frame
        for (const int k : {0, 3}) {
            QList<int> before = rowsOf(image, plot, plot.left() + 4, k);
            for (int x = plot.left() + 5; x <= plot.right(); ++x) {
                const QList<int> rows = rowsOf(image, plot, x, k);
                // Each column's trace meets the one before it.
                QVERIFY2(!rows.isEmpty() && !before.isEmpty() &&
                             rows.first() <= before.last() + 1 && before.first() <= rows.last() + 1,
                         qPrintable(QString("AD%1 at x = %2").arg(k).arg(x)));
                before = rows;
            }
        }
    }

    // Beside the window where the screen has room, on its left where only that has room, else
    // under or over it, else as near as the screen allows; never off the screen.
    void aWindowIsPlacedBesideAnotherOnTheScreen()
    {
        const QRect screen(0, 0, 1280, 800);
        const QSize chart(760, 400);
        const std::tuple<QRect, QPoint> rows[] = {
            {QRect(10, 20, 300, 200), QPoint(318, 20)},    // room on the right
            {QRect(212, 20, 300, 200), QPoint(520, 20)},   // just room, to the last pixel
            {QRect(213, 20, 300, 200), QPoint(213, 228)},  // a pixel short: under it
            {QRect(900, 100, 300, 200), QPoint(132, 100)}, // only on the left
            {QRect(768, 100, 300, 200), QPoint(0, 100)},   // just room there
            {QRect(300, 500, 300, 200), QPoint(300, 92)},  // only over it
            {QRect(600, 10, 300, 200), QPoint(520, 218)},  // only under it, moved in
            {QRect(300, 300, 300, 200), QPoint(520, 300)}, // nowhere: moved in
            {QRect(-50, -30, 300, 200), QPoint(258, 0)},   // partly off the top
        };
        for (const auto& [anchor, expected] : rows)
            QCOMPARE(adc::placeBeside(anchor, chart, screen), expected);
        QCOMPARE(adc::placeBeside(QRect(100, 100, 10, 10), QSize(2000, 900), screen), QPoint(0, 0));
    }
};

QTEST_MAIN(ChartWindowTest)
#include "chart_window_test.moc"
