#pragma once

#include "frame_format.h"
#include "strip_buffer.h"

#include <QColor>
#include <QWidget>
#include <array>
#include <vector>

namespace adc {

/// The plot of a strip chart: the eight channels over the span of a StripBuffer, one trace a
/// channel, each pixel column drawn from the lowest to the highest reading that fell in it, so
/// that a reading of a single frame shows at any rate and any width.
class StripChart final : public QWidget
{
    Q_OBJECT

public:
    /// The colour of channel `k`'s trace.
    static QColor channelColour(int k);

    explicit StripChart(QWidget* parent = nullptr);

    /// What to draw: the span of `buffer` that ends at `endNs`. The buffer must outlive the
    /// chart or be replaced first; null draws the axes alone.
    void setSource(const StripBuffer* buffer, std::int64_t endNs);
    void setChannelVisible(int k, bool visible);
    bool isChannelVisible(int k) const { return m_visible[static_cast<std::size_t>(k)]; }
    /// Off: 0 to 4095. On: the lowest to the highest reading of the visible traces.
    void setFitted(bool fitted);
    bool isFitted() const { return m_fitted; }

    /// Where the traces are drawn, inside the axes' labels.
    QRect plotRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const StripBuffer* m_buffer = nullptr;
    std::int64_t m_endNs = 0;
    std::array<bool, kChannelCount> m_visible{true, true, true, true, true, true, true, true};
    bool m_fitted = false;
    std::vector<ReadingRange> m_columns;
};

} // namespace adc
