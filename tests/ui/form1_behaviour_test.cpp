#include "box.h"
#include "form1.h"
#include "port_dialog.h"
#include "pty_pair.h"
#include "shape.h"

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <memory>

using adc::kCountBox;
using adc::maxBox;
using adc::minBox;
using adc::valueBox;
using adc::test::frame;
using adc::test::PtyPair;

namespace {

const QString kMissingPort = QStringLiteral("/dev/adc-monitor-no-such-port");
const QColor kYellow(255, 255, 128);
const QColor kGreen(0, 255, 0);

} // namespace

class Form1BehaviourTest : public QObject
{
    Q_OBJECT

    using Form = adc::Form1;
    static auto* box(const Form& f, int n)
    {
        return f.findChild<adc::Box*>(QString("Text%1").arg(n));
    }
    static QString text(const Form& f, int n) { return box(f, n)->shownText(); }
    static auto* button(const Form& f, int n)
    {
        return f.findChild<QPushButton*>(QString("Command%1").arg(n));
    }
    static void click(const Form& f, int n) { QTest::mouseClick(button(f, n), Qt::LeftButton); }
    /// The lamp as the screen shows it: a colour set but never painted does not count.
    static QColor lamp(const Form& f)
    {
        const QPoint at = f.findChild<adc::Shape*>("Shape1")->geometry().center();
        return f.screen()->grabWindow(f.winId(), at.x(), at.y(), 1, 1).toImage().pixelColor(0, 0);
    }
    static auto messages(const Form& f) { return f.findChildren<QMessageBox*>(); }
    /// Right-clicks the window's background and returns the menu's action.
    static QAction* openMenu(Form& f)
    {
        qDeleteAll(f.findChildren<QMenu*>());
        QContextMenuEvent event(QContextMenuEvent::Mouse, {5, 5}, f.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&f, &event);
        return f.findChild<QMenu*>()->actions().constFirst();
    }
    static QAction* menuAction(Form& f, const char* text)
    {
        openMenu(f);
        for (QAction* action : f.findChild<QMenu*>()->actions())
            if (action->text() == QString::fromUtf8(text))
                return action;
        return nullptr;
    }
    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    /// The eight texts of a column of boxes, blank-separated.
    static QString column(const Form& f, int (*role)(int))
    {
        QStringList texts;
        for (int k = 0; k < adc::kChannelCount; ++k)
            texts << text(f, role(k));
        return texts.join(' ');
    }

private slots:
    void startsResetAndTheButtonsRestartTheStatistics()
    {
        PtyPair pty;
        adc::Form1 form(QString::fromStdString(pty.path()));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(column(form, valueBox), QString(7, ' '));
        QCOMPARE(column(form, maxBox), "0 0 0 0 0 0 0 0");
        QCOMPARE(column(form, minBox), "FFF FFF FFF FFF FFF FFF FFF FFF");
        QCOMPARE(text(form, kCountBox), "0");
        QTRY_COMPARE(lamp(form), QColor(Qt::black));
        QVERIFY(!form.isReceiving() &&
                QSerialPort(QString::fromStdString(pty.path())).open(QIODevice::ReadOnly));

        // Each button's own effect: RESET keeps the mode that HEX and DEC choose.
        form.setBoxText(valueBox(0), "ABC");
        const QString decMins = "4095 4095 4095 4095 4095 4095 4095 4095";
        const QString hexMins = "FFF FFF FFF FFF FFF FFF FFF FFF";
        for (auto [button, mins] :
             {std::pair{4, decMins}, {5, decMins}, {3, hexMins}, {5, hexMins}, {4, decMins}}) {
            form.setBoxText(kCountBox, "7");
            form.setBoxText(maxBox(1), "7");
            click(form, button);
            QCOMPARE(column(form, minBox), mins);
            QCOMPARE(column(form, maxBox), "0 0 0 0 0 0 0 0");
            QCOMPARE(text(form, kCountBox), "0");
        }
        QCOMPARE(text(form, valueBox(0)), "ABC");
        QVERIFY(!form.isReceiving());
    }

