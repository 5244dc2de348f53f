#include "views/technicalview.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantel {

TechnicalView::TechnicalView(QWidget *parent) : CommandDialog(QStringLiteral("TVEND"), parent) {
    setObjectName(QStringLiteral("TechnicalView"));
    setWindowTitle(QStringLiteral("Vantel - Technical View"));

    Frame1 = new QGroupBox(QStringLiteral("Technical Detail"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    MessageBox = new QPlainTextEdit(Frame1);
    MessageBox->setObjectName(QStringLiteral("MessageBox"));
    MessageBox->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed(QStringLiteral("Monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    MessageBox->setFont(fixed);
    auto *frameLayout = new QVBoxLayout(Frame1);
    frameLayout->addWidget(MessageBox);

    OKButton = new QPushButton(QStringLiteral("&OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this,
            [this] { Q_EMIT command(QStringLiteral("TVEND")); });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addLayout(buttons);
    resize(560, 480);
}

}  // namespace vantel
