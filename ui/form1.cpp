#include "ui/form1.h"

#include "ui/box.h"
#include "ui/panel_cache_style.h"
#include "ui/port_dialog.h"
#include "ui/shape.h"
#include "ui/window_placement.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QToolTip>
#include <algorithm>

namespace adc {

namespace {

// The layout is drawn up in twips; 15 of them make one logical pixel.
constexpr int kTwipsPerPixel = 15;

QRect twips(int left, int top, int width, int height)
{
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
            height / kTwipsPerPixel};
}

constexpr int kClientWidth = 5655;
constexpr int kClientHeight = 5535;

// Top of channel row k; the channel labels sit 60 twips lower, level with the box text.
constexpr int rowTop(int k)
{
    return 360 + 420 * k;
}

constexpr Colour kBrandColour = 0x808000;
// Behind a box whose reading lies outside its channel's limits; the black text stays legible.
const QColor kAlarmBackground(255, 96, 96);
constexpr qreal kDialogPointSize = 8.0;

QColor toQColor(Colour colour)
{
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

// What a screen reader says of the lamp, which it cannot see.
QString lampState(Colour colour)
{
    switch (colour) {
    case kLampBlack:
        return QStringLiteral("idle");
    case kLampReceiving:
        return QStringLiteral("frame arriving");
    case kLampComplete:
        return QStringLiteral("frame complete");
    default:
        return {};
    }
}

// A box's name for screen readers, from the channel and column its number stands for.
QString boxName(int number)
{
    if (number == kCountBox)
        return QStringLiteral("frame count");
    for (int k = 0; k < kChannelCount; ++k) {
        if (number == valueBox(k))
            return QStringLiteral("AD%1 value").arg(k);
        if (number == maxBox(k))
            return QStringLiteral("AD%1 max").arg(k);
        if (number == minBox(k))
            return QStringLiteral("AD%1 min").arg(k);
    }
    return {};
}

QFont arial(qreal points, bool bold, bool italic)
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

QFont boxFont()
{
    QFont font = arial(12, true, false);
    // Digits and a few Latin letters need no shaping, which was most of the cost of a new text.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

// One cache of frame pixels serves the boxes of every window, as long as the application runs.
QStyle* boxStyle()
{
    static QPointer<PanelCacheStyle> style;
    if (!style) {
        style = new PanelCacheStyle(QApplication::style()->name());
        style->setParent(qApp);
    }
    return style;
}

QFont headingFont()
{
    return arial(9.75, false, false);
}
QFont brandFont()
{
    return arial(12, true, true);
}

// The buttons, "TIMES" and "COM1 only" use the dialog font: the system's sans face at a dialog
// size, so that those captions fit their fixed places whatever the desktop's own font size.
QFont dialogFont()
{
    QFont font = QApplication::font();
    font.setPointSizeF(kDialogPointSize);
    return font;
}

} // namespace

Form1::Form1(const QString& portName, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QString::fromLatin1(kWindowTitle));
    setFont(dialogFont());
    setFixedSize(twips(0, 0, kClientWidth, kClientHeight).size());
    createElements();
    setFocusOrder();
    initConnections();
    setPortName(portName);
    Form_Load();
    m_boxes[0]->setFocus();
}

Form1::~Form1()
{
    if (m_session.profile())
        QAccessible::removeActivationObserver(this);
    // Before the reception it observes goes.
    delete m_chart;
}

void Form1::showChannels()
{
    if (!m_session.profile())
        return;
    if (!m_channels) {
        m_channels = new ChannelsWindow(m_session, m_clock, this);
        m_channels->setAttribute(Qt::WA_DeleteOnClose);
        connect(this, &Form1::displayUpdated, m_channels, &ChannelsWindow::refresh);
        const QRect frame = frameGeometry();
        const QSize decoration = frame.size() - size();
        if (const QScreen* s = screen(); s != nullptr)
            m_channels->move(
                placeBeside(frame, m_channels->size() + decoration, s->availableGeometry()));
    }
    m_channels->show();
    m_channels->raise();
}

void Form1::showChart()
{
    if (!m_chart) {
        m_chart = new ChartWindow(m_chartSpanSeconds, m_clock, this);
        m_chart->setAttribute(Qt::WA_DeleteOnClose);
        if (m_session.profile())
            m_chart->setProfile(m_session.profile());
        ReadingsObserver* observer = m_chart;
        m_session.addConsumer(observer);
        connect(m_chart, &QObject::destroyed, this,
                [this, observer] { m_session.removeConsumer(observer); });
        // Painted with the window's own updates, never more often.
        connect(this, &Form1::displayUpdated, m_chart, &ChartWindow::refresh);
        // Beside the window where the screen has room, else where it fits on the screen; its
        // frame is taken to be as wide as this window's own.
        const QRect frame = frameGeometry();
        const QSize decoration = frame.size() - size();
        if (const QScreen* s = screen(); s != nullptr) {
            const QRect area = s->availableGeometry();
            const QSize size = m_chart->size()
                                   .boundedTo(area.size() - decoration)
                                   .expandedTo(m_chart->minimumSizeHint());
            m_chart->resize(size);
            m_chart->move(placeBeside(frame, size + decoration, area));
        } else {
            m_chart->move(frame.topRight() + QPoint(8, 0));
        }
    }
    m_chart->show();
    m_chart->raise();
    m_chart->activateWindow();
}

void Form1::createElements()
{
    // Created bottom-most first: the outline lies behind the labels and boxes it encloses.
    auto* frame = new Shape(this);
    frame->setObjectName(QStringLiteral("Shape2"));
    frame->setGeometry(twips(300, 240, 2055, 3555));

    for (int k = 0; k < kChannelCount; ++k) {
        QLabel* label =
            addLabel(QStringLiteral("Label%1").arg(k + 1), QStringLiteral("AD%1").arg(k),
                     twips(180, rowTop(k) + 60, 855, 255), Qt::AlignRight | Qt::AlignTop);
        label->setFont(boxFont());
    }
    addLabel(QStringLiteral("Label12"), QStringLiteral("max"), twips(2880, 60, 855, 255),
             Qt::AlignHCenter | Qt::AlignTop)
        ->setFont(headingFont());
    addLabel(QStringLiteral("Label11"), QStringLiteral("min"), twips(4140, 60, 855, 255),
             Qt::AlignHCenter | Qt::AlignTop)
        ->setFont(headingFont());

    for (int k = 0; k < kChannelCount; ++k) {
        addBox(valueBox(k), twips(1200, rowTop(k), 1035, 330));
        addBox(maxBox(k), twips(2760, rowTop(k), 1035, 330));
        addBox(minBox(k), twips(4020, rowTop(k), 1035, 330));
    }

    addLabel(QStringLiteral("Label13"), QStringLiteral("TIMES"), twips(1740, 3900, 915, 255),
             Qt::AlignRight | Qt::AlignTop);
    addBox(kCountBox, twips(2760, 3840, 1035, 330));
    m_resetButton =
        addButton(QStringLiteral("Command5"), QStringLiteral("RESET"), twips(4320, 3900, 735, 315));

    m_lamp = new Shape(this);
    m_lamp->setObjectName(QStringLiteral("Shape1"));
    m_lamp->setGeometry(twips(600, 4380, 495, 255));
    m_lamp->setOutlined(false);
    m_lamp->setFilled(true);
    m_lamp->setFillColour(toQColor(kLampBlack));
    m_lamp->setAccessibleName(QStringLiteral("activity lamp"));
    m_lamp->setAccessibleDescription(lampState(kLampBlack));

    m_startButton = addButton(QStringLiteral("Command1"), QStringLiteral("START"),
                              twips(1260, 4380, 1035, 315));
    m_exitButton =
        addButton(QStringLiteral("Command2"), QStringLiteral("EXIT"), twips(4020, 4380, 1035, 315));
    m_hexButton =
        addButton(QStringLiteral("Command3"), QStringLiteral("HEX"), twips(600, 4800, 495, 315));
    m_decButton =
        addButton(QStringLiteral("Command4"), QStringLiteral("DEC"), twips(1260, 4800, 495, 315));

    m_portLabel = addLabel(QStringLiteral("Label9"), QStringLiteral("COM1 only"),
                           twips(1980, 4860, 915, 255), Qt::AlignLeft | Qt::AlignTop);
    QLabel* brand = addLabel(QStringLiteral("Label10"), QStringLiteral("Orbeline"),
                             twips(2820, 5040, 2175, 255), Qt::AlignRight | Qt::AlignTop);
    brand->setFont(brandFont());
    QPalette palette = brand->palette();
    palette.setColor(QPalette::WindowText, toQColor(kBrandColour));
    brand->setPalette(palette);
}

Box* Form1::addBox(int number, const QRect& geometry)
{
    auto* box = new Box(this);
    box->setObjectName(QStringLiteral("Text%1").arg(number));
    box->setAccessibleName(boxName(number));
    box->setGeometry(geometry);
    box->setStyle(boxStyle());
    box->setFont(boxFont());
    box->setAlignment(Qt::AlignCenter);
    // A 12 pt line nearly fills the 22-pixel box; a style with a thicker frame than Fusion's
    // would clip it, so let the text reach into the frame's rows rather than lose descenders.
    box->setTextMargins(0, -1, 0, -1);
    m_boxes[number - 1] = box;
    return box;
}

QLabel* Form1::addLabel(const QString& name, const QString& caption, const QRect& geometry,
                        Qt::Alignment alignment)
{
    auto* label = new QLabel(caption, this);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setAlignment(alignment);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton* Form1::addButton(const QString& name, const QString& caption, const QRect& geometry)
{
    auto* button = new QPushButton(caption, this);
    button->setObjectName(name);
    button->setGeometry(geometry);
    // Enter and Escape in a box must press nothing.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

void Form1::setFocusOrder()
{
    QList<QWidget*> order;
    for (int k = 0; k < kChannelCount; ++k)
        order << m_boxes[valueBox(k) - 1];
    order << m_startButton << m_exitButton << m_hexButton << m_decButton;
    for (int k = 0; k < kChannelCount; ++k)
        order << m_boxes[maxBox(k) - 1];
    for (int k = 0; k < kChannelCount; ++k)
        order << m_boxes[minBox(k) - 1];
    order << m_resetButton << m_boxes[kCountBox - 1];
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void Form1::initConnections()
{
    connect(m_startButton, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(m_exitButton, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(m_hexButton, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(m_decButton, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(m_resetButton, &QPushButton::clicked, this, &Form1::Command5_Click);

    connect(&m_session, &MonitorSession::receivingStarted, m_startButton,
            [this] { m_startButton->setEnabled(false); });
    connect(&m_session, &MonitorSession::stopped, m_startButton,
            [this] { m_startButton->setEnabled(true); });
    connect(&m_session, &MonitorSession::portFailed, this, &Form1::showFailure);
    connect(&m_session, &MonitorSession::batchProcessed, this, &Form1::onBatchProcessed);
    m_displayTimer.setSingleShot(true);
    m_displayTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_displayTimer, &QTimer::timeout, this, &Form1::flushDisplay);
    connect(&m_session, &MonitorSession::reconnecting, this, &Form1::showFailure);
    connect(&m_session, &MonitorSession::reconnected, this, [this] {
        if (m_failure)
            m_failure->close();
    });
    connect(&m_session, &MonitorSession::recordingFailed, this, &Form1::showFailure);
    connect(&m_session, &MonitorSession::recordingChanged, this, &Form1::updatePortToolTip);
}

void Form1::setBoxText(int box, std::string_view text)
{
    m_session.display().setBoxText(box, text);
}

void Form1::setLampColour(Colour colour)
{
    m_session.display().setLampColour(colour);
}

std::chrono::nanoseconds Form1::refreshInterval() const
{
    constexpr double kDefaultRefreshHz = 60.0;
    const QScreen* s = screen();
    const double hz =
        s != nullptr && s->refreshRate() >= 1.0 ? s->refreshRate() : kDefaultRefreshHz;
    return std::chrono::nanoseconds(static_cast<std::int64_t>(1e9 / hz));
}

void Form1::onBatchProcessed()
{
    // Leading edge: a frame after a quiet spell is shown at once; under load the frames that
    // follow within one refresh wait for its end, and only what is newest then is shown.
    const std::int64_t now = m_clock.monotonicNs();
    if (m_refreshAsked.due(now)) {
        m_displayPace.setIntervalNs(refreshInterval().count());
        m_refreshAsked.done(now);
    }
    const bool completed = m_session.reception().framesDecoded() != m_framesShown;
    if (completed && m_displayPace.due(now)) {
        flushDisplay();
        return;
    }
    if (m_displayTimer.isActive())
        return;
    // A frame only begun waits up to a whole refresh, so that its end, a moment later, is
    // shown at once rather than held back by the update that showed its start.
    const std::int64_t wait =
        m_displayPace.due(now) ? m_displayPace.intervalNs() : m_displayPace.untilDueNs(now);
    m_displayTimer.start(
        std::chrono::ceil<std::chrono::milliseconds>(std::chrono::nanoseconds(wait)));
}

void Form1::flushDisplay()
{
    m_displayTimer.stop();
    m_displayPace.done(m_clock.monotonicNs());
    m_framesShown = m_session.reception().framesDecoded();
    m_session.display().flush(
        [this](int box, std::string_view text) {
            m_boxes[box - 1]->showText(
                QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
        },
        [this](Colour colour) {
            // Set with every frame; a screen reader hears only of a change.
            const QColor fill = toQColor(colour);
            if (fill == m_lamp->fillColour())
                return;
            m_lamp->setFillColour(fill);
            m_lamp->setAccessibleDescription(lampState(colour));
        });
    if (m_session.profile())
        showChannelValues();
    emit displayUpdated();
}

void Form1::setProfile(const Profile& profile)
{
    m_session.setProfile(profile);
    for (Box* box : m_boxes)
        box->installEventFilter(this);
    m_screenReader = QAccessible::isActive();
    QAccessible::installActivationObserver(this);
    showChannelValues();
}

void Form1::showChannelValues()
{
    const Profile& profile = *m_session.profile();
    const ValueStatistics& values = *m_session.valueStatistics();
    const MonitorState& state = m_session.state();
    const bool seen = state.frameCount > 0;
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelProfile& channel = profile.channel(k);
        const auto outside = [&channel](bool known, double value) {
            return known && channel.limits && !channel.limits->contains(value);
        };
        markBox(valueBox(k), outside(values.hasLatest(k), values.latest(k)));
        // The extremes as the boxes show them, so that the red is where the number is.
        markBox(maxBox(k), outside(seen, channel.value(state.max[k])));
        markBox(minBox(k), outside(seen, channel.value(state.min[k])));
    }
    // A screen reader hears the values as they change; a tooltip is made when it is asked for.
    if (m_screenReader)
        for (int box = 1; box < kCountBox; ++box)
            if (const QString text = boxDescription(box);
                m_boxes[box - 1]->accessibleDescription() != text)
                m_boxes[box - 1]->setAccessibleDescription(text);
}

QString Form1::boxDescription(int box) const
{
    const Profile* profile = m_session.profile();
    if (profile == nullptr || box < 1 || box >= kCountBox)
        return {};
    const int k = (box - 1) % kChannelCount;
    const ChannelProfile& channel = profile->channel(k);
    const QString name = QString::fromStdString(profile->channelName(k));
    const ValueStatistics& values = *m_session.valueStatistics();
    const MonitorState& state = m_session.state();
    QString what = name;
    bool known = values.hasLatest(k);
    double value = values.latest(k);
    if (box == maxBox(k) || box == minBox(k)) {
        what = box == maxBox(k) ? tr("%1, highest reading").arg(name)
                                : tr("%1, lowest reading").arg(name);
        known = state.frameCount > 0;
        value = channel.value(box == maxBox(k) ? state.max[k] : state.min[k]);
    }
    if (!known)
        return tr("%1: no reading yet").arg(what);
    QString text =
        what + QStringLiteral(": ") + QString::fromStdString(channel.formatWithUnit(value));
    if (channel.limits && !channel.limits->contains(value))
        text += tr(", outside %1").arg(QString::fromStdString(channel.limitsText()));
    return text;
}

void Form1::markBox(int box, bool outside)
{
    bool& alarmed = m_alarmed[static_cast<std::size_t>(box - 1)];
    if (alarmed == outside)
        return;
    alarmed = outside;
    Box* b = m_boxes[static_cast<std::size_t>(box - 1)];
    QPalette palette = b->palette();
    palette.setColor(QPalette::Base,
                     outside ? kAlarmBackground : QApplication::palette(b).color(QPalette::Base));
    b->setPalette(palette);
}

void Form1::accessibilityActiveChanged(bool active)
{
    m_screenReader = active;
    if (active)
        showChannelValues();
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip && m_session.profile()) {
        const auto found = std::find(m_boxes.begin(), m_boxes.end(), watched);
        if (const int box = int(found - m_boxes.begin()) + 1;
            found != m_boxes.end() && box < kCountBox) {
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), boxDescription(box),
                               *found);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::Form_Load()
{
    for (int k = 0; k < kChannelCount; ++k)
        setBoxText(valueBox(k), {});
    Command5_Click();
    flushDisplay();
}

void Form1::Command1_Click()
{
    m_session.start();
    flushDisplay();
}

void Form1::Command2_Click()
{
    m_session.stop();
    flushDisplay();
    QCoreApplication::exit(0);
}

void Form1::Command3_Click()
{
    m_session.selectMode(DisplayMode::Hex);
    flushDisplay();
}

void Form1::Command4_Click()
{
    m_session.selectMode(DisplayMode::Dec);
    flushDisplay();
}

void Form1::Command5_Click()
{
    m_session.reset();
    flushDisplay();
}

void Form1::showFailure(const QString& message)
{
    // One message at a time, the newest: a second failure replaces the first. Not modal, so
    // that EXIT, RESET, HEX, DEC and the close button go on working while it is shown, and
    // not exec(): a nested event loop would run reception inside this handler.
    if (!m_failure) {
        m_failure = new QMessageBox(QMessageBox::Warning, windowTitle(), {}, QMessageBox::Ok, this);
        m_failure->setAttribute(Qt::WA_DeleteOnClose);
        m_failure->setWindowModality(Qt::NonModal);
    }
    m_failure->setText(message);
    m_failure->show();
    m_failure->raise();
}

void Form1::setPortName(const QString& portName)
{
    m_session.setPortName(portName);
    updatePortToolTip();
}

void Form1::updatePortToolTip()
{
    QString tip = tr("Receives on %1").arg(portName());
    if (recording().isRecording())
        tip += QLatin1Char('\n') + tr("Records to %1").arg(recording().recordingPath());
    m_portLabel->setToolTip(tip);
}

void Form1::chooseRecordingFile()
{
    // Not exec(): reception goes on while the operator picks a name.
    auto* dialog = new QFileDialog(this, tr("Record to file"), QString(),
                                   tr("CSV files (*.csv);;All files (*)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("csv"));
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        // The dialog has asked before replacing a file that exists.
        if (const QString problem = recording().startRecording(path, OpenMode::Replace);
            !problem.isEmpty())
            showFailure(problem);
    });
    dialog->show();
}

void Form1::contextMenuEvent(QContextMenuEvent* event)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* choose = menu->addAction(tr("Serial port\u2026"));
    choose->setEnabled(!isReceiving());
    connect(choose, &QAction::triggered, this, [this] {
        auto* dialog = new PortDialog(portName(), this);
        connect(dialog, &PortDialog::chosen, this, &Form1::setPortName);
        dialog->show();
    });
    menu->addSeparator();
    connect(menu->addAction(tr("Plot")), &QAction::triggered, this, &Form1::showChart);
    if (m_session.profile())
        connect(menu->addAction(tr("Channels")), &QAction::triggered, this, &Form1::showChannels);
    connect(menu->addAction(tr("Record to file\u2026")), &QAction::triggered, this,
            &Form1::chooseRecordingFile);
    QAction* stopRecording = menu->addAction(tr("Stop recording"));
    stopRecording->setEnabled(recording().isRecording());
    connect(stopRecording, &QAction::triggered, &recording(), &RecordingSession::stopRecording);
    // Not exec(): reception must go on while the menu is open.
    menu->popup(event->globalPos());
}

void Form1::closeEvent(QCloseEvent* event)
{
    Command2_Click();
    event->accept();
}

void Form1::showEvent(QShowEvent* event)
{
    if (!m_placed) {
        m_placed = true;
        if (const QScreen* s = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QWidget::showEvent(event);
}

} // namespace adc
