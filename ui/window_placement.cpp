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
    const int below = anchor.bottom() + 1 + gap;
    const int above = anchor.top() - gap - size.height();
    const int y = within(anchor.top(), size.height(), available.top(), available.bottom());
    if (right + size.width() - 1 <= available.right())
        return {right, y};
    if (left >= available.left())
        return {left, y};
    // Not beside it: under or over it, left edges lined up, before on top of it.
    const int x = within(anchor.left(), size.width(), available.left(), available.right());
    if (below + size.height() - 1 <= available.bottom())
        return {x, below};
    if (above >= available.top())
        return {x, above};
    return {within(right, size.width(), available.left(), available.right()), y};
}

} // namespace adc
