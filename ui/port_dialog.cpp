#include "ui/port_dialog.h"

#include "acquisition/port_list.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSerialPortInfo>
#include <QVBoxLayout>

namespace adc {

PortDialog::PortDialog(const QString& current, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Serial port"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_ports = new QListWidget(this);
    m_ports->setObjectName(QStringLiteral("ports"));
    m_path = new QLineEdit(current, this);
    m_path->setObjectName(QStringLiteral("path"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    const auto ports = describePorts(QSerialPortInfo::availablePorts());
    for (const PortDescription& port : ports) {
        // The stable name is the one to keep: it survives plugging the adapter in elsewhere.
        auto* item = new QListWidgetItem(portListText({port}).trimmed(), m_ports);
        item->setData(Qt::UserRole, port.stableName.isEmpty() ? port.location : port.stableName);
    }
    if (ports.isEmpty())
        m_ports->addItem(tr("no serial ports found"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Ports found:"), this));
    layout->addWidget(m_ports);
    layout->addWidget(new QLabel(tr("Port to open at the next START:"), this));
    layout->addWidget(m_path);
    layout->addWidget(buttons);

    connect(m_ports, &QListWidget::currentItemChanged, m_path, [this](QListWidgetItem* item) {
        if (item && item->data(Qt::UserRole).isValid())
            m_path->setText(item->data(Qt::UserRole).toString());
    });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (!m_path->text().isEmpty())
            emit chosen(m_path->text());
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

} // namespace adc
