#include "views/askuser.h"
#include "link/wait.h"

#include <QPointer>

#include <qcoro/qcorosignal.h>

namespace vantel {

QCoro::Task<QMessageBox::StandardButton> AskUser(QWidget *parent, QMessageBox::Icon icon,
                                                 QString text, QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton) {
    QPointer<QMessageBox> box =
        new QMessageBox(icon, QStringLiteral("Vantel"), text, buttons, parent);
    box->setDefaultButton(defaultButton);
    box->open();
    co_await NextSignal(box.data(), &QMessageBox::finished);
    if (!box) co_return defaultButton;
    QMessageBox::StandardButton pressed = box->standardButton(box->clickedButton());
    box->deleteLater();
    co_return pressed == QMessageBox::NoButton ? defaultButton : pressed;
}

}  // namespace vantel
