#include "pty_pair.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

namespace {

using adc::test::frame;
using adc::test::PtyPair;

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The rows of a recording without the time and the elapsed seconds: count and readings.
QList<QByteArray> readingsOf(const QByteArray& csv)
{
    QList<QByteArray> rows;
    for (const QByteArray& line : csv.split('\n').mid(1))
        if (!line.isEmpty())
            rows << line.split(',').mid(2).join(',');
    return rows;
}

/// adc-monitor --headless on a pseudo-terminal the test writes into.
class HeadlessMonitor
{
public:
    HeadlessMonitor(const PtyPair& pty, const QStringList& args)
        : HeadlessMonitor(QString::fromStdString(pty.path()), args)
    {}
    HeadlessMonitor(const QString& port, const QStringList& args)
    {
        m_process.start(ADC_MONITOR_PATH, QStringList{"--headless", "--port", port} + args);
        m_process.waitForStarted();
        // The lock file shows the port open; the moment after it, set-up has thrown away
        // what was there before.
        const QString lock = "/run/lock/LCK.." + QString(port).mid(5).replace('/', '_');
        for (int i = 0; i < 500 && !QFile::exists(lock); ++i)
            if (m_process.waitForFinished(10))
                return;
        QThread::msleep(100);
    }
    ~HeadlessMonitor()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    /// The exit status once the program has ended by itself; -1 when it crashed or hung.
    int exitStatus()
    {
        if ((m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(10000)) ||
            m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        m_out = m_process.readAllStandardOutput();
        m_err = m_process.readAllStandardError();
        return m_process.exitCode();
    }
    void signal(int sig) const { ::kill(static_cast<pid_t>(m_process.processId()), sig); }
    const QByteArray& out() const { return m_out; }
    const QByteArray& err() const { return m_err; }

private:
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

TEST(HeadlessMonitor, RecordsAndCapturesWhatItReceivesAndSumsItUp)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv");
    const QString raw = dir.filePath("run.bin");
    PtyPair pty;
    HeadlessMonitor monitor(pty, {"--frames", "3", "--record", csv, "--capture", raw, "--summary",
                                  "json", "--expect", "AD0=0x001..3"});
    const std::string sent = "noise" + frame("001 FFF 800 000 7ff 0A3 123 456") + "\n\n" +
                             frame("002 FFF 800 000 7ff 0A3 123 456") +
                             frame("003 FFE 801 001 7fe 0A4 124 457");
    // In the same read: a frame past the last one asked for, and the start of another.
    pty.write(sent + frame("004 004 004 004 004 004 004 004") + "\x02" + "999");
    ASSERT_EQ(monitor.exitStatus(), 0) << monitor.err().toStdString();
    EXPECT_EQ(readingsOf(contents(csv)),
              (QList<QByteArray>{"1,1,4095,2048,0,2047,163,291,1110\r",
                                 "2,2,4095,2048,0,2047,163,291,1110\r",
                                 "3,3,4094,2049,1,2046,164,292,1111\r"}));
    EXPECT_TRUE(contents(csv).startsWith("time,elapsed_s,frame,AD0,AD1,AD2,AD3,AD4,AD5,AD6,AD7\r\n"
                                         "20"));
    // Exactly as received: at least up to the last frame asked for, and never anything else.
    const QByteArray captured = contents(raw);
    EXPECT_GE(captured.size(), qsizetype(sent.size()));
    EXPECT_TRUE(
        QByteArray::fromStdString(sent + frame("004 004 004 004 004 004 004 004") + "\x02" + "999")
            .startsWith(captured));
    EXPECT_TRUE(monitor.out().startsWith("{\"frames\":3,")) << monitor.out().toStdString();
    EXPECT_TRUE(monitor.out().contains("\"bytes_outside_frames\":7,"));
    EXPECT_TRUE(monitor.out().contains("\"name\":\"AD0\",\"frames\":3,\"min\":1,"));
    EXPECT_TRUE(monitor.out().endsWith("\"limit\":null,\"pass\":true}],\"pass\":true}\n"));
}

// Each way a run can end shows in its exit status, the lowest that applies; the summary comes
// whenever the port was open.
TEST(HeadlessMonitor, ExitStatusSaysHowTheRunWent)
{
    struct Row
    {
        const char* name;
        QStringList args;
        bool send;
        bool hangUp;
        int status;
        const char* err;
    };
    const std::string frames =
        frame("800 800 800 800 800 800 800 800") + frame("7FF 800 800 800 800 800 800 801");
    const Row rows[] = {
        {"limits met at both ends",
         {"--expect", "AD0=0x7FF..2048", "--expect", "AD7=0..0x801"},
         true,
         false,
         0,
         ""},
        {"a limit failed", {"--expect", "AD0,AD7=0x7FF..0x800"}, true, false, 3, ""},
        {"no frame", {}, false, false, 4, ""},
        {"recording failed",
         {"--record", "/dev/full"},
         true,
         false,
         5,
         "Recording to /dev/full stopped: No space left on device"},
        {"recording and a limit failed",
         {"--record", "/dev/full", "--expect", "all=0..0x7FF"},
         true,
         false,
         3,
         "/dev/full"},
        {"device lost", {"--expect", "AD0=0..0"}, true, true, 1, "the device was removed"},
        {"device lost, reconnecting", {"--reconnect"}, true, true, 0, "Reconnecting as soon"},
        {"capture failed",
         {"--capture", "/dev/full"},
         true,
         false,
         5,
         "Capture to /dev/full stopped: No space left on device"},
        {"no frame, recording failed", {"--record", "/dev/full"}, false, false, 4, "/dev/full"},
    };
    for (const Row& r : rows) {
        PtyPair pty;
        HeadlessMonitor monitor(pty, QStringList{"--frames", "2", "--duration", "1"} + r.args);
        if (r.send)
            pty.write(r.hangUp ? frames.substr(0, frames.size() / 2) : frames);
        if (r.hangUp) {
            QThread::msleep(200);
            pty.closeMaster();
        }
        EXPECT_EQ(monitor.exitStatus(), r.status) << r.name << ": " << monitor.err().toStdString();
        EXPECT_TRUE(monitor.err().contains(r.err)) << r.name << ": " << monitor.err().toStdString();
        EXPECT_TRUE(monitor.out().contains("\nresult: ")) << r.name;
    }
}

TEST(HeadlessMonitor, AnExistingRecordingIsKeptOrAddedTo)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("old.csv");
    QFile old(csv);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("time,elapsed_s,frame,AD0,AD1,AD2,AD3,AD4,AD5,AD6,AD7\r\nrow\r\n");
    old.close();
    const QByteArray before = contents(csv);
    {
        PtyPair pty;
        HeadlessMonitor monitor(pty, {"--record", csv, "--frames", "1"});
        EXPECT_EQ(monitor.exitStatus(), 2);
        EXPECT_TRUE(monitor.err().contains("exists already; give --append"));
        EXPECT_EQ(contents(csv), before);
    }
    {
        PtyPair pty;
        HeadlessMonitor monitor(pty, {"--capture", csv, "--frames", "1"});
        EXPECT_EQ(monitor.exitStatus(), 2);
        EXPECT_EQ(contents(csv), before);
    }
    PtyPair pty;
    HeadlessMonitor monitor(pty, {"--record", csv, "--append", "--frames", "1"});
    pty.write(frame("001 002 003 004 005 006 007 008"));
    ASSERT_EQ(monitor.exitStatus(), 0);
    const QByteArray after = contents(csv);
    EXPECT_TRUE(after.startsWith(before));
    EXPECT_EQ(readingsOf("\n" + after.mid(before.size())), QList<QByteArray>{"1,1,2,3,4,5,6,7,8\r"})
        << "one more row and no second header";
}

// A stop asked for in the middle of a run leaves a recording of whole rows, one per frame
// counted, also with more frames arriving all the time.
TEST(HeadlessMonitor, SigtermLeavesEveryRowWritten)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv");
    PtyPair pty;
    HeadlessMonitor monitor(pty, {"--record", csv});
    std::string burst;
    for (int i = 0; i < 200; ++i)
        burst += frame("123 456 789 ABC DEF 000 111 222");
    for (int i = 0; i < 10; ++i)
        pty.write(burst);
    monitor.signal(SIGTERM);
    ASSERT_EQ(monitor.exitStatus(), 0);
    const QByteArray recorded = contents(csv);
    EXPECT_TRUE(recorded.endsWith("\r\n"));
    const QList<QByteArray> rows = readingsOf(recorded);
    ASSERT_FALSE(rows.isEmpty());
    for (const QByteArray& row : rows)
        ASSERT_TRUE(row.endsWith(",291,1110,1929,2748,3567,0,273,546\r")) << row.toStdString();
    EXPECT_TRUE(monitor.out().startsWith("channel"));
    EXPECT_TRUE(
        monitor.out().contains(QByteArray("\nframes ") + QByteArray::number(rows.size()) + ","))
        << monitor.out().toStdString();
}

