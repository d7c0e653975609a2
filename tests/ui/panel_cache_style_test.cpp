#include "ui/form1.h"
#include "ui/panel_cache_style.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QScreen>
#include <QStyleFactory>
#include <QTest>
#include <memory>

namespace {

QList<QLineEdit*> boxes(const adc::Form1& form)
{
    return form.findChildren<QLineEdit*>();
}

// Copies drawn over the background may round an antialiased edge differently by one unit.
bool alike(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            for (int shift : {0, 8, 16})
                if (std::abs(int(a.pixel(x, y) >> shift & 0xFF) -
                             int(b.pixel(x, y) >> shift & 0xFF)) > 1)
                    return false;
    return true;
}

} // namespace

class PanelCacheStyleTest : public QObject
{
    Q_OBJECT

private slots:
    // The window looks exactly as it would with every box frame drawn by the base style: with
    // the focus in a box and elsewhere, in the desktop's palette and in a dark one. A box
    // repainted over and over on screen, as received frames repaint it, keeps the very pixels of
    // its first showing: it paints the window behind it itself, and nothing of the last repaint
    // shows through.
    void theWindowLooksAsDrawnByTheBaseStyle()
    {
        adc::Form1 form(QStringLiteral("/dev/adc-monitor-no-such-port-style"));
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto* cached = dynamic_cast<adc::PanelCacheStyle*>(boxes(form).first()->style());
        QVERIFY(cached);
        const std::unique_ptr<QStyle> base(QStyleFactory::create(cached->baseStyle()->name()));
        QPalette dark = form.palette();
        dark.setColor(QPalette::Base, QColor(40, 40, 40));
        dark.setColor(QPalette::Text, Qt::white);

        const auto drawnWith = [&form](QStyle* style) {
            for (QLineEdit* box : boxes(form))
                box->setStyle(style);
            return form.grab().toImage();
        };
        for (const QPalette& palette : {form.palette(), dark}) {
            form.setPalette(palette);
            for (int focus : {0, 12}) { // a value box, then a max box
                boxes(form).at(focus)->setFocus();
                const QImage based = drawnWith(base.get());
                QVERIFY(alike(drawnWith(cached), based));
            }
        }

        QLineEdit* box = boxes(form).at(3);
        QVERIFY(box->testAttribute(Qt::WA_OpaquePaintEvent));
        box->setText("7FF");
        QTest::qWait(50);
        const QImage first = form.screen()->grabWindow(form.winId()).toImage();
        for (int i = 0; i < 20; ++i) {
            box->setText(i % 2 ? "7FF" : "800");
            box->repaint();
        }
        QCOMPARE(form.screen()->grabWindow(form.winId()).toImage(), first);
    }

    // The 25 boxes share one copy for each look, and many looks in turn keep the cache bounded
    // while every copy stays right.
    void copiesAreSharedAndBounded()
    {
        adc::Form1 form(QStringLiteral("/dev/adc-monitor-no-such-port-style"));
        auto* cached = dynamic_cast<adc::PanelCacheStyle*>(boxes(form).first()->style());
        for (QLineEdit* box : boxes(form))
            QCOMPARE(box->style(), cached);
        const int before = cached->panelsRendered();
        for (int round = 0; round < 3; ++round)
            form.grab();
        QVERIFY(cached->panelsRendered() - before <= 2);

        QLineEdit* box = boxes(form).first();
        const int drawn = cached->panelsRendered();
        for (int round = 0; round < 2; ++round)
            for (int width = 20; width < 60; ++width) {
                box->resize(width, 22);
                const QImage copy = box->grab().toImage();
                box->setStyle(QApplication::style());
                QVERIFY(alike(copy, box->grab().toImage()));
                box->setStyle(cached);
            }
        QCOMPARE(cached->panelsRendered() - drawn, 80);
    }
};

QTEST_MAIN(PanelCacheStyleTest)
#include "panel_cache_style_test.moc"
