#include "strip_chart.h"

#include <QPaintEvent>
#include <QPainter>
#include <QVector>
#include <algorithm>
#include <cmath>

namespace adc {

namespace {

constexpr int kLeftMargin = 44;
constexpr int kRightMargin = 10;
constexpr int kTopMargin = 8;
constexpr int kBottomMargin = 22;
constexpr int kFullScale = 4095;

// A step of 1, 2 or 5 times a power of ten that cuts `range` into at most `most` parts.
double tickStep(double range, int most)
{
    const double rough = range / most;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= rough)
            return m * power;
    return 10 * power;
}

QString number(double v)
{
    return QString::number(v, 'g', 6);
}

} // namespace

QColor StripChart::channelColour(int k)
{
    static const std::array<QColor, kChannelCount> kColours{
        QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
        QColor(0x94, 0x67, 0xbd), QColor(0xff, 0x7f, 0x0e), QColor(0x17, 0xbe, 0xcf),
        QColor(0x8c, 0x56, 0x4b), QColor(0xe3, 0x77, 0xc2)};
    return kColours[static_cast<std::size_t>(k)];
}

StripChart::StripChart(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(240, 120);
}

void StripChart::setSource(const StripBuffer* buffer, std::int64_t endNs)
{
    m_buffer = buffer;
    m_endNs = endNs;
    update();
}

void StripChart::setChannelVisible(int k, bool visible)
{
    m_visible[static_cast<std::size_t>(k)] = visible;
    update();
}

void StripChart::setFitted(bool fitted)
{
    m_fitted = fitted;
    update();
}

QRect StripChart::plotRect() const
{
    return rect().adjusted(kLeftMargin, kTopMargin, -kRightMargin, -kBottomMargin);
}

void StripChart::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QRect plot = plotRect();
    p.fillRect(plot, Qt::white);
    if (plot.width() < 2 || plot.height() < 2)
        return;

    // One column per pixel, but never finer than the buffer's slices.
    const int n = m_buffer != nullptr
                      ? std::min(plot.width(), int(m_buffer->spanNs() / m_buffer->sliceNs()))
                      : 0;
    if (m_buffer != nullptr)
        m_buffer->columns(m_endNs, n, m_columns);
    else
        m_columns.clear();

    int low = 0;
    int high = kFullScale;
    if (m_fitted) {
        int lo = kFullScale + 1;
        int hi = -1;
        for (const ReadingRange& c : m_columns)
            for (int k = 0; c.any && k < kChannelCount; ++k)
                if (m_visible[std::size_t(k)]) {
                    lo = std::min<int>(lo, c.low[std::size_t(k)]);
                    hi = std::max<int>(hi, c.high[std::size_t(k)]);
                }
        if (hi >= lo) {
            low = lo;
            high = std::max(hi, lo + 1);
        }
    }
    const double yScale = double(plot.height() - 1) / (high - low);
    const auto yOf = [&](int v) { return plot.bottom() - int(std::lround((v - low) * yScale)); };

    // Grid and labels.
    p.setPen(QColor(0xdd, 0xdd, 0xdd));
    const double yStep = tickStep(high - low, 6);
    const double spanS = m_buffer != nullptr ? double(m_buffer->spanNs()) / 1e9 : 10.0;
    const double tStep = tickStep(spanS, 8);
    const QFontMetrics fm = p.fontMetrics();
    for (double v = std::ceil(low / yStep) * yStep; v <= high; v += yStep) {
        const int y = yOf(int(v));
        p.setPen(QColor(0xdd, 0xdd, 0xdd));
        p.drawLine(plot.left(), y, plot.right(), y);
        p.setPen(palette().windowText().color());
        p.drawText(QRect(0, y - fm.height() / 2, kLeftMargin - 4, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, number(v));
    }
    for (double t = 0; t <= spanS * (1 + 1e-6); t += tStep) {
        const int x = plot.right() - int(std::lround(t / spanS * (plot.width() - 1)));
        p.setPen(QColor(0xdd, 0xdd, 0xdd));
        p.drawLine(x, plot.top(), x, plot.bottom());
        p.setPen(palette().windowText().color());
        p.drawText(QRect(x - 40, plot.bottom() + 3, 80, fm.height()), Qt::AlignHCenter,
                   tr("%1 s").arg(number(t == 0 ? 0 : -t)));
    }

    p.setPen(palette().windowText().color());
    p.drawRect(plot.adjusted(0, 0, -1, -1));

    // Traces: a column spans from its lowest to its highest reading, stretched to meet the
    // column before so that the trace is unbroken. Drawn as solid rectangles without a pen,
    // which the raster engine fills as spans, several times faster than the same lines.
    QVector<QRect> bars;
    bars.reserve(n);
    p.setPen(Qt::NoPen);
    for (int k = 0; k < kChannelCount; ++k) {
        if (!m_visible[std::size_t(k)])
            continue;
        bars.clear();
        const ReadingRange* previous = nullptr;
        for (int c = 0; c < n; ++c) {
            const ReadingRange& col = m_columns[std::size_t(c)];
            if (!col.any) {
                previous = nullptr;
                continue;
            }
            int lo = col.low[std::size_t(k)];
            int hi = col.high[std::size_t(k)];
            if (previous != nullptr) {
                lo = std::min<int>(lo, previous->high[std::size_t(k)]);
                hi = std::max<int>(hi, previous->low[std::size_t(k)]);
            }
            const int x0 = plot.left() + c * plot.width() / n;
            const int x1 = std::max(x0 + 1, plot.left() + (c + 1) * plot.width() / n);
            const int top = std::max(plot.top(), yOf(hi));
            const int bottom = std::min(plot.bottom(), yOf(lo));
            bars.append(QRect(x0, top, x1 - x0, bottom - top + 1));
            previous = &col;
        }
        p.setBrush(channelColour(k));
        p.drawRects(bars);
    }
}

} // namespace adc
