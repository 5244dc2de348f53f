#include "views/commanddialog.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

namespace vantel {

CommandDialog::CommandDialog(QString closeCode, QWidget *parent)
    : QDialog(parent), closeCode_(std::move(closeCode)) {}

void CommandDialog::reject() {
    Q_EMIT command(closeCode_);
}

void CommandDialog::closeEvent(QCloseEvent *event) {
    // While shown, the driver waits for a code and hides the window itself.
    if (!isVisible()) return QDialog::closeEvent(event);
    event->ignore();
    Q_EMIT command(closeCode_);
}

QLabel *MakeLabel(const char *name, const QString &caption, QWidget *parent) {
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton *MakeButton(const char *name, const QString &caption, QWidget *parent) {
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

}  // namespace vantel
