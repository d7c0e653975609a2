#include "tests/support/sim_process.h"

#include <csignal>

namespace adc::test {

namespace {

constexpr int kStartMs = 5000;
constexpr int kStopMs = 5000;

} // namespace

SimProcess::SimProcess(const QStringList& args)
{
    m_process.start(QStringLiteral(ADC_SIM_PATH), args);
    // The line may come in pieces; a simulator that ends or fails to start ends the wait.
    while (!m_process.canReadLine() && m_process.waitForReadyRead(kStartMs)) {
    }
    m_port = QString::fromLocal8Bit(m_process.readLine()).trimmed();
}

SimProcess::~SimProcess()
{
    // A stop signal lets it end as it does for a user; one that blocks them is killed.
    m_process.terminate();
    if (!m_process.waitForFinished(kStopMs)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

void SimProcess::signal(int sig) const
{
    ::kill(static_cast<pid_t>(m_process.processId()), sig);
}

std::optional<int> SimProcess::waitExit(int ms)
{
    if (m_process.error() == QProcess::FailedToStart ||
        (isRunning() && !m_process.waitForFinished(ms)) ||
        m_process.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    return m_process.exitCode();
}

} // namespace adc::test
