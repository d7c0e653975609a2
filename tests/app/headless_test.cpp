#include "tests/support/pty_pair.h"
#include "tests/support/sim_process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <array>
#include <csignal>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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
    /// Returns once the monitor has set up its line, so that nothing written then is thrown
    /// away, or has ended without.
    HeadlessMonitor(const PtyPair& pty, const QStringList& args)
    {
        pty.watchSetUp();
        start(QString::fromStdString(pty.path()), args);
        for (int i = 0; i < 500; ++i)
            if (pty.setUpWithin(20) || m_process.waitForFinished(0))
                return;
    }
    /// With `environment` added to the test's.
    HeadlessMonitor(const PtyPair& pty, const QStringList& args,
                    const QProcessEnvironment& environment)
    {
        m_process.setProcessEnvironment(environment);
        pty.watchSetUp();
        start(QString::fromStdString(pty.path()), args);
        for (int i = 0; i < 500 && !pty.setUpWithin(20) && !m_process.waitForFinished(0); ++i) {
        }
    }
    /// On a line whose sender waits for the monitor itself, as adc-sim does.
    HeadlessMonitor(const QString& port, const QStringList& args) { start(port, args); }
    /// Its standard error on `terminal`.
    HeadlessMonitor(const PtyPair& pty, const QStringList& args, const PtyPair& terminal)
    {
        m_process.setStandardErrorFile(QString::fromStdString(terminal.path()));
        pty.watchSetUp();
        start(QString::fromStdString(pty.path()), args);
        for (int i = 0; i < 500 && !pty.setUpWithin(20) && !m_process.waitForFinished(0); ++i) {
        }
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
    void start(const QString& port, const QStringList& args)
    {
        m_process.start(ADC_MONITOR_PATH, QStringList{"--headless", "--port", port} + args);
        m_process.waitForStarted();
    }

    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

// And what the capture holds, sent back by adc-sim, is received as the first time.
TEST(HeadlessMonitor, RecordsAndCapturesWhatItReceivesAndSumsItUp)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv");
    const QString raw = dir.filePath("run.bin");
    PtyPair pty;
    HeadlessMonitor monitor(pty, {"--frames", "3", "--record", csv, "--capture", raw, "--summary",
                                  "json", "--expect", "AD0=0x001..3"});
    // The replay's first piece may be lost while its receiver sets up the line: noise only.
    const std::string sent = "noise\r" + frame("001 FFF 800 000 7ff 0A3 123 456") + "\n\n" +
                             frame("002 FFF 800 000 7ff 0A3 123 456") +
                             frame("003 FFE 801 001 7fe 0A4 124 457");
    // In the same read: a frame past the last one asked for, and the start of another.
    const std::string all = sent + frame("004 004 004 004 004 004 004 004") + "\x02" + "999";
    pty.write(all);
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
    EXPECT_TRUE(QByteArray::fromStdString(all).startsWith(captured));
    EXPECT_TRUE(monitor.out().startsWith("{\"frames\":3,")) << monitor.out().toStdString();
    EXPECT_TRUE(monitor.out().contains("\"bytes_received\":" + QByteArray::number(captured.size()) +
                                       ",\"bytes_outside_frames\":8,"))
        << monitor.out().toStdString();
    EXPECT_TRUE(monitor.out().contains("\"name\":\"AD0\",\"frames\":3,\"malformed\":0,\"min\":1,"));
    EXPECT_TRUE(monitor.out().endsWith("\"limit\":null,\"pass\":true}],\"pass\":true}\n"));

    adc::test::SimProcess sim({"--replay", raw, "--rate", "50"});
    ASSERT_FALSE(sim.port().isEmpty());
    HeadlessMonitor replayed(sim.port(), {"--frames", "3", "--record", dir.filePath("again.csv")});
    ASSERT_EQ(replayed.exitStatus(), 0) << replayed.err().toStdString();
    EXPECT_EQ(readingsOf(contents(dir.filePath("again.csv"))), readingsOf(contents(csv)));
    sim.waitExit(5000);
}

