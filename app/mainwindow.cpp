#include "app/mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoroSignal>
#include <QCoroTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>

#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

#include "app/alertsound.h"
#include "app/dbuslink.h"
#include "app/listline.h"
#include "app/sendqueuefile.h"
#include "app/setupform.h"
#include "app/wholefile.h"
#include "atmode/transmit.h"
#include "blockmode/exchange.h"
#include "compose/insertform.h"
#include "compose/sendform.h"
#include "link/trace.h"
#include "link/wait.h"
#include "pdu/primitives.h"
#include "views/technicalview.h"
#include "views/viewer.h"
#include "views/viewform.h"

namespace vantel {

namespace {

const QString kSettingsFile = QStringLiteral("vantel.ini");
const QString kAlertSound = QStringLiteral("mcitest.wav");

// A list line can be as long as the damaged line it came from; laying out megabytes of text
// for one row would stall the window, so rows show their first few hundred characters.
class ListLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        constexpr qsizetype kShown = 512;
        if (option->text.size() > kShown) option->text.truncate(kShown);
    }
};

QFont ListFont() {
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"),
                      QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
    font.setPointSizeF(9);
    return font;
}

QListView *MakeList(QWidget *parent, const char *name, QAbstractItemModel *model) {
    auto *view = new QListView(parent);
    view->setObjectName(QLatin1String(name));
    view->setModel(model);
    view->setUniformItemSizes(true);
    view->setFont(ListFont());
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->setItemDelegate(new ListLineDelegate(view));
    return view;
}

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption) {
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &caption) {
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

}  // namespace

Vantel::Vantel(QWidget *parent)
    : QWidget(parent),
      trace_(settings_),
      link_(*this, settings_),
      store_([this](const QString &text) { WriteTrace(text, false); }) {
    setObjectName(QStringLiteral("Vantel"));
    setWindowTitle(QStringLiteral("Vantel"));
    buildWindow();

    yieldTimer_ = new QTimer(this);
    yieldTimer_->setSingleShot(true);
    yieldTimer_->setInterval(0);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(5000);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });

    transmitEntry = [this](QString entry) { return TransmitEntry(std::move(entry)); };

    setupForm_ = new SetupForm(this);
    setupForm_->setDevicePath(&SerialControl::devicePath);
    sendForm_ = new SendForm(this);
    viewForm_ = new ViewForm(this);
    technicalView_ = new TechnicalView(this);
    insertForm_ = new InsertForm(this);
    connect(sendForm_, &SendForm::beep, this, [this] { beep(); });

    // The trace window shows the newest text once per pass of the event loop, however many
    // lines were written meanwhile.
    connect(&trace_, &Trace::textChanged, this, [this] {
        if (traceShowPending_) return;
        traceShowPending_ = true;
        QTimer::singleShot(0, this, [this] {
            traceShowPending_ = false;
            DebugWin->setPlainText(trace_.text());
            DebugWin->moveCursor(QTextCursor::End);
            DebugWin->ensureCursorVisible();
        });
    });
    queueFile_ = std::make_unique<SendQueueFile>(sendQueue_, store_);
    messagesBus_ = std::make_unique<MessageListService>([this] { return store_.model().items(); });
    // Other programs get the list once it is whole (see LoadListFiles).
    messagesBus_->setLoading(true);
    dbus_ = std::make_unique<SendSmsService>(
        sendQueue_, [this](const QString &text) { WriteTrace(text, false); });
    dbus_->setPduMode([this] { return settings_.pduMode; });
    dbus_->setQueueFile(queueFile_.get());
    dbus_->setMessageList(messagesBus_.get());

    connect(&store_, &MessageStore::countChanged, QueueCountLabel, &QLabel::setText);
    connect(&store_, &MessageStore::messageAdded, this, [this](int row) { selectMessage(row); });
}

Vantel::~Vantel() = default;

