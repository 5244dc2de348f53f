// The serial line to the phone: line settings, port number, open/close, octets out, and a
// signal for every chunk of octets that arrives. No flow control: the phone cable has none.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

namespace vantel {

class SerialControl : public QObject {
    Q_OBJECT
public:
    explicit SerialControl(QObject *parent = nullptr);
    ~SerialControl() override;

    // "speed,parity,data bits,stop bits", e.g. "19200,N,8,1". A text that cannot be used is
    // refused (false) and changes nothing.
    bool setSettings(const QString &text);
    QString settings() const { return settings_; }

    // Port numbers 1 to 99; anything else is refused (false) and changes nothing.
    bool setCommPort(int n);
    int commPort() const { return commPort_; }

    // The device that port n stands for: a symbolic link "comN" in the working directory when
    // there is one (its target), otherwise /dev/ttyS(n-1).
    static QString devicePath(int n);
    // A device chosen by its path takes the place of the port number; empty: the port number.
    void setDevice(const QString &path) { device_ = path; }
    const QString &device() const { return device_; }
    // The device the next open() uses.
    QString currentDevice() const;
    // Why the last open() failed.
    QString errorString() const { return port_.errorString(); }

    bool open();
    // False when the port was open and could not be closed cleanly.
    bool close();
    bool isOpen() const { return port_.isOpen(); }
    // Writes the octets in order; false when the port is not open or the write was refused.
    bool output(const QByteArray &data);

Q_SIGNALS:
    void dataReceived(const QByteArray &chunk);
    // The device failed while open (unplugged cable, vanished pseudo-terminal); the port has
    // been closed already.
    void portFailed(const QString &reason);

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    QString settings_ = QStringLiteral("19200,N,8,1");
    int commPort_ = 1;
    QString device_;
    qint32 baud_ = 19200;
    QSerialPort::Parity parity_ = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits_ = QSerialPort::Data8;
    QSerialPort::StopBits stopBits_ = QSerialPort::OneStop;
};

}  // namespace vantel
