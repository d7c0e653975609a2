#include "ui/strip_chart.h"

#include <QPaintEvent>
#include <QPainter>
#include <QVector>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace adc {

namespace {

constexpr int kLeftMargin = 44;
constexpr int kRightMargin = 10;
constexpr int kTopMargin = 8;
constexpr int kBottomMargin = 22;
constexpr int kFullScale = 4095;
constexpr QRgb kPaper = 0xFFFFFFFF;
constexpr QRgb kGrid = 0xFFDDDDDD;
// Columns of a limit's dash and of the gap after it.
constexpr int kDash = 4;

// A step of 1, 2 or 5 times a power of ten that cuts `range` into at most `most` parts.
double tickStep(double range, int most)
{
    const double rough = range / most;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double m : {1.0, 2.0, 5.0})
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
    const bool same = buffer == m_buffer;
    if (!same)
        invalidate();
    m_buffer = buffer;
    m_endNs = endNs;
    const QRect plot = plotRect();
    const std::int64_t newest = newestColumn();
    const std::int64_t shift = newest - m_newestShown;
    const bool kept = same && !m_fitted && m_newestShown >= 0 && newest >= 0 &&
                      columnNs() == m_columnNs && shift >= 0 && shift < plot.width() - 2;
    m_newestShown = newest;
    if (!kept) {
        update(plot);
        return;
    }
    // What is drawn moves left on the screen itself, so that a repaint sends the window system
    // only the new columns, the two before them that may have filled since, and the time grid,
    // which stays where it is.
    const int moved = int(shift);
    if (moved > 0) {
        scroll(-moved, 0, plot);
        for (const int gx : m_gridColumns) {
            update(QRect(plot.left() + gx, plot.top(), 1, plot.height()));
            update(QRect(plot.left() + gx - moved, plot.top(), 1, plot.height()) & plot);
        }
    }
    // A line joins the next reading to each channel's last one, which may lie further back.
    const std::int64_t oldest =
        std::max(newest - plot.width() + 1, std::min(newest - moved - 1, m_joinFrom + 1));
    const int width = int(newest - oldest + 1);
    update(QRect(plot.right() - width + 1, plot.top(), width, plot.height()));
}

std::int64_t StripChart::columnNs() const
{
    const int n = plotRect().width();
    if (m_buffer == nullptr || n < 2)
        return 0;
    // Columns are stretches of time of their own, not of the moment painted, so that the ones
    // already drawn stay right as time goes on.
    return std::max(m_buffer->sliceNs(), (m_buffer->spanNs() + n - 1) / n);
}

std::int64_t StripChart::newestColumn() const
{
    const std::int64_t ns = columnNs();
    if (ns == 0 || m_buffer->newestNs() < 0)
        return -1;
    return std::max<std::int64_t>(0, m_endNs - 1) / ns;
}

void StripChart::setChannelVisible(int k, bool visible)
{
    m_visible[static_cast<std::size_t>(k)] = visible;
    chooseScale();
    invalidate();
    update();
}

void StripChart::setProfile(const Profile* profile)
{
    m_profile = profile;
    chooseScale();
    invalidate();
    update();
}

void StripChart::chooseScale()
{
    m_unit.clear();
    if (m_profile != nullptr) {
        std::optional<std::string> common;
        bool same = true;
        for (int k = 0; k < kChannelCount; ++k) {
            if (!m_visible[std::size_t(k)])
                continue;
            const ChannelProfile& c = m_profile->channel(k);
            same = same && c.calibration && !c.unit.empty() && (!common || *common == c.unit);
            common = c.unit;
        }
        if (same && common)
            m_unit = QString::fromStdString(*common);
    }
    m_leftMargin =
        kLeftMargin + (m_unit.isEmpty() ? 0 : fontMetrics().horizontalAdvance(" " + m_unit));
}

std::pair<double, double> StripChart::plotted(int k, double low, double high) const
{
    if (m_unit.isEmpty())
        return {low, high};
    const Calibration& c = *m_profile->channel(k).calibration;
    const double a = c.apply(std::int32_t(low));
    const double b = c.apply(std::int32_t(high));
    return {std::min(a, b), std::max(a, b)};
}

