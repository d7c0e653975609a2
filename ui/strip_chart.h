#pragma once

#include "monitor/frame_format.h"
#include "profile/channel_profile.h"
#include "readings/strip_buffer.h"

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <array>
#include <vector>

class QPainter;

namespace adc {

/// The plot of a strip chart: the eight channels over the span of a StripBuffer, one trace a
/// channel, each pixel column drawn from the lowest to the highest reading that fell in it, so
/// that a reading of a single frame shows at any rate and any width. Where readings are
/// sparser than the columns, a channel's consecutive readings are joined by a straight line.
///
/// Columns are fixed stretches of time. A repaint draws only the columns that are new or still
/// filling and shows the others from the picture it keeps, so that its cost does not grow with
/// the width or the rate.
class StripChart final : public QWidget
{
    Q_OBJECT

public:
    /// The colour of channel `k`'s trace.
    static QColor channelColour(int k);

    explicit StripChart(QWidget* parent = nullptr);

    /// What to draw: the span of `buffer` up to `endNs`, the newest column at the right edge.
    /// The buffer must outlive the chart or be replaced first; null draws the axes alone.
    void setSource(const StripBuffer* buffer, std::int64_t endNs);
    void setChannelVisible(int k, bool visible);
    bool isChannelVisible(int k) const { return m_visible[static_cast<std::size_t>(k)]; }
    /// Off: 0 to 4095. On: the lowest to the highest reading of the visible traces.
    void setFitted(bool fitted);
    bool isFitted() const { return m_fitted; }
    /// Draws each channel's limits as a dashed line in its colour, and the traces and the
    /// scale in the channels' unit while every visible channel has a calibration to the same
    /// one. Null: readings only. The profile must outlive the chart or be replaced first.
    void setProfile(const Profile* profile);
    /// The unit of the scale; empty while it is in readings.
    QString unit() const { return m_unit; }
    /// The lowest and highest value of the scale, in the unit or in readings.
    std::pair<double, double> scale() const { return {m_low, m_high}; }

    /// Where the traces are drawn, inside the axes' labels.
    QRect plotRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void invalidate();
    /// The time one pixel column stands for at the present width; 0 with nothing to draw.
    std::int64_t columnNs() const;
    /// The column of time that holds the newest reading to show, or -1.
    std::int64_t newestColumn() const;
    void drawFrame();
    /// Paper and grid rows at `column`'s place.
    void clearColumn(std::int64_t column);
    /// Channel k's trace from `low` to `high` at `column`'s place.
    void drawSpan(std::int64_t column, int k, double low, double high);
    /// Channel k's readings of `column`, joined to its reading `before` at `beforeColumn` (none:
    /// nullptr); what lies between is drawn from column `from` on.
    void drawTrace(int k, std::int64_t column, const ReadingRange& range,
                   const ReadingRange* before, std::int64_t beforeColumn, std::int64_t from);
    int yOf(double reading) const;
    /// Where on the scale channel k's readings from `low` to `high` lie, lowest first.
    std::pair<double, double> plotted(int k, double low, double high) const;
    /// Decides between readings and a unit for the scale.
    void chooseScale();
    /// Lays the time grid over the paper of `target`, a part of the plot; `split` is where
    /// the ring of columns is cut.
    void drawTimeGrid(QPainter& p, const QRect& target, int split);

    const StripBuffer* m_buffer = nullptr;
    std::int64_t m_endNs = 0;
    std::array<bool, kChannelCount> m_visible{true, true, true, true, true, true, true, true};
    bool m_fitted = false;
    const Profile* m_profile = nullptr;
    QString m_unit; // empty: the scale is in readings
    int m_leftMargin = 44;

    // The columns as drawn: column c (of time, counted from 0) lies at x = c mod width.
    QImage m_traces;
    QPixmap m_frame; // background, labels and border, redrawn when the scale or size changes
    std::vector<ReadingRange> m_ranges;
    std::int64_t m_columnNs = 0;
    std::int64_t m_newestDrawn = -1; // -1: nothing drawn yet, draw everything
    std::int64_t m_newestShown = -1; // the newest column at the right edge on the screen
    // The oldest of the visible channels' newest readings on the screen: the line to a
    // channel's next reading starts there, so that much is drawn again when it comes.
    std::int64_t m_joinFrom = -1;
    double m_low = 0;
    double m_high = 4095;
    std::vector<int> m_gridRows;
    // The rows of the limits' dashed lines, each in its channel's colour.
    std::vector<std::pair<int, QRgb>> m_limitRows;
    std::vector<int> m_gridColumns; // x within the plot, from the right edge's time
};

} // namespace adc
