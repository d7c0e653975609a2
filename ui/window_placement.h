#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace adc {

/// Where a window of `size` (its frame included) goes beside the window whose frame is
/// `anchor`, `gap` pixels apart: on its right where the screen's `available` area has room,
/// else on its left, else under or over it, else as near the right side as the area allows.
/// Edges line up where the area lets them. A window larger than the area is placed at the
/// area's top left.
QPoint placeBeside(const QRect& anchor, const QSize& size, const QRect& available, int gap = 8);

} // namespace adc
