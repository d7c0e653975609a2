#include "app/command_line.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace adc {
namespace {

MonitorOptions parse(QStringList args)
{
    args.prepend("adc-monitor");
    return parseCommandLine(args);
}

TEST(CommandLine, EachMistakeIsNamed)
{
    const std::pair<QStringList, const char*> rows[] = {
        {{"--record", "a.csv", "--capture", "./a.csv"}, "name the same file"},
        {{"--record", "/tmp/../tmp/a.csv", "--capture", "/tmp/a.csv"}, "name the same file"},
        {{"--record", "-", "--capture", "-"}, "name the same file"},
        {{"--record="}, "'--record' needs a file name"},
        {{"--append"}, "--append needs --record or --capture"},
        {{"--expect", "AD0=0..1"}, "--expect needs --headless"},
        {{"--summary", "json"}, "--summary needs --headless"},
        {{"--headless", "--frames", "0"}, "invalid frame count '0'"},
        {{"--headless", "--frames", "1.5"}, "invalid frame count"},
        {{"--headless", "--frames", "9223372036854775808"}, "from 1 to 9223372036854775807"},
        {{"--headless", "--max-malformed", "-1"}, "invalid malformed frame count '-1'"},
        {{"--max-malformed", "1"}, "--max-malformed needs --headless"},
        {{"--end-on-hangup"}, "--end-on-hangup needs --headless"},
        {{"--headless", "--end-on-hangup", "--reconnect"}, "ask for opposite things"},
        {{"--headless", "--duration", "-1"}, "invalid duration '-1'"},
        {{"--headless", "--duration", "2e9"}, "(seconds, more than 0 and at most 1e9)"},
        {{"--headless", "--duration", "nan"}, "invalid duration"},
        {{"--plot", "--headless"}, "--plot needs the window"},
        {{"--plot-span", "5", "--headless"}, "--plot-span needs the window"},
        {{"--plot-span", "0.05"}, "invalid plot span '0.05'"},
        {{"--plot-span", "1e6"}, "invalid plot span"},
        {{"--plot-span", "nan"}, "invalid plot span"},
        {{"--headless", "--summary", "xml"}, "invalid summary format 'xml'"},
        {{"--headless", "--expect", "all=0..9", "--expect", "AD3=1..2"},
         "channel AD3 has two ranges, 0..9 and 1..2"},
        {{"--port="}, "'--port' needs a port name"},
        {{"--headless", "--port", ""}, "'--port' needs a port name"},
        {{"--port", "/dev/" + QString(251, 'x')}, "too long"},
        {{"--port", QString(251, 'x')}, "too long"},
        {{"--headless", "--duration", "0"}, "invalid duration '0'"},
        {{"--headless", "--duration", "1000000000.5"}, "invalid duration"},
        {{"--plot-span", "0.0999"}, "invalid plot span"},
        {{"--plot-span", "86400.5"}, "invalid plot span"},
        {{"--record", "r.csv", "--rotate", "1w"}, "invalid rotation '1w'"},
        {{"--record", "r.csv", "--rotate", "500"}, "at least 1k"},
        {{"--rotate", "1h"}, "--rotate needs --record or --capture"},
        {{"--record", "r.csv", "--keep", "3"}, "--keep needs --rotate"},
        {{"--record", "r.csv", "--rotate", "1h", "--keep", "0"}, "invalid number of files"},
        {{"--record", "-", "--rotate", "1h"}, "standard output cannot be split"},
        {{"--record", "r.csv", "--append", "--rotate", "1h"}, "--append cannot go with --rotate"},
        {{"--capture", "/tmp/", "--rotate", "1h"}, "not the folder '/tmp/'"},
        {{"--summary-every", "1m"}, "--summary-every needs --headless"},
        {{"--summary-file", "s.txt"}, "--summary-file needs --headless"},
        {{"--headless", "--summary-every", "500ms"}, "invalid summary interval '500ms'"},
        {{"--headless", "--summary-file="}, "'--summary-file' needs a file name"},
        {{"--headless", "--record", "a.csv", "--summary-file", "./a.csv"},
         "is also a recording's file"},
    };
    for (const auto& [args, error] : rows) {
        const MonitorOptions options = parse(args);
        EXPECT_EQ(options.action, MonitorOptions::Action::Error) << args.join(' ').toStdString();
        EXPECT_EQ(options.status, ExitStatus::Usage) << args.join(' ').toStdString();
        EXPECT_TRUE(options.error.contains(error))
            << args.join(' ').toStdString() << ": " << options.error.toStdString();
    }
}

// Each value's extremes are taken; one step beyond is a mistake (above).
TEST(CommandLine, EachBoundIsTaken)
{
    const QStringList rows[] = {
        {"--port", "/dev/" + QString(250, 'x')}, // the lock file's name leaves out "/dev/"
        {"--port", QString(250, 'x')},
        {"--plot-span", "0.1"},
        {"--plot-span", "86400"},
        {"--headless", "--duration", "1e9"},
        {"--headless", "--duration", "0.0001"},
        {"--headless", "--frames", "1"},
        {"--headless", "--frames", "9223372036854775807"},
        {"--headless", "--max-malformed", "0"},
        {"--record", "a.csv", "--capture", "a.csv.bin"},
    };
    for (const QStringList& args : rows) {
        const MonitorOptions options = parse(args);
        EXPECT_EQ(options.action, MonitorOptions::Action::Run)
            << args.join(' ').left(40).toStdString() << ": " << options.error.toStdString();
    }
    EXPECT_EQ(parse({"--headless", "--duration", "0.0001"}).duration, std::chrono::milliseconds(1));
}

TEST(CommandLine, AnUnattendedRunAsAskedFor)
{
    const MonitorOptions o =
        parse({"--headless", "--port", "/dev/ttyUSB1", "--duration", "1.0005", "--frames", "7",
               "--summary", "csv", "--expect", "AD1-AD2=0x10..100", "--capture", "-", "--record",
               "r.csv", "--append", "--reconnect"});
    ASSERT_EQ(o.action, MonitorOptions::Action::Run) << o.error.toStdString();
    EXPECT_EQ(o.status, ExitStatus::Ok);
    EXPECT_TRUE(o.headless && o.reconnect);
    EXPECT_EQ(o.port, "/dev/ttyUSB1");
    EXPECT_EQ(o.duration, std::chrono::milliseconds(1001)) << "never shorter than asked";
    EXPECT_EQ(o.frames, 7);
    EXPECT_EQ(o.summary, SummaryFormat::Csv);
    EXPECT_TRUE(o.limits[1].checked && o.limits[2].checked && !o.limits[3].checked);
    EXPECT_EQ(o.limits[2].lo, 16);
    EXPECT_EQ(o.openMode(), OpenMode::Append);
    EXPECT_TRUE(o.writesToStandardOutput());

    const MonitorOptions rotating =
        parse({"--headless", "--record", "r.csv", "--rotate", "100M", "--keep", "7",
               "--summary-file", "s.txt", "--summary-every", "5m"});
    ASSERT_EQ(rotating.action, MonitorOptions::Action::Run) << rotating.error.toStdString();
    EXPECT_EQ(rotating.rotation.maxBytes, 100u << 20);
    EXPECT_EQ(rotating.rotation.keep, 7);
    EXPECT_EQ(rotating.summaryPath, "s.txt");
    EXPECT_EQ(rotating.summaryEvery, std::chrono::minutes(5));
    EXPECT_FALSE(parse({"--capture", "c.bin", "--rotate", "1d"}).rotation.maxBytes);
    EXPECT_EQ(parse({"--capture", "c.bin", "--rotate", "1d"}).rotation.intervalMs, 86'400'000);

    const MonitorOptions plain = parse({"--headless", "--summary", "text", "--record", "r.csv"});
    EXPECT_EQ(plain.summary, SummaryFormat::Text);
    EXPECT_EQ(plain.openMode(), OpenMode::Create);
    EXPECT_FALSE(plain.writesToStandardOutput());

    const MonitorOptions chart = parse({"--plot", "--plot-span", "2.5"});
    EXPECT_TRUE(chart.plot && !chart.headless);
    EXPECT_EQ(chart.plotSpanSeconds, 2.5);
    EXPECT_EQ(parse({"--plot-span", "60"}).plotSpanSeconds, 60) << "for the menu's chart";
    EXPECT_EQ(parse({}).plotSpanSeconds, 10);
    EXPECT_FALSE(parse({}).plot);
}

// The profile gives what the command line leaves out; the command line wins over it, and a
// range it gives a channel, in readings or by name, replaces the profile's.
TEST(CommandLine, AProfileFillsInWhatTheCommandLineLeavesOut)
{
    QTemporaryDir dir;
    const QString rig = dir.filePath("rig.toml");
    QFile file(rig);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("port = \"/dev/ttyUSB7\"\nreconnect = true\nrecord = \"rig.csv\"\n"
               "capture = \"rig.bin\"\nrotate = \"1h\"\nkeep = 24\n"
               "[AD0]\nname = \"Battery\"\nlimits = [1, 2]\n[AD1]\nlimits = [3, 4]\n"
               "[AD2]\nname = \"Pump\"\n");
    file.close();

    const MonitorOptions fromFile = parse({"--profile", rig});
    ASSERT_EQ(fromFile.action, MonitorOptions::Action::Run) << fromFile.error.toStdString();
    EXPECT_EQ(fromFile.port, "/dev/ttyUSB7");
    EXPECT_TRUE(fromFile.reconnect);
    EXPECT_EQ(fromFile.recordPath, "rig.csv");
    EXPECT_EQ(fromFile.capturePath, "rig.bin");
    EXPECT_EQ(fromFile.rotation.intervalMs, 3'600'000);
    EXPECT_EQ(fromFile.rotation.keep, 24);
    ASSERT_TRUE(fromFile.profile);
    EXPECT_EQ(fromFile.profile->channel(0).name, "Battery");

    const MonitorOptions o =
        parse({"--profile", rig, "--headless", "--port", "/dev/ttyS0", "--record", "other.csv",
               "--capture", "other.bin", "--end-on-hangup", "--expect", "AD1=0..9", "--expect",
               "pump=-1..1.5"});
    ASSERT_EQ(o.action, MonitorOptions::Action::Run) << o.error.toStdString();
    EXPECT_EQ(o.port, "/dev/ttyS0");
    EXPECT_EQ(o.recordPath, "other.csv");
    EXPECT_EQ(o.capturePath, "other.bin");
    const MonitorOptions sized = parse({"--profile", rig, "--rotate", "1G", "--keep", "3"});
    EXPECT_EQ(sized.rotation.maxBytes, 1u << 30);
    EXPECT_EQ(sized.rotation.intervalMs, 0) << "the command line's rotation replaces the profile's";
    EXPECT_EQ(sized.rotation.keep, 3);
    EXPECT_FALSE(o.reconnect) << "--end-on-hangup outweighs the profile's reconnect";
    EXPECT_TRUE(o.profile->channel(0).limits) << "a channel the command line leaves alone";
    EXPECT_FALSE(o.profile->channel(1).limits) << "replaced by the range in readings";
    EXPECT_TRUE(o.limits[1].checked);
    EXPECT_EQ(o.profile->channel(2).limits->lo, -1.0);
    EXPECT_FALSE(o.limits[2].checked);

    const std::pair<QStringList, const char*> mistakes[] = {
        {{"--profile", dir.filePath("none.toml")}, "cannot read profile "},
        {{"--profile="}, "'--profile' needs a file name"},
        {{"--profile", rig, "--headless", "--expect", "Battery=1..2", "--expect", "AD0=1..2"},
         "channel AD0 (Battery) is given two ranges, in readings and by its name"},
        {{"--profile", rig, "--headless", "--expect", "Pump=1..2", "--expect", "pump=1..3"},
         "channel AD2 (Pump) is given two ranges"},
        {{"--headless", "--expect", "Battery=1..2"}, "unknown channel 'Battery'"},
    };
    for (const auto& [args, error] : mistakes) {
        const MonitorOptions options = parse(args);
        EXPECT_EQ(options.status, ExitStatus::Usage) << args.join(' ').toStdString();
        EXPECT_TRUE(options.error.contains(error))
            << args.join(' ').toStdString() << ": " << options.error.toStdString();
    }
    EXPECT_FALSE(parse(mistakes[0].first).showUsage) << "the usage does not help with a file";
}

TEST(CommandLine, PublishingAsAskedForAndItsMistakes)
{
    QTemporaryDir dir;
    const QString password = dir.filePath("password");
    const QString empty = dir.filePath("empty");
    for (const auto& [path, text] :
         {std::pair(password, "s3cret pass\r\nsecond line"), std::pair(empty, "\n")}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    qputenv("ADC_MQTT_PASSWORD", "from-the-environment");

    const MonitorOptions defaults = parse({"--mqtt", "mqtt://broker/lab/rig"});
    ASSERT_TRUE(defaults.mqtt) << defaults.error.toStdString();
    EXPECT_EQ(defaults.mqtt->publish.prefix, "lab/rig");
    EXPECT_EQ(defaults.mqtt->publish.qos, 0);
    EXPECT_FALSE(defaults.mqtt->publish.everyMs);
    EXPECT_EQ(defaults.mqtt->publish.bufferMs, 60'000);
    EXPECT_EQ(defaults.mqtt->summaryEveryMs, 10'000);
    EXPECT_EQ(defaults.mqtt->access.password, "") << "no user, no password";
    EXPECT_FALSE(parse({}).mqtt);

    const MonitorOptions all =
        parse({"--headless", "--mqtt", "mqtts://rig@broker:9883/lab/rig", "--mqtt-ca", password,
               "--mqtt-password-file", password, "--mqtt-qos", "1", "--mqtt-every", "250ms",
               "--mqtt-buffer", "1h", "--mqtt-summary-every", "1s"});
    ASSERT_TRUE(all.mqtt) << all.error.toStdString();
    EXPECT_EQ(all.mqtt->access.password, "s3cret pass");
    EXPECT_EQ(all.mqtt->access.caFile, password.toStdString());
    EXPECT_EQ(all.mqtt->publish.qos, 1);
    EXPECT_EQ(all.mqtt->publish.everyMs, 250);
    EXPECT_EQ(all.mqtt->publish.bufferMs, 3'600'000);
    EXPECT_EQ(all.mqtt->summaryEveryMs, 1000);
    EXPECT_EQ(parse({"--mqtt", "mqtt://rig@h/p"}).mqtt->access.password, "from-the-environment");
    EXPECT_EQ(parse({"--mqtt", "mqtt://h/p", "--mqtt-every", "10ms"}).mqtt->publish.everyMs, 10);
    EXPECT_EQ(parse({"--mqtt", "mqtt://h/p", "--mqtt-every", "1m"}).mqtt->publish.everyMs, 60'000);

    const std::pair<QStringList, const char*> mistakes[] = {
        {{"--mqtt", "broker/lab"}, "invalid MQTT URL 'broker/lab'"},
        {{"--mqtt", "mqtt://u:p@h/p"}, "no password in the URL"},
        {{"--mqtt-qos", "1"}, "--mqtt-qos needs --mqtt"},
        {{"--mqtt-ca", password}, "--mqtt-ca needs --mqtt"},
        {{"--mqtt-password-file", password}, "--mqtt-password-file needs --mqtt"},
        {{"--mqtt-every", "1s"}, "--mqtt-every needs --mqtt"},
        {{"--mqtt-buffer", "1s"}, "--mqtt-buffer needs --mqtt"},
        {{"--mqtt-summary-every", "1s"}, "--mqtt-summary-every needs --mqtt"},
        {{"--mqtt", "mqtt://h/p", "--mqtt-ca", password}, "--mqtt-ca needs an mqtts:// URL"},
        {{"--mqtt", "mqtts://h/p", "--mqtt-ca", dir.filePath("none")},
         "cannot read the certificate authorities"},
        {{"--mqtt", "mqtt://h/p", "--mqtt-password-file", password}, "needs a user name"},
        {{"--mqtt", "mqtt://u@h/p", "--mqtt-password-file", dir.filePath("none")},
         "cannot read the MQTT password file"},
        {{"--mqtt", "mqtt://u@h/p", "--mqtt-password-file", empty}, "holds no password"},
        {{"--mqtt", "mqtt://h/p", "--mqtt-qos", "2"}, "invalid MQTT QoS '2' (0 or 1)"},
        {{"--mqtt", "mqtt://h/p", "--mqtt-every", "9ms"}, "invalid MQTT interval '9ms'"},
        {{"--mqtt", "mqtt://h/p", "--mqtt-every", "61s"}, "invalid MQTT interval"},
        {{"--mqtt", "mqtt://h/p", "--mqtt-buffer", "999ms"}, "invalid MQTT buffer '999ms'"},
        {{"--mqtt", "mqtt://h/p", "--mqtt-buffer", "3601s"}, "invalid MQTT buffer"},
        {{"--mqtt", "mqtt://h/p", "--mqtt-summary-every", "0s"}, "invalid MQTT summary interval"},
        {{"--mqtt", "mqtt://h/p", "--mqtt-summary-every", "2d"}, "invalid MQTT summary interval"},
    };
    for (const auto& [args, error] : mistakes) {
        const MonitorOptions options = parse(args);
        EXPECT_EQ(options.status, ExitStatus::Usage) << args.join(' ').toStdString();
        EXPECT_TRUE(options.error.contains(error))
            << args.join(' ').toStdString() << ": " << options.error.toStdString();
    }
    qunsetenv("ADC_MQTT_PASSWORD");
}

} // namespace
} // namespace adc
