#pragma once

#include <cstdint>
#include <vector>

namespace adc {

/// One point of a calibration: a reading and the value it stands for.
struct CalibrationPoint
{
    std::int32_t raw = 0;
    double value = 0;
};

/// Turns a channel's readings into values in its unit, linearly between points.
///
/// Two points are a straight line through them, which holds on either side. A table of more
/// points is a curve known only between its ends: a reading beyond them is extrapolated from
/// the end segment and counts as extrapolated().
class Calibration
{
public:
    /// The line through two points of different readings.
    static Calibration line(CalibrationPoint a, CalibrationPoint b);
    /// value = gain * reading + offset; gain not 0.
    static Calibration gainOffset(double gain, double offset);
    /// Linear between the points, whose readings ascend; at least two.
    static Calibration table(std::vector<CalibrationPoint> points);

    /// The value of `raw`.
    double apply(std::int32_t raw) const;
    /// The reading, fractional, whose value is `value`: the inverse of apply(), since the
    /// values of a calibration rise or fall throughout.
    double rawFor(double value) const;
    /// True for a table's reading beyond its ends.
    bool extrapolated(std::int32_t raw) const
    {
        return m_table && (raw < m_points.front().raw || raw > m_points.back().raw);
    }
    /// The least change of value one count makes anywhere: what the shown digits must resolve.
    double finestStep() const;

private:
    Calibration(std::vector<CalibrationPoint> points, bool table);

    std::vector<CalibrationPoint> m_points;
    bool m_table = false;
};

} // namespace adc