// What a capture holds, sent back by adc-sim, is received as the first time.
TEST(HeadlessMonitor, ACaptureReplayedGivesTheSameReadings)
{
    QTemporaryDir dir;
    const QString raw = dir.filePath("run.bin");
    const QString first = dir.filePath("first.csv");
    const QString second = dir.filePath("second.csv");
    // The first piece is dropped whether or not it comes before the line is set up.
    std::string sent = "noise before\r";
    for (int i = 0; i < 20; ++i)
        sent += (i % 7 ? "" : "\n") + frame(QString("%1 FFF 000 %2 800 7FF 001 %3")
                                                .arg(i * 37, 3, 16, QChar('0'))
                                                .arg(4095 - i, 3, 16, QChar('0'))
                                                .arg(i, 3, 10, QChar('0'))
                                                .toStdString());
    sent += "\x02"
            "12";
    {
        PtyPair pty;
        HeadlessMonitor monitor(pty, {"--frames", "20", "--capture", raw, "--record", first});
        pty.write(sent);
        ASSERT_EQ(monitor.exitStatus(), 0);
    }
    QProcess sim;
    sim.start(ADC_SIM_PATH, {"--replay", raw, "--rate", "50"});
    ASSERT_TRUE(sim.waitForReadyRead(5000));
    HeadlessMonitor monitor(QString::fromLatin1(sim.readLine()).trimmed(),
                            {"--frames", "20", "--record", second});
    ASSERT_EQ(monitor.exitStatus(), 0) << monitor.err().toStdString();
    EXPECT_EQ(readingsOf(contents(second)), readingsOf(contents(first)));
    EXPECT_EQ(readingsOf(contents(first)).size(), 20);
    sim.waitForFinished(5000);
}

