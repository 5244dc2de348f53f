#include "app/setupform.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "app/settingsfile.h"
#include "pdu/primitives.h"

namespace vantel {

namespace {

const char *const kSpeeds[4] = {"2400", "4800", "9600", "19200"};

QRadioButton *Option(QGroupBox *frame, QVBoxLayout *layout, const QString &name,
                     const QString &caption) {
    auto *button = new QRadioButton(caption, frame);
    button->setObjectName(name);
    layout->addWidget(button);
    return button;
}

template <typename W>
W *Named(W *widget, const char *name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

}  // namespace

SetupForm::SetupForm(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SetupForm"));
    setWindowTitle(QStringLiteral("Vantel - Setup"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    Frame1 = Named(new QGroupBox(QStringLiteral("Speed"), this), "Frame1");
    auto *speedLayout = new QVBoxLayout(Frame1);
    for (int i = 0; i < 4; ++i)
        Speed[i] = Option(Frame1, speedLayout, QStringLiteral("Speed%1").arg(i),
                          QLatin1String(kSpeeds[i]));

    Frame3 = Named(new QGroupBox(QStringLiteral("Port"), this), "Frame3");
    auto *portLayout = new QVBoxLayout(Frame3);
    for (int i = 0; i < 4; ++i) {
        Port[i] = Option(Frame3, portLayout, QStringLiteral("Port%1").arg(i),
                         QStringLiteral("COM%1").arg(i + 1));
        connect(Port[i], &QRadioButton::toggled, this, [this] { showDevice(); });
    }
    PortDeviceLabel = Named(new QLabel(this), "PortDeviceLabel");
    PortDeviceLabel->setTextFormat(Qt::PlainText);
    PortDeviceLabel->setEnabled(false);
    DeviceBox = Named(new QComboBox(this), "DeviceBox");
    DeviceBox->setToolTip(
        QStringLiteral("A serial device of this machine, in place of the COM "
                       "option (plugged-in devices appear as they come)"));
    DeviceBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    DeviceBox->setMinimumContentsLength(40);
    connect(DeviceBox, &QComboBox::currentIndexChanged, this, [this] { showDevice(); });
    AutoRetrieveBox = Named(new QSpinBox(this), "AutoRetrieveBox");
    AutoRetrieveBox->setRange(0, MaxAutoRetrieveMinutes);
    AutoRetrieveBox->setPrefix(QStringLiteral("Retrieve every "));
    AutoRetrieveBox->setSuffix(QStringLiteral(" minutes"));
    AutoRetrieveBox->setSpecialValueText(QStringLiteral("Retrieve only when asked"));
    // While the dialog is open, devices plugged in or out show up within two seconds.
    refreshTimer_ = new QTimer(this);
    refreshTimer_->setInterval(2000);
    connect(refreshTimer_, &QTimer::timeout, this, &SetupForm::refreshDevices);

    Label4 = Named(new QLabel(QStringLiteral("GSM 0705 Block Mode entry string"), this), "Label4");
    DialStringBox = Named(new QLineEdit(this), "DialStringBox");
    Label1 =
        Named(new QLabel(QStringLiteral("GSM 0705 Block Mode confirm string"), this), "Label1");
    ConfirmStringBox = Named(new QLineEdit(this), "ConfirmStringBox");
    for (QLabel *label : {Label4, Label1})
        label->setWordWrap(true);
    DeleteOldBox =
        Named(new QCheckBox(QStringLiteral("Delete Retrieved Messages"), this), "DeleteOldBox");
    EchoSetBox = Named(new QCheckBox(QStringLiteral("07.05 PDU Mode"), this), "EchoSetBox");
    RetrieveOldBox =
        Named(new QCheckBox(QStringLiteral("Retrieve Read Messages"), this), "RetrieveOldBox");
    SkipPDUBox = Named(new QCheckBox(QStringLiteral("Skip SC Address In PDU"), this), "SkipPDUBox");
    ReadSIMBox = Named(new QCheckBox(QStringLiteral("Read Messages from SIM instead of ME"), this),
                       "ReadSIMBox");
    CountryCodeLabel =
        Named(new QLabel(QStringLiteral("Country code +"), this), "CountryCodeLabel");
    CountryCodeBox = Named(new QLineEdit(this), "CountryCodeBox");
    CountryCodeBox->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[1-9][0-9]{0,2}")), CountryCodeBox));
    CountryCodeBox->setMaxLength(3);
    CountryCodeBox->setMaximumWidth(CountryCodeBox->fontMetrics().horizontalAdvance(u"0000"_qs) +
                                    12);
    CountryCodeBox->setToolTip(
        QStringLiteral("A number typed with one leading 0 is sent to this country"));
    CountryCodeLabel->setBuddy(CountryCodeBox);
    PduDeleteBox = Named(new QCheckBox(QStringLiteral("Delete from the phone once stored"), this),
                         "PduDeleteBox");
    PduDeleteBox->setEnabled(false);
    connect(EchoSetBox, &QCheckBox::toggled, PduDeleteBox, &QCheckBox::setEnabled);
    OKButton = Named(new QPushButton(QStringLiteral("&OK"), this), "OKButton");
    CancelButton = Named(new QPushButton(QStringLiteral("&Cancel"), this), "CancelButton");
    AboutButton = Named(new QPushButton(QStringLiteral("&About"), this), "AboutButton");
    OKButton->setDefault(true);
    for (QPushButton *b : {CancelButton, AboutButton})
        b->setAutoDefault(false);

    // Speed and Port frames on the left, the strings to their right, the options below.
    auto *strings = new QGridLayout;
    strings->addWidget(Label4, 0, 0);
    strings->addWidget(DialStringBox, 0, 1);
    strings->addWidget(Label1, 1, 0);
    strings->addWidget(ConfirmStringBox, 1, 1);
    strings->addWidget(DeleteOldBox, 2, 1);
    strings->setRowStretch(3, 1);

    auto *top = new QHBoxLayout;
    auto *portColumn = new QVBoxLayout;
    portColumn->addWidget(Frame3);
    portColumn->addWidget(PortDeviceLabel);
    top->addWidget(Frame1, 0, Qt::AlignTop);
    top->addLayout(portColumn);
    top->addSpacing(12);
    top->addLayout(strings, 1);

    auto *devices = new QHBoxLayout;
    devices->addWidget(
        Named(new QLabel(QStringLiteral("Or a device of this machine:"), this), "DeviceLabel"));
    devices->addWidget(DeviceBox, 1);

    auto *options = new QGridLayout;
    options->addWidget(EchoSetBox, 0, 0);
    options->addWidget(RetrieveOldBox, 0, 1);
    options->addWidget(SkipPDUBox, 1, 0);
    options->addWidget(ReadSIMBox, 1, 1);
    options->setColumnStretch(2, 1);  // a wide device list does not stretch the boxes
    auto *countryCode = new QHBoxLayout;
    countryCode->addWidget(CountryCodeLabel);
    countryCode->addWidget(CountryCodeBox);
    countryCode->addStretch();
    options->addLayout(countryCode, 2, 0);
    options->addWidget(PduDeleteBox, 3, 0);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *b : {OKButton, CancelButton, AboutButton})
        buttons->addWidget(b);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(devices);
    layout->addLayout(options);
    auto *retrieval = new QHBoxLayout;
    retrieval->addWidget(AutoRetrieveBox);
    retrieval->addStretch();
    layout->addLayout(retrieval);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(OKButton, &QPushButton::clicked, this, [this] { answer(QStringLiteral("1")); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { answer(QStringLiteral("0")); });
    connect(AboutButton, &QPushButton::clicked, this, [this] { AboutButton_Click(); });

    setSpeedIndex(0);
    setPortIndex(0);
}

void SetupForm::setDevicePath(std::function<QString(int)> devicePath) {
    devicePath_ = std::move(devicePath);
    for (int i = 0; i < 4; ++i)
        Port[i]->setToolTip(devicePath_ ? devicePath_(i + 1) : QString());
    showDevice();
}

void SetupForm::showDevice() {
    const QString chosen = device();
    if (!chosen.isEmpty()) {
        PortDeviceLabel->setText(QStringLiteral("In its place: ") + chosen);
        return;
    }
    const int index = portIndex();
    PortDeviceLabel->setText(devicePath_ ? devicePath_(index + 1) : QString());
}

QString SetupForm::device() const {
    return DeviceBox->currentData().toString();
}

void SetupForm::setDevice(const QString &path) {
    DeviceBox->clear();
    DeviceBox->addItem(QStringLiteral("The COM option above"), QString());
    bool listed = false;
    for (const SerialDevice &d : listDevices ? listDevices() : QList<SerialDevice>()) {
        // A device chosen by its stable name stays chosen under that name.
        const QString value = d.stableName.isEmpty() ? d.path : d.stableName;
        DeviceBox->addItem(DeviceText(d), value);
        if (value == path || d.path == path) {
            DeviceBox->setItemData(DeviceBox->count() - 1, path);
            listed = true;
        }
    }
    if (!path.isEmpty() && !listed) DeviceBox->addItem(path + QStringLiteral(" (missing)"), path);
    DeviceBox->setCurrentIndex(qMax(0, DeviceBox->findData(path)));
    showDevice();
}

void SetupForm::refreshDevices() {
    const QString chosen = device();
    const QSignalBlocker quiet(DeviceBox);
    setDevice(chosen);
}

int SetupForm::speedIndex() const {
    for (int i = 3; i > 0; --i)
        if (Speed[i]->isChecked()) return i;
    return 0;
}

void SetupForm::setSpeedIndex(int index) {
    Speed[qBound(0, index, 3)]->setChecked(true);
}

int SetupForm::portIndex() const {
    for (int i = 3; i > 0; --i)
        if (Port[i]->isChecked()) return i;
    return 0;
}

void SetupForm::setPortIndex(int index) {
    Port[qBound(0, index, 3)]->setChecked(true);
}

void SetupForm::answer(const QString &code) {
    if (answered_) return;
    refreshTimer_->stop();
    answered_ = true;
    Q_EMIT command(code);
}

void SetupForm::reject() {
    answer(QStringLiteral("0"));
}

void SetupForm::showEvent(QShowEvent *event) {
    answered_ = false;
    refreshDevices();
    refreshTimer_->start();
    QDialog::showEvent(event);
    OKButton->setDefault(true);
    OKButton->setFocus();
}

void SetupForm::closeEvent(QCloseEvent *event) {
    answer(QStringLiteral("0"));
    event->accept();
}

QCoro::Task<> SetupForm::AboutButton_Click() {
    const QString text =
        QStringLiteral(
            "Vantel collects SMS messages from GSM phones and decodes all the fields "
            "using the GSM 07.05 protocol.") +
        LineBreak.toString() + LineBreak.toString() +
        QStringLiteral(
            "This software is provided as is, without any warranty, express or implied, "
            "including the warranties of merchantability and fitness for a particular purpose. "
            "The author accepts no liability for any damages arising from its use.");
    co_await ask(this, QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

void FillSetupForm(SetupForm &form, const Settings &s) {
    int speed = 0;
    if (s.speed == u"19200")
        speed = 3;
    else if (s.speed == u"9600")
        speed = 2;
    else if (s.speed == u"4800")
        speed = 1;
    form.setSpeedIndex(speed);

    bool numeric = false;
    int port = s.port.trimmed().toInt(&numeric);
    if (!numeric) port = 0;
    if (port > 4 || port <= 0) port = 1;
    form.setPortIndex(port - 1);

    form.DialStringBox->setText(s.dialString);
    form.ConfirmStringBox->setText(s.confirmString);
    form.EchoSetBox->setChecked(s.pduMode);
    form.ReadSIMBox->setChecked(s.getSIMMessages);
    form.RetrieveOldBox->setChecked(s.getOldMessages);
    form.SkipPDUBox->setChecked(s.skipPDUSCA);
    form.DeleteOldBox->setChecked(s.deleteOld);
    form.setDevice(s.device);
    form.AutoRetrieveBox->setValue(s.autoRetrieveMinutes);
    form.CountryCodeBox->setText(s.countryCode);
    form.PduDeleteBox->setChecked(s.pduDelete);
}

void ApplySetupForm(const SetupForm &form, Settings &s) {
    s.speed = QLatin1String(kSpeeds[form.speedIndex()]);
    // The first option is COM1: port 1.
    s.port = QString::number(form.portIndex() + 1);
    s.dialString = form.DialStringBox->text();
    s.confirmString = form.ConfirmStringBox->text();
    s.pduMode = form.EchoSetBox->isChecked();
    s.getOldMessages = form.RetrieveOldBox->isChecked();
    s.getSIMMessages = form.ReadSIMBox->isChecked();
    s.skipPDUSCA = form.SkipPDUBox->isChecked();
    s.deleteOld = form.DeleteOldBox->isChecked();
    s.device = form.device();
    s.autoRetrieveMinutes = form.AutoRetrieveBox->value();
    // A box left empty keeps the code in force.
    if (IsCountryCode(form.CountryCodeBox->text())) s.countryCode = form.CountryCodeBox->text();
    s.pduDelete = form.PduDeleteBox->isChecked();
}

}  // namespace vantel
