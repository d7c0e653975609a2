#pragma once

#include <QPalette>
#include <QPixmap>
#include <QProxyStyle>
#include <QSize>
#include <vector>

namespace adc {

/// A style for the text boxes that draws a box's frame once for each look it can have (size,
/// state, palette) and afterwards copies the pixels; everything else is drawn by the base style.
///
/// The boxes are rewritten on every received frame, and drawing the frame's antialiased
/// outline costs more than the text inside it.
class PanelCacheStyle final : public QProxyStyle
{
public:
    /// Draws on top of the style named `baseStyleName` (as QStyleFactory knows it).
    explicit PanelCacheStyle(const QString& baseStyleName);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

    /// How many frames were drawn by the base style rather than copied.
    int panelsRendered() const { return m_panelsRendered; }

private:
    struct Entry
    {
        QSize size;
        State state;
        Qt::LayoutDirection direction;
        int lineWidth;
        int midLineWidth;
        int features;
        qreal devicePixelRatio;
        QPalette palette;
        QPixmap pixels;
    };

    static constexpr std::size_t kMaxEntries = 16;

    mutable std::vector<Entry> m_entries;
    mutable int m_panelsRendered = 0;
};

} // namespace adc