void Vantel::buildWindow() {
    AddButton = MakeButton(this, "AddButton", QStringLiteral("&Retrieve"));
    SetupButton = MakeButton(this, "SetupButton", QStringLiteral("&Setup"));
    InsertButton = MakeButton(this, "InsertButton", QStringLiteral("&Insert"));
    SendButton = MakeButton(this, "SendButton", QStringLiteral("S&end"));
    QuitButton = MakeButton(this, "QuitButton", QStringLiteral("&Quit"));
    Image1 = MakeLabel(this, "Image1", QString());
    QIcon icon(QStringLiteral(":/vantel/vantel-32.png"));
    icon.addFile(QStringLiteral(":/vantel/vantel-64.png"));
    Image1->setPixmap(icon.pixmap(32, 32));
    Image1->setFixedSize(32, 32);
    Image1->installEventFilter(this);
    setWindowIcon(icon);

    Label1 = MakeLabel(this, "Label1", QStringLiteral("Progress"));
    DebugWin = new QPlainTextEdit(this);
    DebugWin->setObjectName(QStringLiteral("DebugWin"));
    DebugWin->setReadOnly(true);
    DebugWin->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    DebugWin->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    DebugWin->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    DebugWin->setTabChangesFocus(true);
    DebugWin->installEventFilter(this);

    Label2 = MakeLabel(this, "Label2", QStringLiteral("Send Queue"));
    SendQueue = MakeList(this, "SendQueue", &sendQueue_);
    SendQueue->installEventFilter(this);
    MessageQueueLbl = MakeLabel(this, "MessageQueueLbl", QStringLiteral("Message List"));
    QueueCountLabel = MakeLabel(this, "QueueCountLabel", QStringLiteral("0 items"));
    SendInfoButton = MakeButton(this, "SendInfoButton", QStringLiteral("Info"));
    FormComBox = MakeLabel(this, "FormComBox", QString());
    FormComBox->setVisible(false);
    MessageQueue = MakeList(this, "MessageQueue", &store_.model());
    MessageQueue->installEventFilter(this);

    // A row of buttons with the icon at its right, then the three headed panes.
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {AddButton, SetupButton, InsertButton, SendButton, QuitButton})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(Image1, 0, Qt::AlignTop);

    auto *listHeading = new QHBoxLayout;
    listHeading->addWidget(MessageQueueLbl);
    listHeading->addSpacing(16);
    listHeading->addWidget(QueueCountLabel);
    listHeading->addSpacing(16);
    listHeading->addWidget(SendInfoButton);
    listHeading->addWidget(FormComBox);
    listHeading->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(4);
    layout->addLayout(buttons);
    layout->addSpacing(4);
    layout->addWidget(Label1);
    layout->addWidget(DebugWin, 4);
    layout->addSpacing(4);
    layout->addWidget(Label2);
    layout->addWidget(SendQueue, 3);
    layout->addSpacing(4);
    layout->addLayout(listHeading);
    layout->addWidget(MessageQueue, 6);
    resize(760, 560);

    connect(AddButton, &QPushButton::clicked, this, [this] { AddButton_Click(); });
    connect(SetupButton, &QPushButton::clicked, this, [this] { ShowSetupForm(); });
    connect(InsertButton, &QPushButton::clicked, this, [this] { ShowInsertForm(); });
    connect(SendButton, &QPushButton::clicked, this, [this] { ShowSendForm(); });
    connect(QuitButton, &QPushButton::clicked, this, [this] { SaveAndEnd(); });
    connect(SendInfoButton, &QPushButton::clicked, this, [this] { ShowMessageViewer(); });
    connect(MessageQueue, &QListView::doubleClicked, this, [this] { ShowMessageViewer(); });
}

QCoro::Task<> Vantel::Form_Load() {
    setWindowTitle(QStringLiteral("Vantel 32 bit V") + QString::number(ProgramVersion, 'f', 2));
    link_.serial().setSettings(QStringLiteral("19200,N,8,1"));
    link_.clearBuffer();
    settings_ = Settings();
    copyBuffer_ = CopyBuffer();
    // The queue is whole before other programs can add to it, and they can from here on,
    // also while the first-start setup dialog waits.
    queueFile_->load();
    dbus_->start();

    if (!QFile::exists(kSettingsFile)) {
        settings_.debugMode = true;
        co_await ShowSetupForm();
    } else {
        LoadSettings();
    }
    FillSendFormLists(*sendForm_);
    show();
    Timer1->start();

    co_await LoadListFiles();
    AddButton->setFocus();
}

void Vantel::LoadSettings() {
    settings_.debugMode = true;
    QFile file(kSettingsFile);
    if (!file.open(QIODevice::ReadOnly)) return;
    SerialSink sink;
    sink.setSettings = [this](const QString &text) { return link_.serial().setSettings(text); };
    sink.setCommPort = [this](int port) { return link_.serial().setCommPort(port); };
    ReadSettings(file.readAll(), settings_, sink);
}

