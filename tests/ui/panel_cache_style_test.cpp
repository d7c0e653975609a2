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

QStyleOptionFrame look(QSize size, QStyle::State state, const QPalette& palette,
                       Qt::LayoutDirection direction = Qt::LeftToRight)
{
    QStyleOptionFrame option;
    option.rect = QRect(QPoint(3, 2), size); // away from the origin, as a box in a window
    option.state = state;
    option.palette = palette;
    option.direction = direction;
    option.lineWidth = 1;
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

// A copy drawn over the background may round an antialiased edge differently by one unit.
bool drawnAlike(const QStyle& a, const QStyle& b, const QStyleOptionFrame& option)
{
    const QImage p = draw(a, option), q = draw(b, option);
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x)
            for (int shift : {0, 8, 16})
                if (std::abs(int(p.pixel(x, y) >> shift & 0xFF) -
                             int(q.pixel(x, y) >> shift & 0xFF)) > 1)
                    return false;
    return true;
}

} // namespace

class PanelCacheStyleTest : public QObject
{
    Q_OBJECT

private slots:
    // Each look is drawn once and then copied; a copy made for one look must never stand in
    // for another, and every copy must look as the base style draws.
    void eachLookHasItsOwnCopy()
    {
        const std::unique_ptr<QStyle> base(QStyleFactory::create(QStringLiteral("Fusion")));
        adc::PanelCacheStyle cached(QStringLiteral("Fusion"));
        const QPalette light = base->standardPalette();
        QPalette dark = light;
        dark.setColor(QPalette::Base, QColor(40, 40, 40));
        const QStyle::State plain = QStyle::State_Enabled;
        const QSize box(69, 22);
        const QStyleOptionFrame looks[] = {
            look(box, plain, light),
            look(box, plain | QStyle::State_HasFocus, light),
            look(box, QStyle::State_None, light), // disabled
            look(box, plain | QStyle::State_ReadOnly, light),
            look(box, plain, light, Qt::RightToLeft),
            look(box, plain, dark),
            look(box + QSize(10, 0), plain, light),
        };
        for (int round = 0; round < 2; ++round)
            for (const QStyleOptionFrame& option : looks)
                QVERIFY(drawnAlike(cached, *base, option));
        QCOMPARE(cached.panelsRendered(), int(std::size(looks)));

        // Many looks in turn: old copies give way, and what is drawn stays right.
        for (int round = 0; round < 2; ++round)
            for (int width = 20; width < 60; ++width)
                QVERIFY(drawnAlike(cached, *base, look({width, 22}, plain, light)));
        QCOMPARE(cached.panelsRendered(), int(std::size(looks)) + 80);
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
};

QTEST_MAIN(PanelCacheStyleTest)
#include "panel_cache_style_test.moc"
