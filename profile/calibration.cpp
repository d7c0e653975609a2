#include "profile/calibration.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace adc {

Calibration::Calibration(std::vector<CalibrationPoint> points, bool table)
    : m_points(std::move(points)), m_table(table)
{}

Calibration Calibration::line(CalibrationPoint a, CalibrationPoint b)
{
    if (a.raw > b.raw)
        std::swap(a, b);
    return Calibration({a, b}, false);
}

Calibration Calibration::gainOffset(double gain, double offset)
{
    return Calibration({{0, offset}, {1, gain + offset}}, false);
}

Calibration Calibration::table(std::vector<CalibrationPoint> points)
{
    return Calibration(std::move(points), true);
}

double Calibration::apply(std::int32_t raw) const
{
    // The segment that holds `raw`, or the end segment on its side.
    const auto after =
        std::upper_bound(m_points.begin() + 1, m_points.end() - 1, raw,
                         [](std::int32_t r, const CalibrationPoint& p) { return r < p.raw; });
    const CalibrationPoint& b = *after;
    const CalibrationPoint& a = *(after - 1);
    return a.value + (b.value - a.value) * (raw - a.raw) / (b.raw - a.raw);
}

double Calibration::rawFor(double value) const
{
    // Values that fall are searched as their negatives, which rise.
    const double sign = m_points.back().value < m_points.front().value ? -1.0 : 1.0;
    const auto after = std::upper_bound(
        m_points.begin() + 1, m_points.end() - 1, sign * value,
        [sign](double v, const CalibrationPoint& p) { return v < sign * p.value; });
    const CalibrationPoint& b = *after;
    const CalibrationPoint& a = *(after - 1);
    return a.raw + (value - a.value) * (b.raw - a.raw) / (b.value - a.value);
}

double Calibration::finestStep() const
{
    double step = std::numeric_limits<double>::infinity();
    for (std::size_t i = 1; i < m_points.size(); ++i)
        step = std::min(step, std::abs(m_points[i].value - m_points[i - 1].value) /
                                  (m_points[i].raw - m_points[i - 1].raw));
    return step;
}

} // namespace adc
