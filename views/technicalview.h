// "Vantel - Technical View": the field-by-field text of the message the viewer shows.
#pragma once

#include <QDialog>

class QGroupBox;
class QPlainTextEdit;
class QPushButton;

namespace vantel {

class TechnicalView : public QDialog {
    Q_OBJECT
public:
    explicit TechnicalView(QWidget *parent = nullptr);

    QGroupBox *Frame1;
    QPlainTextEdit *MessageBox;
    QPushButton *OKButton;

Q_SIGNALS:
    // "TVEND" from OKButton, Esc or the close box.
    void command(const QString &code);

public Q_SLOTS:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;
};

}  // namespace vantel