// Each way a run can end shows in its exit status, the lowest that applies; the summary comes
// whenever the port was open.
TEST(HeadlessMonitor, ExitStatusSaysHowTheRunWent)
{
    struct Row
    {
        QStringList args;
        int status;
        const char* err = "";
        bool send = true;
        bool hangUp = false; // after half of what is sent
    };
    const std::string frames =
        frame("800 800 800 800 800 800 800 800") + frame("7FF 800 800 800 800 800 800 801");
    const Row rows[] = {
        {{"--expect", "AD0=0x7FF..2048", "--expect", "AD7=0..0x801"}, 0}, // limits met at both ends
        {{"--expect", "AD0,AD7=0x7FF..0x800"}, 3},
        {{}, 4, "", false},
        {{"--record", "/dev/full"}, 5, "Recording to /dev/full stopped: No space left on device"},
        {{"--record", "/dev/full", "--expect", "all=0..0x7FF"}, 3, "/dev/full"},
        {{"--expect", "AD0=0..0"}, 1, "the device was removed", true, true},
        {{"--reconnect"}, 0, "Reconnecting as soon", true, true},
        {{"--capture", "/dev/full"}, 5, "Capture to /dev/full stopped: No space left on device"},
        {{"--record", "/dev/full"}, 4, "/dev/full", false},
    };
    for (const Row& r : rows) {
        PtyPair pty;
        HeadlessMonitor monitor(pty, QStringList{"--frames", "2", "--duration", "2"} + r.args);
        if (r.send)
            pty.write(r.hangUp ? frames.substr(0, frames.size() / 2) : frames);
        if (r.hangUp) {
            QThread::msleep(200);
            pty.closeMaster();
        }
        const std::string name = std::to_string(&r - rows) + ": " + r.args.join(' ').toStdString();
        EXPECT_EQ(monitor.exitStatus(), r.status) << name << ": " << monitor.err().toStdString();
        EXPECT_TRUE(monitor.err().contains(r.err)) << name << ": " << monitor.err().toStdString();
        EXPECT_TRUE(monitor.out().contains("\nresult: ")) << name;
        EXPECT_FALSE(monitor.err().contains("frames/s")) << name << ": progress is for terminals";
    }
}

// On a terminal, standard error shows the count once a second, and ends the line at the end.
TEST(HeadlessMonitor, ShowsItsProgressOnATerminal)
{
    PtyPair pty;
    PtyPair terminal;
    HeadlessMonitor monitor(pty, {"--duration", "2.5"}, terminal);
    pty.write(frame("001 002 003 004 005 006 007 008") + frame("001 002 003 004 005 006 007 008"));
    EXPECT_EQ(monitor.exitStatus(), 0);
    std::string shown(4096, '\0');
    const ssize_t n = ::read(terminal.masterFd(), shown.data(), shown.size());
    shown.resize(n > 0 ? std::size_t(n) : 0);
    std::size_t updates = 0;
    for (std::size_t at = 0; (at = shown.find("\r2 frames, ", at)) != std::string::npos; ++at)
        ++updates;
    EXPECT_GE(updates, 1u) << shown;
    EXPECT_LE(updates, 3u) << shown;
    EXPECT_EQ(shown.back(), '\n') << shown;
}

