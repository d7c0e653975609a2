#include "app/service_notifier.h"

#ifdef ADC_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

#include <chrono>

namespace adc {

ServiceNotifier::ServiceNotifier(QObject* parent) : QObject(parent)
{
    connect(&m_watchdog, &QTimer::timeout, this, [] { notify("WATCHDOG=1"); });
}

void ServiceNotifier::ready(const QString& status)
{
    notify("READY=1\nSTATUS=" + status.toUtf8());
#ifdef ADC_HAVE_SYSTEMD
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0)
        m_watchdog.start(std::chrono::milliseconds(usec / 2000));
#endif
}

void ServiceNotifier::stopping()
{
    m_watchdog.stop();
    notify("STOPPING=1");
}

void ServiceNotifier::notify([[maybe_unused]] const QByteArray& state)
{
#ifdef ADC_HAVE_SYSTEMD
    sd_notify(0, state.constData());
#endif
}

} // namespace adc
