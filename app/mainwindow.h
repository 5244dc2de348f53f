// The main window: the button row, the trace window, the send queue and the message list, the
// send timer, settings, and the drivers of the dialogs.
#pragma once

#include <QCoroTask>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/exportdialog.h"
#include "app/messagestore.h"
#include "app/sendqueuefile.h"
#include "app/sentlist.h"
#include "app/settingsfile.h"
#include "app/sortedlistmodel.h"
#include "link/host.h"
#include "link/link.h"
#include "link/trace.h"
#include "views/askuser.h"
#include "views/dialoghost.h"

class QLabel;
class QLineEdit;
class QListView;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QTreeView;

namespace vantel {

class InsertForm;
class ListFilterModel;
class ListHeader;
class MessageListService;
class SendForm;
class SendSmsService;
class SetupForm;
class TechnicalView;
class ViewForm;

inline constexpr double ProgramVersion = 0.36;

// Ctrl+N shows a list line in a message box: a line of megabytes would stall the window, so
// the box holds its first MaxLineBoxChars characters and says how long the line is.
inline constexpr qsizetype MaxLineBoxChars = 4000;
QString LineBoxText(const QString &line);

class Vantel : public QWidget, public LinkHost, public DialogHost {
    Q_OBJECT
public:
    // What the send timer does with the first send-queue entry: true when it left the queue
    // for good (sent, or refused as unreadable).
    using TransmitFn = std::function<QCoro::Task<bool>(QString entry)>;

    explicit Vantel(QWidget *parent = nullptr);
    ~Vantel() override;

    // The start-up after the single-instance test: title, serial control, settings (the
    // setup dialog when there is no "vantel.ini"), send form lists, window, list files.
    QCoro::Task<> Form_Load();

    // LinkHost and DialogHost.
    void WriteTrace(const QString &text, bool toLog) override;
    void DisableButtons() override;
    void EnableButtons() override;
    bool busy() const override { return busy_; }
    bool AppendListFile(const QString &frame) override;
    bool AddMessage(const QString &frame) override;
    QCoro::Task<> PlayAlert() override;
    void beep() override;
    void setMainVisible(bool visible) override;
    const SortedListModel &messages() const override { return store_.model(); }
    int shownCount() const override;
    QString shownLine(int row) const override;
    const NameBook &names() const override;
    int selectedMessage() const override;
    void selectMessage(int row) override;
    void RemoveMessage(int row) override;
    void queueEntry(const QString &entry) override;
    bool pduMode() const override { return settings_.pduMode; }
    bool skipPDUSCA() const override { return settings_.skipPDUSCA; }
    QString countryCode() const override { return settings_.countryCode; }
    bool endRequested() const override { return endRequested_; }
    void ShowOutcome(const QString &problem) override;
    CopyBuffer &copyBuffer() override { return copyBuffer_; }
    QString ReportedMessage(const MessageFields &report) const override;
    QCoro::Task<std::optional<QString>> AskPin(QString why) override;

    // Dialog drivers and the handlers behind the buttons and the timer.
    QCoro::Task<> ShowSetupForm();
    QCoro::Task<> AddButton_Click();
    QCoro::Task<> Timer1_Timer();
    // True when the entry leaves the send queue: sent, or dropped as unreadable.
    QCoro::Task<bool> TransmitEntry(QString entry);
    // Saves the list files and ends; when a file cannot be saved, asks whether to quit anyway.
    QCoro::Task<> SaveAndEnd();
    // Saves the list files and ends without a question (the session ends, a signal came).
    void EndNow();
    // A signal or the session's end asks the program to end: at once when no exchange with the
    // phone runs, else once the running one is over (no new one starts meanwhile). Asked again
    // while it waits, it ends at once.
    void RequestEnd();
    bool exchangeRunning() const { return exchanges_ > 0; }
    QCoro::Task<> LoadListFiles();
    // Asks where and writes the lines shown in the list there, as CSV or JSON Lines.
    QCoro::Task<> ExportButton_Click();
    // The message-list lines the list shows, in its order.
    QStringList shownLines() const;
    // The "Error saving <file>: <reason>" line of every file that could not be saved.
    QStringList SaveListFiles();
    // The list files changed since they were last written: a deletion, a duplicate line a
    // retrieval appended, a history entry added or removed. Each is rewritten within
    // ListSaveDelayMs of its first change; a failed write is traced and tried again with the
    // next change and at Quit.
    enum ListFile { MessageList = 1, AddressList = 2, SCAddressList = 4 };
    void ListFileChanged(ListFile which);
    static constexpr int ListSaveDelayMs = 500;
    QTimer *ListSaveTimer;
    void LoadSettings();
    void SaveSettings();

