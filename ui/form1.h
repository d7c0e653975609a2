#pragma once

#include "monitor/throttle.h"
#include "monitor/window_ops.h"
#include "recording/clock.h"
#include "session/monitor_session.h"
#include "ui/channels_window.h"
#include "ui/chart_window.h"

#include <QAccessible>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <chrono>
#include <string_view>

class QLabel;
class QMessageBox;
class QPushButton;

namespace adc {

class Box;
class Shape;

/// The window's title, also used for the message boxes it shows.
inline constexpr char kWindowTitle[] = " A/D Test (8ch)";

/// The monitor's one window: the channel grid of value, max and min boxes, the frame count, the
/// activity lamp and the five buttons, each at its fixed place.
///
/// The view of a monitoring session: its buttons and menu drive the session, and what the
/// session writes to the boxes and the lamp is shown together: at the end of every handler,
/// and for received frames at most once per refresh of the screen, so that the widgets' cost
/// does not grow with the frame rate. A frame after a quiet spell is shown at once; under load
/// none waits longer than one refresh interval.
class Form1 final : public QWidget, public WindowOps, private QAccessible::ActivationObserver
{
    Q_OBJECT

public:
    /// Builds the window and runs Form_Load; START will receive on `portName`.
    explicit Form1(const QString& portName = SerialLink::defaultPortName(),
                   QWidget* parent = nullptr);
    ~Form1() override;

    /// Records `text` for box `box` (1..25); it is shown at the next flush.
    void setBoxText(int box, std::string_view text) override;
    /// Records the lamp's fill colour; it is shown at the next flush.
    void setLampColour(Colour colour) override;

    /// The session the window shows and drives.
    MonitorSession& session() { return m_session; }

    /// The port START opens.
    QString portName() const { return m_session.portName(); }
    /// Makes START open `portName` from now on; ignored while receiving.
    void setPortName(const QString& portName);
    /// When on, a device that goes away is opened again as soon as it is back, with the
    /// display kept; meanwhile a message says so and START stays disabled.
    void setReconnect(bool reconnect) { m_session.setReconnect(reconnect); }
    /// True while the port is open and frames are received.
    bool isReceiving() const { return m_session.isReceiving(); }
    /// The displayed statistics.
    const MonitorState& state() const { return m_session.state(); }
    /// The least time between two display updates for received frames: one refresh of the
    /// window's screen (60 Hz where the screen does not say).
    std::chrono::nanoseconds refreshInterval() const;
    /// What keeps the readings and the received bytes, when asked to.
    RecordingSession& recording() { return m_session.recording(); }

    /// Names the channels and gives their values in their units, in the tooltip and the
    /// accessible description of each value, max and min box, and marks a box on red while
    /// what it shows lies outside its channel's limits: a value box for its latest reading, a
    /// max or min box for its extreme, so that an excursion stays in view until RESET. Set
    /// once, before START.
    void setProfile(const Profile& profile);
    /// True while box `box` (1..25) is marked as outside its channel's limits.
    bool isAlarmed(int box) const { return m_alarmed[static_cast<std::size_t>(box - 1)]; }
    /// What box `box` (1..24) shows, in words, with a profile: "Battery: 12.31 V", and
    /// ", outside 11.50..12.60 V" when it is; empty without a profile.
    QString boxDescription(int box) const;

    /// Opens the strip chart of the channels beside the window, or brings it to the front.
    void showChart();
    /// The seconds of readings a chart opened from now on shows.
    void setChartSpan(double seconds) { m_chartSpanSeconds = seconds; }
    /// The open chart, or null.
    ChartWindow* chartWindow() const { return m_chart; }
    /// Opens the table of the channels' values in their units, or brings it to the front;
    /// there is one only with a profile.
    void showChannels();
    /// The open table of the channels, or null.
    ChannelsWindow* channelsWindow() const { return m_channels; }

signals:
    /// The boxes and the lamp have just been given what they show.
    void displayUpdated();

public slots:
    /// Start-up: empties the value boxes and resets. Runs once, before the window is shown.
    void Form_Load();
    /// START: opens the port and receives until EXIT or a failure of the line.
    void Command1_Click();
    /// EXIT: releases the port and ends the program with status 0, at once.
    void Command2_Click();
    /// HEX: hexadecimal display, then reset.
    void Command3_Click();
    /// DEC: decimal display, then reset.
    void Command4_Click();
    /// RESET: restarts the ranges and the frame count.
    void Command5_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    /// The window's own menu: "Serial port…", offered while not receiving, "Plot", "Channels"
    /// with a profile, "Record to file…" and "Stop recording".
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    /// A box's tooltip, made from the newest values when it is asked for.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createElements();
    Box* addBox(int number, const QRect& geometry);
    QLabel* addLabel(const QString& name, const QString& caption, const QRect& geometry,
                     Qt::Alignment alignment);
    QPushButton* addButton(const QString& name, const QString& caption, const QRect& geometry);
    void setFocusOrder();
    void initConnections();
    void flushDisplay();
    /// The alarms and, for a screen reader, the descriptions, after the boxes have been given
    /// their texts.
    void showChannelValues();
    void markBox(int box, bool outside);
    void accessibilityActiveChanged(bool active) override;
    void onBatchProcessed();
    void showFailure(const QString& message);
    void chooseRecordingFile();
    void updatePortToolTip();

    MonitorSession m_session{MonitorSession::Face::Window, this};
    SystemClock m_clock;
    QPointer<ChartWindow> m_chart;
    QPointer<ChannelsWindow> m_channels;
    double m_chartSpanSeconds = ChartWindow::kDefaultSpanSeconds;

    std::array<Box*, kBoxCount> m_boxes{};
    std::array<bool, kBoxCount> m_alarmed{};
    // With a profile: a screen reader listens, so the boxes' descriptions follow the values.
    bool m_screenReader = false;
    Shape* m_lamp = nullptr;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_exitButton = nullptr;
    QPushButton* m_hexButton = nullptr;
    QPushButton* m_decButton = nullptr;
    QPushButton* m_resetButton = nullptr;
    QLabel* m_portLabel = nullptr;
    QPointer<QMessageBox> m_failure;
    QTimer m_displayTimer;
    Throttle m_displayPace{0};
    // Asking the screen costs more than the rest of a batch; a second's delay in noticing a
    // new refresh rate does not matter.
    Throttle m_refreshAsked{1'000'000'000};
    std::int64_t m_framesShown = 0; // frames decoded when the display was last updated
    bool m_placed = false;
};

} // namespace adc
