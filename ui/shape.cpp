#include "ui/shape.h"

#include <QAccessibleWidget>
#include <QPainter>

namespace adc {

namespace {

// Screen readers pass over a plain widget's role; a named shape stands for something.
class ShapeAccessible final : public QAccessibleWidget
{
public:
    explicit ShapeAccessible(QWidget* shape) : QAccessibleWidget(shape) {}

    QAccessible::Role role() const override
    {
        return widget()->accessibleName().isEmpty() ? QAccessible::Client : QAccessible::Graphic;
    }
};

QAccessibleInterface* shapeAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String(Shape::staticMetaObject.className()) && object->isWidgetType())
        return new ShapeAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

Shape::Shape(QWidget* parent) : QWidget(parent)
{
    [[maybe_unused]] static const bool factoryInstalled = [] {
        QAccessible::installFactory(shapeAccessible);
        return true;
    }();
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
