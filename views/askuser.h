// Message boxes of the dialogs. They are shown window-modal and awaited, never run through a
// nested event loop; a form holds the function that shows them so that tests can answer them.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <optional>

#include <qcoro/qcorotask.h>

class QWidget;

namespace vantel {

// Shows `text` in a box titled "Vantel" over `parent` and yields the button pressed (the
// default button when the box goes away without a press).
using AskUserFn = std::function<QCoro::Task<QMessageBox::StandardButton>(
    QWidget *parent, QMessageBox::Icon icon, QString text, QMessageBox::StandardButtons buttons,
    QMessageBox::StandardButton defaultButton)>;

QCoro::Task<QMessageBox::StandardButton> AskUser(QWidget *parent, QMessageBox::Icon icon,
                                                 QString text, QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton);

// The PIN box: `why` above a password field that takes 4 to 8 digits. The PIN, or nullopt
// when the user cancelled the box or it went away.
using AskPinFn = std::function<QCoro::Task<std::optional<QString>>(QWidget *parent, QString why)>;

QCoro::Task<std::optional<QString>> AskPinBox(QWidget *parent, QString why);

}  // namespace vantel
