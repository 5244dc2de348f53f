// "Vantel - Setup": line speed, serial port, the two Block-mode strings and five options.
// The form only reports its command code; the main window's driver fills it, shows it and
// applies it.
#pragma once

#include <QDialog>
#include <functional>

#include "link/serialdevices.h"
#include "views/askuser.h"

class QCheckBox;
class QComboBox;
class QSpinBox;
class QTimer;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vantel {

struct Settings;

class SetupForm : public QDialog {
    Q_OBJECT
public:
    explicit SetupForm(QWidget *parent = nullptr);

    // Names the device behind each port option (1-based port number).
    void setDevicePath(std::function<QString(int)> devicePath);
    // The About box goes through this.
    AskUserFn ask = AskUser;
    // The serial devices offered below the port options (tests give their own).
    std::function<QList<SerialDevice>()> listDevices = [] { return ListSerialDevices(); };

    // The device chosen from the list; empty for the COM option.
    QString device() const;
    // Selects `path`, listed as missing when the machine does not have it.
    void setDevice(const QString &path);
    // Reads the list again, keeping the choice.
    void refreshDevices();

    int speedIndex() const;
    void setSpeedIndex(int index);
    int portIndex() const;
    void setPortIndex(int index);

    QGroupBox *Frame1;
    QRadioButton *Speed[4];  // objectNames Speed0 .. Speed3
    QGroupBox *Frame3;
    QRadioButton *Port[4];  // objectNames Port0 .. Port3
    QLabel *PortDeviceLabel;
    QComboBox *DeviceBox;
    QSpinBox *AutoRetrieveBox;
    QLabel *Label4;
    QLineEdit *DialStringBox;
    QLabel *Label1;
    QLineEdit *ConfirmStringBox;
    QCheckBox *DeleteOldBox;
    QCheckBox *EchoSetBox;
    QCheckBox *RetrieveOldBox;
    QCheckBox *SkipPDUBox;
    QCheckBox *ReadSIMBox;
    QLabel *CountryCodeLabel;
    QLineEdit *CountryCodeBox;  // CountryCode: what a national number's leading "0" becomes
    QCheckBox *PduDeleteBox;    // PDU mode only
    QPushButton *OKButton;
    QPushButton *CancelButton;
    QPushButton *AboutButton;

Q_SIGNALS:
    // "1" (OK) or "0" (Cancel, Esc, the close box); once per showing.
    void command(const QString &code);

public Q_SLOTS:
    // Esc acts like CancelButton.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void answer(const QString &code);
    QCoro::Task<> AboutButton_Click();
    void showDevice();

    std::function<QString(int)> devicePath_;
    QTimer *refreshTimer_;
    bool answered_ = false;
};

// Settings to form: unknown speeds show "2400", ports 0 and above 4 show "COM1".
void FillSetupForm(SetupForm &form, const Settings &s);
// Form to settings (Speed, Port, the strings, the six flags and a valid country code; the others
// are kept).
void ApplySetupForm(const SetupForm &form, Settings &s);

}  // namespace vantel
