#pragma once

#include "recording/clock.h"
#include "session/monitor_session.h"

#include <QWidget>

class QTableWidget;

namespace adc {

/// A window of its own with a row per channel: its name, its newest value in its unit, the
/// lowest, highest, mean and standard deviation since RESET, its limits, how many values lay
/// outside them and when the last one came. A row whose channel has been outside since RESET is
/// marked. "Copy" (or the copy key) puts the table on the clipboard as tab-separated text.
///
/// It shows what the session's statistics in units hold when refresh() is called, at the
/// window's pace; it keeps nothing of its own beyond the texts shown.
class ChannelsWindow final : public QWidget
{
    Q_OBJECT

public:
    /// The table's columns, as copied.
    static const QStringList& headings();

    /// Shows `session`'s channels, which must have a profile; times come from `clock`. Both
    /// must outlive the window.
    ChannelsWindow(const MonitorSession& session, const Clock& clock, QWidget* parent = nullptr);

    /// Shows the newest statistics.
    void refresh();
    /// The table as tab-separated lines, the headings first.
    QString tableText() const;
    /// True while row k is marked as outside its limits.
    bool isMarked(int k) const;

private:
    void setCell(int row, int column, const QString& text);
    void copy();

    const MonitorSession& m_session;
    const Clock& m_clock;
    QTableWidget* m_table = nullptr;
};

} // namespace adc
