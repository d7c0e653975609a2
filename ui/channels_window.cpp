#include "ui/channels_window.h"

#include "common/text.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <chrono>
#include <cmath>

namespace adc {

namespace {

// Behind the row of a channel that has been outside its limits since RESET.
const QColor kMarked(255, 96, 96);
const QString kNone = QStringLiteral("\u2013");

enum Column
{
    Channel,
    Name,
    Value,
    Min,
    Max,
    Mean,
    StdDev,
    Limits,
    Outside,
    LastExcursion,
};

// Draws a cell's background and text and nothing else: the table is read, never selected or
// edited, and the general item's text layout costs far more than its repaints can afford.
class PlainCell final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const QBrush background = index.data(Qt::BackgroundRole).value<QBrush>();
        if (background.style() != Qt::NoBrush)
            painter->fillRect(option.rect, background);
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(option.rect.adjusted(kMargin, 0, -kMargin, 0),
                          index.data(Qt::TextAlignmentRole).toInt(),
                          index.data(Qt::DisplayRole).toString());
    }

private:
    static constexpr int kMargin = 4;
};

} // namespace

const QStringList& ChannelsWindow::headings()
{
    static const QStringList kHeadings{
        tr("Channel"), tr("Name"),    tr("Value"),  tr("Min"),     tr("Max"),
        tr("Mean"),    tr("Std dev"), tr("Limits"), tr("Outside"), tr("Last excursion")};
    return kHeadings;
}

ChannelsWindow::ChannelsWindow(const MonitorSession& session, const Clock& clock, QWidget* parent)
    : QWidget(parent, Qt::Window), m_session(session), m_clock(clock)
{
    setWindowTitle(tr("Channels"));
    setObjectName(QStringLiteral("ChannelsWindow"));
    m_table = new QTableWidget(kChannelCount, int(headings().size()), this);
    m_table->setObjectName(QStringLiteral("ChannelsTable"));
    m_table->setHorizontalHeaderLabels(headings());
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setItemDelegate(new PlainCell(m_table));
    for (int row = 0; row < kChannelCount; ++row)
        for (int column = 0; column < m_table->columnCount(); ++column) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(column <= Name ? Qt::AlignLeft | Qt::AlignVCenter
                                                  : Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(row, column, item);
        }

    auto* copyButton = new QPushButton(tr("Copy"), this);
    copyButton->setObjectName(QStringLiteral("Copy"));
    copyButton->setToolTip(tr("Copy the table to the clipboard as text"));
    auto* bar = new QHBoxLayout;
    bar->addStretch();
    bar->addWidget(copyButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(bar);

    m_later.setSingleShot(true);
    connect(&m_later, &QTimer::timeout, this, &ChannelsWindow::refresh);
    connect(copyButton, &QPushButton::clicked, this, &ChannelsWindow::copy);
    connect(new QShortcut(QKeySequence::Copy, this), &QShortcut::activated, this,
            &ChannelsWindow::copy);

    m_table->setWordWrap(false);
    showStatistics();
    // Wide enough for the longest text each column can show, so that no value is cut short
    // while the numbers change: the values at both ends of every channel's scale.
    for (int k = 0; k < kChannelCount; ++k) {
        const Profile& profile = *m_session.profile();
        const ChannelProfile& channel = profile.channel(k);
        QString widest;
        for (const std::int32_t raw : {0, kReadingMax}) {
            const double value = channel.value(raw);
            for (const std::string& text :
                 {channel.formatWithUnit(-std::abs(value)),
                  fixedText(-std::abs(value), channel.shownDecimals() + 1) + " " + channel.unit})
                if (text.size() > widest.toStdString().size())
                    widest = QString::fromStdString(text);
        }
        for (const int column : {Value, Min, Max, Mean, StdDev})
            setCell(k, column, widest);
        setCell(k, LastExcursion, QStringLiteral("00:00:00.000"));
    }
    m_table->resizeColumnsToContents();
    showStatistics();
    resize(m_table->horizontalHeader()->length() + 40, m_table->verticalHeader()->length() +
                                                           m_table->horizontalHeader()->height() +
                                                           copyButton->sizeHint().height() + 50);
}

void ChannelsWindow::refresh()
{
    const std::int64_t now = m_clock.monotonicNs();
    if (!m_pace.due(now)) {
        if (!m_later.isActive())
            m_later.start(std::chrono::ceil<std::chrono::milliseconds>(
                std::chrono::nanoseconds(m_pace.untilDueNs(now))));
        return;
    }
    m_pace.done(now);
    showStatistics();
}

void ChannelsWindow::showStatistics()
{
    const Profile& profile = *m_session.profile();
    const ValueStatistics& values = *m_session.valueStatistics();
    const std::int64_t nowNs = m_clock.monotonicNs();
    const std::int64_t nowMs = m_clock.unixMs();
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelProfile& channel = profile.channel(k);
        const ChannelValueStatistics c = values.channel(k);
        const auto shown = [&channel](double value) {
            return QString::fromStdString(channel.formatWithUnit(value));
        };
        const auto finer = [&channel](double value) {
            const std::string text = fixedText(value, channel.shownDecimals() + 1);
            return QString::fromStdString(channel.unit.empty() ? text : text + " " + channel.unit);
        };
        const bool any = c.count > 0;
        setCell(k, Channel, QStringLiteral("AD%1").arg(k));
        setCell(k, Name, QString::fromStdString(profile.channelName(k)));
        setCell(k, Value, values.hasLatest(k) ? shown(values.latest(k)) : kNone);
        setCell(k, Min, any ? shown(c.min) : kNone);
        setCell(k, Max, any ? shown(c.max) : kNone);
        setCell(k, Mean, any ? finer(c.mean) : kNone);
        setCell(k, StdDev, any ? finer(c.standardDeviation) : kNone);
        setCell(k, Limits, channel.limits ? QString::fromStdString(channel.limitsText()) : kNone);
        setCell(k, Outside, channel.limits ? QString::number(c.outside) : kNone);
        QString last = kNone;
        if (c.lastExcursionNs >= 0) {
            // The moment on the wall clock, from how long ago it was.
            const std::int64_t agoMs =
                (nowNs - (m_session.startedNs() + c.lastExcursionNs)) / 1'000'000;
            last = QDateTime::fromMSecsSinceEpoch(nowMs - agoMs)
                       .toString(QStringLiteral("HH:mm:ss.zzz"));
        }
        setCell(k, LastExcursion, last);
        const bool marked = c.outside > 0;
        if (isMarked(k) != marked)
            for (int column = 0; column < m_table->columnCount(); ++column)
                m_table->item(k, column)->setBackground(marked ? QBrush(kMarked) : QBrush());
    }
}

bool ChannelsWindow::isMarked(int k) const
{
    return m_table->item(k, 0)->background().style() != Qt::NoBrush;
}

void ChannelsWindow::setCell(int row, int column, const QString& text)
{
    QTableWidgetItem* item = m_table->item(row, column);
    // Unchanged cells cost nothing at the display's pace.
    if (item->text() != text)
        item->setText(text);
}

QString ChannelsWindow::tableText() const
{
    QString text = headings().join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (int row = 0; row < kChannelCount; ++row) {
        QStringList cells;
        for (int column = 0; column < m_table->columnCount(); ++column)
            cells << m_table->item(row, column)->text();
        text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

void ChannelsWindow::copy()
{
    // What is copied is what the newest statistics say, not what was shown a moment ago.
    showStatistics();
    QApplication::clipboard()->setText(tableText());
}

} // namespace adc
