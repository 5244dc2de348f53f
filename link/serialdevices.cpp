#include "link/serialdevices.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSerialPortInfo>

#include <algorithm>

namespace vantel {

QString SerialByIdFolder() {
    const QString folder = qEnvironmentVariable("VANTEL_SERIAL_BY_ID");
    return folder.isEmpty() ? QStringLiteral("/dev/serial/by-id") : folder;
}

QList<SerialDevice> ListSerialDevices(const QString &byIdFolder) {
    QMap<QString, SerialDevice> found;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        const QString path = QFileInfo(port.systemLocation()).canonicalFilePath();
        if (path.isEmpty()) continue;
        QStringList parts;
        for (const QString &part : {port.manufacturer(), port.description()})
            if (!part.trimmed().isEmpty() && !parts.contains(part.trimmed()))
                parts << part.trimmed();
        if (!port.serialNumber().isEmpty())
            parts << QStringLiteral("serial ") + port.serialNumber();
        found[path] = {path, QString(), parts.join(QStringLiteral(", "))};
    }
    const QFileInfoList links =
        QDir(byIdFolder).entryInfoList(QDir::Files | QDir::System, QDir::Name);
    for (const QFileInfo &link : links) {
        const QString path = link.canonicalFilePath();
        if (path.isEmpty()) continue;  // a link to a device that is gone
        SerialDevice &device = found[path];
        device.path = path;
        if (device.stableName.isEmpty()) device.stableName = link.absoluteFilePath();
    }
    return found.values();
}

QString DeviceText(const SerialDevice &device) {
    QString text = device.stableName.isEmpty() ? device.path
                                               : QFileInfo(device.stableName).fileName() +
                                                     QStringLiteral(" (") + device.path + u')';
    if (!device.description.isEmpty()) text += QStringLiteral(": ") + device.description;
    return text;
}

}  // namespace vantel
