#include "views/askuser.h"
#include "link/wait.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

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

QCoro::Task<std::optional<QString>> AskPinBox(QWidget *parent, QString why) {
    QPointer<QDialog> box = new QDialog(parent);
    box->setObjectName(QStringLiteral("PinBox"));
    box->setWindowTitle(QStringLiteral("Vantel - SIM PIN"));
    auto *label = new QLabel(why, box);
    label->setWordWrap(true);
    auto *field = new QLineEdit(box);
    field->setObjectName(QStringLiteral("PinBox"));
    field->setEchoMode(QLineEdit::Password);
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,8}")), field));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, box);
    QPushButton *ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    QObject::connect(field, &QLineEdit::textChanged, ok,
                     [ok](const QString &text) { ok->setEnabled(text.size() >= 4); });
    QObject::connect(buttons, &QDialogButtonBox::accepted, box.data(), &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, box.data(), &QDialog::reject);
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(label);
    layout->addWidget(field);
    layout->addWidget(buttons);
    box->setWindowModality(Qt::WindowModal);
    box->open();
    const auto result = co_await NextSignal(box.data(), &QDialog::finished);
    if (!box) co_return std::nullopt;
    std::optional<QString> pin;
    if (result && std::get<0>(*result) == QDialog::Accepted) pin = field->text();
    // The digits leave the field before the box goes.
    field->clear();
    box->deleteLater();
    co_return pin;
}

}  // namespace vantel