    void keysInABoxPressNothingAndTypedTextLastsUntilTheNextWrite()
    {
        adc::Form1 form(kMissingPort);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QList<QSignalSpy*> clicks;
        for (int n = 1; n <= 5; ++n)
            clicks << new QSignalSpy(button(form, n), &QPushButton::clicked);
        for (int n : {valueBox(0), minBox(2)}) {
            box(form, n)->setFocus();
            QTest::keyClicks(box(form, n), "12");
            for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
                QTest::keyClick(box(form, n), key);
        }
        for (QSignalSpy* spy : clicks)
            QCOMPARE(spy->count(), 0);
        qDeleteAll(clicks);
        QCOMPARE(text(form, minBox(2)), "FFF12");
        QCOMPARE(form.state().min[2], 4095);

        click(form, 5);
        QCOMPARE(text(form, minBox(2)), "FFF");
        QCOMPARE(text(form, valueBox(0)), "12");
    }

    // One message at a time, and it blocks nothing: the buttons work and EXIT ends the program.
    void failuresAreReportedOneAtATimeWithoutBlocking()
    {
        adc::Form1 form(kMissingPort);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        click(form, 1);
        click(form, 1);
        QCOMPARE(messages(form).size(), 1);
        QMessageBox* message = messages(form).constFirst();
        QVERIFY(message->isVisible());
        QCOMPARE(message->windowTitle(), QStringLiteral(" A/D Test (8ch)"));
        QVERIFY2(message->text().contains(kMissingPort), qPrintable(message->text()));
        QVERIFY(button(form, 1)->isEnabled() && !form.isReceiving());
        QVERIFY2(!QApplication::activeModalWidget(), "the message blocks the window");

        click(form, 4); // DEC
        QCOMPARE(text(form, minBox(0)), "4095");
        QTimer::singleShot(0, &form, [&] { click(form, 2); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    // The menu records to a file chosen in a dialog that blocks nothing; a reset shows in the
    // file as the count starting again. A write error stops the recording, not the display.
    void recordsFromTheMenuUntilStoppedOrAWriteFails()
    {
        PtyPair pty;
        QTemporaryDir dir;
        const QString path = dir.filePath("run.csv");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("an older run\n") > 0);
        old.close();
        adc::Form1 form(QString::fromStdString(pty.path()));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* portLabel = form.findChild<QLabel*>("Label9");
        QVERIFY(!menuAction(form, "Stop recording")->isEnabled());
        menuAction(form, "Record to file\u2026")->trigger();
        auto* dialog = form.findChild<QFileDialog*>();
        QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
        // The dialog has asked, and the operator has agreed, to replace the older run.
        dialog->setOption(QFileDialog::DontConfirmOverwrite);
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept");
        QVERIFY(form.recording().isRecording());
        QCOMPARE(portLabel->toolTip(),
                 "Receives on " + QString::fromStdString(pty.path()) + "\nRecords to " + path);

        click(form, 1);
        pty.write(frame("001 002 003 004 005 006 007 FFF"));
        QTRY_COMPARE(text(form, kCountBox), "1");
        click(form, 5); // RESET
        pty.write(frame("00A 00B 00C 00D 00E 00F 010 011") +
                  frame("800 800 800 800 800 800 800 800"));
        QTRY_COMPARE(text(form, kCountBox), "2");
        QTRY_VERIFY(contents(path).count('\n') == 4); // within the flush interval
        menuAction(form, "Stop recording")->trigger();
        QVERIFY(!portLabel->toolTip().contains(path));
        const QList<QByteArray> rows = contents(path).split('\n');
        // Without the time and the elapsed seconds.
        const auto tail = [&rows](int i) { return rows[i].split(',').mid(2).join(','); };
        QCOMPARE(rows[0], "time,elapsed_s,frame,AD0,AD1,AD2,AD3,AD4,AD5,AD6,AD7\r");
        QCOMPARE(tail(1), "1,1,2,3,4,5,6,7,4095\r");
        QCOMPARE(tail(2), "1,10,11,12,13,14,15,16,17\r");
        QCOMPARE(tail(3), "2,2048,2048,2048,2048,2048,2048,2048,2048\r");

        QCOMPARE(form.recording().startRecording("/dev/full"), QString());
        pty.write(frame("001 001 001 001 001 001 001 001"));
        QTRY_COMPARE(messages(form).size(), 1);
        QVERIFY(messages(form).constFirst()->text().contains(
            "Recording to /dev/full stopped: No space left on device"));
        QVERIFY(!form.recording().isRecording());
        pty.write(frame("002 002 002 002 002 002 002 002"));
        QTRY_COMPARE(text(form, kCountBox), "4");
        QCOMPARE(messages(form).size(), 1);
        QVERIFY(form.isReceiving());

        // EXIT leaves every row in the file at once, not only within the flush interval.
        const QString last = dir.filePath("last.csv");
        QCOMPARE(form.recording().startRecording(last), QString());
        pty.write(frame("003 003 003 003 003 003 003 003"));
        QTRY_COMPARE(text(form, kCountBox), "5");
        // Another recording replaces it, with every row written.
        const QString next = dir.filePath("next.csv");
        QCOMPARE(form.recording().startRecording(next), QString());
        QCOMPARE(contents(last).count('\n'), 2);
        pty.write(frame("004 004 004 004 004 004 004 004"));
        QTRY_COMPARE(text(form, kCountBox), "6");
        QTimer::singleShot(0, &form, [&] { click(form, 2); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(contents(next).count('\n'), 2);
    }

    // Under load the display keeps the screen's pace, not the line's, and shows the true state;
    // a frame after a quiet spell is shown at once.
    void displayUpdatesKeepTheScreensPace()
    {
        PtyPair pty;
        adc::Form1 form(QString::fromStdString(pty.path()));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        click(form, 1);
        const auto interval =
            std::chrono::duration_cast<std::chrono::milliseconds>(form.refreshInterval());
        QSignalSpy updates(&form, &adc::Form1::displayUpdated);
        QTest::qWait(100);
        QElapsedTimer quiet;
        quiet.start();
        pty.write(frame("7FF 7FF 7FF 7FF 7FF 7FF 7FF 7FF"));
        QTRY_COMPARE_WITH_TIMEOUT(text(form, kCountBox), "1", 1000);
        QVERIFY2(quiet.elapsed() < interval.count(), "not held back after a quiet spell");

        // A frame that comes in two reads: its end is not held back by the start's update.
        QTest::qWait(100);
        pty.write("\x02"
                  "001 001 001 001");
        QTRY_COMPARE_WITH_TIMEOUT(text(form, kCountBox), "2", 1000);
        QTest::qWait(2);
        QElapsedTimer split;
        split.start();
        pty.write(" 001 001 001 123\r");
        QTRY_COMPARE_WITH_TIMEOUT(text(form, valueBox(7)), "123", 1000);
        QVERIFY2(split.elapsed() < interval.count() / 2, "the end of a frame held back");

        updates.clear();
        QElapsedTimer busy;
        busy.start();
        for (int i = 1; i <= 300; ++i) {
            const QByteArray v = QByteArray::number(0x7FF + (i % 2 ? i : -i), 16).toUpper();
            pty.write(frame((v + " 800 800 800 800 800 800 " + v).toStdString()));
            QTest::qWait(1);
        }
        QTRY_COMPARE(text(form, kCountBox), "302");
        const auto most = busy.elapsed() / interval.count() + 2;
        QVERIFY2(
            updates.size() <= most && updates.size() >= 5,
            qPrintable(QString("%1 updates in %2 ms").arg(updates.size()).arg(busy.elapsed())));
        QCOMPARE(text(form, valueBox(0)), "6D3"); // the last frame: 0x7FF - 300
        QCOMPARE(text(form, maxBox(0)), "92A");   // 0x7FF + 299
        QCOMPARE(text(form, minBox(7)), "123");
    }

    // A screen reader finds every box by a name of its own, with the text it shows, and the
    // lamp as a named picture; the outline is decoration.
    void screenReadersNameTheBoxesAndTheLamp()
    {
        adc::Form1 form(kMissingPort);
        const auto reader = [](QObject* o) { return QAccessible::queryAccessibleInterface(o); };
        QAccessibleInterface* lamp = reader(form.findChild<adc::Shape*>("Shape1"));
        QCOMPARE(lamp->text(QAccessible::Name), "activity lamp");
        QCOMPARE(lamp->role(), QAccessible::Graphic);
        QCOMPARE(lamp->text(QAccessible::Description), "idle");
        QCOMPARE(reader(form.findChild<adc::Shape*>("Shape2"))->role(), QAccessible::Client);
        QStringList names;
        QStringList expected;
        for (const char* column : {"value", "max", "min"})
            for (int k = 0; k < adc::kChannelCount; ++k)
                expected << QString("AD%1 %2").arg(k).arg(column);
        QStringList shown;
        for (int n = 1; n <= adc::kBoxCount; ++n)
            shown << text(form, n);
        QAccessible::setActive(true); // as when a screen reader starts
        for (int n = 1; n <= adc::kBoxCount; ++n) {
            names << reader(box(form, n))->text(QAccessible::Name);
            QCOMPARE(reader(box(form, n))->text(QAccessible::Value), shown.at(n - 1));
        }
        QAccessible::setActive(false);
        QCOMPARE(names, expected << "frame count");
    }

    // The window's own menu chooses the port for the next START, and only while not receiving.
    void theWindowsMenuChoosesThePort()
    {
        PtyPair pty;
        const QString chosen = QString::fromStdString(pty.path());
        adc::Form1 form(kMissingPort);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* portLabel = form.findChild<QLabel*>("Label9");
        QCOMPARE(portLabel->text(), "COM1 only");
        QVERIFY(portLabel->toolTip().contains(kMissingPort));

        QAction* choose = openMenu(form);
        QCOMPARE(choose->text(), QString::fromUtf8("Serial port\u2026"));
        QVERIFY(choose->isEnabled());
        choose->trigger();
        auto* dialog = form.findChild<adc::PortDialog*>();
        QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
        auto* path = dialog->findChild<QLineEdit*>("path");
        QCOMPARE(path->text(), kMissingPort);
        path->setText(chosen);
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(form.portName(), chosen);
        QVERIFY(portLabel->toolTip().contains(chosen));

        click(form, 1);
        pty.write(frame("001 002 003 004 005 006 007 008"));
        QTRY_COMPARE(text(form, kCountBox), "1");
        QVERIFY(!openMenu(form)->isEnabled());
    }

    void receivesFramesInBothModesAndResetsMidFrame()
    {
        PtyPair pty;
        adc::Form1 form(QString::fromStdString(pty.path()));
        form.show();
        click(form, 1);
        QVERIFY(form.isReceiving() && !button(form, 1)->isEnabled());

        pty.write("xyz" + frame("000 800 FFF 001 7FF 0A3 fff 123"));
        QTRY_COMPARE(text(form, kCountBox), "1");
        QCOMPARE(column(form, valueBox), "000 800 FFF 001 7FF 0A3 fff 123");
        QCOMPARE(column(form, maxBox), "0 800 FFF 1 7FF A3 FFF 123");
        QCOMPARE(column(form, minBox), "0 800 FFF 1 7FF A3 FFF 123");
        QTRY_COMPARE(lamp(form), kGreen);
        // A screen reader hears of the lamp as its description.
        const auto lampState = [&form] {
            return QAccessible::queryAccessibleInterface(form.findChild<adc::Shape*>("Shape1"))
                ->text(QAccessible::Description);
        };
        QCOMPARE(lampState(), "frame complete");

        // Counted and yellow at its STX; decoded at its CR against the ranges reset meanwhile.
        const std::string next = frame("010 020 030 040 050 060 070 080");
        pty.write(next.substr(0, 10));
        QTRY_COMPARE(text(form, kCountBox), "2");
        QTRY_COMPARE(lamp(form), kYellow);
        QCOMPARE(lampState(), "frame arriving");
        click(form, 5);
        QCOMPARE(text(form, kCountBox), "0");
        QCOMPARE(text(form, valueBox(0)), "000");
        pty.write(next.substr(10));
        QTRY_COMPARE(lamp(form), kGreen);
        QCOMPARE(column(form, valueBox), "010 020 030 040 050 060 070 080");
        QCOMPARE(column(form, minBox), "10 20 30 40 50 60 70 80");
        QCOMPARE(text(form, kCountBox), "0");

        click(form, 4); // DEC
        pty.write(frame("FFF 000 00A 800 001 002 003 004"));
        QTRY_COMPARE(text(form, kCountBox), "1");
        QCOMPARE(column(form, valueBox), "4095 0 10 2048 1 2 3 4");
        QCOMPARE(column(form, maxBox), "4095 0 10 2048 1 2 3 4");
        QCOMPARE(column(form, minBox), "4095 0 10 2048 1 2 3 4");
    }

    void deviceGoneReportsOnceAndKeepsTheReadings()
    {
        PtyPair pty;
        adc::Form1 form(QString::fromStdString(pty.path()));
        form.show();
        click(form, 1);
        pty.write(frame("111 222 333 444 555 666 777 888") + "\x02" + "123 4");
        QTRY_COMPARE(text(form, kCountBox), "2");

        // Lost in the middle of a frame: what was shown stays, the frame is never decoded.
        pty.closeSlave();
        pty.closeMaster();
        QTRY_COMPARE(messages(form).size(), 1);
        QTRY_VERIFY(button(form, 1)->isEnabled());
        const QString message = messages(form).constFirst()->text();
        QVERIFY2(message.contains(QString::fromStdString(pty.path())) &&
                     message.contains(QStringLiteral("removed")),
                 qPrintable(message));
        QTest::qWait(100); // no second box for the same loss
        QCOMPARE(messages(form).size(), 1);
        QCOMPARE(column(form, maxBox), "111 222 333 444 555 666 777 888");
        QCOMPARE(text(form, kCountBox), "2");
        QTRY_COMPARE(lamp(form), kYellow);
        messages(form).constFirst()->accept();
        QTRY_COMPARE(messages(form).size(), 0);
    }

    // With reconnecting on, the port is a symbolic link that the test points at a new device.
    void reconnectsWhenTheDeviceComesBack()
    {
        QTemporaryDir dir;
        const QString port = dir.filePath("converter");
        auto first = std::make_unique<PtyPair>();
        QVERIFY(QFile::link(QString::fromStdString(first->path()), port));
        adc::Form1 form(port);
        form.setReconnect(true);
        form.show();
        click(form, 1);
        first->write(frame("111 222 333 444 555 666 777 888") + "\x02" + "999 9");
        QTRY_COMPARE(text(form, kCountBox), "2");

        first.reset(); // unplugged
        QTRY_COMPARE(messages(form).size(), 1);
        QVERIFY(messages(form).constFirst()->text().contains("Reconnecting"));
        QVERIFY(!button(form, 1)->isEnabled());
        PtyPair second;
        QVERIFY(QFile::remove(port) && QFile::link(QString::fromStdString(second.path()), port));
        QTRY_COMPARE_WITH_TIMEOUT(messages(form).size(), 0, 5000);

        // The frame cut by the loss is dropped; readings, ranges and count carry on.
        second.write(frame("001 002 003 004 005 006 007 008"));
        QTRY_COMPARE(text(form, kCountBox), "3");
        QCOMPARE(column(form, valueBox), "001 002 003 004 005 006 007 008");
        QCOMPARE(column(form, maxBox), "111 222 333 444 555 666 777 888");
        QCOMPARE(column(form, minBox), "1 2 3 4 5 6 7 8");
        QVERIFY(!button(form, 1)->isEnabled());
    }

    void exitEndsTheProgramAtOnceAndReleasesThePort_data()
    {
        QTest::addColumn<bool>("viaCloseButton");
        QTest::newRow("EXIT") << false;
        QTest::newRow("close button") << true;
    }

    void exitEndsTheProgramAtOnceAndReleasesThePort()
    {
        QFETCH(bool, viaCloseButton);
        PtyPair pty;
        adc::Form1 form(QString::fromStdString(pty.path()));
        form.show();
        click(form, 1);
        const std::string half = frame("123 123 123 123 123 123 123 123");
        pty.write(half.substr(0, 12));
        QTRY_COMPARE(lamp(form), kYellow);

        QTimer::singleShot(0, &form, [&] { viaCloseButton ? void(form.close()) : click(form, 2); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QSerialPort other(QString::fromStdString(pty.path()));
        QVERIFY2(other.open(QIODevice::ReadOnly), qPrintable(other.errorString()));
        // The half-received frame is never decoded.
        pty.write(half.substr(12));
        QCoreApplication::processEvents();
        QCOMPARE(text(form, valueBox(0)), QString());
    }
};

QTEST_MAIN(Form1BehaviourTest)
#include "form1_behaviour_test.moc"
