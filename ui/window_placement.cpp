#include "ui/window_placement.h"

#include <algorithm>

namespace adc {

namespace {

// `start` moved as little as needed for `length` to lie within [low, high]; `low` when it
// cannot.
int within(int start, int length, int low, int high)
{
    return std::max(low, std::min(start, high - length + 1));
}

} // namespace

QPoint placeBeside(const QRect& anchor, const QSize& size, const QRect& available, int gap)
{
    const int right = anchor.right() + 1 + gap;
    const int left = anchor.left() - gap - size.width();
    int x = right;
    if (right + size.width() - 1 > available.right())
        x = left >= available.left()
                ? left
                : within(right, size.width(), available.left(), available.right());
    const int y = within(anchor.top(), size.height(), available.top(), available.bottom());
    return {x, y};
}

} // namespace adc