TEST(HeadlessMonitor, AnExistingRecordingIsKeptOrAddedTo)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("old.csv");
    const QByteArray before = "time,elapsed_s,frame,AD0,AD1,AD2,AD3,AD4,AD5,AD6,AD7\r\nrow\r\n";
    QFile old(csv);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write(before) == before.size());
    old.close();
    for (const char* option : {"--record", "--capture"}) {
        PtyPair pty;
        HeadlessMonitor monitor(pty, {option, csv, "--frames", "1"});
        EXPECT_EQ(monitor.exitStatus(), 2) << option;
        EXPECT_TRUE(monitor.err().contains("exists already; give --append")) << option;
        EXPECT_EQ(contents(csv), before) << option;
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

// A field that is not three hex digits is an empty cell and no reading; a frame that the next
// one cut short has none. They are counted, never checked against a limit, and fail the run
// only beyond --max-malformed.
TEST(HeadlessMonitor, MalformedFramesAreCountedNotTakenAsReadings)
{
    const std::string sent = frame("001 FFF 800 000 7ff 0A3 123 456") + "\x02\r" +
                             frame("002 FFF 8x0 000 7ff 0A3 123 456") + "\x02" + "003 FFF" +
                             frame("002 FFF 800 000 7ff 0A3 123 456");
    for (const auto& [most, status] : {std::pair("1", 6), std::pair("3", 0)}) {
        QTemporaryDir dir;
        const QString csv = dir.filePath("run.csv");
        PtyPair pty;
        HeadlessMonitor monitor(pty, {"--frames", "4", "--record", csv, "--summary", "json",
                                      "--expect", "AD0=1..2", "--max-malformed", most});
        pty.write(sent);
        ASSERT_EQ(monitor.exitStatus(), status) << most << monitor.err().toStdString();
        EXPECT_EQ(readingsOf(contents(csv)),
                  (QList<QByteArray>{"1,1,4095,2048,0,2047,163,291,1110\r", "2,,,,,,,,\r",
                                     "3,2,4095,,0,2047,163,291,1110\r", "4,,,,,,,,\r"}));
        const QByteArray json = monitor.out();
        EXPECT_TRUE(json.startsWith("{\"frames\":4,\"malformed_frames\":3,")) << json.data();
        EXPECT_TRUE(json.contains("\"name\":\"AD0\",\"frames\":2,\"malformed\":2,\"min\":1,"));
        EXPECT_TRUE(json.contains("\"name\":\"AD2\",\"frames\":1,\"malformed\":3,"));
        EXPECT_TRUE(json.contains("\"limit\":{\"lo\":1,\"hi\":2},\"pass\":true}"));
    }
}

// Line noise: whatever it decodes to, the recording and the summary agree on what was a
// reading, and every reading is one a converter can send.
TEST(HeadlessMonitor, NoiseGivesRowsAndASummaryThatAgree)
{
    std::string noise;
    std::uint32_t x = 12345;
    for (int i = 0; i < 20000; ++i) {
        x = x * 1664525u + 1013904223u;
        const char c = static_cast<char>(x >> 24);
        noise += (x >> 8) % 16 == 0 ? '\x02' : (x >> 8) % 16 == 1 ? '\r' : c;
    }
    QTemporaryDir dir;
    const QString csv = dir.filePath("noise.csv");
    PtyPair pty;
    HeadlessMonitor monitor(pty, {"--record", csv, "--summary", "csv", "--end-on-hangup"});
    pty.write(noise);
    QThread::msleep(300);
    pty.closeMaster();
    ASSERT_EQ(monitor.exitStatus(), 0) << monitor.err().toStdString();
    EXPECT_TRUE(monitor.err().contains("hung up: end of input")) << monitor.err().toStdString();
    std::array<int, 8> empty{};
    const QList<QByteArray> rows = readingsOf(contents(csv));
    ASSERT_GT(rows.size(), 100);
    for (const QByteArray& row : rows) {
        const QList<QByteArray> cells = row.chopped(1).split(',');
        ASSERT_EQ(cells.size(), 9) << row.data();
        for (int k = 0; k < 8; ++k) {
            bool number = false;
            const int reading = cells[k + 1].toInt(&number);
            empty[k] += cells[k + 1].isEmpty();
            EXPECT_TRUE(cells[k + 1].isEmpty() || (number && reading >= 0 && reading <= 4095));
        }
    }
    // The summary's channel rows end with the malformed fields, its last row with the frames.
    const QList<QByteArray> summary = monitor.out().split('\n');
    for (int k = 0; k < 8; ++k)
        EXPECT_TRUE(summary[k + 1].endsWith("," + QByteArray::number(empty[k]) + "\r"))
            << k << summary[k + 1].data();
    EXPECT_TRUE(summary[9].startsWith("all," + QByteArray::number(rows.size()) + ","));
}

// Nothing is left behind by a run that could not receive: no empty file stands in the way
// of the corrected command. Nor is a file overwritten, or added to when it is no recording.
TEST(HeadlessMonitor, ARunThatCannotReceiveLeavesNoFile)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("fresh.csv");
    const QString raw = dir.filePath("fresh.bin");
    const QString notes = dir.filePath("notes.csv");
    QFile foreign(notes);
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly) && foreign.write("a,b,c\n1,2,3\n") == 12);
    foreign.close();
    const QString plainFile = notes;
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString missing = dir.filePath("ttyUSB9");
    struct Row
    {
        QString port;
        QStringList args;
        int status;
        QString err;
        QString record = {};
    };
    const Row rows[] = {
        {missing, {"--capture", raw}, 1, "Cannot open serial port"},
        {plainFile, {"--capture", raw}, 1, plainFile + " is not a serial port (a regular file)"},
        {"/dev/null", {"--capture", raw}, 1, "/dev/null is not a serial port (a device that is"},
        {dir.path(), {"--capture", raw}, 1, "is not a serial port (a folder)"},
        {{}, {"--capture", dir.path() + "/./fresh.csv"}, 2, "name the same file"},
        {{},
         {"--append"},
         2,
         "notes.csv does not hold a recording of this program: its first "
         "line is \"a,b,c\"",
         notes},
        // Found before the port is opened, so whatever the port.
        {missing, {}, 2, "notes.csv/x.csv: Not a directory", notes + "/x.csv"},
        {missing,
         {},
         2,
         "Cannot write to " + dir.filePath("no/x.csv") + ": No such file",
         dir.filePath("no/x.csv")},
        {{}, {}, 2, "Cannot write to " + fifo + ": nothing is reading from it", fifo},
    };
    for (const Row& r : rows) {
        PtyPair pty;
        const QString port = r.port.isEmpty() ? QString::fromStdString(pty.path()) : r.port;
        const QString record = r.record.isEmpty() ? csv : r.record;
        HeadlessMonitor monitor(port, QStringList{"--frames", "1", "--record", record} + r.args);
        EXPECT_EQ(monitor.exitStatus(), r.status) << r.err.toStdString();
        EXPECT_TRUE(monitor.err().contains(r.err.toUtf8())) << monitor.err().toStdString();
        EXPECT_FALSE(QFile::exists(csv) || QFile::exists(raw)) << r.err.toStdString();
    }
    EXPECT_EQ(contents(notes), "a,b,c\n1,2,3\n");

    // The port opens, then the device goes before a frame: the files made for the run go too.
    PtyPair pty;
    HeadlessMonitor monitor(pty, {"--record", csv, "--capture", raw});
    for (int i = 0; i < 500 && !(QFile::exists(csv) && QFile::exists(raw)); ++i)
        QThread::msleep(10);
    EXPECT_TRUE(QFile::exists(csv) && QFile::exists(raw)) << "made once the port is open";
    pty.closeMaster();
    EXPECT_EQ(monitor.exitStatus(), 1);
    EXPECT_FALSE(QFile::exists(csv) || QFile::exists(raw));
}

