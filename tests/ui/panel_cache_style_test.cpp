#include "form1.h"
#include "panel_cache_style.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionFrame>
#include <QTest>
#include <memory>

namespace {

constexpr QSize kBoxSize(69, 22);

QStyleOptionFrame panelOption(QSize size, QStyle::State state, const QPalette& palette,
                              Qt::LayoutDirection direction = Qt::LeftToRight)
{
    QStyleOptionFrame option;
    option.rect = QRect(QPoint(3, 2), size); // away from the origin, as a box in a window
    option.state = state;
    option.palette = palette;
    option.direction = direction;
    option.lineWidth = 1;
    option.midLineWidth = 0;
    return option;
}

QImage draw(const QStyle& style, const QStyleOptionFrame& option)
{
    QImage image(option.rect.size() + QSize(6, 4), QImage::Format_ARGB32_Premultiplied);
    image.fill(option.palette.color(QPalette::Window));
    QPainter painter(&image);
    style.drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter);
    return image;
}

// Drawing a copy over the background can round an antialiased edge differently by a unit.
int largestDifference(const QImage& a, const QImage& b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

} // namespace

class PanelCacheStyleTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_base.reset(QStyleFactory::create(QStringLiteral("Fusion")));
        m_cached = std::make_unique<adc::PanelCacheStyle>(QStringLiteral("Fusion"));
    }

    // Each look is drawn once and then copied; a copy made for one look must never stand in
    // for another, and every copy must look as the base style draws.
    void eachLookHasItsOwnCopy()
    {
        const QPalette light = m_base->standardPalette();
        QPalette dark = light;
        dark.setColor(QPalette::Base, QColor(40, 40, 40));
        const QStyle::State plain = QStyle::State_Enabled;
        const QStyleOptionFrame looks[] = {
            panelOption(kBoxSize, plain, light),
            panelOption(kBoxSize, plain | QStyle::State_HasFocus, light),
            panelOption(kBoxSize, QStyle::State_None, light), // disabled
            panelOption(kBoxSize, plain | QStyle::State_ReadOnly, light),
            panelOption(kBoxSize, plain, light, Qt::RightToLeft),
            panelOption(kBoxSize, plain, dark),
            panelOption(kBoxSize + QSize(10, 0), plain, light),
        };
        for (int round = 0; round < 2; ++round)
            for (const QStyleOptionFrame& look : looks)
                QVERIFY(largestDifference(draw(style(), look), draw(*m_base, look)) <= 1);
        QCOMPARE(style().panelsRendered(), int(std::size(looks)));
    }

    // Many looks in turn: old copies give way, and what is drawn stays right.
    void cacheStaysBounded()
    {
        for (int round = 0; round < 2; ++round)
            for (int width = 20; width < 60; ++width) {
                const QStyleOptionFrame look =
                    panelOption({width, 22}, QStyle::State_Enabled, m_base->standardPalette());
                QVERIFY(largestDifference(draw(style(), look), draw(*m_base, look)) <= 1);
            }
        QCOMPARE(style().panelsRendered(), 80);
    }

    // The window's 25 boxes share their looks: one drawing each for focused and unfocused.
    void windowBoxesShareCopies()
    {
        adc::Form1 form(QStringLiteral("/dev/adc-monitor-no-such-port"));
        auto* first = form.findChild<QLineEdit*>(QStringLiteral("Text1"));
        auto* shared = dynamic_cast<const adc::PanelCacheStyle*>(first->style());
        QVERIFY(shared);
        const int before = shared->panelsRendered();
        for (int round = 0; round < 3; ++round)
            form.grab();
        QVERIFY(shared->panelsRendered() - before <= 2);
        for (int n = 2; n <= 25; ++n)
            QCOMPARE(form.findChild<QLineEdit*>(QStringLiteral("Text%1").arg(n))->style(),
                     first->style());
    }

private:
    const adc::PanelCacheStyle& style() const { return *m_cached; }

    std::unique_ptr<QStyle> m_base;
    std::unique_ptr<adc::PanelCacheStyle> m_cached;
};

QTEST_MAIN(PanelCacheStyleTest)
#include "panel_cache_style_test.moc"
