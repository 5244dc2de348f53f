#include "compose/insertform.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <qcoro/qcorosignal.h>

#include "link/wait.h"
#include "pdu/primitives.h"
#include "pdu/technical.h"
#include "views/dialoghost.h"

namespace vantel {

namespace {

QPlainTextEdit *MakeTextBox(const char *name, QWidget *parent) {
    auto *box = new QPlainTextEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setTabChangesFocus(true);
    return box;
}

// The input as the decoder reads it, line breaks as CR LF.
QString InputText(const QPlainTextEdit *box) {
    QString text = box->toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

}  // namespace

InsertForm::InsertForm(QWidget *parent) : CommandDialog(QStringLiteral("CL"), parent) {
    setObjectName(QStringLiteral("InsertForm"));
    setWindowTitle(QStringLiteral("Vantel - Insert Hex Message"));

    Label1 = new QLabel(QStringLiteral("Free-format hex input"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    MessageInputBox = MakeTextBox("MessageInputBox", this);
    Label2 = new QLabel(QStringLiteral("Message"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    MessageOutputBox = MakeTextBox("MessageOutputBox", this);
    QFont fixed(QStringLiteral("Monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    MessageOutputBox->setFont(fixed);
    PDUBox = new QCheckBox(QStringLiteral("PDU"), this);
    PDUBox->setObjectName(QStringLiteral("PDUBox"));
    FormatButton = MakeButton("FormatButton", QStringLiteral("&Format"), this);
    BackwardButton = MakeButton("BackwardButton", QStringLiteral("&<<"), this);
    ForwardButton = MakeButton("ForwardButton", QStringLiteral("&>>"), this);
    OKButton = MakeButton("OKButton", QStringLiteral("&OK"), this);
    OKButton->setDefault(true);
    CancelButton = MakeButton("CancelButton", QStringLiteral("&Cancel"), this);
    // Enter always means OK, wherever the focus is.
    for (QPushButton *b : {FormatButton, BackwardButton, ForwardButton, OKButton, CancelButton})
        b->setAutoDefault(false);

    auto *grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0, Qt::AlignTop);
    grid->addWidget(MessageInputBox, 0, 1);
    auto *outputLabels = new QVBoxLayout;
    outputLabels->addWidget(Label2);
    outputLabels->addWidget(PDUBox);
    outputLabels->addStretch();
    grid->addLayout(outputLabels, 1, 0);
    grid->addWidget(MessageOutputBox, 1, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(0, 1);
    grid->setRowStretch(1, 3);

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {FormatButton, BackwardButton, ForwardButton, OKButton, CancelButton}) {
        buttons->addWidget(b);
    }
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);
    resize(580, 400);

    MessageInputBox->installEventFilter(this);
    MessageOutputBox->installEventFilter(this);

    connect(FormatButton, &QPushButton::clicked, this, [this] { FormatButton_Click(); });
    connect(ForwardButton, &QPushButton::clicked, this, [this] { ForwardButton_Click(); });
    connect(BackwardButton, &QPushButton::clicked, this, [this] { BackwardButton_Click(); });
    connect(OKButton, &QPushButton::clicked, this,
            [this] { Q_EMIT command(QStringLiteral("OK")); });
    connect(CancelButton, &QPushButton::clicked, this,
            [this] { Q_EMIT command(QStringLiteral("CL")); });
}

bool InsertForm::eventFilter(QObject *watched, QEvent *event) {
    // The text boxes would take Enter as a line break; in this dialog it means OK.
    if (event->type() == QEvent::KeyPress &&
        (watched == MessageInputBox || watched == MessageOutputBox)) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && mods == 0) {
            OKButton->click();
            return true;
        }
    }
    return CommandDialog::eventFilter(watched, event);
}

void InsertForm::ShowDecoding() {
    const QString input = InputText(MessageInputBox);
    MessageOutputBox->setPlainText(
        DecodeTechnical(QStringView(input).mid(decodePosition_ - 1), PDUBox->isChecked()));
    MessageOutputBox->moveCursor(QTextCursor::End);
}

void InsertForm::FormatButton_Click() {
    MessageInputBox->setPlainText(KeepHexDigits(MessageInputBox->toPlainText()));
    decodePosition_ = 1;
    ShowDecoding();
}

void InsertForm::ForwardButton_Click() {
    if (decodePosition_ + 2 < InputText(MessageInputBox).size()) decodePosition_ += 2;
    ShowDecoding();
}

void InsertForm::BackwardButton_Click() {
    if (decodePosition_ >= 3) {
        decodePosition_ -= 2;
    } else {
        MessageInputBox->setPlainText(QLatin1String("00") + MessageInputBox->toPlainText());
    }
    ShowDecoding();
}

QCoro::Task<> ShowInsertForm(DialogHost &host, InsertForm &form) {
    form.show();
    host.setMainVisible(false);
    co_await NextSignal(&form, &InsertForm::command);
    host.setMainVisible(true);
    form.hide();
}

}  // namespace vantel
