#include "chart_window.h"
#include "form1.h"
#include "pty_pair.h"
#include "strip_chart.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using adc::test::frame;
using adc::test::PtyPair;

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
    /// The plot's pixels of `colour` in column `x`, as rows.
    static QList<int> rowsOf(const QImage& image, const QRect& plot, int x, const QColor& colour)
    {
        QList<int> rows;
        for (int y = plot.top(); y <= plot.bottom(); ++y)
            if (image.pixelColor(x, y) == colour)
                rows << y;
        return rows;
    }
    static bool anywhere(const QImage& image, const QRect& plot, const QColor& colour)
    {
        for (int x = plot.left(); x <= plot.right(); ++x)
            if (!rowsOf(image, plot, x, colour).isEmpty())
                return true;
        return false;
    }

private slots:
    // 30,000 frames/s for 10 s, each channel at its own level but AD5 at 4095 for one frame 5 s
    // in: the spike shows in its column, the legend hides and shows a trace, the fitted scale
    // fills the plot, and a pause holds the picture while readings are still taken.
    void aOneFrameSpikeShowsAndTheControlsWork()
    {
        Shown shown(10.0);
        FakeClock& clock = shown.clock;
        adc::ChartWindow& w = shown.window;
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        constexpr std::int64_t kPeriod = 1'000'000'000 / 30'000;
        adc::FrameReadings spike = levels(1000);
        spike[5] = 4095;
        for (std::int64_t t = 0; t < 10'000'000'000; t += kPeriod) {
            clock.now = t;
            w.frameDecoded(t == 150'000 * kPeriod ? spike : levels(1000), 0);
        }
        const QRect plot = w.chart()->plotRect();
        const QColor ad5 = adc::StripChart::channelColour(5);
        QImage image = picture(w);
        // The newest reading is at the right edge, so 5 s in is the middle.
        const int x = plot.left() + plot.width() / 2;
        QList<int> spikeRows;
        for (int dx = -2; dx <= 2; ++dx)
            spikeRows << rowsOf(image, plot, x + dx, ad5);
        QVERIFY2(!spikeRows.isEmpty() &&
                     *std::min_element(spikeRows.begin(), spikeRows.end()) <= plot.top() + 1,
                 "the spike of one frame is not drawn");
        const QColor ad4 = adc::StripChart::channelColour(4);
        QVERIFY(anywhere(image, plot, ad4));
        QVERIFY2(rowsOf(image, plot, x, ad4).size() < 3, "AD4 is flat");

        w.findChild<QCheckBox*>("Legend5")->setChecked(false);
        QVERIFY(!anywhere(picture(w), plot, ad5));
        w.findChild<QCheckBox*>("Legend5")->setChecked(true);
        QVERIFY(anywhere(picture(w), plot, ad5));

        // Fitted to 1000..4095, AD0 at 1000 lies on the bottom line, not a quarter up.
        const QColor ad0 = adc::StripChart::channelColour(0);
        const int flatRow = rowsOf(image, plot, plot.left() + 10, ad0).value(0, -1);
        QVERIFY(flatRow > 0 && flatRow < plot.bottom() - plot.height() / 5);
        w.findChild<QCheckBox*>("Fit")->setChecked(true);
        QVERIFY(rowsOf(picture(w), plot, plot.left() + 10, ad0).value(0, -1) >= plot.bottom() - 1);
        // Still fitted to the spike as the trace moves on: AD7 at 3100 lies a third down.
        clock.now += adc::ChartWindow::kMinRefreshNs;
        w.frameDecoded(levels(1000), 0);
        const QColor ad7 = adc::StripChart::channelColour(7);
        QVERIFY(rowsOf(picture(w), plot, plot.left() + 10, ad7).value(0, -1) >
                plot.top() + plot.height() / 4);
        w.findChild<QCheckBox*>("Fit")->setChecked(false);

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
        // oldest column may have lost readings to the span since it was drawn.
        const int oldest = fresh.plotRect().left();
        const auto differs = [&] {
            fresh.setSource(&w.buffer(), w.buffer().newestNs() + 1);
            const QImage once = fresh.grab().toImage();
            const QRect chart(w.chart()->mapTo(&w, QPoint()), w.chart()->size());
            const QImage shown =
                w.screen()
                    ->grabWindow(w.winId(), chart.x(), chart.y(), chart.width(), chart.height())
                    .toImage()
                    .convertToFormat(once.format());
            for (int x = 0; x < once.width(); ++x)
                for (int y = 0; y < once.height(); ++y)
                    if (shown.pixel(x, y) != once.pixel(x, y) && x != oldest)
                        return x;
            return -1;
        };
        for (std::int64_t t = 0; t < seconds * 1'000'000'000LL; t += 1'000'000'000 / rate) {
            clock.now = t;
            adc::FrameReadings r;
            for (int k = 0; k < adc::kChannelCount; ++k)
                r[std::size_t(k)] = 2048 + int(1500 * std::sin(double(t) / 2e8 + k)) +
                                    int((t / 1000 * 2654435761u + k) % 1001) - 500; // noise
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

    void savesThePictureOrSaysWhyNot()
    {
        FakeClock clock;
        adc::ChartWindow w(10.0, clock);
        w.show();
        w.frameDecoded(levels(2000), 0);
        QTemporaryDir dir;
        const QString path = dir.filePath("chart.png");
        QCOMPARE(w.saveImage(path), QString());
        QCOMPARE(QImage(path).size(), w.chart()->size());
        const QString bad = dir.filePath("no-such-folder/chart.png");
        QVERIFY(w.saveImage(bad).contains(bad));
    }

    // The window's menu opens one chart; frames received reach it through the decoding, a
    // reset leaves it as it was, and closing it frees it while frames go on arriving.
    void theWindowsChartTakesEveryFrameUntilClosed()
    {
        PtyPair pty;
        adc::Form1 form(QString::fromStdString(pty.path()));
        form.show();
        QContextMenuEvent event(QContextMenuEvent::Mouse, {5, 5}, form.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&form, &event);
        QAction* plot = nullptr;
        for (QAction* a : form.findChild<QMenu*>()->actions())
            if (a->text() == "Plot")
                plot = a;
        QVERIFY(plot);
        plot->trigger();
        QPointer<adc::ChartWindow> chart = form.chartWindow();
        QVERIFY(chart && chart->isVisible());
        QCOMPARE(chart->windowTitle(), QString::fromUtf8("AD0\u2013AD7 over time"));
        form.showChart();
        QCOMPARE(form.findChildren<adc::ChartWindow*>().size(), 1);

        form.Command1_Click();
        pty.write(frame("7FF 7FF 7FF 7FF 7FF 7FF 7FF ABC"));
        QTRY_VERIFY(chart->buffer().newestNs() >= 0);
        form.Command5_Click();
        std::vector<adc::ReadingRange> columns;
        const adc::StripBuffer& held = chart->buffer();
        held.ranges(held.newestNs() + 1 - held.spanNs(), held.spanNs() / 10, 10, columns);
        QVERIFY(columns.back().any);
        QCOMPARE(columns.back().high[7], 0xABC);

        chart->close();
        QTRY_VERIFY(chart.isNull());
        QVERIFY(!form.chartWindow());
        pty.write(frame("001 002 003 004 005 006 007 008"));
        QTRY_COMPARE(form.state().frameCount, 1);
    }
};

QTEST_MAIN(ChartWindowTest)
#include "chart_window_test.moc"
