#include "compose/sendform.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QVBoxLayout>

#include <memory>

#include <qcoro/qcorosignal.h>

#include "link/wait.h"
#include "views/dialoghost.h"

namespace vantel {

namespace {

// The choice lists; the first two characters of an entry are the TP-PID or TP-DCS octet.
constexpr const char *kPidChoices[] = {
    "00=Default",
    "01=SM-AL Protocol Type 1",
    "20=Implicit",
    "21=Telex",
    "22=Group 3 Fax",
    "23=Group 4 Fax",
    "24=Speech",
    "25=ERMES",
    "26=National Paging System",
    "27=Videotex",
    "28=Teletex",
    "29=Teletex, PSPDN",
    "2A=Teletex, CSPDN",
    "2B=Teletex, PSTN",
    "2C=Teletex, ISDN",
    "2D=Teletex, UCI",
    "30=SC Specific MHS",
    "31=X.400 mail",
    "32=Internet mail",
    "3F=GSM mobile",
    "40=Short Message Type 0",
    "41=Replace Short Message Type 1",
    "42=Replace Short Message Type 2",
    "43=Replace Short Message Type 3",
    "44=Replace Short Message Type 4",
    "45=Replace Short Message Type 5",
    "46=Replace Short Message Type 6",
    "47=Replace Short Message Type 7",
    "5F=Return Call Message",
    "7E=ME de-personalisation",
    "7F=SIM Data Download",
};

constexpr const char *kDcsChoices[] = {
    "00=GSM Default Alphabet",
    "04=8 bit",
    "08=UCS2 (16 bit)",
    "10=GSM Default Immediate",
    "11=GSM Default ME Specific",
    "12=GSM Default SIM Specific",
    "13=GSM Default TE Specific",
    "14=8 bit Immediate",
    "15=8 bit ME Specific",
    "16=8 bit SIM Specific",
    "17=8 bit TE Specific",
    "18=UCS2 Immediate",
    "19=UCS2 ME Specific",
    "1A=UCS2 SIM Specific",
    "1B=UCS2 TE Specific",
    "20=Compressed GSM Default Alphabet",
    "24=Compressed 8 bit",
    "28=Compressed UCS2 (16 bit)",
    "30=Compressed GSM Default Immediate",
    "31=Compressed GSM Default ME Specific",
    "32=Compressed GSM Default SIM Specific",
    "33=Compressed GSM Default TE Specific",
    "34=Compressed 8 bit Immediate",
    "35=Compressed 8 bit ME Specific",
    "36=Compressed 8 bit SIM Specific",
    "37=Compressed 8 bit TE Specific",
    "38=Compressed UCS2 Immediate",
    "39=Compressed UCS2 ME Specific",
    "3A=Compressed UCS2 SIM Specific",
    "3B=Compressed UCS2 TE Specific",
    "C0=VoiceMail Inactive (discard)",
    "C1=FaxMail Inactive (discard)",
    "C2=Email Inactive (discard)",
    "C3=Other Inactive (discard)",
    "C8=VoiceMail Active (discard)",
    "C9=FaxMail Active (discard)",
    "CA=Email Active (discard)",
    "CB=Other Active (discard)",
    "D0=VoiceMail Inactive",
    "D1=FaxMail Inactive",
    "D2=Email Inactive",
    "D3=Other Inactive",
    "D8=VoiceMail Active",
    "D9=FaxMail Active",
    "DA=Email Active",
    "DB=Other Active",
    "E0=UCS2 VoiceMail Inactive",
    "E1=UCS2 FaxMail Inactive",
    "E2=UCS2 Email Inactive",
    "E3=UCS2 Other Inactive",
    "E8=UCS2 VoiceMail Active",
    "E9=UCS2 FaxMail Active",
    "EA=UCS2 Email Active",
    "EB=UCS2 Other Active",
    "F0=GSM Default Immediate",
    "F1=GSM Default ME Specific",
    "F2=GSM Default SIM Specific",
    "F3=GSM Default TE Specific",
    "F4=8 bit Immediate",
    "F5=8 bit ME Specific",
    "F6=8 bit SIM Specific",
    "F7=8 bit TE Specific",
};
static_assert(std::size(kPidChoices) == 31 && std::size(kDcsChoices) == 62);

// GSM 03.40: 140 octets, typed as 280 hex digits, in 8-bit mode; a text may take up to 255
// parts (MeasureText).
constexpr qsizetype kHexLimit = 280;

QComboBox *MakeCombo(const char *name, QWidget *parent) {
    auto *box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);
    box->setMaxVisibleItems(16);
    return box;
}

// A history box shows its list but keeps its text empty until the user picks an entry.
QComboBox *MakeHistoryCombo(const char *name, SortedListModel &history, QWidget *parent) {
    QComboBox *box = MakeCombo(name, parent);
    box->setPlaceholderText(QStringLiteral(" "));
    box->setModel(&history);
    box->setCurrentIndex(-1);
    // A reset (a history loaded) would pick its first entry: keep the text as it was.
    auto kept = std::make_shared<QString>();
    QObject::connect(&history, &QAbstractItemModel::modelAboutToBeReset, box,
                     [box, kept] { *kept = box->currentText(); });
    QObject::connect(&history, &QAbstractItemModel::modelReset, box, [box, kept] {
        box->setCurrentIndex(-1);
        box->setEditText(*kept);
    });
    return box;
}

}  // namespace

