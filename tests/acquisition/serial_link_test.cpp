#include "pty_pair.h"
#include "reception.h"
#include "recording_window.h"
#include "serial_link.h"

#include <QSignalSpy>
#include <QTest>
#include <sys/resource.h>
#include <thread>

using adc::test::frame;
using adc::test::PtyPair;

namespace {

const std::string kFirst = frame("111", "222", "333", "444", "555", "666", "777", "888");
const std::string kSecond = frame("001", "002", "003", "004", "005", "006", "007", "008");

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

/// One monitor's worth of reception behind a serial link, with spies on its signals.
struct Rig
{
    adc::MonitorState state;
    adc::test::RecordingWindow window;
    adc::Reception reception{state, window};
    adc::SerialLink link{reception};
    QSignalSpy started{&link, &adc::SerialLink::receivingStarted};
    QSignalSpy failed{&link, &adc::SerialLink::failed};
    QSignalSpy stopped{&link, &adc::SerialLink::stopped};

    Rig() { adc::resetStatistics(state, window); }
};

} // namespace

class SerialLinkTest : public QObject
{
    Q_OBJECT

private slots:
    void discardsWhatArrivedBeforeTheStart()
    {
        PtyPair pty;
        pty.write(kFirst + "\x02"
                           "999");
        Rig rig;
        QVERIFY(rig.link.start(QString::fromStdString(pty.path())));
        QCOMPARE(rig.started.count(), 1);
        QVERIFY(rig.link.readBufferSize() == 0 || rig.link.readBufferSize() >= 5000);

        pty.write(kSecond);
        QTRY_COMPARE(rig.state.frameCount, 1);
        QCOMPARE(rig.window.text(adc::valueBox(0)), std::string("001"));
        QCOMPARE(rig.window.text(adc::valueBox(7)), std::string("008"));
        QCOMPARE(rig.failed.count(), 0);

        // A second START while receiving changes nothing.
        QVERIFY(rig.link.start(QString::fromStdString(pty.path())));
        QCOMPARE(rig.started.count(), 1);
        rig.link.stop();
        QCOMPARE(rig.stopped.count(), 1);
        QVERIFY(!rig.link.isReceiving());
    }

    void missingPortFailsOnceAndCanBeRetried()
    {
        Rig rig;
        QVERIFY(!rig.link.start(QStringLiteral("/dev/adc-monitor-no-such-port")));
        QCOMPARE(rig.failed.count(), 1);
        const QString message = rig.failed.at(0).at(0).toString();
        QVERIFY2(message.contains(QStringLiteral("/dev/adc-monitor-no-such-port")),
                 qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("No such file"), Qt::CaseInsensitive),
                 qPrintable(message));
        QCOMPARE(rig.started.count(), 0);
        QVERIFY(!rig.link.isReceiving());

        PtyPair pty;
        QVERIFY(rig.link.start(QString::fromStdString(pty.path())));
        QCOMPARE(rig.failed.count(), 1);
    }

    void busyPortFailsOnce()
    {
        PtyPair pty;
        Rig holder;
        QVERIFY(holder.link.start(QString::fromStdString(pty.path())));
        Rig second;
        QVERIFY(!second.link.start(QString::fromStdString(pty.path())));
        QCOMPARE(second.failed.count(), 1);
        const QString message = second.failed.at(0).at(0).toString();
        QVERIFY2(message.contains(QString::fromStdString(pty.path())), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("another program")), qPrintable(message));
        QVERIFY(!second.link.isReceiving());
        QCOMPARE(holder.failed.count(), 0);

        // Stopping releases the port for the next program.
        holder.link.stop();
        QVERIFY(second.link.start(QString::fromStdString(pty.path())));
    }

    void manyFramesInOneWriteLoseNothing()
    {
        PtyPair pty;
        Rig rig;
        QVERIFY(rig.link.start(QString::fromStdString(pty.path())));
        std::string stream;
        for (int i = 0; i < 10000; ++i)
            stream += i % 2 == 0 ? kFirst : kSecond;
        // The pty holds only a few KiB, so the writer must run beside the event loop.
        std::thread writer([&] { pty.write(stream); });
        QTRY_COMPARE_WITH_TIMEOUT(rig.state.frameCount, 10000, 20000);
        writer.join();
        QCOMPARE(rig.window.text(adc::valueBox(3)), std::string("004"));
        QCOMPARE(rig.state.max[3], 0x444);
        QCOMPARE(rig.state.min[3], 4);
    }

    void deviceGoneMidFrameFailsOnceAndKeepsTheDisplay()
    {
        PtyPair pty;
        Rig rig;
        QVERIFY(rig.link.start(QString::fromStdString(pty.path())));
        pty.closeSlave();
        pty.write(kFirst + kSecond.substr(0, 9));
        QTRY_COMPARE(rig.state.frameCount, 2);
        QCOMPARE(rig.window.lamp, adc::kLampReceiving);

        pty.closeMaster();
        QTRY_COMPARE(rig.failed.count(), 1);
        QCOMPARE(rig.stopped.count(), 1);
        QVERIFY(!rig.link.isReceiving());
        const QString message = rig.failed.at(0).at(0).toString();
        QVERIFY2(message.contains(QString::fromStdString(pty.path())), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("removed")), qPrintable(message));

        // A vanished device must not keep the loop busy or repeat its error.
        const double cpuBefore = cpuSeconds();
        QTest::qWait(500);
        QVERIFY2(cpuSeconds() - cpuBefore < 0.2, "event loop spins after the device went away");
        QCOMPARE(rig.failed.count(), 1);
        QCOMPARE(rig.state.frameCount, 2);
        QCOMPARE(rig.window.text(adc::valueBox(0)), std::string("111"));
        QCOMPARE(rig.window.lamp, adc::kLampReceiving);
    }
};

QTEST_GUILESS_MAIN(SerialLinkTest)
#include "serial_link_test.moc"
