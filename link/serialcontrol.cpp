#include "link/serialcontrol.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace vantel {

SerialControl::SerialControl(QObject *parent) : QObject(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &SerialControl::onReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialControl::onError);
}

SerialControl::~SerialControl() {
    if (port_.isOpen()) port_.close();
}

bool SerialControl::setSettings(const QString &text) {
    const QStringList parts = text.trimmed().split(u',');
    if (parts.size() != 4) return false;
    bool ok = false;
    const int baud = parts[0].trimmed().toInt(&ok);
    if (!ok || baud <= 0) return false;

    QSerialPort::Parity parity;
    const QString p = parts[1].trimmed().toUpper();
    if (p == u"N")
        parity = QSerialPort::NoParity;
    else if (p == u"E")
        parity = QSerialPort::EvenParity;
    else if (p == u"O")
        parity = QSerialPort::OddParity;
    else if (p == u"M")
        parity = QSerialPort::MarkParity;
    else if (p == u"S")
        parity = QSerialPort::SpaceParity;
    else
        return false;

    const int bits = parts[2].trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8) return false;

    QSerialPort::StopBits stop;
    const QString s = parts[3].trimmed();
    if (s == u"1")
        stop = QSerialPort::OneStop;
    else if (s == u"1.5")
        stop = QSerialPort::OneAndHalfStop;
    else if (s == u"2")
        stop = QSerialPort::TwoStop;
    else
        return false;

    baud_ = baud;
    parity_ = parity;
    dataBits_ = static_cast<QSerialPort::DataBits>(bits);
    stopBits_ = stop;
    settings_ = text.trimmed();
    if (port_.isOpen()) {
        port_.setBaudRate(baud_);
        port_.setParity(parity_);
        port_.setDataBits(dataBits_);
        port_.setStopBits(stopBits_);
    }
    return true;
}

bool SerialControl::setCommPort(int n) {
    if (n < 1 || n > 99) return false;
    commPort_ = n;
    return true;
}

QString SerialControl::devicePath(int n) {
    const QFileInfo link(QDir::current().filePath(QStringLiteral("com%1").arg(n)));
    if (link.isSymLink() || link.exists()) {
        const QString target = link.canonicalFilePath();
        // A dangling link still names the port the user meant; opening it fails visibly.
        return target.isEmpty() ? link.absoluteFilePath() : target;
    }
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}

QString SerialControl::currentDevice() const {
    return device_.isEmpty() ? devicePath(commPort_) : device_;
}

bool SerialControl::open() {
    if (port_.isOpen()) return false;
    port_.setPortName(currentDevice());
    if (!port_.open(QIODevice::ReadWrite)) return false;
    port_.setBaudRate(baud_);
    port_.setParity(parity_);
    port_.setDataBits(dataBits_);
    port_.setStopBits(stopBits_);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    port_.clear();
    return true;
}

bool SerialControl::close() {
    if (!port_.isOpen()) return true;
    port_.flush();
    port_.close();
    return !port_.isOpen();
}

bool SerialControl::output(const QByteArray &data) {
    if (!port_.isOpen()) return false;
    const bool written = port_.write(data) == data.size();
    // Hand the octets to the device now rather than at the next pass of the event loop.
    port_.flush();
    return written;
}

void SerialControl::onReadyRead() {
    const QByteArray chunk = port_.readAll();
    if (!chunk.isEmpty()) Q_EMIT dataReceived(chunk);
}

void SerialControl::onError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError &&
        error != QSerialPort::WriteError)
        return;
    if (!port_.isOpen()) return;
    const QString reason = port_.errorString();
    // A vanished device keeps reporting errors until the port is closed.
    port_.close();
    Q_EMIT portFailed(reason);
}

}  // namespace vantel
