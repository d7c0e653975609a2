#include "session/monitor_session.h"
#include "tests/support/pty_pair.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <vector>

using adc::MonitorSession;
using adc::test::frame;
using adc::test::PtyPair;

namespace {

QString portOf(const PtyPair& pty)
{
    return QString::fromStdString(pty.path());
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// A consumer that writes down what it gets, and may act on a frame.
struct Consumer : adc::ReadingsObserver
{
    Consumer(std::vector<std::string>& log, std::string name) : log(log), name(std::move(name)) {}
    void frameDecoded(const adc::FrameReadings& readings, std::int64_t frame) override
    {
        log.push_back(name + std::to_string(frame) + ":" + std::to_string(readings[0]));
        if (onFrame)
            onFrame(frame);
    }
    std::vector<std::string>& log;
    std::string name;
    std::function<void(std::int64_t)> onFrame;
};

} // namespace

class MonitorSessionTest : public QObject
{
    Q_OBJECT

private slots:
    // Statistics, the recording and the consumers each get every frame once, in the order they
    // were added, until the run ends; the rest of that batch reaches nobody.
    void everyFrameReachesEveryConsumerOnceUntilTheRunEnds()
    {
        QTemporaryDir dir;
        const QString csv = dir.filePath("run.csv");
        PtyPair pty;
        MonitorSession session(MonitorSession::Face::Unattended);
        adc::ChannelLimits limits;
        limits[0] = {true, 0, 0x100};
        session.setLimits(limits);
        session.setPortName(portOf(pty));
        std::vector<std::string> log;
        Consumer first(log, "a"), second(log, "b"), removed(log, "x");
        session.addConsumer(&first);
        session.addConsumer(&removed);
        session.addConsumer(&second);
        session.removeConsumer(&removed);
        second.onFrame = [&](std::int64_t frame) {
            if (frame == 2)
                session.endRun();
        };
        session.reset();
        QCOMPARE(session.recording().arm(csv, {}, adc::OpenMode::Create), QString());
        QVERIFY(session.start());
        QVERIFY(session.isReceiving());

        QSignalSpy batches(&session, &MonitorSession::batchProcessed);
        pty.write(frame("0FF 000 000 000 000 000 000 000") + frame("101 0 0 0 0 0 0 0") +
                  frame("002 0 0 0 0 0 0 0") + frame("003 0 0 0 0 0 0 0"));
        QTRY_COMPARE(session.state().frameCount, 4);
        QVERIFY(batches.count() >= 1);
        QCOMPARE(log, (std::vector<std::string>{"a1:255", "b1:255", "a2:257", "b2:257"}));
        QCOMPARE(session.statistics().frames(), 2);
        QVERIFY(!session.statistics().allLimitsMet());
        QCOMPARE(session.reception().framesDecoded(), 4);

        // The display is the one consumer that goes on: it shows what the line brings.
        std::string shown;
        session.display().flush(
            [&](int box, std::string_view text) {
                if (box == adc::valueBox(0))
                    shown = text;
            },
            [](adc::Colour) {});
        QCOMPARE(shown, std::string("003"));

        session.close();
        QVERIFY(!session.isReceiving());
        QVERIFY(!session.recording().isRecording());
        const QList<QByteArray> rows = contents(csv).split('\n');
        QCOMPARE(rows.size(), 4); // the header, two rows, nothing after the last line end
        QVERIFY(rows[1].endsWith(",1,255,0,0,0,0,0,0,0\r"));
        QVERIFY(rows[2].endsWith(",2,257,,,,,,,\r")); // "0" is no field of three digits
    }