void StripChart::setFitted(bool fitted)
{
    m_fitted = fitted;
    invalidate();
    update();
}

QRect StripChart::plotRect() const
{
    return rect().adjusted(m_leftMargin, kTopMargin, -kRightMargin, -kBottomMargin);
}

void StripChart::resizeEvent(QResizeEvent* event)
{
    invalidate();
    QWidget::resizeEvent(event);
}

void StripChart::invalidate()
{
    m_newestDrawn = -1;
    m_newestShown = -1;
    m_frame = QPixmap();
}

int StripChart::yOf(double reading) const
{
    const int h = m_traces.height();
    const double scale = double(h - 1) / (m_high - m_low);
    return std::clamp(h - 1 - int(std::lround((reading - m_low) * scale)), 0, h - 1);
}

void StripChart::drawFrame()
{
    const QRect plot = plotRect();
    m_frame = QPixmap(size());
    m_frame.fill(palette().window().color());
    QPainter p(&m_frame);
    const QFontMetrics fm = p.fontMetrics();
    p.setPen(palette().windowText().color());
    m_gridRows.clear();
    const double yStep = tickStep(m_high - m_low, 6);
    const QString unit = m_unit.isEmpty() ? QString() : " " + m_unit;
    for (double v = std::ceil(m_low / yStep) * yStep; v <= m_high + yStep * 1e-9; v += yStep) {
        const int y = yOf(v);
        m_gridRows.push_back(y);
        p.drawText(QRect(0, plot.top() + y - fm.height() / 2, m_leftMargin - 4, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter,
                   number(std::abs(v) < yStep * 1e-9 ? 0 : v) + unit);
    }
    m_limitRows.clear();
    for (int k = 0; m_profile != nullptr && k < kChannelCount; ++k) {
        const ChannelProfile& c = m_profile->channel(k);
        if (!m_visible[std::size_t(k)] || !c.limits)
            continue;
        for (const double limit : {c.limits->lo, c.limits->hi}) {
            // On a scale in readings, where the reading of that value lies.
            const double at =
                m_unit.isEmpty() && c.calibration ? c.calibration->rawFor(limit) : limit;
            if (at >= m_low && at <= m_high)
                m_limitRows.emplace_back(yOf(at), channelColour(k).rgb());
        }
    }
    m_gridColumns.clear();
    const double spanS = m_buffer != nullptr ? double(m_buffer->spanNs()) / 1e9 : 10.0;
    const double tStep = tickStep(spanS, 8);
    for (double t = 0; t <= spanS * (1 + 1e-6); t += tStep) {
        const int x = plot.width() - 1 - int(std::lround(t / spanS * (plot.width() - 1)));
        m_gridColumns.push_back(x);
        p.drawText(QRect(plot.left() + x - 40, plot.bottom() + 3, 80, fm.height()),
                   Qt::AlignHCenter, tr("%1 s").arg(number(t == 0 ? 0 : -t)));
    }
    p.drawRect(plot.adjusted(-1, -1, 0, 0));
}

void StripChart::clearColumn(std::int64_t column)
{
    const int w = m_traces.width();
    const int h = m_traces.height();
    const int x = int(((column % w) + w) % w); // columns before time 0 come first
    auto* bits = reinterpret_cast<QRgb*>(m_traces.bits());
    const qsizetype stride = m_traces.bytesPerLine() / qsizetype(sizeof(QRgb));
    for (int y = 0; y < h; ++y)
        bits[y * stride + x] = kPaper;
    for (const int y : m_gridRows)
        bits[y * stride + x] = kGrid;
    // The dashes belong to columns of time, so that they move with the traces.
    if ((column % (2 * kDash) + 2 * kDash) % (2 * kDash) < kDash)
        for (const auto& [y, colour] : m_limitRows)
            bits[y * stride + x] = colour;
}

void StripChart::drawSpan(std::int64_t column, int k, double low, double high)
{
    const int w = m_traces.width();
    const int x = int(((column % w) + w) % w);
    auto* bits = reinterpret_cast<QRgb*>(m_traces.bits());
    const qsizetype stride = m_traces.bytesPerLine() / qsizetype(sizeof(QRgb));
    const QRgb colour = channelColour(k).rgb();
    for (int y = yOf(std::max(low, high)), bottom = yOf(std::min(low, high)); y <= bottom; ++y)
        bits[y * stride + x] = colour;
}

void StripChart::drawTrace(int k, std::int64_t column, const ReadingRange& range,
                           const ReadingRange* before, std::int64_t beforeColumn, std::int64_t from)
{
    const auto i = std::size_t(k);
    auto [lo, hi] = plotted(k, range.low[i], range.high[i]);
    if (before != nullptr && beforeColumn == column - 1) {
        // Stretched to meet the column before, so that the trace is unbroken.
        const auto [beforeLow, beforeHigh] = plotted(k, before->low[i], before->high[i]);
        lo = std::min(lo, beforeHigh);
        hi = std::max(hi, beforeLow);
    } else if (before != nullptr) {
        // Readings sparser than the columns: a straight line between the two, each column
        // reaching back to the one before it.
        const auto [beforeLow, beforeHigh] = plotted(k, before->low[i], before->high[i]);
        const double a = (beforeLow + beforeHigh) / 2.0;
        const double b = (lo + hi) / 2.0;
        const double steps = double(column - beforeColumn);
        const auto at = [&](std::int64_t c) {
            return a + (b - a) * double(c - beforeColumn) / steps;
        };
        for (std::int64_t c = std::max(beforeColumn + 1, from); c < column; ++c)
            drawSpan(c, k, at(c - 1), at(c));
        lo = std::min(lo, at(column - 1));
        hi = std::max(hi, at(column - 1));
    }
    drawSpan(column, k, lo, hi);
}

void StripChart::paintEvent(QPaintEvent* event)
{
    const QRect plot = plotRect();
    QPainter p(this);
    if (plot.width() < 2 || plot.height() < 2) {
        p.fillRect(rect(), palette().window());
        return;
    }
    const int n = plot.width();
    if (m_traces.size() != plot.size()) {
        m_traces = QImage(plot.size(), QImage::Format_RGB32);
        invalidate();
    }

    if (m_buffer != nullptr && m_buffer->newestNs() >= 0) {
        if (const std::int64_t ns = columnNs(); ns != m_columnNs) {
            m_columnNs = ns;
            invalidate();
        }
        const std::int64_t newest = newestColumn();
        const std::int64_t first = newest - n + 1;
        // Redraw from the column before the newest drawn: both may have filled since, as a
        // slice counts in the column it starts in and may end in the next. From further back
        // when a channel's line to its next reading starts there. Everything when nothing
        // drawn can be kept.
        const bool kept =
            m_newestDrawn >= 0 && m_newestDrawn - 1 >= first && m_newestDrawn <= newest;
        std::int64_t from =
            kept ? std::max(first, std::min(m_newestDrawn - 1, m_joinFrom + 1)) : first;
        // Every column on the screen and the one before it, for the scale and for where each
        // channel's last reading lies; one pass over the buffer costs the same for any number.
        const std::int64_t scanned = first - 1;
        m_buffer->ranges(scanned * m_columnNs, m_columnNs, int(newest - scanned + 1), m_ranges);
        // The full scale: every reading's place, in the unit the whole range of readings.
        double low = kFullScale;
        double high = 0;
        for (int k = 0; k < kChannelCount; ++k) {
            if (!m_visible[std::size_t(k)])
                continue;
            const auto [a, b] = plotted(k, 0, kFullScale);
            low = std::min(low, a);
            high = std::max(high, b);
        }
        if (m_unit.isEmpty() || !(high > low)) {
            low = 0;
            high = kFullScale;
        }
        if (m_fitted) {
            double lo = std::numeric_limits<double>::infinity();
            double hi = -lo;
            for (const ReadingRange& c : m_ranges)
                for (int k = 0; k < kChannelCount; ++k)
                    if (m_visible[std::size_t(k)] && c.has(k)) {
                        const auto [a, b] =
                            plotted(k, c.low[std::size_t(k)], c.high[std::size_t(k)]);
                        lo = std::min(lo, a);
                        hi = std::max(hi, b);
                    }
            if (hi >= lo) {
                // A flat trace still gets a scale: a count, or its value's worth.
                const double least = m_unit.isEmpty() ? 1.0 : std::max(std::abs(lo) * 1e-3, 1e-9);
                low = lo;
                high = std::max(hi, lo + least);
            }
        }
        if (low != m_low || high != m_high) {
            m_low = low;
            m_high = high;
            invalidate();
            from = first;
        }
        if (m_frame.isNull())
            drawFrame();
        for (std::int64_t c = from; c <= newest; ++c)
            clearColumn(c);
        std::int64_t joinFrom = newest + 1;
        for (int k = 0; k < kChannelCount; ++k) {
            if (!m_visible[std::size_t(k)])
                continue;
            // The column of the channel's reading before; none while below `scanned`.
            std::int64_t last = scanned - 1;
            for (std::int64_t c = scanned; c <= newest; ++c) {
                const ReadingRange& r = m_ranges[std::size_t(c - scanned)];
                if (!r.has(k))
                    continue;
                if (c >= from)
                    drawTrace(k, c, r,
                              last < scanned ? nullptr : &m_ranges[std::size_t(last - scanned)],
                              last, from);
                last = c;
            }
            if (last >= first)
                joinFrom = std::min(joinFrom, last);
        }
        m_joinFrom = joinFrom;
        m_newestDrawn = newest;
        if (from == first) {
            // Nothing on the screen can be kept: all of it is shown anew.
            if (!event->region().contains(plot))
                update(plot);
            m_newestShown = newest;
        }
    } else {
        if (m_frame.isNull())
            drawFrame();
        m_traces.fill(kPaper);
        for (const int y : m_gridRows)
            for (int x = 0; x < n; ++x)
                m_traces.setPixel(x, y, kGrid);
        m_newestDrawn = -1;
    }

    // Piece by piece, each clipped to a rectangle: a painter clipped to a region of many
    // pieces takes a slow, general path for every picture it draws.
    const int split = m_newestDrawn < 0 ? 0 : int((m_newestDrawn + 1) % n);
    for (const QRect& piece : event->region()) {
        p.setClipRect(piece);
        if (!plot.contains(piece))
            p.drawPixmap(piece.topLeft(), m_frame, piece);
        const QRect target = piece & plot;
        if (target.isEmpty())
            continue;
        // The newest column at the right edge: the picture is a ring, cut where it wraps.
        const int x = target.left() - plot.left();
        const int from = (x + split) % n;
        const int first = std::min(target.width(), n - from);
        const int y = target.top() - plot.top();
        p.drawImage(target.left(), target.top(), m_traces, from, y, first, target.height());
        if (first < target.width())
            p.drawImage(target.left() + first, target.top(), m_traces, 0, y, target.width() - first,
                        target.height());
        drawTimeGrid(p, target, split);
    }
}

void StripChart::drawTimeGrid(QPainter& p, const QRect& target, int split)
{
    // The time grid keeps its place while the traces move, so it is laid over the paper
    // only, never over a trace.
    const QRect plot = plotRect();
    const int n = plot.width();
    QVector<QLine> grid;
    for (const int gx : m_gridColumns) {
        if (gx < target.left() - plot.left() || gx > target.right() - plot.left())
            continue;
        const int x = (gx + split) % n;
        int runStart = -1;
        for (int y = 0; y <= plot.height(); ++y) {
            const bool paper = y < plot.height() && m_traces.pixel(x, y) == kPaper;
            if (paper && runStart < 0)
                runStart = y;
            if (!paper && runStart >= 0) {
                grid.append(QLine(plot.left() + gx, plot.top() + runStart, plot.left() + gx,
                                  plot.top() + y - 1));
                runStart = -1;
            }
        }
    }
    p.setPen(QColor::fromRgb(kGrid));
    p.drawLines(grid);
}

} // namespace adc
