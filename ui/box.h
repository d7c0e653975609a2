#pragma once

#include <QAccessible>
#include <QLineEdit>
#include <QPixmap>
#include <QRegion>
#include <QStyle>
#include <array>

class QStyleOptionFrame;

namespace adc {

/// One of the window's text boxes: a line edit that is cheap to rewrite on every frame.
///
/// It paints every pixel of its place itself. Without that, each repaint of a box first
/// repaints the window behind it; the window behind a box is a plain fill, so drawing that fill
/// first gives the very same pixels.
///
/// While nobody is using the box (no focus, no selection, no accessibility client), a text
/// given to showText() is only recorded and drawn from the font's advances, which the box
/// measures once: laying out a new text in the line edit, with its notifications, cost more
/// than painting it. The line edit takes the text the moment it is needed (focus, a click, a
/// context menu, a drop, a screen reader starting), so what the operator can do with the box
/// is what a line edit offers. A text the font lays out in any other way goes to the line edit.
class Box final : public QLineEdit, private QAccessible::ActivationObserver
{
    Q_OBJECT

public:
    explicit Box(QWidget* parent);
    ~Box() override;

    /// Shows `text`, as setText() would show it. The way to write to the box: a setText() of
    /// another text also shows it, but always through the line edit.
    void showText(const QString& text);

    /// The text the box shows: what showText() gave last, or what the operator typed since.
    QString shownText() const { return m_drawing ? m_drawn : text(); }

    /// Whether the box draws its text itself rather than through the line edit.
    bool drawsItself() const { return m_drawing; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    /// The characters the box can draw itself: hexadecimal and decimal digits.
    static constexpr char kDrawable[] = "0123456789ABCDEF";
    static constexpr int kDrawableCount = 16;

    void accessibilityActiveChanged(bool active) override;
    bool canDrawItself(const QString& text);
    qreal textWidth(const QString& text) const;
    /// Where a text `width` wide starts: centred as the line edit centres it.
    qreal textLeft(qreal width);
    /// Where the box must repaint when its drawn text goes from `before` to `after`: the
    /// places of the characters that change, with the ink beside them.
    QRegion changedPlaces(const QString& before, const QString& after);
    /// The rectangle the line edit keeps its text in.
    QRect textContents();
    void measureFont();
    void drawItself(QPainter& painter);
    const QPixmap& blank(const QStyleOptionFrame& panel, qreal devicePixelRatio);
    void giveTextToLineEdit();

    struct Blank
    {
        QSize size;
        qreal devicePixelRatio = 0;
        QStyle::State state;
        QPalette palette;
        QBrush background;
        QPixmap pixels;
    };

    QString m_drawn;
    bool m_drawing = false;
    bool m_focused = false;
    bool m_measured = false;
    bool m_fontDrawable = false;
    std::array<qreal, kDrawableCount> m_advances{};
    int m_lineHeight = 0;
    bool m_contentsValid = false;
    QRect m_contents;
    QSize m_contentsSize;
    QMargins m_contentsMargins;
    // Two, the newest first: a box in alarm goes back and forth between two backgrounds.
    std::array<Blank, 2> m_blanks;
    qreal m_ascent = 0;
};

} // namespace adc
