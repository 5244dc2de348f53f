// What the dialog drivers (viewer, send form, hex decoder) need from the main window.
#pragma once

#include <QString>

#include "pdu/primitives.h"

namespace vantel {

class NameBook;
class SortedListModel;
struct MessageFields;

// Address, service centre and text copied by the viewer's Copy and Reply buttons.
struct CopyBuffer {
    QString address;
    QString scAddress;
    QString text;
};

class DialogHost {
public:
    virtual ~DialogHost() = default;

    virtual bool busy() const = 0;
    virtual void DisableButtons() = 0;
    virtual void EnableButtons() = 0;
    virtual void beep() = 0;
    // Shows or hides the main window.
    virtual void setMainVisible(bool visible) = 0;

    // The whole message list (MessageQueue's lines, whatever a search shows of them).
    virtual const SortedListModel &messages() const = 0;
    // The lines the window shows (a search may hide some), and the selection among them: every
    // row below counts the shown lines (-1 when none is selected).
    virtual int shownCount() const = 0;
    virtual QString shownLine(int row) const = 0;
    virtual int selectedMessage() const = 0;
    virtual void selectMessage(int row) = 0;
    virtual void RemoveMessage(int row) = 0;
    // The names of the destination history, by number.
    virtual const NameBook &names() const = 0;

    // Adds an entry to SendQueue at its sorted place.
    virtual void queueEntry(const QString &entry) = 0;
    // Settings the send form's encoder needs.
    virtual bool pduMode() const = 0;
    virtual bool skipPDUSCA() const = 0;
    // What a national number's leading "0" becomes (the CountryCode setting).
    virtual QString countryCode() const { return kDefaultCountryCode.toString(); }

    virtual CopyBuffer &copyBuffer() = 0;
    // For the viewer of a status report: the sent message it reports on, or a line that says
    // it matches none; "" when the host keeps no sent messages.
    virtual QString ReportedMessage(const MessageFields &report) const {
        (void)report;
        return {};
    }
    // A line of the trace window (and of the log with `toLog`).
    virtual void WriteTrace(const QString &text, bool toLog) = 0;
};

}  // namespace vantel