// A replay closes its line after the last frame: with --end-on-hangup that is the end of the
// run, and the readings decide how it went.
TEST(HeadlessMonitor, AReplayEndsCleanlyOnHangup)
{
    QTemporaryDir dir;
    const QString raw = dir.filePath("replay.bin");
    QFile file(raw);
    std::string frames;
    for (int i = 0; i < 20; ++i)
        adc::appendFrame(frames, {static_cast<std::uint16_t>(i), 1, 2, 3, 4, 5, 6, 7});
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) &&
                file.write(frames.data(), qint64(frames.size())) == qint64(frames.size()));
    file.close();
    adc::test::SimProcess sim({"--replay", raw, "--rate", "200"});
    ASSERT_FALSE(sim.port().isEmpty());
    HeadlessMonitor monitor(sim.port(), {"--end-on-hangup", "--expect", "AD1=1..1"});
    ASSERT_EQ(monitor.exitStatus(), 0) << monitor.err().toStdString();
    EXPECT_TRUE(monitor.out().contains("\nframes 20, 0 malformed,")) << monitor.out().data();
    EXPECT_TRUE(monitor.out().contains("result: PASS"));
    sim.waitExit(5000);
}

// A stop asked for in the middle of a run leaves a recording of whole rows, one per frame
// counted, also with more frames arriving all the time. Every frame differs, and bursts larger
// than the terminal hands over per read split frames between reads: none may be lost, altered
// or reordered.
TEST(HeadlessMonitor, SigtermLeavesEveryRowWritten)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv");
    PtyPair pty;
    HeadlessMonitor monitor(pty, {"--record", csv});
    for (int burst = 0; burst < 4; ++burst) {
        std::string bytes;
        for (int i = burst * 1000; i < (burst + 1) * 1000; ++i)
            adc::appendFrame(bytes, {static_cast<std::uint16_t>(i), 0x456, 0x789, 0xABC, 0xDEF,
                                     0x000, 0x111, 0x222});
        pty.write(bytes);
    }
    monitor.signal(SIGTERM);
    ASSERT_EQ(monitor.exitStatus(), 0);
    const QByteArray recorded = contents(csv);
    EXPECT_TRUE(recorded.endsWith("\r\n"));
    const QList<QByteArray> rows = readingsOf(recorded);
    ASSERT_FALSE(rows.isEmpty());
    for (int i = 0; i < rows.size(); ++i)
        ASSERT_EQ(rows[i].toStdString(),
                  QString("%1,%2,1110,1929,2748,3567,0,273,546\r").arg(i + 1).arg(i).toStdString());
    EXPECT_TRUE(
        monitor.out().contains(QByteArray("\nframes ") + QByteArray::number(rows.size()) + ","))
        << monitor.out().toStdString();
}

} // namespace

void writeFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
}

// The values as a person would work them out from the readings the simulator says it sent.
QByteArray batteryVolts(int raw)
{
    return QByteArray::number(raw * 16.5 / 4095, 'f', 2);
}

QByteArray chamberCelsius(int raw)
{
    const double points[][2] = {{400, 80.0}, {1200, 40.0}, {2600, 10.0}, {3600, -10.0}};
    int i = 1;
    while (i < 3 && raw > points[i][0])
        ++i;
    const double* a = points[i - 1];
    const double* b = points[i];
    return QByteArray::number(a[1] + (b[1] - a[1]) * (raw - a[0]) / (b[0] - a[0]), 'f', 2);
}

constexpr char kRigProfile[] = "[AD0]\nname = \"Battery\"\nunit = \"V\"\nraw = [0, 4095]\n"
                               "value = [0.0, 16.5]\ndecimals = 2\nlimits = [0, 16.5]\n"
                               "[AD3]\nname = \"Chamber\"\nunit = \"°C\"\ntable = [[400, 80.0], "
                               "[1200, 40.0], [2600, 10.0], [3600, -10.0]]\n";

TEST(HeadlessMonitor, AProfileGivesValuesInTheUnitsOfWhatWasSent)
{
    QTemporaryDir dir;
    const QString rig = dir.filePath("rig.toml");
    const QString csv = dir.filePath("run.csv");
    const QString log = dir.filePath("sent.log");
    writeFile(rig, kRigProfile);
    adc::test::SimProcess sim({"--count", "40", "--rate", "400", "--wave", "noise", "--log", log});
    ASSERT_FALSE(sim.port().isEmpty());
    HeadlessMonitor monitor(
        sim.port(), {"--profile", rig, "--frames", "40", "--record", csv, "--summary", "json"});
    ASSERT_EQ(monitor.exitStatus(), 0) << monitor.err().toStdString();
    sim.waitExit(5000);

    const QList<QByteArray> sent = contents(log).trimmed().split('\n');
    const QList<QByteArray> rows = contents(csv).trimmed().split('\n');
    ASSERT_EQ(sent.size(), 40);
    ASSERT_EQ(rows.size(), 41);
    EXPECT_EQ(rows[0], "time,elapsed_s,frame,AD0,AD1,AD2,AD3,AD4,AD5,AD6,AD7,Battery [V],"
                       "Chamber [°C]\r");
    double lowest = 99;
    double highest = -99;
    for (int i = 0; i < 40; ++i) {
        const QList<QByteArray> fields = sent[i].split(' ');
        const int ad0 = fields[0].toInt(nullptr, 16);
        const int ad3 = fields[3].toInt(nullptr, 16);
        const QList<QByteArray> cells = rows[i + 1].trimmed().split(',');
        ASSERT_EQ(cells.size(), 13) << rows[i + 1].data();
        EXPECT_EQ(cells[3].toInt(), ad0);
        EXPECT_EQ(cells[11], batteryVolts(ad0)) << ad0;
        EXPECT_EQ(cells[12], chamberCelsius(ad3)) << ad3;
        lowest = std::min(lowest, batteryVolts(ad0).toDouble());
        highest = std::max(highest, batteryVolts(ad0).toDouble());
    }
    const QByteArray battery = "\"label\":\"Battery\",\"unit\":\"V\",\"value\":{\"min\":" +
                               QByteArray::number(lowest, 'f', 2) +
                               ",\"max\":" + QByteArray::number(highest, 'f', 2) + ",";
    EXPECT_TRUE(monitor.out().contains(battery)) << monitor.out().data();
    EXPECT_TRUE(monitor.out().endsWith("],\"pass\":true}\n"));

    // A simulator still takes a recording that carries values after its readings.
    adc::test::SimProcess replay({"--replay", csv, "--rate", "400"});
    ASSERT_FALSE(replay.port().isEmpty()) << replay.errorText();
    HeadlessMonitor again(replay.port(), {"--frames", "40", "--record", dir.filePath("again.csv")});
    ASSERT_EQ(again.exitStatus(), 0) << again.err().toStdString();
    EXPECT_EQ(readingsOf(contents(dir.filePath("again.csv"))).first(),
              rows[1].split(',').mid(2, 9).join(',') + "\r");
}

