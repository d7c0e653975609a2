#include "acquisition/port_list.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

namespace adc {

QString usbIdText(quint16 vendor, quint16 product)
{
    return QStringLiteral("%1:%2")
        .arg(vendor, 4, 16, QLatin1Char('0'))
        .arg(product, 4, 16, QLatin1Char('0'));
}

QString stableNameOf(const QString& location, const QString& byIdDirectory)
{
    const QString device = QFileInfo(location).canonicalFilePath();
    for (const QFileInfo& link : QDir(byIdDirectory).entryInfoList(QDir::System | QDir::Files))
        if (link.isSymLink() && link.canonicalFilePath() == device)
            return link.absoluteFilePath();
    return {};
}

QList<PortDescription> describePorts(const QList<QSerialPortInfo>& ports,
                                     const QString& byIdDirectory)
{
    QList<PortDescription> described;
    for (const QSerialPortInfo& port : ports) {
        PortDescription d{port.systemLocation(), stableNameOf(port.systemLocation(), byIdDirectory),
                          port.description(),    port.manufacturer(),
                          port.serialNumber(),   {}};
        if (port.hasVendorIdentifier() && port.hasProductIdentifier())
            d.usbId = usbIdText(port.vendorIdentifier(), port.productIdentifier());
        described.append(d);
    }
    return described;
}

QString portListText(const QList<PortDescription>& ports)
{
    if (ports.isEmpty())
        return QStringLiteral("no serial ports found\n");
    QString text;
    for (const PortDescription& p : ports) {
        QStringList about;
        for (const QString& part : {p.description, p.manufacturer})
            if (!part.isEmpty())
                about << part;
        if (!p.serialNumber.isEmpty())
            about << QStringLiteral("serial ") + p.serialNumber;
        if (!p.usbId.isEmpty())
            about << QStringLiteral("USB ") + p.usbId;
        QStringList columns{p.location};
        if (!p.stableName.isEmpty())
            columns << p.stableName;
        if (!about.isEmpty())
            columns << about.join(QStringLiteral(", "));
        text += columns.join(QStringLiteral("  ")) + QLatin1Char('\n');
    }
    return text;
}

} // namespace adc
