#pragma once

#include "monitor/throttle.h"
#include "recording/clock.h"
#include "session/monitor_session.h"

#include <QTimer>
#include <QWidget>

class QTableWidget;

namespace adc {

/// A window of its own with a row per channel: its name, its newest value in its unit, the
/// lowest, highest, mean and standard deviation since RESET, its limits, how many values lay
/// outside them and when the last one came. A row whose channel has been outside since RESET is
/// marked. "Copy" (or the copy key) puts the table on the clipboard as tab-separated text.
///
/// It shows what the session's statistics in units hold when refresh() is called, with the
/// window's updates and at most once a second, as a list of processes does: the boxes follow
/// every frame, the table sums them up, and a table's repaint costs more than all the boxes'.
/// It keeps nothing of its own beyond the texts shown.
class ChannelsWindow final : public QWidget
{
    Q_OBJECT

public:
    /// The table's columns, as copied.
    static const QStringList& headings();

    /// Shows `session`'s channels, which must have a profile; times come from `clock`. Both
    /// must outlive the window.
    ChannelsWindow(const MonitorSession& session, const Clock& clock, QWidget* parent = nullptr);

    /// The least time between two updates of the table.
    static constexpr std::int64_t kMinRefreshNs = 1'000'000'000;

    /// Shows the newest statistics; within kMinRefreshNs of the last time, a moment later.
    void refresh();
    /// The table as tab-separated lines, the headings first.
    QString tableText() const;
    /// True while row k is marked as outside its limits.
    bool isMarked(int k) const;

private:
    void showStatistics();
    void setCell(int row, int column, const QString& text);
    void copy();

    const MonitorSession& m_session;
    const Clock& m_clock;
    QTableWidget* m_table = nullptr;
    Throttle m_pace{kMinRefreshNs};
    QTimer m_later;
};

} // namespace adc
