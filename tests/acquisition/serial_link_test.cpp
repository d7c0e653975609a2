#include "acquisition/port_messages.h"
#include "acquisition/reception.h"
#include "acquisition/serial_link.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_window.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

using adc::test::frame;
using adc::test::PtyPair;

namespace {

const std::string kFirst = frame("111 222 333 444 555 666 777 888");
const std::string kSecond = frame("001 002 003 004 005 006 007 008");

QString portOf(const PtyPair& pty)
{
    return QString::fromStdString(pty.path());
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
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
    QString message(int i = 0) const { return failed.at(i).at(0).toString(); }
};

} // namespace

class SerialLinkTest : public QObject
{
    Q_OBJECT

private slots:
    void opensAt9600EightNOneRawDiscardsWhatCameBeforeAndHoldsThePort()
    {
        PtyPair pty;
        pty.scrambleSettings();
        pty.write(kFirst + "\x02"
                           "999");
        Rig rig;
        rig.link.stop(); // nothing to stop yet
        QVERIFY(rig.link.start(portOf(pty)));
        QCOMPARE(rig.started.count(), 1);
        QCOMPARE(rig.stopped.count(), 0);
        QCOMPARE(pty.lineSettings(), std::string("9600 8N1"));
        // Bounded (0 would mean unbounded), and roomy enough for a busy window.
        QVERIFY(rig.link.readBufferSize() >= 5000);

        pty.write(kSecond);
        QTRY_COMPARE(rig.state.frameCount, 1);
        QCOMPARE(rig.window.text(adc::valueBox(0)), std::string("001"));
        // A CR that comes on its own ends its frame at once.
        pty.write(kFirst.substr(0, kFirst.size() - 1));
        QTest::qWait(50);
        pty.write(kFirst.substr(kFirst.size() - 1));
        QTRY_COMPARE(rig.window.text(adc::valueBox(0)), std::string("111"));
        QCOMPARE(rig.state.frameCount, 2);

        // A second START while receiving changes nothing; a START after a stop in the middle
        // of a frame forgets that frame.
        QVERIFY(rig.link.start(portOf(pty)));
        QCOMPARE(rig.started.count(), 1);
        pty.write(kFirst.substr(0, 14));
        QTRY_COMPARE(rig.state.frameCount, 3);
        rig.link.stop();
        QCOMPARE(rig.stopped.count(), 1);
        QVERIFY(!rig.link.isReceiving());
        QVERIFY(rig.link.start(portOf(pty)));
        pty.write(kFirst);
        QTRY_COMPARE(rig.state.frameCount, 4);
        QCOMPARE(rig.window.text(adc::valueBox(0)), std::string("111"));
        QCOMPARE(rig.failed.count(), 0);

        // A busy port fails once, says why, and can be had once its holder stops.
        Rig other;
        QVERIFY(!other.link.start(portOf(pty)));
        QCOMPARE(other.failed.count(), 1);
        QVERIFY2(other.message().startsWith("Cannot open serial port " + portOf(pty) + ": ") &&
                     other.message().contains(QStringLiteral("another program")),
                 qPrintable(other.message()));
        QCOMPARE(other.started.count(), 0);
        QVERIFY(!other.link.isReceiving());
        QCOMPARE(rig.failed.count(), 0);
        rig.link.stop();
        QVERIFY(other.link.start(portOf(pty)));
        QCOMPARE(other.failed.count(), 1);
    }