// A level outside a channel's limits in its unit fails the run and says so by name.
TEST(HeadlessMonitor, AValueOutsideTheProfilesLimitsFailsTheRun)
{
    QTemporaryDir dir;
    const QString rig = dir.filePath("rig.toml");
    writeFile(rig, "[AD0]\nname = \"Battery\"\nunit = \"V\"\nraw = [0, 4095]\n"
                   "value = [0.0, 16.5]\nlimits = [11.5, 12.6]\n");
    adc::test::SimProcess sim({"--count", "5", "--rate", "200", "--wave", "const:D00"});
    ASSERT_FALSE(sim.port().isEmpty());
    HeadlessMonitor monitor(sim.port(), {"--profile", rig, "--frames", "5"});
    EXPECT_EQ(monitor.exitStatus(), 3) << monitor.err().toStdString();
    EXPECT_TRUE(monitor.out().contains("result: FAIL (Battery outside 11.500..12.600 V)\n"))
        << monitor.out().data();
    EXPECT_TRUE(monitor.out().contains("\nAD0     Battery      V          13.410     13.410"))
        << monitor.out().data();
    sim.waitExit(5000);
}

// A mistake in the profile is found before anything starts: no window, no port, no file.
TEST(HeadlessMonitor, AMistakeInTheProfileStartsNothing)
{
    QTemporaryDir dir;
    const QString rig = dir.filePath("rig.toml");
    const QString csv = dir.filePath("run.csv");
    writeFile(rig, "[AD3]\nlimits = [12.6, 11.5]\n");
    for (const QStringList& face : {QStringList{"--headless"}, QStringList{}}) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("QT_QPA_PLATFORM");
        process.setProcessEnvironment(environment);
        process.start(ADC_MONITOR_PATH,
                      face + QStringList{"--profile", rig, "--record", csv, "--port", "/dev/ptmx"});
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitCode(), 2);
        EXPECT_EQ(process.readAllStandardError(),
                  "adc-monitor: " + rig.toUtf8() +
                      ":2:11: AD3: limits: lower bound 12.6 above upper bound 11.5\n");
        EXPECT_FALSE(QFile::exists(csv));
    }
}

// Polls `done` every 20 ms for up to `ms`.
void waitUntil(const std::function<bool()>& done, int ms)
{
    for (int waited = 0; waited < ms && !done(); waited += 20)
        QThread::msleep(20);
}

// The files of a rotation in `dir`, by name, which sorts them by time.
QStringList rotatedFiles(const QString& dir, const QString& pattern)
{
    return QDir(dir).entryList({pattern}, QDir::Files, QDir::Name);
}

