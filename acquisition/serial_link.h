#pragma once

#include "acquisition/port_messages.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QString>
#include <QTimer>

class QSocketNotifier;

namespace adc {

class Reception;

/// The serial line: opens a port at 9600 baud 8N1 without flow control, raises DTR and RTS,
/// discards what arrived before, and feeds every byte that arrives afterwards to a Reception,
/// as it arrives (no polling). While bytes keep coming, reads are gathered a few milliseconds
/// at a time, so that a fast line costs few wake-ups.
///
/// Failures never end the program: a port that cannot be opened, or a device that goes away while
/// receiving, is closed and reported once through failed(); the display keeps what it showed and
/// start() may be called again.
class SerialLink : public QObject
{
    Q_OBJECT

public:
    /// The first serial port of the platform: "ttyS0" on Linux, "COM1" on Windows.
    static QString defaultPortName();

    explicit SerialLink(Reception& reception, QObject* parent = nullptr);
    ~SerialLink() override;

    /// Opens `portName` (a name such as "ttyS0" or a path such as "/dev/pts/3") and starts
    /// receiving. Emits receivingStarted() or failed() before returning, and returns whether
    /// reception runs. While receiving, a further call does nothing and returns true.
    bool start(const QString& portName);

    /// Closes the port, releasing it for other programs; emits stopped() if it was receiving.
    void stop();

    /// True from a successful start() until stop() or a failure, also while reconnecting.
    bool isReceiving() const { return m_port.isOpen() || m_retry.isActive(); }

    /// When on, a device that goes away is not a failure: reconnecting() is emitted, the port
    /// is opened again once a second, and reconnected() is emitted when reception resumes.
    void setReconnect(bool reconnect) { m_reconnect = reconnect; }

    /// When on (and reconnecting is not), a device that goes away has ended its input, as a
    /// replay does after its last frame: hungUp() is emitted instead of failed().
    void setEndOnHangup(bool end) { m_endOnHangup = end; }

    /// Where the reader of a failure to open can choose another port; the window's menu
    /// unless told otherwise.
    void setPortChoice(PortChoice choice) { m_portChoice = choice; }

    /// The port last given to start().
    QString portName() const { return m_portName; }

    /// The read buffer that holds what arrives while the window is busy (0 = unbounded).
    qint64 readBufferSize() const { return m_port.readBufferSize(); }

signals:
    /// Reception runs on `portName`.
    void receivingStarted(const QString& portName);
    /// Opening failed, or the device went away; `message` names the port and the system's reason.
    /// Reception has stopped when this is emitted.
    void failed(const QString& message);
    /// Reception has ended, after stop() or a failure.
    void stopped();
    /// A batch of received bytes has been fed to the reception; the display is up to date.
    void batchProcessed();
    /// The device went away and is being looked for again; `message` says so.
    void reconnecting(const QString& message);
    /// The device is back and reception has resumed.
    void reconnected();
    /// With setEndOnHangup(): the device went away; reception has stopped, every byte that
    /// came before taken in. `message` says so.
    void hungUp(const QString& message);

private:
    void onReadyRead();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void fail(const QString& message);
    bool open();
    void retry();
    QSocketNotifier* findReadNotifier() const;
    void holdReading();
    void resumeReading();

    Reception& m_reception;
    QSerialPort m_port;
    QString m_portName;
    bool m_opening = false;
    bool m_reconnect = false;
    bool m_endOnHangup = false;
    PortChoice m_portChoice = PortChoice::WindowOrCommandLine;
    QTimer m_retry;
    QTimer m_hold;
    QPointer<QSocketNotifier> m_readNotifier;
    QElapsedTimer m_sinceRead;
    bool m_draining = false;
};

} // namespace adc
