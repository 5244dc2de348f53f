#include "views/viewer.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

#include <qcoro/qcorosignal.h>

#include "app/listline.h"
#include "app/listrecords.h"
#include "app/sortedlistmodel.h"
#include "blockmode/diagnostics.h"
#include "blockmode/frame.h"
#include "compose/sendform.h"
#include "link/wait.h"
#include "pdu/primitives.h"
#include "pdu/summary.h"
#include "pdu/tables.h"
#include "pdu/userdata.h"
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

// The parts of the concatenated messages of the list, gathered when first asked for and again
// after the list has changed.
class StoredParts {
public:
    QString joined(const SortedListModel &list, const MessageFields &fields,
                   const Concatenation &part) {
        if (!built_) {
            texts_.addLines(list.items());
            built_ = true;
        }
        return texts_.joined(fields, part);
    }
    void clear() {
        built_ = false;
        texts_.clear();
    }

private:
    bool built_ = false;
    ConcatenatedTexts texts_;
};

bool IsStatusReport(const MessageFields &fields) {
    return fields.typeCode.startsWith(u"SR");
}

// The number to reply to: "+" and the number for an international number, the number alone
// for any other numeric type, nothing for a name. Nothing is left out: a "*" or "#" that cannot
// be sent is named by the send form, not silently dropped to reach another number.
QString ReplyNumber(const QString &address, const QString &type) {
    if (type.startsWith(u"Alphanumeric")) return {};
    return type.startsWith(u"International") ? u'+' + address : address;
}

void ShowFields(ViewForm &form, int index, qsizetype count, MessageFields fields,
                StoredParts &parts, const DialogHost &host) {
    form.NextButton->setEnabled(count > index + 1);
    form.PrevButton->setEnabled(index > 0);
    form.TimeStampTag->setText(fields.time);
    form.AddressTag->setText(AddressText(fields.address, fields.addressType));
    form.NameTag->setText(host.names().nameOf(fields.address, fields.addressType));
    form.SCAddressTag->setText(SCAddressText(fields.scAddress, fields.scAddressType));
    // A status report shows its status where other messages show their protocol identifier.
    const bool report = IsStatusReport(fields);
    form.Label3->setText(report ? QStringLiteral("Status") : QStringLiteral("Protocol ID"));
    form.PIDTag->setText(report ? fields.text : PidName(fields.pid));
    const QString reported = report ? host.ReportedMessage(fields) : QString();
    form.ReportTag->setText(reported);
    form.ReportLabel->setVisible(!reported.isEmpty());
    form.ReportTag->setVisible(!reported.isEmpty());
    QString dcsName;
    DcsName(fields.dcs, dcsName);
    form.DCSTag->setText(dcsName);
    form.AddressLabel->setText(fields.typeCode.startsWith(u"MO") ? QStringLiteral("To")
                               : report                          ? QStringLiteral("Recipient")
                                                                 : QStringLiteral("From"));
    const Concatenation part = PartOf(fields);
    const QString joined = part.valid() ? parts.joined(host.messages(), fields, part) : QString();
    form.MessageBox->setPlainText(joined.isEmpty() ? fields.text : joined);
    form.CloseButton->setFocus();
    form.MessageBox->moveCursor(QTextCursor::Start);
    if (fields.typeCode.isEmpty()) fields.typeCode = QStringLiteral("UN-01");
    QString title =
        QStringLiteral("Message %1 (%2)").arg(index + 1).arg(QStringView(fields.typeCode).left(2));
    if (part.valid()) title += QStringLiteral(", part %1 of %2").arg(part.part).arg(part.total);
    form.Frame1->setTitle(title);
}

// The field-by-field account in TechnicalView until it gives its code.
QCoro::Task<> ShowTechnicalView(ViewerForms forms, const QString &line) {
    forms.technical->MessageBox->setPlainText(DescribeBlockMessage(line));
    forms.technical->show();
    forms.technical->OKButton->setFocus();  // Enter closes it
    forms.view->hide();
    co_await NextSignal(forms.technical, &TechnicalView::command);
    forms.view->show();
    forms.technical->hide();
}

}  // namespace

QCoro::Task<> ShowMessageViewer(DialogHost &host, ViewerForms forms) {
    if (host.busy() || host.shownCount() == 0) {
        host.beep();
        co_return;
    }
    ViewForm &view = *forms.view;
    view.setCopyBuffer(&host.copyBuffer());
    host.DisableButtons();
    view.show();
    host.setMainVisible(false);

    QString code;
    StoredParts parts;
    MessageFields shown;
    // Pages through the lines the window shows: a search hides the others from the viewer too.
    while (code.isEmpty() && host.shownCount() > 0) {
        const qsizetype count = host.shownCount();
        if (host.selectedMessage() < 0 || host.selectedMessage() >= count) host.selectMessage(0);
        const int index = host.selectedMessage();
        const QString line = host.shownLine(index);
        shown = DecodeListLine(line);
        ShowFields(view, index, count, shown, parts, host);

        const auto command = co_await NextSignal(forms.view, &ViewForm::command);
        code = command ? std::get<0>(*command) : QString();
        if (code == u"NX") {
            code.clear();
            if (host.shownCount() > index + 1) host.selectMessage(index + 1);
        } else if (code == u"PV") {
            code.clear();
            if (index > 0) host.selectMessage(index - 1);
        } else if (code == u"LD") {
            code.clear();
            if (index < host.shownCount()) host.RemoveMessage(index);
            parts.clear();
            if (host.shownCount() > 0) host.selectMessage(qMax(index - 1, 0));
        } else if (code == u"TD") {
            code.clear();
            co_await ShowTechnicalView(forms, line);
        }
    }

    host.setMainVisible(true);
    view.hide();
    host.EnableButtons();

    if (code == u"RP" && forms.send) {
        // Reply goes to a number the send form can send, through the same service centre.
        CopyBuffer &copy = host.copyBuffer();
        copy.address = ReplyNumber(shown.address, shown.addressType);
        copy.scAddress = ReplyNumber(shown.scAddress, shown.scAddressType);
        if (shown.addressType.startsWith(u"Alphanumeric")) {
            host.WriteTrace(QStringLiteral("Reply: the sender \"%1\" is a name, not a number: "
                                           "type the destination")
                                .arg(shown.address),
                            false);
        }
        forms.send->ToBox->setEditText(copy.address);
        forms.send->SCBox->setEditText(copy.scAddress);
        forms.send->setMessageText(copy.text);
        co_await ShowSendForm(host, *forms.send);
    }
}

}  // namespace vantel
