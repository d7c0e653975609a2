#include "ui/form1.h"
#include "ui/shape.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

namespace {

struct Element
{
    QString name;
    QRect twips;
    QString caption;
    char font; // 'b' box, 'h' heading, 'i' brand, 'd' the window's default, '-' none
    int alignment;
};

constexpr int kRightTop = Qt::AlignRight | Qt::AlignTop;
constexpr int kCentreTop = Qt::AlignHCenter | Qt::AlignTop;

/// Every element of the window as laid down, in twips.
QList<Element> layout()
{
    QList<Element> all;
    for (int k = 0; k < 8; ++k) {
        const int top = 360 + 420 * k;
        all.append({QString("Label%1").arg(k + 1), QRect(180, top + 60, 855, 255),
                    QString("AD%1").arg(k), 'b', kRightTop});
        for (auto [first, left] : {std::pair{1, 1200}, {9, 2760}, {17, 4020}})
            all.append({QString("Text%1").arg(first + k), QRect(left, top, 1035, 330), QString(),
                        'b', Qt::AlignCenter});
    }
    all.append({
        {"Label12", {2880, 60, 855, 255}, "max", 'h', kCentreTop},
        {"Label11", {4140, 60, 855, 255}, "min", 'h', kCentreTop},
        {"Shape2", {300, 240, 2055, 3555}, {}, '-', 0},
        {"Label13", {1740, 3900, 915, 255}, "TIMES", 'd', kRightTop},
        {"Text25", {2760, 3840, 1035, 330}, {}, 'b', Qt::AlignCenter},
        {"Command5", {4320, 3900, 735, 315}, "RESET", 'd', 0},
        {"Shape1", {600, 4380, 495, 255}, {}, '-', 0},
        {"Command1", {1260, 4380, 1035, 315}, "START", 'd', 0},
        {"Command2", {4020, 4380, 1035, 315}, "EXIT", 'd', 0},
        {"Command3", {600, 4800, 495, 315}, "HEX", 'd', 0},
        {"Command4", {1260, 4800, 495, 315}, "DEC", 'd', 0},
        {"Label9", {1980, 4860, 915, 255}, "COM1 only", 'd', Qt::AlignLeft | Qt::AlignTop},
        {"Label10", {2820, 5040, 2175, 255}, "Orbeline", 'i', kRightTop},
    });
    return all;
}

QRect pixels(const QRect& twips)
{
    return {twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15};
}

} // namespace

class Form1LayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void everyElementIsWhereAndAsLaidDown()
    {
        adc::Form1 form;
        QCOMPARE(form.windowTitle(), QStringLiteral(" A/D Test (8ch)"));
        QCOMPARE(form.minimumSize(), QSize(377, 369));
        QCOMPARE(form.maximumSize(), QSize(377, 369));
        QVERIFY(form.windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(
            !(form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        // Nothing beyond the table: 25 boxes, 13 labels, 5 buttons, 2 shapes.
        QCOMPARE(form.findChildren<QWidget*>().size(), 45);
        for (const Element& e : layout()) {
            const QByteArray name = e.name.toLatin1();
            auto* widget = form.findChild<QWidget*>(e.name);
            QVERIFY2(widget && widget->parentWidget() == &form, name);
            QVERIFY2(widget->geometry() == pixels(e.twips), name);
            QVERIFY2(widget->isVisibleTo(&form) && widget->isEnabled(), name);
            const QVariant alignment = widget->property("alignment");
            QVERIFY2(!alignment.isValid() || alignment.toInt() == e.alignment, name);
            // Every caption, and the widest text a box shows, fits its fixed place.
            const bool box = qobject_cast<QLineEdit*>(widget);
            QVERIFY2(box || widget->property("text").toString() == e.caption, name);
            QVERIFY2(QFontMetrics(widget->font()).horizontalAdvance(box ? "4095" : e.caption) <=
                         widget->width(),
                     name);

            const QFontInfo info(widget->font());
            if (e.font == 'd') {
                QCOMPARE(info.family(), QFontInfo(QApplication::font()).family());
                QVERIFY2(!info.bold() && !info.italic(), name);
            } else if (e.font != '-') {
                QVERIFY2(info.family() == "Arial" || info.family() == "Liberation Sans", name);
                QCOMPARE(widget->font().pointSizeF(), e.font == 'h' ? 9.75 : 12.0);
                QVERIFY2(info.bold() == (e.font != 'h') && info.italic() == (e.font == 'i'), name);
            }
            const QColor text = e.name == "Label10"
                                    ? QColor(0, 128, 128)
                                    : QApplication::palette().color(QPalette::WindowText);
            QVERIFY2(widget->palette().color(QPalette::WindowText) == text, name);
        }

        auto* frame = form.findChild<adc::Shape*>("Shape2");
        QVERIFY(!frame->isFilled() && frame->isOutlined());
        const QImage outline = frame->grab().toImage();
        const QColor ink = frame->palette().color(QPalette::WindowText);
        for (QPoint edge : {QPoint(0, 50), QPoint(50, 0), QPoint(frame->width() - 1, 50),
                            QPoint(50, frame->height() - 1)})
            QCOMPARE(outline.pixelColor(edge), ink);
        // It encloses the value boxes, so it must not take their clicks.
        QVERIFY(frame->testAttribute(Qt::WA_TransparentForMouseEvents));

        // The lamp is its colour to the edge: filled, with no outline.
        auto* lamp = form.findChild<adc::Shape*>("Shape1");
        QVERIFY(lamp->isFilled() && !lamp->isOutlined());
        const QImage lit = lamp->grab().toImage();
        for (QPoint p : {QPoint(0, 0), lamp->rect().center(), lamp->rect().bottomRight()})
            QCOMPARE(lit.pixelColor(p), lamp->fillColour());
    }

    void firstShowIsCentredWithFocusInText1AndTabFollowsTheOrder()
    {
        adc::Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        const QPoint offset =
            form.frameGeometry().center() - form.screen()->availableGeometry().center();
        QVERIFY2(qAbs(offset.x()) <= 2 && qAbs(offset.y()) <= 20, "not centred");
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Text1"));

        QStringList visited;
        for (int i = 0; i < 30; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName().remove("Text").remove("ommand");
        }
        QCOMPARE(visited.join(' '), "2 3 4 5 6 7 8 C1 C2 C3 C4 9 10 11 12 13 14 15 16 17 18 19 "
                                    "20 21 22 23 24 C5 25 1");

        // Where the operator puts it, it stays when shown again.
        const QPoint moved = form.pos() + QPoint(40, 30);
        form.move(moved);
        form.hide();
        form.show();
        QCOMPARE(form.pos(), moved);
    }
};

QTEST_MAIN(Form1LayoutTest)
#include "form1_layout_test.moc"
