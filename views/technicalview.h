// "Vantel - Technical View": the field-by-field text of the message the viewer shows.
#pragma once

#include "views/commanddialog.h"

class QGroupBox;
class QPlainTextEdit;
class QPushButton;

namespace vantel {

class TechnicalView : public CommandDialog {
    Q_OBJECT
public:
    explicit TechnicalView(QWidget *parent = nullptr);

    QGroupBox *Frame1;
    QPlainTextEdit *MessageBox;
    QPushButton *OKButton;
    // command(): "TVEND" from OKButton, Esc or the close box.
};

}  // namespace vantel
