// The serial devices this machine has, as the Setup dialog offers them: each with its stable
// name under /dev/serial/by-id where there is one, and what its USB descriptors say.
#pragma once

#include <QList>
#include <QString>

namespace vantel {

struct SerialDevice {
    QString path;         // the device, e.g. /dev/ttyUSB2
    QString stableName;   // the link under the by-id folder that names it, when there is one
    QString description;  // maker, product and serial number, as far as they are known
    bool operator==(const SerialDevice &) const = default;
};

// The by-id folder: /dev/serial/by-id, or VANTEL_SERIAL_BY_ID (tests point it elsewhere).
QString SerialByIdFolder();

// The serial ports Qt finds and the devices the by-id folder links to, each once, sorted by
// path.
QList<SerialDevice> ListSerialDevices(const QString &byIdFolder = SerialByIdFolder());

// "usb-Huawei_E3372-if02-port0 (/dev/ttyUSB2): Huawei, E3372, serial 0123"
QString DeviceText(const SerialDevice &device);

}  // namespace vantel
