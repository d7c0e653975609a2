#include "app/signal_notifier.h"
#include "tests/support/pty_pair.h"
#include "ui/form1.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// True once the process `pid` catches `signal` with a handler of its own.
bool catches(qint64 pid, int signal)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

} // namespace

class StopSignalTest : public QObject
{
    Q_OBJECT

private slots:
    void eachEndsTheProgramAsExitDoes_data()
    {
        QTest::addColumn<int>("signal");
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            QTest::newRow(sigabbrev_np(signal)) << signal;
    }

    // Receiving, in the middle of a frame: the port is closed and its lock file gone.
    void eachEndsTheProgramAsExitDoes()
    {
        QFETCH(int, signal);
        adc::test::PtyPair pty;
        adc::Form1 form(QString::fromStdString(pty.path()));
        adc::SignalNotifier stops;
        connect(&stops, &adc::SignalNotifier::signalled, &form,
                &adc::Form1::Command2_Click);
        form.Command1_Click();
        pty.write("\x02"
                  "123 45");
        QTRY_COMPARE(form.state().frameCount, 1);
        const QString lock =
            "/run/lock/LCK.." + QString::fromStdString(pty.path()).mid(5).replace('/', '_');
        QVERIFY(QFile::exists(lock));

        QTimer::singleShot(0, this, [signal] { ::kill(::getpid(), signal); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!form.isReceiving());
        QVERIFY(!QFile::exists(lock));
    }

    // The program itself, with no display needed beyond the offscreen one. Asked to record
    // and to add to a capture (which holds no CSV), it makes no file before START.
    void theProgramEndsWithStatusZero()
    {
        QTemporaryDir dir;
        QFile capture(dir.filePath("old.bin"));
        QVERIFY(capture.open(QIODevice::WriteOnly) && capture.write("\x02raw\r") == 5);
        capture.close();
        adc::test::PtyPair pty;
        QProcess monitor;
        monitor.start(ADC_MONITOR_PATH,
                      {"--port", QString::fromStdString(pty.path()), "--record",
                       dir.filePath("run.csv"), "--capture", capture.fileName(), "--append"});
        QVERIFY(monitor.waitForStarted());
        QTRY_VERIFY(catches(monitor.processId(), SIGTERM));
        // The summary's signal, sent to the window by mistake, changes nothing.
        ::kill(static_cast<pid_t>(monitor.processId()), SIGUSR1);
        QVERIFY(!monitor.waitForFinished(300));
        ::kill(static_cast<pid_t>(monitor.processId()), SIGTERM);
        QVERIFY(monitor.waitForFinished(10000));
        QCOMPARE(monitor.exitStatus(), QProcess::NormalExit);
        QCOMPARE(monitor.exitCode(), 0);
        QVERIFY(!QFile::exists(dir.filePath("run.csv")));
    }
};

QTEST_MAIN(StopSignalTest)
#include "stop_signal_test.moc"
