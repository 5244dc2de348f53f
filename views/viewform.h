// The message viewer window "Vantel - Message View". Its handlers copy fields into the copy
// buffer or send a command code; ShowMessageViewer (viewer.h) fills it and acts on the codes.
#pragma once

#include "views/commanddialog.h"

#include "views/askuser.h"

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vantel {

struct CopyBuffer;

class ViewForm : public CommandDialog {
    Q_OBJECT
public:
    explicit ViewForm(QWidget *parent = nullptr);

    // Where CopyButton and ReplyButton copy to; the viewer driver sets it.
    void setCopyBuffer(CopyBuffer *buffer) { copyBuffer_ = buffer; }
    // The confirmation of LocalDeleteButton and the key-code box go through this.
    AskUserFn ask = AskUser;

    // The text of MessageBox with its line breaks as CR LF.
    QString messageText() const;

    QGroupBox *Frame1;
    QLabel *AddressLabel;
    QLabel *AddressTag;
    QLabel *NameTag;  // the destination history's name for the number, "" when none
    QLabel *Label2;
    QLabel *SCAddressTag;
    QLabel *Label3;
    QLabel *PIDTag;
    QLabel *Label4;
    QLabel *DCSTag;
    QLabel *Label1;
    QLabel *TimeStampTag;
    // Shown for a status report: the sent message it reports on.
    QLabel *ReportLabel;
    QLabel *ReportTag;
    QPlainTextEdit *MessageBox;
    QPushButton *ReplyButton;
    QPushButton *CopyButton;
    QPushButton *DetailButton;
    QPushButton *PrevButton;
    QPushButton *NextButton;
    QPushButton *LocalDeleteButton;
    QPushButton *CloseButton;

    // command(): "NX", "PV", "LD", "TD", "RP", or "CL" (also Esc and the close box).

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void CopyButton_Click();
    void ReplyButton_Click();
    QCoro::Task<> LocalDeleteButton_Click();

    CopyBuffer *copyBuffer_ = nullptr;
};

}  // namespace vantel