    // Each says what is wrong and names the port, cut in the middle when long.
    void openFailuresSayWhatToDo_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("says");
        QTest::newRow("empty") << QString() << "no serial port given";
        QTest::newRow("lock name too long") << "/tmp/" + QString(300, 'x') << "too long";
        QTest::newRow("missing") << QStringLiteral("/dev/adc-monitor-no-such-port-link")
                                 << "--port";
    }

    void openFailuresSayWhatToDo()
    {
        QFETCH(QString, port);
        QFETCH(QString, says);
        Rig rig;
        QVERIFY(!rig.link.start(port));
        QCOMPARE(rig.failed.count(), 1);
        QVERIFY2(rig.message().contains(says), qPrintable(rig.message()));
        QVERIFY2(rig.message().contains(port.left(20)), qPrintable(rig.message()));
        QVERIFY2(rig.message().size() < 300, qPrintable(rig.message()));
    }

    // A refusal is told by Qt's error code and the device's mode, whatever Qt's wording: a
    // device open to us was refused for its lock, held by another program; one that is not
    // (here: missing) for its mode.
    void permissionErrorsTellAHeldLockByTheDevicesMode()
    {
        PtyPair pty;
        const QString held =
            adc::openFailureMessage(portOf(pty), QSerialPort::PermissionError, "any other text");
        QVERIFY2(held.endsWith("any other text (is another program using it?)"), qPrintable(held));
        const QString missing =
            adc::openFailureMessage("/dev/adc-monitor-no-such-port-link",
                                    QSerialPort::PermissionError, "Permission denied");
        QVERIFY2(!missing.contains("another program"), qPrintable(missing));
    }

    // A user outside the device's group is told which group it is and how to join it; root's
    // group, or a group with no name, is no advice to give.
    void permissionDeniedNamesTheGroupToJoin()
    {
        if (::geteuid() != 0)
            QSKIP("needs root, to give the device to a group and drop to another user");
        const group* dialout = ::getgrnam("dialout");
        QVERIFY(dialout);
        gid_t unnamed = 54321;
        while (::getgrgid(unnamed) != nullptr)
            ++unnamed;
        const struct
        {
            gid_t gid;
            const char* advice;
        } cases[] = {{dialout->gr_gid, "\"dialout\". Add yourself to it with \"sudo adduser $USER "
                                       "dialout\""},
                     {0, nullptr},
                     {unnamed, nullptr}};
        for (const auto& c : cases) {
            PtyPair pty;
            QVERIFY(::chown(pty.path().c_str(), 0, c.gid) == 0);
            QVERIFY(::chmod(pty.path().c_str(), 0660) == 0);
            // The child tells by its exit status, and prints what it was told when that is wrong.
            const pid_t child = ::fork();
            if (child == 0) {
                const passwd* nobody = ::getpwnam("nobody");
                if (!nobody || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 ||
                    ::setuid(nobody->pw_uid) != 0)
                    ::_exit(2);
                Rig rig;
                rig.link.start(portOf(pty));
                const QString m = rig.failed.isEmpty() ? QString() : rig.message();
                const bool ok = m.contains("Permission denied") &&
                                (c.advice ? m.contains(c.advice) : !m.contains("adduser"));
                if (!ok)
                    std::fprintf(stderr, "told: %s\n", qPrintable(m));
                ::_exit(ok ? 0 : 1);
            }
            int status = 0;
            ::waitpid(child, &status, 0);
            QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0,
                     qPrintable(QStringLiteral("device of group %1").arg(c.gid)));
        }
    }

    void manyFramesInOneWriteLoseNothing()
    {
        PtyPair pty;
        Rig rig;
        QVERIFY(rig.link.start(portOf(pty)));
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

    void aSteadyStreamIsGatheredAQuietLineIsNot()
    {
        PtyPair pty;
        Rig rig;
        QSignalSpy batches(&rig.link, &adc::SerialLink::batchProcessed);
        // Reopened first: each open brings the port a new descriptor to watch.
        QVERIFY(rig.link.start(portOf(pty)));
        rig.link.stop();
        QVERIFY(rig.link.start(portOf(pty)));

        // A frame each millisecond, each with readings of its own, as a fast adapter hands them.
        constexpr int kFrames = 300;
        std::thread writer([&] {
            // On a schedule, so that a writer held up by a busy machine catches up at once.
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < kFrames; ++i) {
                const auto v = [](int value) { return static_cast<std::uint16_t>(value); };
                pty.write(adc::formatFrame({v(i), v(kFrames - i), 0, 0, 0, 0, 0, v(i % 16)}));
                std::this_thread::sleep_until(start + std::chrono::milliseconds(i + 1));
            }
        });
        // A real event loop: QTest's waits sleep between rounds and would gather reads themselves.
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (rig.state.frameCount >= kFrames)
                loop.quit();
        });
        check.start(20);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        writer.join();
        QCOMPARE(rig.state.frameCount, kFrames);
        QCOMPARE(rig.window.text(adc::valueBox(0)), std::string("12B"));
        QCOMPARE(rig.state.min[1], 1);
        QCOMPARE(rig.state.max[1], kFrames);
        QVERIFY2(
            batches.count() < kFrames / 2,
            qPrintable(QStringLiteral("%1 reads for %2 frames").arg(batches.count()).arg(kFrames)));

        // After a quiet spell the next frame is read at once, not held for what follows. A held
        // one waits the whole hold every time; a busy machine delays only some.
        qint64 fastest = 1000;
        for (int i = 1; i <= 10 && fastest >= 3; ++i) {
            QTest::qWait(50);
            batches.clear();
            QElapsedTimer sinceWrite;
            sinceWrite.start();
            QVERIFY(pty.write(kFirst));
            QVERIFY(batches.wait(1000));
            fastest = std::min(fastest, sinceWrite.elapsed());
            QCOMPARE(rig.state.frameCount, kFrames + i);
        }
        QVERIFY2(fastest < 3, "a lone frame waited for company");
    }

    void vanishedDeviceCostsNoCpu()
    {
        PtyPair pty;
        Rig rig;
        QVERIFY(rig.link.start(portOf(pty)));
        pty.closeSlave();
        pty.closeMaster();
        QTRY_COMPARE(rig.failed.count(), 1);
        const double before = cpuSeconds();
        QTest::qWait(500);
        QVERIFY2(cpuSeconds() - before < 0.2, "event loop spins after the device went away");
        QCOMPARE(rig.failed.count(), 1);
        QCOMPARE(rig.stopped.count(), 1);
        QVERIFY(!rig.link.isReceiving());
    }
};

QTEST_GUILESS_MAIN(SerialLinkTest)
#include "serial_link_test.moc"
