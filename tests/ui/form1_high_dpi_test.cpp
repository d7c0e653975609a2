#include "ui/box.h"
#include "ui/form1.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

constexpr qreal kScale = 2.0;

/// How dark the text `widget` draws is, grabbed with `text` and without (so that frames and
/// bevels do not count); at its place and again grown all round, where nothing can be cut.
/// Labels, buttons and boxes all keep their text in the "text" property.
std::pair<qint64, qint64> textInk(QWidget* widget, const QString& text)
{
    const auto ink = [widget](const QString& shown) {
        widget->setProperty("text", shown);
        const QImage image = widget->grab().toImage();
        qint64 sum = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                sum += 255 - qGray(image.pixel(x, y));
        return sum;
    };
    const QVariant kept = widget->property("text");
    const QRect place = widget->geometry();
    const qint64 inPlace = ink(text) - ink({});
    widget->setGeometry(place.adjusted(-40, -40, 40, 40));
    const qint64 whole = ink(text) - ink({});
    widget->setGeometry(place);
    widget->setProperty("text", kept);
    return {inPlace, whole};
}

} // namespace

class Form1HighDpiTest : public QObject
{
    Q_OBJECT

private slots:
    void twiceTheSizeWithEveryTextWhole()
    {
        adc::Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // A box with focus would draw its cursor into the text's ink.
        if (QWidget* focused = QApplication::focusWidget())
            focused->clearFocus();
        const QPixmap shot = form.grab();
        QCOMPARE(shot.devicePixelRatio(), kScale);
        QCOMPARE(shot.size(), form.size() * kScale);

        // The widest texts a box shows, in decimal and in hexadecimal; the count as it is after
        // four days at the line rate, as much as fits at any scale. The margin allows for a
        // button's shading, which grows with it. A box draws those texts itself, with the same
        // pixels as its line edit at this scale.
        for (QWidget* w : form.findChildren<QWidget*>()) {
            auto* box = qobject_cast<adc::Box*>(w);
            QStringList texts{w->property("text").toString()};
            if (box)
                texts = w->objectName() == "Text25" ? QStringList{"9999999", "1234567"}
                                                    : QStringList{"4095", "FFF", "7FF"};
            else if (!qobject_cast<QLabel*>(w) && !qobject_cast<QPushButton*>(w))
                continue;
            for (const QString& text : texts) {
                const auto [inPlace, whole] = textInk(w, text);
                QVERIFY2(whole > 0 && inPlace >= whole * 0.98,
                         qPrintable(text + " clipped in " + w->objectName()));
                if (!box)
                    continue;
                box->showText(text);
                QVERIFY2(box->drawsItself(), qPrintable(text));
                const QImage drawn = box->grab().toImage();
                QAccessible::setActive(true); // hands the text to the line edit
                QVERIFY2(drawn == box->grab().toImage(), qPrintable(text));
                QAccessible::setActive(false);
            }
        }
    }
};

int main(int argc, char* argv[])
{
    // Read when the application starts, so it is set first.
    qputenv("QT_SCALE_FACTOR", QByteArray::number(kScale));
    QApplication app(argc, argv);
    Form1HighDpiTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "form1_high_dpi_test.moc"