    Settings &settings() { return settings_; }
    MessageStore &store() { return store_; }
    SortedListModel &sendQueueModel() { return sendQueue_; }
    SentMessages &sentMessages() { return sentMessages_; }
    Link &link() { return link_; }
    Trace &trace() { return trace_; }
    SetupForm &setupForm() { return *setupForm_; }
    SendForm &sendForm() { return *sendForm_; }
    SendSmsService &dbus() { return *dbus_; }
    ViewForm &viewForm() { return *viewForm_; }
    TechnicalView &technicalView() { return *technicalView_; }
    InsertForm &insertForm() { return *insertForm_; }
    ListFilterModel &shownList() { return *shownList_; }
    int beepCount() const { return beeps_; }
    // Why the send timer sends nothing ("" when it sends): the queue file cannot be written.
    const QString &queueHold() const { return queueHold_; }
    bool ended() const { return ending_; }

    // Message boxes of the main window (tests answer them).
    AskUserFn ask = AskUser;
    AskPinFn askPin = AskPinBox;
    AskExportFn askExport = AskExportFile;
    // The send timer's transmission (tests put a simulated one in place).
    TransmitFn transmitEntry;

    QPushButton *AddButton;
    QPushButton *SetupButton;
    QPushButton *InsertButton;
    QPushButton *SendButton;
    QPushButton *QuitButton;
    QLabel *Image1;
    QLabel *Label1;
    QPlainTextEdit *DebugWin;
    QLabel *Label2;
    QListView *SendQueue;
    QLabel *SentLabel;
    QTreeView *SentList;
    QLabel *MessageQueueLbl;
    QLabel *QueueCountLabel;
    QPushButton *SendInfoButton;
    QPushButton *ExportButton;
    QLabel *FormComBox;
    QLineEdit *SearchBox;
    ListHeader *MessageHeader;
    QListView *MessageQueue;
    QLabel *StatusLabel;
    QPushButton *PauseButton;
    QTimer *AutoRetrieveTimer;
    QTimer *Timer1;

Q_SIGNALS:
    // SaveAndEnd saved the files: the program ends.
    void programEnded();

protected:
    void closeEvent(QCloseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWindow();
    void endProgram();
    void setButtonsEnabled(bool enabled);
    bool MessageQueue_KeyPress(QKeyEvent *key);
    bool SendQueue_KeyPress(QKeyEvent *key);
    bool DebugWin_KeyPress(QKeyEvent *key);
    QCoro::Task<> ShowMessageViewer();
    QCoro::Task<> ShowLineBox(int row);
    QCoro::Task<> RemoveQueueEntry(int row);
    QCoro::Task<> Image1_DblClick();
    QCoro::Task<> ShowSendForm();
    QCoro::Task<> ShowInsertForm();
    QCoro::Task<> yieldToEvents();
    QCoro::Task<> SendNextEntry();
    void exchangeEnded();
    // Holds the queue back while `file` cannot be written (why is "" once it can).
    void setQueueHold(const QString &why, QStringView file = SendQueueFileName);
    void recordSent(const QString &entry, int reference);
    void applyStatusReport(const QString &frame);
    void setOtherModeEntries(qsizetype count);
    void showStatus();
    void setQueuePaused(bool paused);
    void applyLinkSettings();
    void notifyNewMessages();
    void SaveChangedListFiles();
    int selectedRow(const QListView *view) const;
    void search(const QString &text);
    void showCount();
    void readNames();

    Settings settings_;
    Trace trace_;
    Link link_;
    MessageStore store_;
    SendQueueModel sendQueue_;
    SentMessages sentMessages_{store_};
    CopyBuffer copyBuffer_;
    bool busy_ = false;
    int disabledBy_ = 0;  // exchanges and dialogs that disabled the buttons and still run
    bool ending_ = false;
    bool listsLoaded_ = false;  // before, the files on disk are the lists: nothing to save
    bool quitAsking_ = false;
    bool timerRunning_ = false;
    bool endRequested_ = false;
    bool sending_ = false;      // the send timer's transmission runs
    bool pinDeclined_ = false;  // the PIN box was cancelled while sending: the timer asks no more
    int exchanges_ = 0;         // retrievals and transmissions running
    QString queueHold_;
    QString queueHoldFile_;
    qsizetype otherModeEntries_ = 0;
    QString lastProblem_;  // how the last exchange went wrong ("" when it did not)
    int failedTicks_ = 0;  // transmissions in a row that failed
    bool autoRetrieveDue_ = false;
    bool retrieving_ = false;
    QStringList newSenders_;  // of the messages the running retrieval stored
    bool traceShowPending_ = false;
    int changedLists_ = 0;  // ListFile bits waiting for ListSaveTimer
    QString appended_;      // the frame the running retrieval just appended to the list file
    int beeps_ = 0;
    QTimer *yieldTimer_;
    SetupForm *setupForm_;
    SendForm *sendForm_;
    ViewForm *viewForm_;
    TechnicalView *technicalView_;
    InsertForm *insertForm_;
    ListFilterModel *shownList_;
    std::unique_ptr<SendQueueFile> queueFile_;
    std::unique_ptr<MessageListService> messagesBus_;
    std::unique_ptr<SendSmsService> dbus_;
};

}  // namespace vantel
