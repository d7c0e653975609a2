#pragma once

#include <QLineEdit>

namespace adc {

/// One of the window's text boxes: a line edit that paints every pixel of its place itself.
///
/// Without that, each repaint of a box first repaints the window behind it; the boxes change
/// with every frame, and that second painter cost about as much as the box. The window behind
/// a box is a plain fill, so drawing that fill first gives the very same pixels.
///
/// The class adds no meta-object of its own: tools and accessibility see a QLineEdit.
class Box final : public QLineEdit
{
public:
    explicit Box(QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace adc
