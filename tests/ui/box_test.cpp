#include "ui/box.h"
#include "ui/form1.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

constexpr char kNoPort[] = "/dev/adc-monitor-no-such-port-box";

// What the box shows when the line edit draws the text: a screen reader starting hands every
// box's text to its line edit.
QImage asTheLineEditDrawsIt(adc::Box* box)
{
    QAccessible::setActive(true);
    const QImage image = box->grab().toImage();
    QAccessible::setActive(false);
    return image;
}

} // namespace

class BoxTest : public QObject
{
    Q_OBJECT

private slots:
    // Every text the window writes looks the same drawn by the box as by the line edit: each
    // reading in hexadecimal and in decimal in a value box, and counts up to seven digits in the
    // wider count box.
    void drawsEveryTextAsTheLineEditDoes()
    {
        adc::Form1 form(QString::fromLatin1(kNoPort));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* value = form.findChild<adc::Box*>("Text2");
        auto* count = form.findChild<adc::Box*>("Text25");
        QList<std::pair<adc::Box*, QString>> cases;
        for (int reading = 0; reading <= 0xFFF; ++reading) {
            cases.append({value, QString::number(reading, 16).toUpper().rightJustified(3, '0')});
            cases.append({value, QString::number(reading)});
        }
        for (const char* text : {"", "0", "1", "11", "1111111", "8888888", "9999999", "4711"})
            cases.append({count, QString::fromLatin1(text)});
        for (const auto& [box, text] : cases) {
            box->showText(text);
            QVERIFY2(box->drawsItself(), qPrintable(text));
            const QImage drawn = box->grab().toImage();
            QVERIFY2(drawn == asTheLineEditDrawsIt(box), qPrintable(text));
            QCOMPARE(box->text(), text);
        }
        // Also once the box has changed: its size, its state, its colours.
        const std::function<void()> changes[] = {
            [&] { value->resize(value->width() + 6, value->height() + 2); },
            [&] { value->setEnabled(false); },
            [&] {
                QPalette p = value->palette();
                p.setColor(QPalette::Base, Qt::yellow);
                value->setPalette(p);
            },
        };
        for (const auto& change : changes) {
            value->showText("123");
            value->grab();
            change();
            value->showText("456");
            QVERIFY(value->drawsItself());
            QVERIFY(value->grab().toImage() == asTheLineEditDrawsIt(value));
        }
    }

    // A new text repaints only the characters that change, and the screen then holds what a
    // box drawn at once would: nothing is left of the old text, also where a wider or narrower
    // character moves the ones after it.
    void repaintsOnlyTheTextsPlace()
    {
        adc::Form1 form(QString::fromLatin1(kNoPort));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (const char* name : {"Text2", "Text25"}) {
            auto* box = form.findChild<adc::Box*>(name);
            for (const char* text : {"1", "FFF", "FEF", "8EF", "88", "", "4095", "4096", "4A96",
                                     "1234567", "1234568", "1204568", "1209568", "7", "0"}) {
                box->showText(QString::fromLatin1(text));
                QVERIFY2(box->drawsItself(), text);
                QCoreApplication::processEvents();
                const QRect place(box->mapTo(&form, QPoint()), box->size());
                const QImage once = box->grab().toImage();
                const QImage shown = form.screen()
                                         ->grabWindow(form.winId(), place.x(), place.y(),
                                                      place.width(), place.height())
                                         .toImage()
                                         .convertToFormat(once.format());
                QVERIFY2(shown == once, qPrintable(QString("%1 in %2").arg(text, name)));
            }
        }
    }

    // The operator uses the box as a line edit: however they come to it, it holds the text it
    // shows, and what they type stays until the next write.
    void isALineEditWhenUsed_data()
    {
        QTest::addColumn<std::function<void(adc::Box*)>>("use");
        QTest::newRow("focus") << std::function([](adc::Box* b) { b->setFocus(); });
        QTest::newRow("click") << std::function([](adc::Box* b) {
            QTest::mouseClick(b, Qt::LeftButton, {}, {3, 5});
        });
        QTest::newRow("context menu") << std::function([](adc::Box* b) {
            QTimer::singleShot(0, b, [] {
                if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()))
                    menu->close();
            });
            QContextMenuEvent event(QContextMenuEvent::Mouse, {3, 5}, b->mapToGlobal(QPoint(3, 5)));
            QApplication::sendEvent(b, &event);
        });
        QTest::newRow("screen reader")
            << std::function([](adc::Box*) { QAccessible::setActive(true); });
    }

    void isALineEditWhenUsed()
    {
        QFETCH(std::function<void(adc::Box*)>, use);
        adc::Form1 form(QString::fromLatin1(kNoPort));
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto* box = form.findChild<adc::Box*>("Text12");
        box->showText("ABC");
        QVERIFY(box->drawsItself());
        use(box);
        QAccessible::setActive(false);
        QVERIFY(!box->drawsItself());
        QCOMPARE(box->text(), "ABC");

        box->setFocus();
        box->end(false);
        QTest::keyClicks(box, "D");
        QCOMPARE(box->text(), "ABCD");
        form.findChild<adc::Box*>("Text13")->setFocus();
        box->deselect();
        QCOMPARE(box->shownText(), "ABCD");
        box->showText("123");
        QCOMPARE(box->shownText(), "123");
        QVERIFY(box->drawsItself());
        box->setFocus(); // a box in use takes a new text as a line edit
        box->showText("456");
        QCOMPARE(box->text(), "456");
    }

    // Texts the box cannot place as the line edit would, and a box with a selection, go to the
    // line edit at once.
    void leavesTheRestToTheLineEdit()
    {
        adc::Form1 form(QString::fromLatin1(kNoPort));
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto* box = form.findChild<adc::Box*>("Text3");
        for (const char* text : {"-1", "abc", "123456789012"}) {
            box->showText(QString::fromLatin1(text));
            QVERIFY2(!box->drawsItself(), text);
            QCOMPARE(box->text(), QString::fromLatin1(text));
        }
        // Back to the text the line edit still holds: that is shown, not the last one drawn.
        box->showText("123");
        QVERIFY(box->drawsItself());
        box->showText("123456789012");
        QVERIFY(!box->drawsItself());
        QCOMPARE(box->shownText(), "123456789012");
        box->resize(box->width() / 2, box->height()); // too narrow now for three digits
        box->showText("ABC");
        QVERIFY(!box->drawsItself());
        box->resize(box->width() * 2, box->height());

        form.findChild<adc::Box*>("Text4")->setFocus();
        box->setSelection(0, 2); // a selection kept while the window is elsewhere
        box->showText("800");
        QVERIFY(!box->drawsItself());
        QCOMPARE(box->text(), "800");
    }
};

QTEST_MAIN(BoxTest)
#include "box_test.moc"
