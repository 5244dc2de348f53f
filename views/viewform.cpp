#include "views/viewform.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "pdu/primitives.h"
#include "views/dialoghost.h"

namespace vantel {

ViewForm::ViewForm(QWidget *parent) : CommandDialog(QStringLiteral("CL"), parent) {
    setObjectName(QStringLiteral("ViewForm"));
    setWindowTitle(QStringLiteral("Vantel - Message View"));

    Frame1 = new QGroupBox(QStringLiteral("Message"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    AddressLabel = MakeLabel("AddressLabel", QStringLiteral("From"), Frame1);
    AddressTag = MakeLabel("AddressTag", {}, Frame1);
    NameTag = MakeLabel("NameTag", {}, Frame1);
    NameTag->setToolTip(QStringLiteral("The name this number has in the address history"));
    QFont bold = NameTag->font();
    bold.setBold(true);
    NameTag->setFont(bold);
    Label2 = MakeLabel("Label2", QStringLiteral("Service Centre"), Frame1);
    SCAddressTag = MakeLabel("SCAddressTag", {}, Frame1);
    Label3 = MakeLabel("Label3", QStringLiteral("Protocol ID"), Frame1);
    PIDTag = MakeLabel("PIDTag", {}, Frame1);
    Label4 = MakeLabel("Label4", QStringLiteral("Data Coding"), Frame1);
    DCSTag = MakeLabel("DCSTag", QStringLiteral("GSM Default Alphabet"), Frame1);
    Label1 = MakeLabel("Label1", QStringLiteral("Timestamp"), Frame1);
    TimeStampTag = MakeLabel("TimeStampTag", {}, Frame1);
    ReportLabel = MakeLabel("ReportLabel", QStringLiteral("Reports on"), Frame1);
    ReportTag = MakeLabel("ReportTag", {}, Frame1);
    ReportTag->setWordWrap(true);
    MessageBox = new QPlainTextEdit(Frame1);
    MessageBox->setObjectName(QStringLiteral("MessageBox"));
    MessageBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    auto *grid = new QGridLayout(Frame1);
    const std::pair<QLabel *, QLabel *> rows[] = {
        {AddressLabel, AddressTag}, {Label2, SCAddressTag}, {Label3, PIDTag},
        {Label4, DCSTag},           {Label1, TimeStampTag}, {ReportLabel, ReportTag}};
    int row = 0;
    for (const auto &[caption, tag] : rows) {
        grid->addWidget(caption, row, 0);
        if (tag == AddressTag) {
            // The name stands right beside the number.
            auto *number = new QHBoxLayout;
            number->addWidget(AddressTag);
            number->addSpacing(12);
            number->addWidget(NameTag, 1);
            grid->addLayout(number, row, 1);
        } else {
            grid->addWidget(tag, row, 1);
        }
        ++row;
    }
    grid->addWidget(MessageBox, row, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(row, 1);

    ReplyButton = MakeButton("ReplyButton", QStringLiteral("&Reply"), this);
    CopyButton = MakeButton("CopyButton", QStringLiteral("C&opy"), this);
    DetailButton = MakeButton("DetailButton", QStringLiteral("&Tech"), this);
    PrevButton = MakeButton("PrevButton", QStringLiteral("&Prev"), this);
    NextButton = MakeButton("NextButton", QStringLiteral("&Next"), this);
    LocalDeleteButton = MakeButton("LocalDeleteButton", QStringLiteral("&Delete"), this);
    CloseButton = MakeButton("CloseButton", QStringLiteral("&Close"), this);

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {ReplyButton, CopyButton, DetailButton, PrevButton, NextButton,
                           LocalDeleteButton, CloseButton}) {
        buttons->addWidget(b);
    }
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addLayout(buttons);
    resize(620, 360);

    auto emitter = [this](const char *code) {
        return [this, code] { Q_EMIT command(QLatin1String(code)); };
    };
    connect(NextButton, &QPushButton::clicked, this, emitter("NX"));
    connect(PrevButton, &QPushButton::clicked, this, emitter("PV"));
    connect(DetailButton, &QPushButton::clicked, this, emitter("TD"));
    connect(CloseButton, &QPushButton::clicked, this, emitter("CL"));
    connect(CopyButton, &QPushButton::clicked, this, [this] { CopyButton_Click(); });
    connect(ReplyButton, &QPushButton::clicked, this, [this] { ReplyButton_Click(); });
    connect(LocalDeleteButton, &QPushButton::clicked, this, [this] { LocalDeleteButton_Click(); });
}

QString ViewForm::messageText() const {
    QString text = MessageBox->toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

void ViewForm::CopyButton_Click() {
    if (!copyBuffer_) return;
    copyBuffer_->scAddress = SCAddressTag->text();
    copyBuffer_->address = AddressTag->text();
    copyBuffer_->text = messageText();
}

void ViewForm::ReplyButton_Click() {
    CopyButton_Click();
    Q_EMIT command(QStringLiteral("RP"));
}

QCoro::Task<> ViewForm::LocalDeleteButton_Click() {
    QPointer<ViewForm> self(this);
    const QMessageBox::StandardButton answer = co_await ask(
        this, QMessageBox::Critical, QStringLiteral("This will delete the message from the PC"),
        QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    if (self && answer == QMessageBox::Ok) Q_EMIT self->command(QStringLiteral("LD"));
}

void ViewForm::keyPressEvent(QKeyEvent *event) {
    // A typed character that no control took shows its code, as " 13" for Enter. Alt and Ctrl
    // combinations are accelerators: one aimed at a disabled button does nothing.
    const QString typed = event->text();
    if (event->key() == Qt::Key_Escape || typed.isEmpty() ||
        (event->modifiers() & (Qt::AltModifier | Qt::ControlModifier)))
        return QDialog::keyPressEvent(event);
    (void)ask(this, QMessageBox::NoIcon, QLatin1Char(' ') + QString::number(AnsiCode(typed[0])),
              QMessageBox::Ok, QMessageBox::Ok);
}

}  // namespace vantel