void Vantel::SaveSettings() {
    if (!SaveWholeFile(kSettingsFile, WriteSettings(settings_)))
        WriteTrace(QStringLiteral("Error saving INI file"), false);
}

QCoro::Task<> Vantel::ShowSetupForm() {
    if (busy_) {
        beep();
        co_return;
    }
    FillSetupForm(*setupForm_, settings_);
    FormComBox->setText(QString());
    setupForm_->show();
    setMainVisible(false);
    const auto command = co_await NextSignal(setupForm_, &SetupForm::command);
    const QString code = command ? std::get<0>(*command) : QString();
    FormComBox->setText(code);
    setMainVisible(true);
    setupForm_->hide();
    setupForm_->OKButton->setDefault(true);
    if (code == u"1") {
        ApplySetupForm(*setupForm_, settings_);
        link_.serial().setSettings(settings_.speed + QStringLiteral(",N,8,1"));
        link_.serial().setCommPort(settings_.port.toInt());
        SaveSettings();
    }
}

QCoro::Task<> Vantel::yieldToEvents() {
    yieldTimer_->start();
    co_await qCoro(yieldTimer_).waitForTimeout();
}

QCoro::Task<> Vantel::LoadListFiles() {
    DisableButtons();
    if (std::optional<QByteArray> file = store_.LoadFile(MessageListFile)) {
        WriteTrace(QStringLiteral("Loading Message List..."), false);
        // Batches sized to keep each pass near 15 ms, so the window stays responsive.
        qsizetype batch = 256;
        QElapsedTimer clock;
        for (ListFileLines lines(std::move(*file)); !lines.atEnd();) {
            clock.start();
            store_.AddMessages(lines.take(batch));
            const qint64 spent = std::max<qint64>(clock.elapsed(), 1);
            batch = std::clamp<qsizetype>(batch * 15 / spent, 64, 4096);
            co_await yieldToEvents();
        }
        store_.flushPending();
        WriteTrace(QStringLiteral("Message List Loaded"), false);
    }
    if (std::optional<QStringList> lines = store_.LoadListFile(AddressListFile))
        sendForm_->addressHistory().addMany(*lines);
    if (std::optional<QStringList> lines = store_.LoadListFile(SCAddressListFile))
        sendForm_->scHistory().addMany(*lines);
    listsLoaded_ = true;
    messagesBus_->setLoading(false);
    EnableButtons();
}

QStringList Vantel::SaveListFiles() {
    // Each failure is traced by the store as it happens.
    QStringList failed;
    QString error;
    if (!queueFile_->flush(&error)) failed << SaveErrorText(SendQueueFileName, error);
    // Ended before or while loading (a signal during the first-start setup dialog): the lists
    // are not whole, and the files still hold everything.
    if (!listsLoaded_) return failed;
    if (!store_.SaveListFile(&error)) failed << SaveErrorText(MessageListFile, error);
    if (!store_.WriteListFile(AddressListFile, sendForm_->addressHistory().items(), &error))
        failed << SaveErrorText(AddressListFile, error);
    if (!store_.WriteListFile(SCAddressListFile, sendForm_->scHistory().items(), &error))
        failed << SaveErrorText(SCAddressListFile, error);
    return failed;
}

QCoro::Task<> Vantel::SaveAndEnd() {
    if (busy_ || quitAsking_) {
        beep();
        co_return;
    }
    // The questions are built before they are awaited: a temporary inside co_await's operand
    // is not safe with every compiler.
    const qsizetype waiting = sendQueue_.count();
    if (waiting > 0) {
        QString question =
            QStringLiteral("%1 messages have not been sent. Quit anyway?").arg(waiting);
        if (waiting == 1) question = QStringLiteral("1 message has not been sent. Quit anyway?");
        quitAsking_ = true;
        const QMessageBox::StandardButton answer =
            co_await ask(this, QMessageBox::Question, question, QMessageBox::Yes | QMessageBox::No,
                         QMessageBox::No);
        quitAsking_ = false;
        if (answer != QMessageBox::Yes) co_return;
        // A send timer tick may have started an exchange while the question was open.
        if (busy_) {
            beep();
            co_return;
        }
    }
    const QStringList failed = SaveListFiles();
    if (!failed.isEmpty()) {
        const QString question =
            failed.join(LineBreak.toString()) + LineBreak.toString() + LineBreak.toString() +
            QStringLiteral("What is not saved is lost when Vantel ends. Quit anyway?");
        quitAsking_ = true;
        const QMessageBox::StandardButton answer =
            co_await ask(this, QMessageBox::Warning, question, QMessageBox::Yes | QMessageBox::No,
                         QMessageBox::No);
        quitAsking_ = false;
        if (answer != QMessageBox::Yes || ending_) co_return;
    }
    endProgram();
}

