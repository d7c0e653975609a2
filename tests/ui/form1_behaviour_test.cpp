#include "tests/support/pty_pair.h"
#include "ui/box.h"
#include "ui/form1.h"
#include "ui/port_dialog.h"
#include "ui/shape.h"
#include "ui/window_placement.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
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
#include <QToolTip>
#include <chrono>
#include <memory>

using adc::kCountBox;
using adc::maxBox;
using adc::minBox;
using adc::valueBox;
using adc::test::frame;
using adc::test::PtyPair;

namespace {

const QString kMissingPort = QStringLiteral("/dev/adc-monitor-no-such-port-form");
const QColor kYellow(255, 255, 128);
const QColor kGreen(0, 255, 0);

QString portOf(const PtyPair& pty)
{
    return QString::fromStdString(pty.path());
}

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
    static QAccessibleInterface* reader(QObject* o)
    {
        return QAccessible::queryAccessibleInterface(o);
    }
    /// What a screen reader hears of the lamp.
    static QString lampSays(const Form& f)
    {
        return reader(f.findChild<adc::Shape*>("Shape1"))->text(QAccessible::Description);
    }
    static auto messages(const Form& f) { return f.findChildren<QMessageBox*>(); }
    /// Right-clicks the window's background and returns the menu's action called `text`.
    static QAction* menuAction(Form& f, const QString& text)
    {
        qDeleteAll(f.findChildren<QMenu*>());
        QContextMenuEvent event(QContextMenuEvent::Mouse, {5, 5}, f.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&f, &event);
        for (QAction* action : f.findChild<QMenu*>()->actions())
            if (action->text() == text)
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
    // A screen reader finds every box by a name of its own, with the text it shows, and the
    // lamp as a named picture; the outline is decoration. Keys in a box press nothing, and what
    // is typed there stays until the box is next written. A failure is reported once however
    // often it happens, and its message blocks nothing: each button has its own effect
    // meanwhile, and EXIT ends the program.
    void startsResetAndEveryButtonWorksWhileAFailureIsShown()
    {
        Form form(kMissingPort);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTRY_COMPARE(lamp(form), QColor(Qt::black));
        QAccessibleInterface* lampReader = reader(form.findChild<adc::Shape*>("Shape1"));
        QCOMPARE(lampReader->text(QAccessible::Name), "activity lamp");
        QCOMPARE(lampReader->role(), QAccessible::Graphic);
        QCOMPARE(lampSays(form), "idle");
        QCOMPARE(reader(form.findChild<adc::Shape*>("Shape2"))->role(), QAccessible::Client);
        QStringList values;
        QAccessible::setActive(true); // as when a screen reader starts
        for (int n = 1; n <= adc::kBoxCount; ++n) {
            const QString column = QStringList{"value", "max", "min"}.value((n - 1) / 8);
            QCOMPARE(reader(box(form, n))->text(QAccessible::Name),
                     n == kCountBox ? "frame count" : QString("AD%1 ").arg((n - 1) % 8) + column);
            values << reader(box(form, n))->text(QAccessible::Value);
        }
        QAccessible::setActive(false);
        // As a reset leaves them, and the value boxes empty.
        QCOMPARE(values.join(','), ",,,,,,,,0,0,0,0,0,0,0,0,FFF,FFF,FFF,FFF,FFF,FFF,FFF,FFF,0");

        int presses = 0;
        for (int n = 1; n <= 5; ++n)
            connect(button(form, n), &QPushButton::clicked, &form, [&presses] { ++presses; });
        for (int n : {valueBox(0), minBox(2)}) {
            box(form, n)->setFocus();
            QTest::keyClicks(box(form, n), "12");
            for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
                QTest::keyClick(box(form, n), key);
        }
        QCOMPARE(presses, 0);
        QCOMPARE(text(form, minBox(2)), "FFF12");

        click(form, 1);
        click(form, 1);
        QCOMPARE(messages(form).size(), 1);
        QMessageBox* message = messages(form).constFirst();
        QVERIFY(message->isVisible());
        QCOMPARE(message->windowTitle(), QStringLiteral(" A/D Test (8ch)"));
        QVERIFY2(message->text().contains(kMissingPort), qPrintable(message->text()));
        QVERIFY(button(form, 1)->isEnabled() && !form.isReceiving());
        QVERIFY2(!QApplication::activeModalWidget(), "the message blocks the window");

        // RESET keeps the mode that HEX and DEC choose; the first also rewrites the typed text.
        for (auto [button, min] : {std::pair{5, "FFF"}, {4, "4095"}, {5, "4095"}, {3, "FFF"}}) {
            form.setBoxText(kCountBox, "7");
            form.setBoxText(maxBox(1), "7");
            click(form, button);
            QCOMPARE(column(form, minBox), QStringList(8, min).join(' '));
            QCOMPARE(column(form, maxBox), "0 0 0 0 0 0 0 0");
            QCOMPARE(text(form, kCountBox), "0");
        }
        QCOMPARE(text(form, valueBox(0)), "12");
        QTimer::singleShot(0, &form, [&] { click(form, 2); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    // With a profile each value box names its channel and gives the value in its unit; a box
    // whose number lies outside the limits turns red, and an extreme stays red until RESET.
    void aProfileNamesTheValuesAndKeepsAnExcursionInViewUntilReset()
    {
        adc::Profile profile;
        adc::ChannelProfile& battery = profile.channel(0);
        battery.name = "Battery";
        battery.unit = "V";
        battery.calibration = adc::Calibration::line({0, 0.0}, {4095, 16.5});
        battery.decimals = 2;
        battery.limits = adc::ValueRange{11.5, 12.6};
        PtyPair pty;
        Form form(portOf(pty));
        form.setProfile(profile);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.boxDescription(valueBox(0)), "Battery: no reading yet");
        QCOMPARE(form.boxDescription(valueBox(1)), "AD1: no reading yet");
        const auto red = [&form](int n) {
            const QColor c = box(form, n)->grab().toImage().pixelColor(4, 11);
            return c.red() > 200 && c.green() < 150 && form.isAlarmed(n);
        };
        const auto plain = [&form](int n) {
            const QColor c = box(form, n)->grab().toImage().pixelColor(4, 11);
            return c.green() > 200 && !form.isAlarmed(n);
        };
        click(form, 1);
        pty.write(frame("BA2 000 000 000 000 000 000 000")); // 12.00 V
        QTRY_COMPARE(text(form, valueBox(0)), "BA2");
        QCOMPARE(form.boxDescription(valueBox(0)), "Battery: 12.00 V");
        // A tooltip, asked for, says the same.
        QHelpEvent help(QEvent::ToolTip, {5, 5}, box(form, valueBox(0))->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(box(form, valueBox(0)), &help);
        QTRY_COMPARE(QToolTip::text(), "Battery: 12.00 V");
        QVERIFY(plain(valueBox(0)) && plain(maxBox(0)) && plain(minBox(0)));

        pty.write(frame("C80 000 000 000 000 000 000 000")); // 12.89 V
        QTRY_COMPARE(text(form, valueBox(0)), "C80");
        QVERIFY(red(valueBox(0)) && red(maxBox(0)) && plain(minBox(0)));
        QCOMPARE(form.boxDescription(valueBox(0)), "Battery: 12.89 V, outside 11.50..12.60 V");
        QCOMPARE(form.boxDescription(maxBox(0)),
                 "Battery, highest reading: 12.89 V, outside 11.50..12.60 V");
        // A screen reader hears it as the boxes change.
        QAccessible::setActive(true);
        pty.write(frame("C80 000 000 000 000 000 000 000"));
        QTRY_COMPARE(reader(box(form, valueBox(0)))->text(QAccessible::Description),
                     "Battery: 12.89 V, outside 11.50..12.60 V");
        QCOMPARE(reader(box(form, minBox(0)))->text(QAccessible::Description),
                 "Battery, lowest reading: 12.00 V");
        QAccessible::setActive(false);

        // The table of channels: values in the unit, the row outside marked, copied as text.
        form.showChannels();
        adc::ChannelsWindow* table = form.channelsWindow();
        QVERIFY(table && table->isVisible());
        const auto row = [table](int k) { return table->tableText().split('\n').at(k + 1); };
        QVERIFY2(row(0).startsWith("AD0\tBattery\t12.89 V\t12.00 V\t12.89 V\t12.447 V\t0.633 V\t"
                                   "11.50..12.60 V\t1\t"),
                 qPrintable(row(0)));
        QCOMPARE(row(1), "AD1\tAD1\t0\t0\t0\t0.0\t0.0\t\u2013\t\u2013\t\u2013");
        QVERIFY(table->isMarked(0) && !table->isMarked(1));
        QTest::mouseClick(table->findChild<QPushButton*>("Copy"), Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(), table->tableText());
        QCOMPARE(table->tableText().section('\n', 0, 0),
                 "Channel\tName\tValue\tMin\tMax\tMean\tStd dev\tLimits\tOutside\tLast excursion");

        pty.write(frame("BA2 000 000 000 000 000 000 000"));
        QTRY_VERIFY(plain(valueBox(0)));
        QVERIFY2(red(maxBox(0)), "the excursion stays in view");
        QVERIFY(plain(valueBox(1)) && plain(maxBox(1)));

        click(form, 5);
        QVERIFY(plain(maxBox(0)) && plain(valueBox(0)));
        QTRY_VERIFY(row(0).startsWith("AD0\tBattery\t12.00 V\t\u2013\t")); // within a moment
        QVERIFY(!table->isMarked(0));
        table->close();
        QTRY_VERIFY(!form.channelsWindow());                            // closing frees it
        QCOMPARE(form.boxDescription(valueBox(0)), "Battery: 12.00 V"); // as the box shows it
    }

    // A rotating recording: the "COM1 only" tooltip names the file being written, the new one
    // after each switch.
    void thePortsTooltipNamesTheFileOfARotationBeingWritten()
    {
        PtyPair pty;
        QTemporaryDir dir;
        Form form(portOf(pty));
        adc::Rotation rotation;
        rotation.maxBytes = 1024;
        form.recording().setRotation(rotation);
        QCOMPARE(form.recording().startRecording(dir.filePath("run.csv")), QString());
        auto* portLabel = form.findChild<QLabel*>("Label9");
        const QString first = form.recording().recordingPath();
        QVERIFY(first.startsWith(dir.filePath("run-")) && first.endsWith(".csv"));
        QCOMPARE(portLabel->toolTip(), "Receives on " + portOf(pty) + "\nRecords to " + first);
        click(form, 1);
        std::string frames;
        for (int i = 0; i < 30; ++i)
            frames += frame("001 002 003 004 005 006 007 008");
        pty.write(frames);
        QTRY_COMPARE(text(form, kCountBox), "30");
        const QString now = form.recording().recordingPath();
        QVERIFY(now != first);
        QCOMPARE(portLabel->toolTip(), "Receives on " + portOf(pty) + "\nRecords to " + now);
    }

    // The menu records to a file chosen in a dialog that blocks nothing; a reset shows in the
    // file as the count starting again. A write error stops the recording, not the display.
    void recordsFromTheMenuUntilStoppedOrAWriteFails()
    {
        PtyPair pty;
        QTemporaryDir dir;
        const QString path = dir.filePath("run.csv");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("an older run\n") > 0 && old.flush());
        Form form(portOf(pty));
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
        QCOMPARE(portLabel->toolTip(), "Receives on " + portOf(pty) + "\nRecords to " + path);

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
        // Without the time and the elapsed seconds.
        QByteArrayList rows;
        for (const QByteArray& row : contents(path).split('\n'))
            rows << row.split(',').mid(2).join(',');
        QCOMPARE(rows, QByteArrayList({"frame,AD0,AD1,AD2,AD3,AD4,AD5,AD6,AD7\r",
                                       "1,1,2,3,4,5,6,7,4095\r", "1,10,11,12,13,14,15,16,17\r",
                                       "2,2048,2048,2048,2048,2048,2048,2048,2048\r", ""}));

        QCOMPARE(form.recording().startRecording("/dev/full"), QString());
        pty.write(frame("001 001 001 001 001 001 001 001"));
        QTRY_COMPARE(messages(form).size(), 1);
        QVERIFY(messages(form).constFirst()->text().contains(
            "Recording to /dev/full stopped: No space left on device"));
        QVERIFY(!form.recording().isRecording());
        pty.write(frame("002 002 002 002 002 002 002 002"));
        QTRY_COMPARE(text(form, kCountBox), "4");
        QCOMPARE(messages(form).size(), 1);

        // A recording replaced by another, and one ended by EXIT, has every row in its file at
        // once, not only within the flush interval.
        const QString last = dir.filePath("last.csv");
        const QString next = dir.filePath("next.csv");
        QCOMPARE(form.recording().startRecording(last), QString());
        pty.write(frame("003 003 003 003 003 003 003 003"));
        QTRY_COMPARE(text(form, kCountBox), "5");
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
        Form form(portOf(pty));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        click(form, 1);
        const auto interval =
            std::chrono::duration_cast<std::chrono::milliseconds>(form.refreshInterval());
        QSignalSpy updates(&form, &adc::Form1::displayUpdated);
        // What the boxes show the moment the window has taken a batch in: shown at once, or
        // left for later. Judged by order, not by the clock, so a busy machine cannot fake it.
        QStringList shownAtOnce;
        connect(&form.session(), &adc::MonitorSession::batchProcessed, this,
                [&] { shownAtOnce << text(form, kCountBox) + "|" + text(form, valueBox(7)); });
        QTest::qWait(100);
        pty.write(frame("7FF 7FF 7FF 7FF 7FF 7FF 7FF 7FF"));
        QTRY_COMPARE_WITH_TIMEOUT(text(form, kCountBox), "1", 1000);
        QCOMPARE(shownAtOnce.value(0), "1|7FF"); // not held back after a quiet spell

        // A frame that comes in two reads: its start waits, and its end is not held back by the
        // start's update. Where the machine is so slow that the start's wait is over before its
        // end comes, another frame is tried.
        connect(&form, &adc::Form1::displayUpdated, this, [&] { shownAtOnce << "update"; });
        bool decided = false;
        for (int attempt = 1; attempt <= 5 && !decided; ++attempt) {
            QTest::qWait(100);
            const QString before = text(form, kCountBox) + "|" + text(form, valueBox(7));
            const QString end =
                QString("%1|12%2").arg(text(form, kCountBox).toInt() + 1).arg(attempt);
            shownAtOnce.clear();
            pty.write("\x02"
                      "001 001 001 001");
            QTRY_VERIFY_WITH_TIMEOUT(!shownAtOnce.isEmpty(), 1000);
            QCOMPARE(shownAtOnce.first(), before); // the start alone waits
            pty.write(" 001 001 001 12" + std::to_string(attempt) + "\r");
            QTRY_COMPARE_WITH_TIMEOUT(shownAtOnce.filter("|").size(), 2, 1000);
            decided = shownAtOnce == QStringList{before, "update", end};
            QVERIFY2(decided || (shownAtOnce.size() == 3 && shownAtOnce[1] == "update"),
                     qPrintable(shownAtOnce.join(", ")));
        }
        QVERIFY2(decided, "the start of a frame was always shown before its end");
        const int counted = text(form, kCountBox).toInt();

        updates.clear();
        QElapsedTimer since;
        since.start();
        for (int i = 1; i <= 300; ++i) {
            const auto v = static_cast<std::uint16_t>(0x7FF + (i % 2 ? i : -i));
            pty.write(adc::formatFrame({v, 0x800, 0x800, 0x800, 0x800, 0x800, 0x800, v}));
            QTest::qWait(1);
        }
        QTRY_COMPARE(text(form, kCountBox), QString::number(counted + 300));
        const auto most = since.elapsed() / interval.count() + 2;
        QVERIFY2(
            updates.size() <= most && updates.size() >= 5,
            qPrintable(QString("%1 updates in %2 ms").arg(updates.size()).arg(since.elapsed())));
        QCOMPARE(text(form, valueBox(0)), "6D3"); // the last frame: 0x7FF - 300
        QCOMPARE(text(form, maxBox(0)), "92A");   // 0x7FF + 299
        QCOMPARE(text(form, minBox(7)), "121");
    }

    // The window's own menu chooses the port for the next START, and only while not receiving,
    // and opens the chart. A frame is shown at its CR, and counted with the lamp yellow at its
    // STX. EXIT and the close button end the program at once and release the port; a frame half
    // received is dropped.
    void receivesOnThePortChosenFromTheMenuUntilExit_data()
    {
        QTest::addColumn<bool>("viaCloseButton");
        QTest::newRow("EXIT") << false;
        QTest::newRow("close button") << true;
    }

    void receivesOnThePortChosenFromTheMenuUntilExit()
    {
        QFETCH(bool, viaCloseButton);
        PtyPair pty;
        const QString chosen = portOf(pty);
        Form form(kMissingPort);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* portLabel = form.findChild<QLabel*>("Label9");
        QVERIFY(portLabel->toolTip().contains(kMissingPort));
        QAction* choose = menuAction(form, "Serial port\u2026");
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
        QVERIFY2(QSerialPort(chosen).open(QIODevice::ReadOnly), "held before START");
        menuAction(form, "Plot")->trigger();
        QPointer<adc::ChartWindow> chart = form.chartWindow();
        QVERIFY(chart && chart->isVisible());
        // Wider than the room beside the window on this screen (wider than the screen, even): it
        // opens on the screen, as far in as it can.
        const QRect area = form.screen()->availableGeometry();
        const QRect placed = chart->frameGeometry();
        QVERIFY(area.contains(placed.topLeft()));
        QVERIFY(placed.right() <= area.right() || placed.left() == area.left());
        QCOMPARE(placed.topLeft(), adc::placeBeside(form.frameGeometry(), placed.size(), area));

        click(form, 1);
        QVERIFY(form.isReceiving() && !button(form, 1)->isEnabled());
        QVERIFY(!menuAction(form, "Serial port\u2026")->isEnabled());
        pty.write("xyz" + frame("000 800 FFF 001 7FF 0A3 fff 123"));
        QTRY_COMPARE(text(form, kCountBox), "1");
        QCOMPARE(column(form, valueBox), "000 800 FFF 001 7FF 0A3 fff 123");
        QTRY_COMPARE(lamp(form), kGreen);
        QCOMPARE(lampSays(form), "frame complete");

        // The one chart takes the frames, and a reset leaves it as it was; closed, it is freed
        // while frames go on arriving.
        click(form, 5);
        std::vector<adc::ReadingRange> columns;
        const adc::StripBuffer& held = chart->buffer();
        held.ranges(held.newestNs() + 1 - held.spanNs(), held.spanNs() / 10, 10, columns);
        QCOMPARE(columns.back().high[7], 0x123);
        form.showChart();
        QCOMPARE(form.findChildren<adc::ChartWindow*>().size(), 1);
        chart->close();
        QTRY_VERIFY(chart.isNull() && !form.chartWindow());

        const std::string next = frame("010 020 030 040 050 060 070 080");
        pty.write(frame("001 002 003 004 005 006 007 008") + next.substr(0, 10));
        QTRY_COMPARE(text(form, kCountBox), "2");
        QTRY_COMPARE(lamp(form), kYellow);
        QCOMPARE(lampSays(form), "frame arriving");

        QTimer::singleShot(0, &form, [&] { viaCloseButton ? void(form.close()) : click(form, 2); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QSerialPort other(chosen);
        QVERIFY2(other.open(QIODevice::ReadOnly), qPrintable(other.errorString()));
        pty.write(next.substr(10));
        QCoreApplication::processEvents();
        QCOMPARE(text(form, valueBox(0)), "001");
    }

    // Lost in the middle of a frame, the device is reported once; what was shown stays and the
    // frame is never decoded. With reconnecting on, the port is a symbolic link that the test
    // points at a new device, and readings, ranges and count carry on.
    void aLostDeviceKeepsTheReadings_data()
    {
        QTest::addColumn<bool>("reconnect");
        QTest::newRow("stops") << false;
        QTest::newRow("reconnects") << true;
    }

    void aLostDeviceKeepsTheReadings()
    {
        QFETCH(bool, reconnect);
        QTemporaryDir dir;
        const QString port = dir.filePath("converter");
        auto first = std::make_unique<PtyPair>();
        QVERIFY(QFile::link(portOf(*first), port));
        Form form(port);
        form.setReconnect(reconnect);
        form.show();
        click(form, 1);
        first->write(frame("111 222 333 444 555 666 777 888") + "\x02" + "123 4");
        QTRY_COMPARE(text(form, kCountBox), "2");

        first.reset(); // unplugged
        QTRY_COMPARE(messages(form).size(), 1);
        QTRY_COMPARE(button(form, 1)->isEnabled(), !reconnect);
        const QString message = messages(form).constFirst()->text();
        QVERIFY2(message.contains("/converter") && message.contains("removed") &&
                     message.contains("Reconnecting") == reconnect,
                 qPrintable(message));
        QCOMPARE(column(form, maxBox), "111 222 333 444 555 666 777 888");
        QCOMPARE(text(form, kCountBox), "2");
        QTRY_COMPARE(lamp(form), kYellow);
        if (!reconnect)
            return;

        PtyPair second;
        QVERIFY(QFile::remove(port) && QFile::link(portOf(second), port));
        QTRY_COMPARE_WITH_TIMEOUT(messages(form).size(), 0, 5000);
        second.write(frame("001 002 003 004 005 006 007 008"));
        QTRY_COMPARE(text(form, kCountBox), "3");
        QCOMPARE(column(form, maxBox), "111 222 333 444 555 666 777 888");
        QCOMPARE(column(form, minBox), "1 2 3 4 5 6 7 8");
        QVERIFY(!button(form, 1)->isEnabled());
    }
};

QTEST_MAIN(Form1BehaviourTest)
#include "form1_behaviour_test.moc"
