// "Vantel - Insert Hex Message": free-format hex decoded field by field, with the start of the
// decoding stepped one octet at a time.
#pragma once

#include "views/commanddialog.h"

#include <qcoro/qcorotask.h>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vantel {

class DialogHost;

class InsertForm : public CommandDialog {
    Q_OBJECT
public:
    explicit InsertForm(QWidget *parent = nullptr);

    // 1-based character of the input where the decoding starts; always odd.
    int decodePosition() const { return decodePosition_; }

    QLabel *Label1;
    QPlainTextEdit *MessageInputBox;
    QLabel *Label2;
    QPlainTextEdit *MessageOutputBox;
    QCheckBox *PDUBox;
    QPushButton *FormatButton;
    QPushButton *BackwardButton;
    QPushButton *ForwardButton;
    QPushButton *OKButton;
    QPushButton *CancelButton;

    // command(): "OK" (also Enter in either text box), or "CL" (also Esc and the close box).

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormatButton_Click();
    void ForwardButton_Click();
    void BackwardButton_Click();
    void ShowDecoding();

    int decodePosition_ = 1;
};

// Shows the form with the main window hidden until OK or Cancel. Nothing is queued or stored.
QCoro::Task<> ShowInsertForm(DialogHost &host, InsertForm &form);

}  // namespace vantel