void Vantel::EndNow() {
    if (ending_) return;
    SaveListFiles();
    endProgram();
}

void Vantel::endProgram() {
    ending_ = true;
    Timer1->stop();
    for (QWidget *form : std::initializer_list<QWidget *>{setupForm_, sendForm_, viewForm_,
                                                          technicalView_, insertForm_})
        form->hide();
    hide();
    Q_EMIT programEnded();
}

void Vantel::closeEvent(QCloseEvent *event) {
    if (ending_) {
        event->accept();
        return;
    }
    event->ignore();
    SaveAndEnd();
}

QCoro::Task<> Vantel::AddButton_Click() {
    co_await RetrieveMessages(link_, *this, settings_);
}

QCoro::Task<bool> Vantel::TransmitEntry(QString entry) {
    // An unreadable entry was dropped with a trace and log line: it leaves the queue too.
    const TransmitOutcome outcome = co_await TransmitQueueEntry(link_, *this, settings_, entry);
    co_return outcome != TransmitOutcome::Failed;
}

QCoro::Task<> Vantel::Timer1_Timer() {
    // A tick while an exchange holds the port waits for a later one. The viewer and the
    // other dialogs do not hold it: queued messages go out while they are open.
    if (timerRunning_ || ending_ || link_.serial().isOpen()) co_return;
    timerRunning_ = true;
    Timer1->stop();
    if (sendQueue_.count() > 0 && transmitEntry) {
        const QString entry = sendQueue_.at(0);
        const bool gone = co_await transmitEntry(entry);
        // Entries queued meanwhile may sort before it: remove the entry itself, not row 0.
        if (gone) sendQueue_.removeAt(sendQueue_.indexOf(entry));
    }
    timerRunning_ = false;
    if (!ending_) Timer1->start();
}

void Vantel::setButtonsEnabled(bool enabled) {
    for (QPushButton *b :
         {SetupButton, QuitButton, SendInfoButton, SendButton, AddButton, InsertButton})
        b->setEnabled(enabled);
}

// Disable and enable nest: the buttons come back when the last one that disabled them is done,
// so a transmission that ends while the viewer is open leaves them disabled.
void Vantel::EnableButtons() {
    if (disabledBy_ > 0) --disabledBy_;
    busy_ = disabledBy_ > 0;
    if (!busy_) setButtonsEnabled(true);
}

void Vantel::DisableButtons() {
    ++disabledBy_;
    busy_ = true;
    setButtonsEnabled(false);
}

void Vantel::WriteTrace(const QString &text, bool toLog) {
    trace_.WriteTrace(text, toLog);
}

bool Vantel::AppendListFile(const QString &frame) {
    QString error;
    if (store_.AppendListFile(frame, &error)) return true;
    WriteTrace(SaveErrorText(MessageListFile, error), true);
    return false;
}

bool Vantel::AddMessage(const QString &frame) {
    const qsizetype before = store_.model().count();
    const bool result = store_.AddMessage(frame);
    if (store_.model().count() > before)
        Q_EMIT messagesBus_->MessageAdded(frame, MakeListLine(frame).line);
    return result;
}

QCoro::Task<> Vantel::PlayAlert() {
    co_await PlayWaveFile(kAlertSound);
}

void Vantel::beep() {
    ++beeps_;
    QApplication::beep();
}

void Vantel::setMainVisible(bool visible) {
    setVisible(visible);
}

int Vantel::selectedRow(const QListView *view) const {
    const QModelIndexList rows = view->selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.constFirst().row();
}

int Vantel::selectedMessage() const {
    return selectedRow(MessageQueue);
}

