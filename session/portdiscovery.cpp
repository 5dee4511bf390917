#include "session/portdiscovery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

namespace {

// udev's by-id links, keyed by the device they point to.
QHash<QString, QString> StableLinks() {
    QHash<QString, QString> links;
    const QDir dir(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link :
         dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        links.insert(link.canonicalFilePath(), link.absoluteFilePath());
    return links;
}

// The terminals the kernel writes its console to ("tty0 ttyS0"), readable by all.
QStringList ConsoleTerminals() {
    QFile active(QStringLiteral("/sys/class/tty/console/active"));
    if (!active.open(QIODevice::ReadOnly)) return {};
    return QString::fromLatin1(active.readAll()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

}  // namespace

std::vector<TPortInfo> DiscoverSerialPorts() {
    const QHash<QString, QString> links = StableLinks();
    QStringList consoles = ConsoleTerminals();
    for (QString& name : consoles) name = name.trimmed();
    std::vector<TPortInfo> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        TPortInfo port;
        port.device = info.systemLocation().toStdString();
        port.stableLink =
            links.value(QFileInfo(info.systemLocation()).canonicalFilePath()).toStdString();
        port.description = info.description().toStdString();
        port.manufacturer = info.manufacturer().toStdString();
        port.serialNumber = info.serialNumber().toStdString();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            port.vendorId = info.vendorIdentifier();
            port.productId = info.productIdentifier();
        }
        port.console = consoles.contains(info.portName());
        ports.push_back(std::move(port));
    }
    return ports;
}
