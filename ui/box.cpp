#include "ui/box.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionFrame>
#include <algorithm>
#include <cmath>

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
        // Only the characters that change need painting; the frame around them stays.
        const QRegion dirty = m_drawing ? changedPlaces(m_drawn, text) : QRegion(rect());
        m_drawn = text;
        m_drawing = true;
        update(dirty);
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
    for (QChar c : text)
        if (digitIndex(c) < 0)
            return false;
    // A text wider than the box scrolls with the cursor; the line edit knows how.
    return qRound(textWidth(text)) + 1 <= textContents().width() - 2 * kHorizontalMargin;
}

qreal Box::textWidth(const QString& text) const
{
    qreal width = 0;
    for (QChar c : text)
        width += m_advances[std::size_t(digitIndex(c))];
    return width;
}

qreal Box::textLeft(qreal width)
{
    const QRect contents = textContents();
    const int lineWidth = contents.width() - 2 * kHorizontalMargin;
    return contents.x() + kHorizontalMargin - (qRound(width) + 1 - lineWidth) / 2;
}

QRegion Box::changedPlaces(const QString& before, const QString& after)
{
    const QRect contents = textContents();
    // Antialiased ink may reach a pixel or two past a glyph's advance.
    constexpr int kInkMargin = 2;
    const auto place = [&](qreal x, qreal advance) {
        const int x0 = int(std::floor(x)) - kInkMargin;
        const int x1 = int(std::ceil(x + advance)) + kInkMargin;
        return QRect(x0, contents.top(), x1 - x0, contents.height()) & contents;
    };
    QRegion dirty;
    qreal x0 = textLeft(textWidth(before));
    qreal x1 = textLeft(textWidth(after));
    for (qsizetype i = 0; i < std::max(before.size(), after.size()); ++i) {
        const qreal a0 = i < before.size() ? m_advances[std::size_t(digitIndex(before[i]))] : 0;
        const qreal a1 = i < after.size() ? m_advances[std::size_t(digitIndex(after[i]))] : 0;
        // The same glyph at the same place draws the same pixels.
        const bool same =
            i < before.size() && i < after.size() && before[i] == after[i] && x0 == x1;
        if (!same) {
            if (i < before.size())
                dirty += place(x0, a0);
            if (i < after.size())
                dirty += place(x1, a1);
        }
        x0 += a0;
        x1 += a1;
    }
    return dirty;
}

QRect Box::textContents()
{
    if (!m_contentsValid || m_contentsSize != size() || m_contentsMargins != textMargins()) {
        QStyleOptionFrame panel;
        initStyleOption(&panel);
        m_contentsSize = size();
        m_contentsMargins = textMargins();
        m_contents = style()
                         ->subElementRect(QStyle::SE_LineEditContents, &panel, this)
                         .marginsRemoved(m_contentsMargins);
        m_contentsValid = true;
    }
    return m_contents;
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
        m_contentsValid = false;
        m_blanks = {};
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
    if (m_drawing) {
        drawItself(painter);
        return;
    }
    const QWidget* behind = parentWidget();
    painter.fillRect(event->rect(), behind->palette().brush(behind->backgroundRole()));
    painter.end();
    QLineEdit::paintEvent(event);
}

// Places the text where the line edit would: centred in its line, the line centred in the
// contents, the baseline at the font's ascent.
void Box::drawItself(QPainter& painter)
{
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    painter.drawPixmap(0, 0, blank(panel, painter.device()->devicePixelRatio()));
    if (m_drawn.isEmpty())
        return;
    const QRect contents = textContents();
    painter.setClipRect(contents);
    const int top = contents.y() + (contents.height() - m_lineHeight + 1) / 2;
    painter.setPen(palette().text().color());
    painter.drawText(QPointF(textLeft(textWidth(m_drawn)), top + m_ascent), m_drawn);
}

// The box without its text, on the window's background: one copy rather than a fill, the
// frame's antialiased outline and its inside.
const QPixmap& Box::blank(const QStyleOptionFrame& panel, qreal devicePixelRatio)
{
    const QWidget* behind = parentWidget();
    const QBrush background = behind->palette().brush(behind->backgroundRole());
    const auto fits = [&](const Blank& b) {
        return !b.pixels.isNull() && b.size == size() && b.devicePixelRatio == devicePixelRatio &&
               b.state == panel.state && b.palette == panel.palette && b.background == background;
    };
    if (fits(m_blanks[0]))
        return m_blanks[0].pixels;
    std::swap(m_blanks[0], m_blanks[1]);
    if (!fits(m_blanks[0])) {
        QPixmap pixels(size() * devicePixelRatio);
        pixels.setDevicePixelRatio(devicePixelRatio);
        QPainter p(&pixels);
        p.fillRect(rect(), background);
        style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &p, this);
        p.end();
        m_blanks[0] = {size(), devicePixelRatio, panel.state, panel.palette, background, pixels};
    }
    return m_blanks[0].pixels;
}

} // namespace adc
