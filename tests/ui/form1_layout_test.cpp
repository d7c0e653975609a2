#include "form1.h"
#include "shape.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

namespace {

// Fonts: 'b' box, 'h' heading, 'i' brand, 'd' the application's default, '-' none.
void addRow(const QByteArray& name, QRect twips, const char* caption, char font, int alignment = 0)
{
    const QRect pixels(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
    QTest::newRow(name) << QString(name) << pixels << QString(caption) << font << alignment;
}

} // namespace

class Form1LayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void elementIsPlaced_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<char>("font");
        QTest::addColumn<int>("alignment");

        const int rightTop = Qt::AlignRight | Qt::AlignTop;
        const int centreTop = Qt::AlignHCenter | Qt::AlignTop;
        for (int k = 0; k < 8; ++k) {
            const int top = 360 + 420 * k;
            addRow("Label" + QByteArray::number(k + 1), {180, top + 60, 855, 255},
                   qPrintable(QStringLiteral("AD%1").arg(k)), 'b', rightTop);
            for (auto [first, left] : {std::pair{1, 1200}, {9, 2760}, {17, 4020}})
                addRow("Text" + QByteArray::number(first + k), {left, top, 1035, 330}, "", 'b',
                       Qt::AlignCenter);
        }
        addRow("Label12", {2880, 60, 855, 255}, "max", 'h', centreTop);
        addRow("Label11", {4140, 60, 855, 255}, "min", 'h', centreTop);
        addRow("Shape2", {300, 240, 2055, 3555}, "", '-');
        addRow("Label13", {1740, 3900, 915, 255}, "TIMES", 'd', rightTop);
        addRow("Text25", {2760, 3840, 1035, 330}, "", 'b', Qt::AlignCenter);
        addRow("Command5", {4320, 3900, 735, 315}, "RESET", 'd');
        addRow("Shape1", {600, 4380, 495, 255}, "", '-');
        addRow("Command1", {1260, 4380, 1035, 315}, "START", 'd');
        addRow("Command2", {4020, 4380, 1035, 315}, "EXIT", 'd');
        addRow("Command3", {600, 4800, 495, 315}, "HEX", 'd');
        addRow("Command4", {1260, 4800, 495, 315}, "DEC", 'd');
        addRow("Label9", {1980, 4860, 915, 255}, "COM1 only", 'd', Qt::AlignLeft | Qt::AlignTop);
        addRow("Label10", {2820, 5040, 2175, 255}, "Orbeline", 'i', rightTop);
    }

    void elementIsPlaced()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        QFETCH(char, font);
        QFETCH(int, alignment);

        adc::Form1 form;
        auto* widget = form.findChild<QWidget*>(name);
        QVERIFY(widget && widget->parentWidget() == &form);
        QCOMPARE(widget->geometry(), geometry);
        QVERIFY(widget->isVisibleTo(&form) && widget->isEnabled());
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            QCOMPARE(label->text(), caption);
            QCOMPARE(int(label->alignment()), alignment);
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            QCOMPARE(button->text(), caption);
            QVERIFY(!button->isDefault() && !button->autoDefault());
        } else if (auto* box = qobject_cast<QLineEdit*>(widget)) {
            QCOMPARE(int(box->alignment()), alignment);
        }

        const QFontInfo info(widget->font());
        if (font == 'd') {
            QCOMPARE(info.family(), QFontInfo(QApplication::font()).family());
            QVERIFY(!info.bold() && !info.italic());
            // The dialog font must let every caption fit its fixed place.
            QVERIFY2(QFontMetrics(widget->font()).horizontalAdvance(caption) <= widget->width(),
                     qPrintable(caption));
        } else if (font != '-') {
            QVERIFY2(info.family() == "Arial" || info.family() == "Liberation Sans",
                     qPrintable(info.family()));
            QCOMPARE(widget->font().pointSizeF(), font == 'h' ? 9.75 : 12.0);
            QCOMPARE(info.bold(), font != 'h');
            QCOMPARE(info.italic(), font == 'i');
        }
        const QColor text = name == "Label10" ? QColor(0, 128, 128)
                                              : QApplication::palette().color(QPalette::WindowText);
        QCOMPARE(widget->palette().color(QPalette::WindowText), text);
    }

    void windowFrameAndShapes()
    {
        adc::Form1 form;
        QCOMPARE(form.windowTitle(), QStringLiteral(" A/D Test (8ch)"));
        QCOMPARE(form.minimumSize(), QSize(377, 369));
        QCOMPARE(form.maximumSize(), QSize(377, 369));
        QVERIFY(form.windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(
            !(form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        // Nothing beyond the rows above: 25 boxes, 13 labels, 5 buttons, 2 shapes.
        QCOMPARE(form.findChildren<QWidget*>().size(), 45);

        auto* lamp = form.findChild<adc::Shape*>("Shape1");
        QVERIFY(lamp->isFilled() && !lamp->isOutlined());
        QCOMPARE(lamp->fillColour(), QColor(Qt::black));
        auto* frame = form.findChild<adc::Shape*>("Shape2");
        QVERIFY(!frame->isFilled() && frame->isOutlined());
        // It encloses the value boxes, so it must not take their clicks.
        QVERIFY(frame->testAttribute(Qt::WA_TransparentForMouseEvents));
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

        QStringList expected;
        for (int i = 2; i <= 8; ++i)
            expected << QStringLiteral("Text%1").arg(i);
        expected << "Command1"
                 << "Command2"
                 << "Command3"
                 << "Command4";
        for (int i = 9; i <= 24; ++i)
            expected << QStringLiteral("Text%1").arg(i);
        expected << "Command5"
                 << "Text25"
                 << "Text1"
                 << "Text2";
        QStringList visited;
        while (visited.size() < expected.size()) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, expected);
    }
};

QTEST_MAIN(Form1LayoutTest)
#include "form1_layout_test.moc"