    // STOP writes out every row at once and frees the port; the port can then be changed and
    // opened again, but not while receiving.
    void stopWritesOutTheRecordingAndFreesThePort()
    {
        QTemporaryDir dir;
        const QString csv = dir.filePath("run.csv");
        PtyPair pty, other;
        MonitorSession session(MonitorSession::Face::Window);
        QSignalSpy stopped(&session, &MonitorSession::stopped);
        session.setPortName(portOf(pty));
        QCOMPARE(session.recording().startRecording(csv), QString());
        QCOMPARE(session.totals().durationNs, 0);
        QVERIFY(session.start());
        QVERIFY(session.start()); // it runs already
        session.setPortName(portOf(other));
        QCOMPARE(session.portName(), portOf(pty));

        pty.write(frame("001 002 003 004 005 006 007 008"));
        QTRY_COMPARE(session.state().frameCount, 1);
        // The totals run with reception and stop with it.
        const adc::RunTotals receiving = session.totals();
        QVERIFY(receiving.durationNs > 0);
        QCOMPARE(receiving.bytesReceived, 33);
        session.stop();
        const std::int64_t ran = session.totals().durationNs;
        QVERIFY(ran >= receiving.durationNs);
        QTest::qWait(20);
        QCOMPARE(session.totals().durationNs, ran);
        QCOMPARE(stopped.count(), 1);
        QVERIFY(!session.isReceiving());
        QVERIFY(session.recording().isRecording());
        QVERIFY(contents(csv).endsWith(",1,1,2,3,4,5,6,7,8\r\n"));

        session.setPortName(portOf(other));
        QCOMPARE(session.portName(), portOf(other));
        QVERIFY(session.start());
        session.stop();
    }

    // The files asked for are made when reception starts: none by a start that fails, and a
    // recording made for a capture that could not start goes again. Its seconds count from
    // that start, not from when it was asked for.
    void filesAreMadeWhenReceptionStarts()
    {
        QTemporaryDir dir;
        const QString csv = dir.filePath("run.csv");
        const QString raw = dir.filePath("run.bin");
        MonitorSession session(MonitorSession::Face::Window);
        QSignalSpy recordingFailed(&session, &MonitorSession::recordingFailed);
        QElapsedTimer sinceArmed;
        sinceArmed.start();
        QCOMPARE(session.recording().arm(csv, raw, adc::OpenMode::Create), QString());
        session.setPortName(dir.filePath("no-such-port"));
        QVERIFY(!session.start());
        QVERIFY(!QFile::exists(csv) && !QFile::exists(raw));

        PtyPair pty;
        session.setPortName(portOf(pty));
        QFile blocking(raw);
        QVERIFY(blocking.open(QIODevice::WriteOnly));
        QVERIFY(!session.start());
        QVERIFY(!session.isReceiving());
        QCOMPARE(recordingFailed.count(), 1);
        QVERIFY(recordingFailed.at(0).at(0).toString().contains("exists already"));
        QVERIFY(!QFile::exists(csv));
        QVERIFY(blocking.remove());

        QTest::qWait(500);
        QVERIFY(session.start());
        QVERIFY(QFile::exists(csv) && QFile::exists(raw));
        QVERIFY(!session.recording().isArmed());
        pty.write(frame("001 002 003 004 005 006 007 008"));
        QTRY_COMPARE(session.recording().recordedRows(), 1);
        const double sinceArmedS = sinceArmed.elapsed() / 1000.0;
        session.stop();
        const QList<QByteArray> row = contents(csv).split('\n').at(1).split(',');
        QVERIFY2(row.at(1).toDouble() <= sinceArmedS - 0.5, row.at(1).constData());
    }

    // A port that cannot be opened is reported once; the way to another port is the one the
    // face in front of the user has.
    void aFailedOpenNamesWhatTheUserCanDo()
    {
        for (const auto face : {MonitorSession::Face::Window, MonitorSession::Face::Unattended}) {
            MonitorSession session(face);
            QSignalSpy failed(&session, &MonitorSession::portFailed);
            session.setPortName("/dev/adc-monitor-no-such-port-session");
            QVERIFY(!session.start());
            QCOMPARE(failed.count(), 1);
            const QString message = failed.at(0).at(0).toString();
            QVERIFY2(message.contains("No such file"), qPrintable(message));
            const bool menu = message.contains("right-click");
            QCOMPARE(menu, face == MonitorSession::Face::Window && !message.contains("No serial"));
        }
    }
};

QTEST_GUILESS_MAIN(MonitorSessionTest)
#include "monitor_session_test.moc"
