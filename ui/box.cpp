#include "box.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionFrame>
#include <algorithm>

namespace adc {
namespace {

// The line edit keeps these between its contents and its text.
constexpr int kHorizontalMargin = 2;

int digitIndex(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return 10 + (u - u'A');
    return -1;
}

} // namespace

Box::Box(QWidget* parent) : QLineEdit(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    QAccessible::installActivationObserver(this);
    // A text set on the line edit directly is the one to show.
    connect(this, &QLineEdit::textChanged, this, [this] { m_drawing = false; });
}

Box::~Box()
{
    QAccessible::removeActivationObserver(this);
}

void Box::showText(const QString& text)
{
    if (canDrawItself(text)) {
        if (m_drawing ? m_drawn == text : this->text() == text)
            return;
        m_drawn = text;
        m_drawing = true;
        update();
        return;
    }
    if (m_drawing) {
        m_drawing = false;
        update();
    }
    if (this->text() != text)
        setText(text);
}

bool Box::canDrawItself(const QString& text)
{
    if (m_focused || hasSelectedText() || QAccessible::isActive() || echoMode() != Normal ||
        !inputMask().isEmpty() || !placeholderText().isEmpty() || alignment() != Qt::AlignCenter ||
        layoutDirection() != Qt::LeftToRight)
        return false;
    if (!m_measured)
        measureFont();
    if (!m_fontDrawable)
        return false;
    qreal width = 0;
    for (QChar c : text) {
        const int k = digitIndex(c);
        if (k < 0)
            return false;
        width += m_advances[std::size_t(k)];
    }
    // A text wider than the box scrolls with the cursor; the line edit knows how.
    return qRound(width) + 1 <= lineWidth();
}

int Box::lineWidth()
{
    if (m_lineWidth < 0 || m_lineWidthSize != size() || m_lineWidthMargins != textMargins()) {
        QStyleOptionFrame panel;
        initStyleOption(&panel);
        m_lineWidthSize = size();
        m_lineWidthMargins = textMargins();
        m_lineWidth = style()
                          ->subElementRect(QStyle::SE_LineEditContents, &panel, this)
                          .marginsRemoved(m_lineWidthMargins)
                          .width() -
                      2 * kHorizontalMargin;
    }
    return m_lineWidth;
}

void Box::measureFont()
{
    m_measured = true;
    m_fontDrawable = false;
    const QFontMetricsF metrics(font(), this);
    const QFontMetrics whole(font(), this);
    // The line edit centres a line as tall as its text's ink box, or the font's height if
    // taller; the box can follow it only when every text of these characters has one height.
    const int inkHeight = whole.boundingRect(QString::fromLatin1(kDrawable, 1)).height();
    for (int k = 0; k < kDrawableCount; ++k) {
        const QString glyph = QString::fromLatin1(kDrawable + k, 1);
        if (whole.boundingRect(glyph).height() != inkHeight)
            return;
        m_advances[std::size_t(k)] = metrics.horizontalAdvance(glyph);
    }
    // Widths add up, and ink boxes stay one height, only where no pair is kerned or joined;
    // what holds for every pair holds for every longer text.
    for (int a = 0; a < kDrawableCount; ++a) {
        for (int b = 0; b < kDrawableCount; ++b) {
            const QString pair =
                QString::fromLatin1(kDrawable + a, 1) + QString::fromLatin1(kDrawable + b, 1);
            if (metrics.horizontalAdvance(pair) !=
                    m_advances[std::size_t(a)] + m_advances[std::size_t(b)] ||
                whole.boundingRect(pair).height() != inkHeight)
                return;
        }
    }
    m_lineHeight = std::max(inkHeight, whole.height());
    m_ascent = metrics.ascent();
    m_fontDrawable = true;
}

bool Box::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
        m_focused = true;
        giveTextToLineEdit();
        break;
    case QEvent::FocusOut:
        m_focused = false;
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::Drop:
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::InputMethod:
    case QEvent::InputMethodQuery:
    case QEvent::Resize:
    case QEvent::LayoutDirectionChange:
        giveTextToLineEdit();
        break;
    case QEvent::FontChange:
    case QEvent::StyleChange:
        m_measured = false;
        m_lineWidth = -1;
        giveTextToLineEdit();
        break;
    default:
        break;
    }
    return QLineEdit::event(event);
}

void Box::accessibilityActiveChanged(bool active)
{
    if (active)
        giveTextToLineEdit();
}

void Box::giveTextToLineEdit()
{
    if (!m_drawing)
        return;
    m_drawing = false;
    setText(m_drawn);
    update();
}

void Box::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QWidget* behind = parentWidget();
    painter.fillRect(event->rect(), behind->palette().brush(behind->backgroundRole()));
    if (m_drawing) {
        drawItself(painter);
        return;
    }
    painter.end();
    QLineEdit::paintEvent(event);
}

// Places the text where the line edit would: centred in its line, the line centred in the
// contents, the baseline at the font's ascent.
void Box::drawItself(QPainter& painter)
{
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
    if (m_drawn.isEmpty())
        return;
    const QRect contents = style()
                               ->subElementRect(QStyle::SE_LineEditContents, &panel, this)
                               .marginsRemoved(textMargins());
    painter.setClipRect(contents);
    const int top = contents.y() + (contents.height() - m_lineHeight + 1) / 2;
    const int lineWidth = contents.width() - 2 * kHorizontalMargin;
    qreal width = 0;
    for (QChar c : m_drawn)
        width += m_advances[std::size_t(digitIndex(c))];
    const int scroll = (qRound(width) + 1 - lineWidth) / 2;
    painter.setPen(palette().text().color());
    painter.drawText(QPointF(contents.x() + kHorizontalMargin - scroll, top + m_ascent), m_drawn);
}

} // namespace adc
