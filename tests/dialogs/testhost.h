// A main window stand-in for the dialog drivers, and helpers shared by the dialog tests.
#pragma once

#include <QCoreApplication>
#include <QMessageBox>
#include <QStringList>

#include <vector>

#include "app/listline.h"
#include "app/sortedlistmodel.h"
#include "blockmode/frame.h"
#include "pdu/primitives.h"
#include "views/askuser.h"
#include "views/dialoghost.h"

namespace vantel::test {

class TestHost : public DialogHost {
public:
    bool busyFlag = false;
    bool mainVisible = true;
    int beeps = 0;
    int selected = -1;
    SortedListModel list;
    QStringList queued;
    CopyBuffer copy;
    bool pdu = false;
    bool skipSca = false;

    bool busy() const override { return busyFlag; }
    void DisableButtons() override { busyFlag = true; }
    void EnableButtons() override { busyFlag = false; }
    void beep() override { ++beeps; }
    void setMainVisible(bool visible) override { mainVisible = visible; }
    const SortedListModel &messages() const override { return list; }
    int selectedMessage() const override { return selected; }
    void selectMessage(int row) override { selected = row; }
    // Like a list view, the list has no selection after its selected entry went.
    void RemoveMessage(int row) override {
        list.removeAt(row);
        selected = -1;
    }
    void queueEntry(const QString &entry) override { queued << entry; }
    bool pduMode() const override { return pdu; }
    bool skipPDUSCA() const override { return skipSca; }
    CopyBuffer &copyBuffer() override { return copy; }
    QStringList traced;
    void WriteTrace(const QString &text, bool) override { traced << text; }
};

// Answers the dialogs' message boxes at once and remembers what they asked.
struct AskRecorder {
    struct Asked {
        QMessageBox::Icon icon;
        QString text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
    };
    std::vector<Asked> asked;
    QMessageBox::StandardButton answer = QMessageBox::Ok;

    AskUserFn fn() {
        return
            [this](QWidget *, QMessageBox::Icon icon, QString text,
                   QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
                -> QCoro::Task<QMessageBox::StandardButton> {
                asked.push_back({icon, text, buttons, defaultButton});
                co_return answer;
            };
    }
};

// Lets queued signal deliveries resume the waiting driver.
inline void Settle() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// The stored frame (hex) of a Block-mode content given as hex.
inline QString FrameOf(const QString &contentHex) {
    return BytesToHex(BuildFrame(HexToBytes(contentHex)));
}

inline QString LineOf(const QString &contentHex) {
    return MakeListLine(FrameOf(contentHex)).line;
}

}  // namespace vantel::test