SendForm::SendForm(QWidget *parent)
    : CommandDialog(QStringLiteral("Q"), parent),
      nextReference_(int(QRandomGenerator::global()->bounded(256))) {
    setObjectName(QStringLiteral("SendForm"));
    setWindowTitle(QStringLiteral("Send an SMS Message"));

    SendButton = MakeButton("SendButton", QStringLiteral("&Send"), this);
    Command1 = MakeButton("Command1", QStringLiteral("&Paste"), this);
    QuitButton = MakeButton("QuitButton", QStringLiteral("&Quit"), this);
    // Enter in the text boxes belongs to the histories and the text, never to a button.
    for (QPushButton *b : {SendButton, Command1, QuitButton})
        b->setAutoDefault(false);
    Label1 = MakeLabel("Label1", QStringLiteral("To"), this);
    ToBox = MakeHistoryCombo("ToBox", addressHistory_, this);
    SendsToLabel = MakeLabel("SendsToLabel", {}, this);
    SendsToLabel->setTextFormat(Qt::PlainText);
    SendsToLabel->setWordWrap(true);
    Label3 = MakeLabel("Label3", QStringLiteral("SC"), this);
    SCBox = MakeHistoryCombo("SCBox", scHistory_, this);
    Label2 = MakeLabel("Label2", QStringLiteral("Message"), this);
    MessageWindow = new QPlainTextEdit(this);
    MessageWindow->setObjectName(QStringLiteral("MessageWindow"));
    MessageWindow->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MessageWindow->setTabChangesFocus(true);
    CharsLabel = MakeLabel("CharsLabel", {}, this);
    Label7 = MakeLabel("Label7", QStringLiteral("chars"), this);
    SRRBox = new QCheckBox(QStringLiteral("Request Status Report"), this);
    SRRBox->setObjectName(QStringLiteral("SRRBox"));
    RPBox = new QCheckBox(QStringLiteral("Request Reply Path"), this);
    RPBox->setObjectName(QStringLiteral("RPBox"));
    Label5 = MakeLabel("Label5", QStringLiteral("PID"), this);
    PIDBox = MakeCombo("PIDBox", this);
    Label6 = MakeLabel("Label6", QStringLiteral("DCS"), this);
    DCSBox = MakeCombo("DCSBox", this);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(SendButton);
    buttons->addWidget(Command1);
    buttons->addWidget(QuitButton);
    buttons->addStretch();

    auto *addresses = new QGridLayout;
    addresses->addWidget(Label1, 0, 0);
    addresses->addWidget(ToBox, 0, 1);
    addresses->setColumnMinimumWidth(2, 12);
    addresses->addWidget(Label3, 0, 3);
    addresses->addWidget(SCBox, 0, 4);
    addresses->addWidget(SendsToLabel, 1, 1, 1, 4);
    addresses->setColumnStretch(1, 1);
    addresses->setColumnStretch(4, 1);

    // The count under the text: "152 characters · 2 parts" says its unit itself, so the old
    // "chars" under the heading stays hidden.
    Label7->setVisible(false);
    auto *text = new QVBoxLayout;
    text->addWidget(MessageWindow, 1);
    text->addWidget(CharsLabel);
    auto *checks = new QVBoxLayout;
    checks->addWidget(SRRBox);
    checks->addWidget(RPBox);
    checks->addStretch();
    auto *message = new QHBoxLayout;
    message->addWidget(Label2, 0, Qt::AlignTop);
    message->addLayout(text, 1);
    message->addLayout(checks);

    auto *choices = new QGridLayout;
    choices->addWidget(Label5, 0, 0);
    choices->addWidget(PIDBox, 0, 1);
    choices->addWidget(Label6, 1, 0);
    choices->addWidget(DCSBox, 1, 1);
    choices->setColumnStretch(1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addLayout(addresses);
    layout->addLayout(message, 1);
    layout->addLayout(choices);
    resize(560, 300);

    for (QComboBox *box : {ToBox, SCBox}) {
        box->installEventFilter(this);
        box->lineEdit()->installEventFilter(this);
    }
    connect(SendButton, &QPushButton::clicked, this, [this] { SendButton_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(QuitButton, &QPushButton::clicked, this,
            [this] { Q_EMIT command(QStringLiteral("Q")); });
    connect(MessageWindow, &QPlainTextEdit::textChanged, this, [this] { MessageWindow_Change(); });
    // Another coding sends the same text in other parts; the limit still follows the text.
    connect(DCSBox, &QComboBox::currentTextChanged, this, [this] { ShowCount(); });
    connect(ToBox, &QComboBox::editTextChanged, this, [this] { ToBox_Change(); });
    connect(ToBox, &QComboBox::currentTextChanged, this, [this] { ToBox_Change(); });
}

void SendForm::setCountryCode(const QString &code) {
    countryCode_ = code;
    ToBox_Change();
}

void SendForm::ToBox_Change() {
    SendsToLabel->setText(SendsToText(ToBox->currentText(), countryCode_));
}

QString SendForm::messageText() const {
    QString text = MessageWindow->toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

void SendForm::setMessageText(const QString &text) {
    MessageWindow->setPlainText(text);
}

void SendForm::AddToAddressList(const QString &text) {
    if (addressHistory_.indexOf(text) < 0) addressHistory_.add(text);
}

void SendForm::AddToSCList(const QString &text) {
    if (scHistory_.indexOf(text) < 0) scHistory_.add(text);
}

QCoro::Task<> SendForm::SendButton_Click() {
    SendFields fields{ToBox->currentText(),  SCBox->currentText(),  messageText(),
                      PIDBox->currentText(), DCSBox->currentText(), RPBox->isChecked(),
                      SRRBox->isChecked()};
    fields.reference = nextReference_;
    const EncodedEntry queued = BuildQueueEntry(fields, linkMode_, countryCode_);
    if (!queued.addToAddressList.isEmpty()) AddToAddressList(queued.addToAddressList);
    if (!queued.addToSCList.isEmpty()) AddToSCList(queued.addToSCList);
    if (queued.ok) {
        if (queued.entries.size() > 1) nextReference_ = (nextReference_ + 1) & 0xFF;
        // The parts of a concatenated series go to the driver as one code, a line each.
        Q_EMIT command(queued.entries.join(u'\n'));
        co_return;
    }
    QPointer<SendForm> self(this);
    co_await ask(this, QMessageBox::Critical, queued.error, QMessageBox::Ok, QMessageBox::Ok);
    if (self) self->MessageWindow->setFocus();
}

void SendForm::Command1_Click() {
    const CopyBuffer empty;
    const CopyBuffer &copy = copyBuffer_ ? *copyBuffer_ : empty;
    ToBox->setEditText(copy.address);
    SCBox->setEditText(copy.scAddress);
    setMessageText(copy.text);
}

void SendForm::MessageWindow_Change() {
    const QString dcs = DCSBox->currentText();
    QString text = messageText();
    const TextSize size = MeasureText(text, dcs);
    const bool eightBit = size.alphabet == Alphabet::EightBit;
    if ((eightBit && text.size() > kHexLimit) || size.parts > kMaxParts) {
        // 8-bit data fill one message; a text, the most parts of a concatenated series.
        if (eightBit) {
            text.truncate(kHexLimit);
        } else {
            qsizetype fits = 0;
            for (qsizetype step = text.size() / 2; step > 0; step /= 2) {
                while (fits + step <= text.size() &&
                       MeasureText(QStringView(text).left(fits + step), dcs).parts <= kMaxParts)
                    fits += step;
            }
            text.truncate(fits);
        }
        // Never keep half of a CR LF (the box would turn it back into a whole one), nor half
        // of a surrogate pair.
        if (text.endsWith(QLatin1Char('\r')) || (!text.isEmpty() && text.back().isHighSurrogate()))
            text.chop(1);
        setMessageText(text);  // runs this again, which sets the count
        MessageWindow->moveCursor(QTextCursor::End);
        Q_EMIT beep();
        return;
    }
    CharsLabel->setText(CountText(size.characters, size.parts));
}

void SendForm::ShowCount() {
    const TextSize size = MeasureText(messageText(), DCSBox->currentText());
    CharsLabel->setText(CountText(size.characters, size.parts));
}

QString CountText(qsizetype characters, qsizetype parts) {
    return (characters == 1 ? QStringLiteral("1 character")
                            : QStringLiteral("%1 characters").arg(characters)) +
           QStringLiteral(" \u00B7 ") +
           (parts == 1 ? QStringLiteral("1 part") : QStringLiteral("%1 parts").arg(parts));
}

bool SendForm::HistoryKeyPress(QComboBox *box, QKeyEvent *key) {
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        if (box == ToBox) {
            AddToAddressList(box->currentText());
        } else {
            AddToSCList(box->currentText());
        }
        return true;
    }
    if (key->key() == Qt::Key_D && (key->modifiers() & Qt::ControlModifier)) {
        // Only an entry picked from the list and not edited since is removed.
        const int row = box->currentIndex();
        if (row < 0 || box->itemText(row) != box->currentText()) return false;
        const QString text = box->currentText();
        (box == ToBox ? addressHistory_ : scHistory_).removeAt(row);
        box->setCurrentIndex(-1);
        box->setEditText(text);
        return true;
    }
    return false;
}

bool SendForm::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress) {
        QComboBox *box = nullptr;
        if (watched == ToBox || watched == ToBox->lineEdit()) box = ToBox;
        if (watched == SCBox || watched == SCBox->lineEdit()) box = SCBox;
        if (box && HistoryKeyPress(box, static_cast<QKeyEvent *>(event))) return true;
    }
    return QDialog::eventFilter(watched, event);
}

void FillSendFormLists(SendForm &form) {
    form.PIDBox->clear();
    for (const char *entry : kPidChoices)
        form.PIDBox->addItem(QLatin1String(entry));
    form.PIDBox->setCurrentIndex(0);
    form.DCSBox->clear();
    for (const char *entry : kDcsChoices)
        form.DCSBox->addItem(QLatin1String(entry));
    form.DCSBox->setCurrentIndex(0);
    form.SCBox->setCurrentIndex(-1);
    form.SCBox->setEditText(QString());
}

QCoro::Task<> ShowSendForm(DialogHost &host, SendForm &form) {
    if (host.busy()) {
        host.beep();
        co_return;
    }
    form.setLinkMode(!host.pduMode()     ? LinkMode::Block
                     : host.skipPDUSCA() ? LinkMode::PduSkipSca
                                         : LinkMode::Pdu);
    form.setCopyBuffer(&host.copyBuffer());
    form.setCountryCode(host.countryCode());
    form.show();
    host.setMainVisible(false);
    const auto command = co_await NextSignal(&form, &SendForm::command);
    const QString code = command ? std::get<0>(*command) : QString();
    host.setMainVisible(true);
    form.hide();
    if (code.isEmpty() || code == u"Q") co_return;
    for (const QString &entry : code.split(u'\n'))
        host.queueEntry(entry);
}

}  // namespace vantel
