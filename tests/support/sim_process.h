#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>

namespace adc::test {

/// adc-sim running as a child process, as the tests and the whole-program benchmarks run it.
/// Construction starts it with the given arguments and waits for the line on which it names
/// the device it sends on; destruction stops it (SIGTERM, SIGKILL when that is not enough) and
/// waits for it to end.
class SimProcess
{
public:
    explicit SimProcess(const QStringList& args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    /// The device it sends on; empty when it did not name one within 5 s.
    const QString& port() const { return m_port; }

    /// Its process id; 0 once it has ended.
    qint64 pid() const { return m_process.processId(); }
    /// Sends it the signal `sig`.
    void signal(int sig) const;
    /// False once it has ended, as far as this process's event loop has noticed.
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    /// True when it is still running after waiting up to `ms` milliseconds for it to end.
    bool runningAfter(int ms) { return !m_process.waitForFinished(ms); }
    /// Its exit status once it ends within `ms` milliseconds; nothing when it crashed or is
    /// still running.
    std::optional<int> waitExit(int ms = 10000);
    /// What it has written to standard error; all of it once it has ended.
    std::string errorText() { return m_process.readAllStandardError().toStdString(); }

private:
    QProcess m_process;
    QString m_port;
};

} // namespace adc::test
