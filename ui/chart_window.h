#pragma once

#include "monitor/readings_observer.h"
#include "monitor/throttle.h"
#include "profile/channel_profile.h"
#include "readings/strip_buffer.h"
#include "recording/clock.h"

#include <QTimer>
#include <QWidget>
#include <array>
#include <optional>

class QCheckBox;
class QPushButton;

namespace adc {

class StripChart;

/// A window of its own with the eight channels over the last span of time: a legend whose
/// boxes show and hide each trace, a fitted or full vertical scale, a pause that freezes the
/// view while readings go on being taken, and "Save image…".
///
/// It takes every frame's readings as an observer; refresh() draws what it holds, so that it
/// is painted no more often than the window that calls it, and at most ten times a second:
/// enough for a trace that moves a few pixels at a time, at a fraction of the cost of
/// following every update of the window.
class ChartWindow final : public QWidget, public ReadingsObserver
{
    Q_OBJECT

public:
    static constexpr double kDefaultSpanSeconds = 10.0;
    /// The least time between two repaints of the chart.
    static constexpr std::int64_t kMinRefreshNs = 100'000'000;

    /// Keeps the last `spanSeconds`; times come from `clock`, which must outlive the window.
    explicit ChartWindow(double spanSeconds, const Clock& clock, QWidget* parent = nullptr);

    void frameDecoded(const FrameReadings& readings, std::int64_t frame) override;

    /// Names the legend's channels, draws their limits and, where they share one, scales the
    /// chart in their unit, as `profile` says; it must outlive the window.
    void setProfile(const Profile* profile);

    /// Shows what has been taken, unless paused; true when it did. Within kMinRefreshNs of the
    /// last time it did, it leaves that to a later call, or shows it by itself if none comes
    /// within another kMinRefreshNs.
    bool refresh();
    void setPaused(bool paused);
    bool isPaused() const { return m_frozen.has_value(); }
    /// Writes the chart as shown to `path` as PNG; an empty text, or what went wrong.
    QString saveImage(const QString& path) const;

    StripChart* chart() const { return m_chart; }
    const StripBuffer& buffer() const { return m_buffer; }

private:
    void chooseImageFile();

    const Clock& m_clock;
    StripBuffer m_buffer;
    std::optional<StripBuffer> m_frozen;
    bool m_dirty = false;
    Throttle m_repaint{kMinRefreshNs};
    QTimer m_later;
    StripChart* m_chart = nullptr;
    QPushButton* m_pause = nullptr;
    std::array<QCheckBox*, kChannelCount> m_legend{};
};

} // namespace adc
