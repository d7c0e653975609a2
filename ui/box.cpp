#include "box.h"

#include <QPaintEvent>
#include <QPainter>

namespace adc {

Box::Box(QWidget* parent) : QLineEdit(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Box::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        const QWidget* behind = parentWidget();
        painter.fillRect(event->rect(), behind->palette().brush(behind->backgroundRole()));
    }
    QLineEdit::paintEvent(event);
}

} // namespace adc