// A recording and a capture split every second hold, over all their files, exactly what one
// file each would: the rows in order, each file with the header; the bytes as sent, each file
// ending with a whole frame. --keep leaves the newest files and says which one it could not
// delete.
TEST(HeadlessMonitor, RotatedFilesHoldEveryRowOnceInOrder)
{
    QTemporaryDir dir;
    // An old file of the recording that cannot be deleted, and an old one that can.
    ASSERT_TRUE(QDir(dir.path()).mkpath("old-20200101T000000.csv/inside"));
    writeFile(dir.filePath("old-20200101T000001.csv"), "x");
    PtyPair pty;
    HeadlessMonitor monitor(pty, {"--record", dir.filePath("run.csv"), "--capture",
                                  dir.filePath("run.bin"), "--rotate", "1s"});
    std::string sent;
    int frames = 0;
    for (int burst = 0; burst < 25; ++burst) {
        std::string bytes;
        for (int i = 0; i < 40; ++i, ++frames)
            adc::appendFrame(bytes, {static_cast<std::uint16_t>(frames % 4096), 0x456, 0x789, 0xABC,
                                     0xDEF, 0x000, 0x111, 0x222});
        pty.write(bytes);
        sent += bytes;
        QThread::msleep(120);
    }
    QThread::msleep(300);
    monitor.signal(SIGTERM);
    ASSERT_EQ(monitor.exitStatus(), 0) << monitor.err().toStdString();

    const QStringList csvs = rotatedFiles(dir.path(), "run-*.csv");
    ASSERT_GE(csvs.size(), 3) << csvs.join(' ').toStdString();
    QList<QByteArray> rows;
    for (const QString& name : csvs) {
        EXPECT_TRUE(
            QRegularExpression("^run-20\\d{6}T\\d{6}(-\\d+)?\\.csv$").match(name).hasMatch())
            << name.toStdString();
        const QByteArray content = contents(dir.filePath(name));
        EXPECT_TRUE(content.startsWith("time,elapsed_s,frame,AD0,")) << name.toStdString();
        EXPECT_TRUE(content.endsWith("\r\n")) << name.toStdString();
        rows += readingsOf(content);
    }
    ASSERT_EQ(rows.size(), frames);
    for (int i = 0; i < frames; ++i)
        ASSERT_EQ(rows[i].toStdString(),
                  QString("%1,%2,1110,1929,2748,3567,0,273,546\r").arg(i + 1).arg(i).toStdString());
    QByteArray captured;
    const QStringList captures = rotatedFiles(dir.path(), "run-*.bin");
    EXPECT_GE(captures.size(), 3);
    for (const QString& name : captures) {
        const QByteArray content = contents(dir.filePath(name));
        EXPECT_TRUE(content.startsWith('\x02') && content.endsWith('\r')) << name.toStdString();
        captured += content;
    }
    EXPECT_EQ(captured.toStdString(), sent);

    // The same with --keep 2, and the old files of the recording.
    PtyPair second;
    HeadlessMonitor keeping(second,
                            {"--record", dir.filePath("old.csv"), "--rotate", "1s", "--keep", "2"});
    for (int burst = 0; burst < 12; ++burst) {
        second.write(frame("001 002 003 004 005 006 007 008"));
        QThread::msleep(250);
    }
    keeping.signal(SIGTERM);
    EXPECT_EQ(keeping.exitStatus(), 5);
    EXPECT_TRUE(
        keeping.err().contains("Cannot delete " + dir.filePath("old-20200101T000000.csv").toUtf8()))
        << keeping.err().toStdString();
    EXPECT_EQ(keeping.err().count("Cannot delete"), 1) << "once, though tried at every switch";
    const QStringList kept = rotatedFiles(dir.path(), "old-*.csv");
    EXPECT_EQ(kept.size(), 2) << kept.join(' ').toStdString();
    EXPECT_TRUE(QFileInfo(dir.filePath("old-20200101T000000.csv")).isDir());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("old-20200101T000001.csv")));

    // A run that never switches still keeps no more than asked: its first file counts.
    writeFile(dir.filePath("day-20200101T000000.csv"), "x");
    writeFile(dir.filePath("day-20200102T000000.csv"), "x");
    PtyPair third;
    HeadlessMonitor once(third, {"--record", dir.filePath("day.csv"), "--rotate", "1d", "--keep",
                                 "2", "--frames", "1"});
    third.write(frame("001 002 003 004 005 006 007 008"));
    EXPECT_EQ(once.exitStatus(), 0) << once.err().toStdString();
    const QStringList days = rotatedFiles(dir.path(), "day-*.csv");
    ASSERT_EQ(days.size(), 2) << days.join(' ').toStdString();
    EXPECT_EQ(days[0], "day-20200102T000000.csv");
}

