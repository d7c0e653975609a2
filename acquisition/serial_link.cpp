#include "acquisition/serial_link.h"

#include "acquisition/port_messages.h"
#include "acquisition/reception.h"

#include <QSocketNotifier>

namespace adc {

namespace {

constexpr qint32 kBaudRate = 9600;

// Holds well over a second of the fastest adapter's output while the window is busy; the
// converter's own rate fills it in minutes. A bounded buffer keeps a stalled window from growing
// memory without limit, and Qt stops reading (the line's own buffer then holds) rather than drop.
constexpr qint64 kReadBufferSize = 1 << 20;

// How often a lost device is looked for again with --reconnect.
constexpr int kRetryIntervalMs = 1000;

// While bytes keep coming, each wake-up costs far more than the bytes it brings: once a read
// follows the one before within kBusyNs, the port is left alone for kHoldMs and what came
// meanwhile is read in one go. A frame after a quiet spell is still read the moment it arrives.
constexpr qint64 kBusyNs = 5'000'000;
constexpr int kHoldMs = 4;

// A terminal hands over at most its own buffer (4 KiB on Linux) per read; a read that comes
// back at least half that full has likely left more behind.
constexpr qint64 kLikelyMoreBytes = 2048;
// What one wake-up reads at most, so that a source faster than the decoding cannot keep the
// window from its buttons.
constexpr qint64 kMaxBytesPerWake = 256 * 1024;
// A line that brings this much between two reads is too fast for a hold: the terminal's buffer
// would fill and the sender stall. It is read as it comes.
constexpr qint64 kTooFastToHoldBytes = 8 * 1024;

} // namespace

QString SerialLink::defaultPortName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM1");
#else
    return QStringLiteral("ttyS0");
#endif
}

SerialLink::SerialLink(Reception& reception, QObject* parent)
    : QObject(parent), m_reception(reception)
{
    connect(&m_port, &QSerialPort::readyRead, this, &SerialLink::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::onErrorOccurred);
    m_retry.setInterval(kRetryIntervalMs);
    connect(&m_retry, &QTimer::timeout, this, &SerialLink::retry);
    m_hold.setSingleShot(true);
    m_hold.setTimerType(Qt::PreciseTimer);
    m_hold.setInterval(kHoldMs);
    connect(&m_hold, &QTimer::timeout, this, &SerialLink::resumeReading);
}

SerialLink::~SerialLink()
{
    // Release the port quietly: nobody listens to signals from an object being destroyed.
    blockSignals(true);
    m_port.close();
}

bool SerialLink::start(const QString& portName)
{
    if (isReceiving())
        return true;

    m_portName = portName;
    if (const QString problem = unusablePortName(portName); !problem.isEmpty()) {
        emit failed(problem);
        return false;
    }
    if (!open()) {
        const QString message =
            openFailureMessage(portName, m_port.error(), m_port.errorString(), m_portChoice);
        m_port.clearError();
        emit failed(message);
        return false;
    }
    emit receivingStarted(portName);
    return true;
}

bool SerialLink::open()
{
    m_port.setPortName(m_portName);
    m_port.setBaudRate(kBaudRate);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setReadBufferSize(kReadBufferSize);

    // Errors raised while opening are reported here, once, not by onErrorOccurred.
    m_opening = true;
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_opening = false;
        return false;
    }

    m_port.clear(QSerialPort::AllDirections);
    // Pseudo-terminals and some USB adapters have no modem-control lines and refuse these with
    // "Inappropriate ioctl for device"; the data still flows, so carry on without them.
    m_port.setDataTerminalReady(true);
    m_port.setRequestToSend(true);
    m_port.clearError();
    // Anything that arrived during the set-up belongs to no frame we were asked to watch.
    m_port.clear(QSerialPort::Input);
    m_port.readAll();
    // A frame that the loss of the device cut short is dropped, never decoded.
    m_reception.restart();
    m_readNotifier = findReadNotifier();
    m_sinceRead.invalidate();
    m_opening = false;
    return true;
}

