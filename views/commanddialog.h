// A dialog that ends by handing its driver a command code. Esc and the close box give the
// code of the dialog's closing button, so a driver never waits on a window nobody can see.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace vantel {

class CommandDialog : public QDialog {
    Q_OBJECT
public:
    CommandDialog(QString closeCode, QWidget *parent = nullptr);

Q_SIGNALS:
    void command(const QString &code);

public Q_SLOTS:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QString closeCode_;
};

// Controls are found by their names, as the forms' handlers and the tests know them.
QLabel *MakeLabel(const char *name, const QString &caption, QWidget *parent);
QPushButton *MakeButton(const char *name, const QString &caption, QWidget *parent);

}  // namespace vantel