// SIGUSR1 and --summary-every write the summary so far without ending or resetting anything;
// in a --summary-file it is replaced whole, and the run's end writes the last one there.
TEST(HeadlessMonitor, TheSummarySoFarComesOnDemand)
{
    QTemporaryDir dir;
    const QString summary = dir.filePath("summary.txt");
    PtyPair pty;
    HeadlessMonitor monitor(pty, {"--summary-file", summary, "--summary-every", "1s"});
    pty.write(frame("001 002 003 004 005 006 007 008"));
    waitUntil([&] { return contents(summary).contains("\nframes 1,"); }, 5000);
    EXPECT_TRUE(contents(summary).contains("\nframes 1,")) << contents(summary).toStdString();
    pty.write(frame("001 002 003 004 005 006 007 008") + frame("001 002 003 004 005 006 007 009"));
    QThread::msleep(300);
    monitor.signal(SIGUSR1);
    waitUntil([&] { return contents(summary).contains("\nframes 3,"); }, 2000);
    EXPECT_TRUE(contents(summary).contains("\nframes 3,")) << contents(summary).toStdString();
    EXPECT_TRUE(contents(summary).contains("AD7 ")) << contents(summary).toStdString();
    pty.write(frame("001 002 003 004 005 006 007 00A"));
    QThread::msleep(300);
    monitor.signal(SIGTERM);
    EXPECT_EQ(monitor.exitStatus(), 0) << monitor.err().toStdString();
    EXPECT_TRUE(contents(summary).contains("\nframes 4,")) << contents(summary).toStdString();
    EXPECT_TRUE(monitor.out().isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"summary.txt"})
        << "no file left half made";

    // On standard output: once on SIGUSR1, once at the end.
    PtyPair second;
    HeadlessMonitor plain(second, {"--summary", "json"});
    second.write(frame("001 002 003 004 005 006 007 008"));
    QThread::msleep(300);
    plain.signal(SIGUSR1);
    QThread::msleep(300);
    plain.signal(SIGTERM);
    EXPECT_EQ(plain.exitStatus(), 0);
    EXPECT_EQ(plain.out().count("{\"frames\":1,"), 2) << plain.out().toStdString();

    // A summary file that cannot be written fails the run as a recording would.
    PtyPair third;
    HeadlessMonitor failing(third, {"--summary-file", dir.filePath("none/summary.txt")});
    third.write(frame("001 002 003 004 005 006 007 008"));
    QThread::msleep(300);
    failing.signal(SIGTERM);
    EXPECT_EQ(failing.exitStatus(), 5);
    EXPECT_TRUE(failing.err().contains("Cannot write the summary to " +
                                       dir.filePath("none/summary.txt").toUtf8()))
        << failing.err().toStdString();
}

// As a notify service: ready once receiving, the watchdog told it is alive as often as asked,
// and stopping at the end, each through the socket that systemd names.
TEST(HeadlessMonitor, TellsSystemdHowTheRunStands)
{
#ifndef ADC_HAVE_SYSTEMD
    GTEST_SKIP() << "built without libsystemd";
#endif
    QTemporaryDir dir;
    const QByteArray socketPath = QFile::encodeName(dir.filePath("notify"));
    const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(socket, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), qsizetype(sizeof address.sun_path));
    std::memcpy(address.sun_path, socketPath.constData(), std::size_t(socketPath.size()));
    ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const auto received = [socket](int waitMs) {
        pollfd ready{socket, POLLIN, 0};
        if (::poll(&ready, 1, waitMs) != 1)
            return QByteArray();
        char message[512];
        const ssize_t n = ::recv(socket, message, sizeof message, 0);
        return n > 0 ? QByteArray(message, n) : QByteArray();
    };

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("NOTIFY_SOCKET", QString::fromLocal8Bit(socketPath));
    environment.insert("WATCHDOG_USEC", "200000");
    PtyPair pty;
    HeadlessMonitor monitor(pty, {}, environment);
    const QByteArray ready = received(5000);
    EXPECT_TRUE(ready.startsWith("READY=1\nSTATUS=Receiving on " + QByteArray(pty.path().c_str())))
        << ready.toStdString();
    for (int ping = 0; ping < 3; ++ping)
        ASSERT_EQ(received(2000), "WATCHDOG=1") << "ping " << ping;
    monitor.signal(SIGTERM);
    QByteArray message;
    while ((message = received(5000)) == "WATCHDOG=1") {
    }
    EXPECT_EQ(message, "STOPPING=1");
    EXPECT_EQ(monitor.exitStatus(), 4) << monitor.err().toStdString();
    ::close(socket);
}
