#pragma once

#include "clock.h"
#include "readings_observer.h"
#include "strip_buffer.h"

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
/// is painted no more often than the window that calls it.
class ChartWindow final : public QWidget, public ReadingsObserver
{
    Q_OBJECT

public:
    static constexpr double kDefaultSpanSeconds = 10.0;

    /// Keeps the last `spanSeconds`; times come from `clock`, which must outlive the window.
    explicit ChartWindow(double spanSeconds, const Clock& clock, QWidget* parent = nullptr);

    void frameDecoded(const FrameReadings& readings, std::int64_t frame) override;

    /// Shows what has been taken, unless paused.
    void refresh();
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
    StripChart* m_chart = nullptr;
    QPushButton* m_pause = nullptr;
    std::array<QCheckBox*, kChannelCount> m_legend{};
};

} // namespace adc
