#pragma once

#include <QDialog>

class QLineEdit;
class QListWidget;

namespace adc {

/// Chooses the serial port: the ports found, and a field for any path.
///
/// Not modal, so that the main window's EXIT goes on working while it is open; chosen() is
/// emitted when the operator accepts a non-empty port.
class PortDialog final : public QDialog
{
    Q_OBJECT

public:
    /// Offers the ports found, with `current` in the field.
    PortDialog(const QString& current, QWidget* parent = nullptr);

signals:
    /// The operator chose `port`.
    void chosen(const QString& port);

private:
    QListWidget* m_ports = nullptr;
    QLineEdit* m_path = nullptr;
};

} // namespace adc
