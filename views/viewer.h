// The message viewer's driver: pages through the main window's message list in ViewForm.
#pragma once

#include <qcoro/qcorotask.h>

namespace vantel {

class DialogHost;
class SendForm;
class TechnicalView;
class ViewForm;

// The windows the viewer uses; all created once by the main window and only shown and hidden.
struct ViewerForms {
    ViewForm *view = nullptr;
    TechnicalView *technical = nullptr;
    SendForm *send = nullptr;  // opened pre-filled by Reply
};

// Beeps and returns at once when the host is busy or its message list is empty. Otherwise
// disables the host's buttons, hides the main window and shows the selected message (entry 0
// when none is selected), following the form's codes: Next, Prev, Delete (RemoveMessage),
// Tech (TechnicalView until "TVEND"), Close, Reply. Ends when the list becomes empty or on
// Close/Reply: the main window is shown again and its buttons enabled; Reply then fills the
// send form from the copy buffer, with a number the send form can send as the destination (none
// for a sender that is a name, which the trace says) and likewise the service centre, and runs
// ShowSendForm. A part of a concatenated message shows the whole text once every part (same
// sender, reference and total) is in the list. Run it without awaiting it from a
// click handler; the forms must outlive it.
QCoro::Task<> ShowMessageViewer(DialogHost &host, ViewerForms forms);

}  // namespace vantel
