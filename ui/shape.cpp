#include "shape.h"

#include <QPainter>

namespace adc {

Shape::Shape(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void Shape::setFilled(bool filled)
{
    if (filled == m_filled)
        return;
    m_filled = filled;
    update();
}

void Shape::setFillColour(const QColor& colour)
{
    if (colour == m_fillColour)
        return;
    m_fillColour = colour;
    if (m_filled)
        update();
}

void Shape::setOutlined(bool outlined)
{
    if (outlined == m_outlined)
        return;
    m_outlined = outlined;
    update();
}

void Shape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_filled)
        painter.fillRect(rect(), m_fillColour);
    if (m_outlined) {
        painter.setPen(QPen(palette().color(QPalette::WindowText), 0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

} // namespace adc