// Against what adc-sim says it sent: every row a frame, in order, none left out.
TEST(HeadlessMonitor, RecordsEveryFrameTheSimulatorLogs)
{
    QTemporaryDir dir;
    const QString log = dir.filePath("sent.log");
    const QString csv = dir.filePath("run.csv");
    QProcess sim;
    sim.start(ADC_SIM_PATH,
              {"--fast", "--count", "20000", "--wave", "noise", "--seed", "5", "--log", log});
    ASSERT_TRUE(sim.waitForReadyRead(5000));
    HeadlessMonitor monitor(QString::fromLatin1(sim.readLine()).trimmed(),
                            {"--frames", "15000", "--record", csv});
    ASSERT_EQ(monitor.exitStatus(), 0) << monitor.err().toStdString();
    sim.waitForFinished(10000);

    QList<QByteArray> rows;
    for (const QByteArray& row : readingsOf(contents(csv))) {
        QByteArrayList hex;
        for (const QByteArray& field : row.trimmed().split(',').mid(1))
            hex << QByteArray::number(field.toInt(), 16).toUpper().rightJustified(3, '0');
        rows << hex.join(' ');
    }
    ASSERT_EQ(rows.size(), 15000);
    // The frames sent while the monitor set up the line are dropped; the rest arrive.
    const QList<QByteArray> sent = contents(log).split('\n');
    const qsizetype first = sent.indexOf(rows.constFirst());
    ASSERT_GE(first, 0);
    EXPECT_EQ(rows, sent.mid(first, rows.size()));
}

} // namespace
