#include "form1.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

constexpr qreal kScale = 2.0;

/// How dark the text that `widget` draws is, as grabbed: its rendering with `text` less its
/// rendering without, so that frames and bevels do not count. Leaves the widget as it was.
template <typename Widget> qint64 textInk(Widget* widget, const QString& text)
{
    const auto ink = [widget] {
        const QImage image = widget->grab().toImage();
        qint64 sum = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                sum += 255 - qGray(image.pixel(x, y));
        return sum;
    };
    const QString shown = widget->text();
    widget->setText(text);
    const qint64 with = ink();
    widget->setText({});
    const qint64 without = ink();
    widget->setText(shown);
    return with - without;
}

/// Fails unless `text` shows whole in `widget` where it is: a text cut at the widget's edges, or
/// scrolled in a box too narrow for it, has less ink than in the same widget grown all round.
/// The margin allows for a button's shading, which grows with it.
template <typename Widget> void checkFits(Widget* widget, const QString& text)
{
    constexpr int kRoom = 40;
    const QRect place = widget->geometry();
    const qint64 inPlace = textInk(widget, text);
    widget->setGeometry(place.adjusted(-kRoom, -kRoom, kRoom, kRoom));
    const qint64 whole = textInk(widget, text);
    widget->setGeometry(place);
    QVERIFY2(whole > 0 && inPlace >= whole * 0.98,
             qPrintable(QStringLiteral("%1 clipped in %2: %3 of %4 ink")
                            .arg(text, widget->objectName())
                            .arg(inPlace)
                            .arg(whole)));
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

        for (QLabel* label : form.findChildren<QLabel*>())
            checkFits(label, label->text());
        for (QPushButton* button : form.findChildren<QPushButton*>())
            checkFits(button, button->text());
        // The widest texts a box shows, in decimal and in hexadecimal; the count as it is after
        // four days at the line rate, as much as fits at any scale.
        for (QLineEdit* box : form.findChildren<QLineEdit*>()) {
            QStringList texts{"4095", "FFF"};
            if (box->objectName() == "Text25")
                texts << "9999999";
            for (const QString& text : texts)
                checkFits(box, text);
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