void Vantel::selectMessage(int row) {
    if (row < 0 || row >= store_.model().count()) {
        MessageQueue->selectionModel()->clearSelection();
        return;
    }
    const QModelIndex index = store_.model().index(row);
    MessageQueue->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    MessageQueue->scrollTo(index);
}

void Vantel::RemoveMessage(int row) {
    store_.RemoveMessage(row);
}

void Vantel::queueEntry(const QString &entry) {
    sendQueue_.add(entry);
}

QCoro::Task<> Vantel::ShowMessageViewer() {
    co_await vantel::ShowMessageViewer(*this, {viewForm_, technicalView_, sendForm_});
}

QCoro::Task<> Vantel::ShowSendForm() {
    co_await vantel::ShowSendForm(*this, *sendForm_);
}

QCoro::Task<> Vantel::ShowInsertForm() {
    co_await vantel::ShowInsertForm(*this, *insertForm_);
}

QString LineBoxText(const QString &line) {
    if (line.size() <= MaxLineBoxChars) return line;
    return line.left(MaxLineBoxChars) + LineBreak.toString() + LineBreak.toString() +
           QStringLiteral("(the first %1 of %2 characters)").arg(MaxLineBoxChars).arg(line.size());
}

QCoro::Task<> Vantel::ShowLineBox(int row) {
    if (row < 0 || row >= store_.model().count()) co_return;
    co_await ask(this, QMessageBox::NoIcon, LineBoxText(store_.model().at(row)), QMessageBox::Ok,
                 QMessageBox::Ok);
}

QCoro::Task<> Vantel::RemoveQueueEntry(int row) {
    if (row < 0 || row >= sendQueue_.count()) co_return;
    const QString entry = sendQueue_.at(row);
    // Built before the co_await: GCC 12 mishandles temporaries inside its operand.
    const QString question = QStringLiteral("Remove this entry from the send queue?") +
                             LineBreak.toString() + LineBreak.toString() + Visible(entry);
    const QMessageBox::StandardButton answer = co_await ask(
        this, QMessageBox::Question, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) co_return;
    // The queue may have changed while the question was open.
    const int now = sendQueue_.indexOf(entry);
    if (now < 0) co_return;
    sendQueue_.removeAt(now);
    if (now > 0) {
        SendQueue->selectionModel()->setCurrentIndex(sendQueue_.index(now - 1),
                                                     QItemSelectionModel::ClearAndSelect);
    } else {
        SendQueue->selectionModel()->clearSelection();
    }
}

QCoro::Task<> Vantel::Image1_DblClick() {
    if (busy_) co_return;
    co_await ask(this, QMessageBox::Information,
                 QStringLiteral("Vantel was written by the Vantel developers.") +
                     LineBreak.toString() +
                     QStringLiteral("Write to them through the project's issue tracker."),
                 QMessageBox::Ok, QMessageBox::Ok);
}

void Vantel::mouseDoubleClickEvent(QMouseEvent *event) {
    QWidget::mouseDoubleClickEvent(event);
    if (settings_.keepErr) PlayAlert();
}

bool Vantel::MessageQueue_KeyPress(QKeyEvent *key) {
    const bool ctrl = key->modifiers() & Qt::ControlModifier;
    if (ctrl && key->key() == Qt::Key_D) {
        const int row = selectedMessage();
        if (row < 0) return true;
        RemoveMessage(row);
        selectMessage(row > 0 ? row - 1 : -1);
        return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        ShowMessageViewer();
        return true;
    }
    if (ctrl && key->key() == Qt::Key_N) {
        ShowLineBox(selectedMessage());
        return true;
    }
    return false;
}

bool Vantel::SendQueue_KeyPress(QKeyEvent *key) {
    if ((key->modifiers() & Qt::ControlModifier) && key->key() == Qt::Key_D) {
        RemoveQueueEntry(selectedRow(SendQueue));
        return true;
    }
    return false;
}

bool Vantel::DebugWin_KeyPress(QKeyEvent *key) {
    if (key->matches(QKeySequence::Copy) || key->text().isEmpty()) return false;
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) return false;
    beep();
    return true;
}

bool Vantel::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (watched == MessageQueue) return MessageQueue_KeyPress(key);
        if (watched == SendQueue) return SendQueue_KeyPress(key);
        if (watched == DebugWin) return DebugWin_KeyPress(key);
    } else if (event->type() == QEvent::MouseButtonDblClick && watched == Image1) {
        Image1_DblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace vantel
