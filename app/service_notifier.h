#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace adc {

/// Tells systemd how a run stands when it runs as a notify service: ready once receiving,
/// stopping at the end, and alive every half of the watchdog's time while the event loop
/// turns, so that a run that hangs is restarted. Outside a service, or built without
/// libsystemd, it does nothing.
class ServiceNotifier final : public QObject
{
    Q_OBJECT

public:
    explicit ServiceNotifier(QObject* parent = nullptr);

    /// The run is up; `status` is what `systemctl status` shows.
    void ready(const QString& status);
    /// The run is ending.
    void stopping();
    /// True when systemd asked for watchdog pings.
    bool watchdogActive() const { return m_watchdog.isActive(); }

private:
    static void notify(const QByteArray& state);

    QTimer m_watchdog;
};

} // namespace adc
