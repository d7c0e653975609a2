#pragma once

#include <QColor>
#include <QWidget>

namespace adc {

/// A plain rectangle: a one-pixel outline, a solid fill, or both.
///
/// It takes neither focus nor mouse input, so it can lie behind or across other elements
/// without getting in their way. Given an accessible name, it is reported to screen readers as
/// a picture with that name and its accessible description; without one, it is decoration.
class Shape : public QWidget
{
    Q_OBJECT

public:
    explicit Shape(QWidget* parent = nullptr);

    /// Whether the inside is filled with fillColour(); when not, it is transparent.
    bool isFilled() const { return m_filled; }
    void setFilled(bool filled);

    /// The colour of the inside when filled.
    QColor fillColour() const { return m_fillColour; }
    void setFillColour(const QColor& colour);

    /// Whether the outline is drawn, in the palette's text colour.
    bool isOutlined() const { return m_outlined; }
    void setOutlined(bool outlined);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fillColour = Qt::black;
    bool m_filled = false;
    bool m_outlined = true;
};

} // namespace adc