void SerialLink::stop()
{
    if (!isReceiving())
        return;
    m_retry.stop();
    m_hold.stop();
    m_port.close();
    emit stopped();
}

void SerialLink::retry()
{
    if (!open()) {
        m_port.clearError();
        return;
    }
    m_retry.stop();
    emit reconnected();
}

void SerialLink::onReadyRead()
{
    if (m_draining)
        return; // the inner loop below collects what a nested read brings
    m_draining = true;
    // Drain everything that is there: one wake-up may carry thousands of frames.
    qint64 total = 0;
    for (;;) {
        qint64 round = 0;
        while (m_port.isOpen() && m_port.bytesAvailable() > 0) {
            const QByteArray bytes = m_port.readAll();
            if (bytes.isEmpty())
                break;
            m_reception.feed(
                std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
            round += bytes.size();
        }
        total += round;
        if (round < kLikelyMoreBytes || total >= kMaxBytesPerWake || !m_port.isOpen() ||
            !m_port.waitForReadyRead(0))
            break;
    }
    m_draining = false;
    if (total == 0)
        return;
    const bool busy = m_sinceRead.isValid() && m_sinceRead.nsecsElapsed() < kBusyNs;
    m_sinceRead.start();
    if (busy && total < kTooFastToHoldBytes)
        holdReading();
    emit batchProcessed();
}

QSocketNotifier* SerialLink::findReadNotifier() const
{
    // QSerialPort has no way to pause its reads, but its watch on the descriptor is a child
    // object of its own, made anew by each open(). Where none is found, reads are never held:
    // only the saving is lost.
    const auto notifiers = m_port.findChildren<QSocketNotifier*>(Qt::FindDirectChildrenOnly);
    for (QSocketNotifier* n : notifiers)
        if (n->type() == QSocketNotifier::Read && n->socket() == m_port.handle())
            return n;
    return nullptr;
}

void SerialLink::holdReading()
{
    if (m_readNotifier && m_readNotifier->isEnabled()) {
        m_readNotifier->setEnabled(false);
        m_hold.start();
    }
}

void SerialLink::resumeReading()
{
    if (m_port.isOpen() && m_readNotifier)
        m_readNotifier->setEnabled(true);
}

void SerialLink::onErrorOccurred(QSerialPort::SerialPortError error)
{
    if (m_opening || !m_port.isOpen())
        return;
    switch (error) {
    case QSerialPort::NoError:
        return;
    // Missing modem lines are expected on some devices, and a quiet converter is no failure.
    case QSerialPort::UnsupportedOperationError:
    case QSerialPort::TimeoutError:
        m_port.clearError();
        return;
    // A vanished device shows as a resource or read error whose system text is usually stale
    // ("Inappropriate ioctl for device" left over from the modem lines), so say what happened.
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
        if (m_reconnect) {
            m_hold.stop();
            m_port.close();
            m_port.clearError();
            m_retry.start();
            emit reconnecting(tr("Lost serial port %1: the device was removed or hung up. "
                                 "Reconnecting as soon as it is back\u2026")
                                  .arg(shownPortName(m_portName)));
            return;
        }
        if (m_endOnHangup) {
            // What came before the hang-up is still to be read; then the line is done.
            onReadyRead();
            m_hold.stop();
            m_port.close();
            m_port.clearError();
            emit hungUp(tr("Serial port %1 hung up: end of input").arg(shownPortName(m_portName)));
            emit stopped();
            return;
        }
        fail(tr("Lost serial port %1: the device was removed or hung up")
                 .arg(shownPortName(m_portName)));
        return;
    default:
        fail(tr("Serial port %1 failed: %2").arg(shownPortName(m_portName), m_port.errorString()));
        return;
    }
}

void SerialLink::fail(const QString& message)
{
    // Close at once: a vanished device otherwise keeps raising the same error in a tight loop.
    m_hold.stop();
    m_port.close();
    m_port.clearError();
    emit failed(message);
    emit stopped();
}

} // namespace adc
