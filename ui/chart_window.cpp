#include "ui/chart_window.h"

#include "ui/strip_chart.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <chrono>
#include <cmath>

namespace adc {

namespace {

QIcon swatch(const QColor& colour)
{
    QPixmap p(12, 12);
    p.fill(colour);
    return QIcon(p);
}

} // namespace

ChartWindow::ChartWindow(double spanSeconds, const Clock& clock, QWidget* parent)
    : QWidget(parent, Qt::Window), m_clock(clock),
      m_buffer(static_cast<std::int64_t>(std::llround(spanSeconds * 1e9)))
{
    setWindowTitle(tr("AD0\u2013AD7 over time"));
    setObjectName(QStringLiteral("ChartWindow"));

    auto* bar = new QHBoxLayout;
    for (int k = 0; k < kChannelCount; ++k) {
        auto* box = new QCheckBox(QStringLiteral("AD%1").arg(k), this);
        box->setObjectName(QStringLiteral("Legend%1").arg(k));
        box->setIcon(swatch(StripChart::channelColour(k)));
        box->setChecked(true);
        box->setToolTip(tr("Show or hide the trace of AD%1").arg(k));
        m_legend[std::size_t(k)] = box;
        bar->addWidget(box);
    }
    bar->addStretch();
    auto* fit = new QCheckBox(tr("Fit"), this);
    fit->setObjectName(QStringLiteral("Fit"));
    fit->setToolTip(tr("Scale to the readings shown instead of 0 to 4095"));
    bar->addWidget(fit);
    m_pause = new QPushButton(tr("Pause"), this);
    m_pause->setObjectName(QStringLiteral("Pause"));
    m_pause->setCheckable(true);
    m_pause->setToolTip(tr("Freeze the view; readings go on being taken"));
    bar->addWidget(m_pause);
    auto* save = new QPushButton(tr("Save image\u2026"), this);
    save->setObjectName(QStringLiteral("SaveImage"));
    bar->addWidget(save);

    m_chart = new StripChart(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_chart, 1);
    resize(760, 360);

    for (int k = 0; k < kChannelCount; ++k)
        connect(m_legend[std::size_t(k)], &QCheckBox::toggled, m_chart,
                [this, k](bool on) { m_chart->setChannelVisible(k, on); });
    connect(fit, &QCheckBox::toggled, m_chart, &StripChart::setFitted);
    connect(m_pause, &QPushButton::toggled, this, &ChartWindow::setPaused);
    connect(save, &QPushButton::clicked, this, &ChartWindow::chooseImageFile);
    // The newest readings are shown even when the window stops updating.
    m_later.setSingleShot(true);
    connect(&m_later, &QTimer::timeout, this, &ChartWindow::refresh);
    m_chart->setSource(&m_buffer, 0);
}

void ChartWindow::setProfile(const Profile* profile)
{
    for (int k = 0; k < kChannelCount; ++k) {
        const QString name = profile != nullptr ? QString::fromStdString(profile->channelName(k))
                                                : QStringLiteral("AD%1").arg(k);
        QCheckBox* box = m_legend[std::size_t(k)];
        box->setText(name);
        box->setToolTip(name == QStringLiteral("AD%1").arg(k)
                            ? tr("Show or hide the trace of AD%1").arg(k)
                            : tr("Show or hide the trace of %1 (AD%2)").arg(name).arg(k));
    }
    m_chart->setProfile(profile);
}

void ChartWindow::frameDecoded(const FrameReadings& readings, std::int64_t)
{
    m_buffer.add(m_clock.monotonicNs(), readings);
    m_dirty = true;
}

bool ChartWindow::refresh()
{
    if (!m_dirty || isPaused() || !isVisible())
        return false;
    const std::int64_t now = m_clock.monotonicNs();
    if (!m_repaint.due(now)) {
        // While the window goes on updating, one of its updates comes first and the chart
        // needs no wake-up of its own.
        if (!m_later.isActive())
            m_later.start(std::chrono::ceil<std::chrono::milliseconds>(
                std::chrono::nanoseconds(m_repaint.untilDueNs(now) + kMinRefreshNs)));
        return false;
    }
    m_later.stop();
    m_dirty = false;
    m_repaint.done(now);
    m_chart->setSource(&m_buffer, m_buffer.newestNs() + 1);
    return true;
}

void ChartWindow::setPaused(bool paused)
{
    if (paused == isPaused())
        return;
    m_pause->setChecked(paused);
    if (paused) {
        // The view keeps a copy; the buffer goes on taking readings.
        m_frozen = m_buffer;
        m_chart->setSource(&*m_frozen, m_frozen->newestNs() + 1);
    } else {
        m_chart->setSource(&m_buffer, m_buffer.newestNs() + 1);
        m_frozen.reset();
    }
}

QString ChartWindow::saveImage(const QString& path) const
{
    QImageWriter writer(path, "png");
    if (!writer.write(m_chart->grab().toImage()))
        return tr("Could not save the chart to %1: %2").arg(path, writer.errorString());
    return {};
}

void ChartWindow::chooseImageFile()
{
    // Not exec(): the chart and the reception go on while the dialog is open.
    auto* dialog = new QFileDialog(this, tr("Save image"), QString(), tr("PNG images (*.png)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("png"));
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        if (const QString problem = saveImage(path); !problem.isEmpty()) {
            auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), problem,
                                        QMessageBox::Ok, this);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
        }
    });
    dialog->open();
}

} // namespace adc
