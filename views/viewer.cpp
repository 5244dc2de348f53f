#include "views/viewer.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

#include <qcoro/qcorosignal.h>

#include "app/listline.h"
#include "app/sortedlistmodel.h"
#include "blockmode/diagnostics.h"
#include "blockmode/frame.h"
#include "compose/sendform.h"
#include "link/wait.h"
#include "pdu/summary.h"
#include "pdu/tables.h"
#include "views/dialoghost.h"
#include "views/technicalview.h"
#include "views/viewform.h"

namespace vantel {

namespace {

QString AddressText(const QString &address, const QString &type) {
    if (type.isEmpty() || type == u"Alphanumeric Unknown") return address;
    if (type == u"International E.164") return QLatin1Char('+') + address;
    return address + QLatin1String(" (") + type + QLatin1Char(')');
}

QString SCAddressText(const QString &address, const QString &type) {
    if (type.isEmpty()) return address;
    if (type == u"International E.164") return QLatin1Char('+') + address;
    return address + QLatin1String(" (") + type + QLatin1Char(')');
}

// Decodes one list line. A line whose frame fails its check shows no field of any other message.
MessageFields DecodeLine(const QString &line) {
    MessageFields fields;
    QString frame = FrameOfLine(line).toString();
    if (ValidateFrame(frame)) {
        DecodeMessage(frame, fields);
    } else {
        fields.text = QStringLiteral("<invalid message>");
    }
    return fields;
}

void ShowFields(ViewForm &form, int index, qsizetype count, MessageFields fields) {
    form.NextButton->setEnabled(count > index + 1);
    form.PrevButton->setEnabled(index > 0);
    form.TimeStampTag->setText(fields.time);
    form.AddressTag->setText(AddressText(fields.address, fields.addressType));
    form.SCAddressTag->setText(SCAddressText(fields.scAddress, fields.scAddressType));
    form.PIDTag->setText(PidName(fields.pid));
    QString dcsName;
    const bool defaultAlphabet = DcsName(fields.dcs, dcsName);
    form.DCSTag->setText(dcsName);
    form.AddressLabel->setText(fields.typeCode.startsWith(u"MO") ? QStringLiteral("To")
                                                                 : QStringLiteral("From"));
    form.MessageBox->setPlainText(defaultAlphabet ? fields.text : fields.userData);
    form.CloseButton->setFocus();
    form.MessageBox->moveCursor(QTextCursor::Start);
    if (fields.typeCode.isEmpty()) fields.typeCode = QStringLiteral("UN-01");
    form.Frame1->setTitle(
        QStringLiteral("Message %1 (%2)").arg(index + 1).arg(QStringView(fields.typeCode).left(2)));
}

// The field-by-field account in TechnicalView until it gives its code.
QCoro::Task<> ShowTechnicalView(ViewerForms forms, const QString &line) {
    forms.technical->MessageBox->setPlainText(DescribeBlockMessage(line));
    forms.technical->show();
    forms.view->hide();
    co_await NextSignal(forms.technical, &TechnicalView::command);
    forms.view->show();
    forms.technical->hide();
}

}  // namespace

QCoro::Task<> ShowMessageViewer(DialogHost &host, ViewerForms forms) {
    if (host.busy() || host.messages().count() == 0) {
        host.beep();
        co_return;
    }
    ViewForm &view = *forms.view;
    view.setCopyBuffer(&host.copyBuffer());
    host.DisableButtons();
    view.show();
    host.setMainVisible(false);

    QString code;
    while (code.isEmpty() && host.messages().count() > 0) {
        const qsizetype count = host.messages().count();
        if (host.selectedMessage() < 0 || host.selectedMessage() >= count) host.selectMessage(0);
        const int index = host.selectedMessage();
        const QString line = host.messages().at(index);
        ShowFields(view, index, count, DecodeLine(line));

        const auto command = co_await NextSignal(forms.view, &ViewForm::command);
        code = command ? std::get<0>(*command) : QString();
        if (code == u"NX") {
            code.clear();
            if (host.messages().count() > index + 1) host.selectMessage(index + 1);
        } else if (code == u"PV") {
            code.clear();
            if (index > 0) host.selectMessage(index - 1);
        } else if (code == u"LD") {
            code.clear();
            if (index < host.messages().count()) host.RemoveMessage(index);
            if (host.messages().count() > 0) host.selectMessage(qMax(index - 1, 0));
        } else if (code == u"TD") {
            code.clear();
            co_await ShowTechnicalView(forms, line);
        }
    }

    host.setMainVisible(true);
    view.hide();
    host.EnableButtons();

    if (code == u"RP" && forms.send) {
        const CopyBuffer &copy = host.copyBuffer();
        forms.send->ToBox->setEditText(copy.address);
        forms.send->SCBox->setEditText(copy.scAddress);
        forms.send->setMessageText(copy.text);
        co_await ShowSendForm(host, *forms.send);
    }
}

}  // namespace vantel
