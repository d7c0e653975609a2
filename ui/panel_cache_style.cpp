#include "ui/panel_cache_style.h"

#include <QPainter>
#include <QStyleOptionFrame>
#include <algorithm>

namespace adc {

PanelCacheStyle::PanelCacheStyle(const QString& baseStyleName) : QProxyStyle(baseStyleName) {}

void PanelCacheStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                    QPainter* painter, const QWidget* widget) const
{
    const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
    // Only a plain copy can stand in for drawing: no scaling, rotation or odd composition.
    if (element != PE_PanelLineEdit || !frame || option->rect.isEmpty() ||
        painter->transform().type() > QTransform::TxTranslate ||
        painter->compositionMode() != QPainter::CompositionMode_SourceOver ||
        painter->opacity() != 1.0) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }

    const qreal dpr = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
    auto matches = [&](const Entry& e) {
        return e.size == option->rect.size() && e.state == option->state &&
               e.direction == option->direction && e.lineWidth == frame->lineWidth &&
               e.midLineWidth == frame->midLineWidth && e.features == int(frame->features) &&
               e.devicePixelRatio == dpr && e.palette == option->palette;
    };
    auto it = std::find_if(m_entries.begin(), m_entries.end(), matches);
    if (it == m_entries.end()) {
        if (m_entries.size() == kMaxEntries)
            m_entries.erase(m_entries.begin());
        QPixmap pixels(option->rect.size() * dpr);
        pixels.setDevicePixelRatio(dpr);
        pixels.fill(Qt::transparent);
        QStyleOptionFrame local(*frame);
        local.rect.moveTopLeft({0, 0});
        {
            QPainter p(&pixels);
            QProxyStyle::drawPrimitive(element, &local, &p, widget);
        }
        ++m_panelsRendered;
        m_entries.push_back({option->rect.size(), option->state, option->direction,
                             frame->lineWidth, frame->midLineWidth, int(frame->features), dpr,
                             option->palette, pixels});
        it = m_entries.end() - 1;
    }
    painter->drawPixmap(option->rect.topLeft(), it->pixels);
}

} // namespace adc
