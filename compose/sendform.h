// The send form "Send an SMS Message": composes one SMS-SUBMIT and hands its send-queue entry
// to the main window through ShowSendForm.
#pragma once

#include "views/commanddialog.h"

#include "app/sortedlistmodel.h"
#include "compose/encoder.h"
#include "views/askuser.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vantel {

class DialogHost;
struct CopyBuffer;

class SendForm : public CommandDialog {
    Q_OBJECT
public:
    explicit SendForm(QWidget *parent = nullptr);

    // The histories behind ToBox ("smsaddr.dat") and SCBox ("smscaddr.dat").
    SortedListModel &addressHistory() { return addressHistory_; }
    SortedListModel &scHistory() { return scHistory_; }

    // The reference of the next concatenated series (random at first, then counting up).
    void setNextReference(int reference) { nextReference_ = reference & 0xFF; }

    // Set by ShowSendForm from the host before the form is shown.
    void setLinkMode(LinkMode mode) { linkMode_ = mode; }
    void setCountryCode(const QString &code);
    void setCopyBuffer(const CopyBuffer *buffer) { copyBuffer_ = buffer; }
    // The "No text to send" box goes through this.
    AskUserFn ask = AskUser;

    // MessageWindow's text with its line breaks as CR LF, as it is counted and sent.
    QString messageText() const;
    void setMessageText(const QString &text);

    // Adds `text` to the history unless an identical entry is there (case counts).
    void AddToAddressList(const QString &text);
    void AddToSCList(const QString &text);

    QPushButton *SendButton;
    QPushButton *Command1;  // "&Paste"
    QPushButton *QuitButton;
    QLabel *Label1;
    QComboBox *ToBox;
    QLabel *SendsToLabel;  // under ToBox: the number as it will be sent, or why it cannot be
    QLabel *Label3;
    QComboBox *SCBox;
    QLabel *Label2;
    QPlainTextEdit *MessageWindow;
    QLabel *CharsLabel;
    QLabel *Label7;
    QCheckBox *SRRBox;
    QCheckBox *RPBox;
    QLabel *Label5;
    QComboBox *PIDBox;
    QLabel *Label6;
    QComboBox *DCSBox;

    // command(): "Q" (also Esc and the close box), or the send-queue entries, one a line (a
    // concatenated series has one for each part).

Q_SIGNALS:
    // The text was cut to its limit. The main window connects this to its beep once.
    void beep();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QCoro::Task<> SendButton_Click();
    void Command1_Click();
    void MessageWindow_Change();
    // CharsLabel: the characters and the parts of the text under the chosen coding.
    void ShowCount();
    void ToBox_Change();
    bool HistoryKeyPress(QComboBox *box, QKeyEvent *key);

    SortedListModel addressHistory_;
    SortedListModel scHistory_;
    LinkMode linkMode_ = LinkMode::Block;
    QString countryCode_ = kDefaultCountryCode.toString();
    int nextReference_;  // of the next concatenated series, 0..255
    const CopyBuffer *copyBuffer_ = nullptr;
};

// "152 characters · 2 parts", "1 character · 1 part".
QString CountText(qsizetype characters, qsizetype parts);

// Fills PIDBox and DCSBox with their choice lists (first entries selected) and empties SCBox.
void FillSendFormLists(SendForm &form);

// Beeps and returns when the host is busy. Otherwise shows the form with the main window
// hidden until the user quits ("Q") or sends; a sent entry goes to host.queueEntry. The
// form's fields are kept for the next opening.
QCoro::Task<> ShowSendForm(DialogHost &host, SendForm &form);

}  // namespace vantel
