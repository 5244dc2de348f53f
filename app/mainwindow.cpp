#include "app/mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoroSignal>
#include <QCoroTimer>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/alertsound.h"
#include "app/dbuslink.h"
#include "app/listfilter.h"
#include "app/listheader.h"
#include "app/listline.h"
#include "app/sendqueuefile.h"
#include "app/setupform.h"
#include "app/wholefile.h"
#include "atmode/transmit.h"
#include "blockmode/exchange.h"
#include "blockmode/frame.h"
#include "compose/insertform.h"
#include "compose/queueentry.h"
#include "compose/sendform.h"
#include "link/trace.h"
#include "link/wait.h"
#include "pdu/primitives.h"
#include "pdu/summary.h"
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
    // Automatic retrievals wait for the next send-timer tick that finds the line free.
    AutoRetrieveTimer = new QTimer(this);
    AutoRetrieveTimer->setObjectName(QStringLiteral("AutoRetrieveTimer"));
    connect(AutoRetrieveTimer, &QTimer::timeout, this, [this] { autoRetrieveDue_ = true; });

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
    queueFile_ = std::make_unique<SendQueueFile>(
        sendQueue_, store_, [this](const QString &text, bool toLog) { WriteTrace(text, toLog); });
    messagesBus_ = std::make_unique<MessageListService>([this] { return store_.model().items(); });
    // Other programs get the list once it is whole (see LoadListFiles).
    messagesBus_->setLoading(true);
    dbus_ = std::make_unique<SendSmsService>(
        sendQueue_, [this](const QString &text) { WriteTrace(text, false); });
    dbus_->setPduMode([this] { return settings_.pduMode; });
    dbus_->setQueueFile(queueFile_.get());
    dbus_->setMessageList(messagesBus_.get());

    connect(&store_, &MessageStore::countChanged, this, [this] { showCount(); });
    // After every addition the last line is selected; while searching, the last one shown.
    connect(&store_, &MessageStore::messageAdded, this,
            [this] { selectMessage(shownList_->rowCount() - 1); });
    // Searches find numbers by the names of the destination history, read as it changes.
    SortedListModel &history = sendForm_->addressHistory();
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&history, signal, this, [this] { readNames(); });
    connect(&history, &QAbstractItemModel::modelReset, this, [this] { readNames(); });

    // A deletion or a history entry is on disk within a moment, not only at Quit: a crash or a
    // power cut brings nothing back. One write serves every change made meanwhile.
    ListSaveTimer = new QTimer(this);
    ListSaveTimer->setObjectName(QStringLiteral("ListSaveTimer"));
    ListSaveTimer->setSingleShot(true);
    ListSaveTimer->setInterval(ListSaveDelayMs);
    connect(ListSaveTimer, &QTimer::timeout, this, [this] { SaveChangedListFiles(); });
    for (const auto &[history, which] : {std::pair{&sendForm_->addressHistory(), AddressList},
                                         std::pair{&sendForm_->scHistory(), SCAddressList}}) {
        const auto changed = [this, which = which] { ListFileChanged(which); };
        connect(history, &QAbstractItemModel::rowsInserted, this, changed);
        connect(history, &QAbstractItemModel::rowsRemoved, this, changed);
        connect(history, &QAbstractItemModel::modelReset, this, changed);
    }
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
    PauseButton = MakeButton(this, "PauseButton", QStringLiteral("&Pause Queue"));
    PauseButton->setCheckable(true);
    PauseButton->setToolTip(QStringLiteral("Hold the send queue back until pressed again"));
    SendQueue = MakeList(this, "SendQueue", &sendQueue_);
    SendQueue->installEventFilter(this);
    SentLabel = MakeLabel(this, "SentLabel", QStringLiteral("Sent Messages"));
    SentList = new QTreeView(this);
    SentList->setObjectName(QStringLiteral("SentList"));
    SentList->setModel(&sentMessages_);
    SentList->setRootIsDecorated(false);
    SentList->setUniformRowHeights(true);
    SentList->setSelectionBehavior(QAbstractItemView::SelectRows);
    SentList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Fixed widths: fitting the columns to their contents would read every row.
    SentList->header()->setStretchLastSection(false);
    for (const auto &[column, width] : {std::pair{SentMessages::Time, 130},
                                        {SentMessages::Recipient, 120},
                                        {SentMessages::Part, 70},
                                        {SentMessages::State, 190}})
        SentList->header()->resizeSection(column, width);
    SentList->header()->setSectionResizeMode(SentMessages::Text, QHeaderView::Stretch);
    // The newest sent message is in view.
    connect(&sentMessages_, &SentMessages::rowsInserted, SentList,
            [this] { SentList->scrollToBottom(); });
    MessageQueueLbl = MakeLabel(this, "MessageQueueLbl", QStringLiteral("Message List"));
    QueueCountLabel = MakeLabel(this, "QueueCountLabel", QStringLiteral("0 items"));
    SendInfoButton = MakeButton(this, "SendInfoButton", QStringLiteral("Info"));
    ExportButton = MakeButton(this, "ExportButton", QStringLiteral("E&xport..."));
    FormComBox = MakeLabel(this, "FormComBox", QString());
    FormComBox->setVisible(false);
    SearchBox = new QLineEdit(this);
    SearchBox->setObjectName(QStringLiteral("SearchBox"));
    SearchBox->setPlaceholderText(QStringLiteral("Search time, number, name or text (Ctrl+F)"));
    SearchBox->setClearButtonEnabled(true);
    SearchBox->installEventFilter(this);
    shownList_ = new ListFilterModel(store_.model(), this);
    MessageQueue = MakeList(this, "MessageQueue", shownList_);
    MessageQueue->installEventFilter(this);
    const QString captions[] = {u"Time / validity"_qs, u"From / to"_qs, u"Text"_qs};
    QList<ListHeader::Column> columns;
    int at = 0;
    for (int i = 0; i < 3; ++i) {
        columns.append({captions[i], at});
        at += int(kListColumns[i].width) + 1;
    }
    columns.append({u"Frame"_qs, at});
    MessageHeader = new ListHeader(MessageQueue, columns, this);
    MessageHeader->setObjectName(QStringLiteral("MessageHeader"));
    StatusLabel = MakeLabel(this, "StatusLabel", QString());
    StatusLabel->setWordWrap(true);
    StatusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    StatusLabel->setVisible(false);

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
    listHeading->addSpacing(16);
    listHeading->addWidget(SearchBox, 1);
    listHeading->addSpacing(8);
    listHeading->addWidget(ExportButton);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(4);
    layout->addLayout(buttons);
    layout->addSpacing(4);
    layout->addWidget(Label1);
    layout->addWidget(DebugWin, 4);
    layout->addSpacing(4);
    auto *queueHeading = new QHBoxLayout;
    queueHeading->addWidget(Label2);
    queueHeading->addSpacing(16);
    queueHeading->addWidget(PauseButton);
    queueHeading->addStretch();
    layout->addLayout(queueHeading);
    layout->addWidget(SendQueue, 3);
    layout->addSpacing(4);
    layout->addWidget(SentLabel);
    layout->addWidget(SentList, 3);
    layout->addSpacing(4);
    layout->addLayout(listHeading);
    layout->addWidget(MessageHeader);
    layout->addWidget(MessageQueue, 6);
    layout->addWidget(StatusLabel);
    resize(760, 680);

    connect(AddButton, &QPushButton::clicked, this, [this] { AddButton_Click(); });
    connect(SetupButton, &QPushButton::clicked, this, [this] { ShowSetupForm(); });
    connect(InsertButton, &QPushButton::clicked, this, [this] { ShowInsertForm(); });
    connect(SendButton, &QPushButton::clicked, this, [this] { ShowSendForm(); });
    connect(QuitButton, &QPushButton::clicked, this, [this] { SaveAndEnd(); });
    connect(SendInfoButton, &QPushButton::clicked, this, [this] { ShowMessageViewer(); });
    connect(ExportButton, &QPushButton::clicked, this, [this] { ExportButton_Click(); });
    connect(PauseButton, &QPushButton::clicked, this, [this](bool paused) {
        setQueuePaused(paused);
        SaveSettings();
    });
    connect(MessageQueue, &QListView::doubleClicked, this, [this] { ShowMessageViewer(); });
    connect(SearchBox, &QLineEdit::textChanged, this,
            [this](const QString &text) { search(text); });
    auto *find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        SearchBox->setFocus(Qt::ShortcutFocusReason);
        SearchBox->selectAll();
    });
}

void Vantel::search(const QString &text) {
    // The selected line stays selected when the new search still shows it.
    const int kept = shownList_->mapToSource(selectedMessage());
    shownList_->setQuery(text);
    selectMessage(shownList_->mapFromSource(kept));
    showCount();
}

void Vantel::showCount() {
    QueueCountLabel->setText(shownList_->countLabel());
}

void Vantel::readNames() {
    shownList_->setNames(NameBook(sendForm_->addressHistory().items(), settings_.countryCode));
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
    // Whole before the send timer can add to it.
    sentMessages_.load();
    // A queue that cannot be saved once an entry is sent is held back from the start.
    if (QString why; sendQueue_.count() > 0 && !queueFile_->writable(&why)) setQueueHold(why);
    dbus_->start();

    if (!QFile::exists(kSettingsFile)) {
        settings_.debugMode = true;
        co_await ShowSetupForm();
    } else {
        LoadSettings();
        readNames();
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
    applyLinkSettings();
}

// The settings that live outside the file's reader: the device, the pause, the retrievals.
void Vantel::applyLinkSettings() {
    link_.serial().setDevice(settings_.device);
    setQueuePaused(settings_.queuePaused);
    if (settings_.autoRetrieveMinutes > 0)
        AutoRetrieveTimer->start(settings_.autoRetrieveMinutes * 60000);
    else
        AutoRetrieveTimer->stop();
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
        applyLinkSettings();
        SaveSettings();
        readNames();
        // Entries of the link mode left behind now wait; those of the new one go out.
        qsizetype others = 0;
        NextQueueEntry(sendQueue_.items(), settings_.pduMode, &others);
        otherModeEntries_ = -1;
        setOtherModeEntries(others);
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
        // Worker threads decode; this thread lists each batch and lets the window live between.
        ListFileReader lines(std::move(*file));
        while (!lines.atEnd()) {
            if (std::optional<QList<ListLine>> batch = lines.take()) {
                store_.AddListLines(std::move(*batch));
                co_await yieldToEvents();
            } else {
                co_await NextSignal(&lines, &ListFileReader::batchMade, std::chrono::seconds(10));
            }
        }
        store_.finishLoad(lines.plain());
        WriteTrace(QStringLiteral("Message List Loaded"), false);
    }
    if (std::optional<QStringList> lines = store_.LoadListFile(AddressListFile))
        sendForm_->addressHistory().addMany(*lines);
    if (std::optional<QStringList> lines = store_.LoadListFile(SCAddressListFile))
        sendForm_->scHistory().addMany(*lines);
    listsLoaded_ = true;
    messagesBus_->setLoading(false);
    // Deleted while the list was loading: saved now that it is whole.
    if (changedLists_ != 0) ListSaveTimer->start();
    EnableButtons();
}

void Vantel::ListFileChanged(ListFile which) {
    // Until the load is over the files are the lists, and filling the histories is no change.
    if (!listsLoaded_ && which != MessageList) return;
    changedLists_ |= which;
    // Started by the first change and not moved by later ones, so none waits longer.
    if (listsLoaded_ && !ending_ && !ListSaveTimer->isActive()) ListSaveTimer->start();
}

void Vantel::SaveChangedListFiles() {
    if (ending_ || !listsLoaded_) return;
    // A frame the retrieval appended is listed before anything else runs (AppendListFile and
    // AddMessage follow each other without a wait), so a list rewritten from the window keeps
    // it. Should one ever be appended and not yet listed, the rewrite waits for it.
    if (!appended_.isEmpty()) {
        ListSaveTimer->start();
        return;
    }
    const int changed = std::exchange(changedLists_, 0);
    // The store traces a failure; the file stays changed, for the next change and for Quit.
    if ((changed & MessageList) && !store_.SaveListFile()) changedLists_ |= MessageList;
    if ((changed & AddressList) &&
        !store_.WriteListFile(AddressListFile, sendForm_->addressHistory().items()))
        changedLists_ |= AddressList;
    if ((changed & SCAddressList) &&
        !store_.WriteListFile(SCAddressListFile, sendForm_->scHistory().items()))
        changedLists_ |= SCAddressList;
}

QStringList Vantel::shownLines() const {
    const int count = shownCount();
    if (count == store_.model().count()) return store_.model().items();
    QStringList lines;
    lines.reserve(count);
    for (int row = 0; row < count; ++row)
        lines << store_.model().at(shownList_->mapToSource(row));
    return lines;
}

QCoro::Task<> Vantel::ExportButton_Click() {
    // Before the list is whole there is nothing that could be called the list.
    if (!listsLoaded_) {
        beep();
        co_return;
    }
    const std::optional<ExportTarget> target = co_await askExport(this);
    if (!target) co_return;
    // The list as it is now: a retrieval may have run while the dialog was open.
    store_.flushPending();
    const QStringList lines = shownLines();
    ConcatenatedTexts joined;
    joined.addLines(store_.model().items());
    const NameBook names(sendForm_->addressHistory().items(), settings_.countryCode);
    QString error;
    if (SaveMessageExport(target->path, target->format, lines, joined, names, &error)) {
        WriteTrace(QStringLiteral("Exported %1 to %2")
                       .arg(CountLabelText(lines.size()).mid(1), target->path),
                   false);
        co_return;
    }
    const QString problem = QStringLiteral("Error exporting to %1: %2").arg(target->path, error);
    WriteTrace(problem, false);
    co_await ask(this, QMessageBox::Warning, problem, QMessageBox::Ok, QMessageBox::Ok);
}

QStringList Vantel::SaveListFiles() {
    // Each failure is traced by the store as it happens.
    QStringList failed;
    QString error;
    if (!queueFile_->flush(&error)) failed << SaveErrorText(SendQueueFileName, error);
    if (!sentMessages_.save(&error)) failed << SaveErrorText(SentListFile, error);
    // Ended before or while loading (a signal during the first-start setup dialog): the lists
    // are not whole, and the files still hold everything.
    if (!listsLoaded_) return failed;
    ListSaveTimer->stop();
    changedLists_ = 0;
    if (!store_.SaveListFile(&error)) {
        failed << SaveErrorText(MessageListFile, error);
        changedLists_ |= MessageList;
    }
    if (!store_.WriteListFile(AddressListFile, sendForm_->addressHistory().items(), &error)) {
        failed << SaveErrorText(AddressListFile, error);
        changedLists_ |= AddressList;
    }
    if (!store_.WriteListFile(SCAddressListFile, sendForm_->scHistory().items(), &error)) {
        failed << SaveErrorText(SCAddressListFile, error);
        changedLists_ |= SCAddressList;
    }
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
    ListSaveTimer->stop();
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

QCoro::Task<std::optional<QString>> Vantel::AskPin(QString why) {
    if (endRequested_ || ending_) co_return std::nullopt;
    // A cancelled box would come back at every tick of the send timer: the timer's exchanges
    // ask again only after the user started one by hand.
    if (sending_ && pinDeclined_) co_return std::nullopt;
    std::optional<QString> pin = co_await askPin(this, why);
    pinDeclined_ = !pin && sending_;
    co_return pin;
}

QCoro::Task<> Vantel::AddButton_Click() {
    if (endRequested_ || ending_) co_return;
    pinDeclined_ = false;
    ++exchanges_;
    retrieving_ = true;
    newSenders_.clear();
    co_await RetrieveMessages(link_, *this, settings_);
    retrieving_ = false;
    notifyNewMessages();
    exchangeEnded();
}

void Vantel::ShowOutcome(const QString &problem) {
    lastProblem_ = problem;
    showStatus();
}

void Vantel::notifyNewMessages() {
    if (newSenders_.isEmpty()) return;
    NotifyDesktop(QDBusConnection::sessionBus(), NewMessagesText(newSenders_));
    newSenders_.clear();
}

void Vantel::exchangeEnded() {
    --exchanges_;
    if (endRequested_ && exchanges_ == 0) EndNow();
}

void Vantel::RequestEnd() {
    if (ending_) return;
    if (exchanges_ == 0 || endRequested_) {
        EndNow();
        return;
    }
    endRequested_ = true;
    Timer1->stop();
    WriteTrace(QStringLiteral("Vantel ends once the exchange with the phone is over"), true);
    // An open PIN box would hold the exchange for as long as nobody answers it.
    if (auto *box = findChild<QDialog *>(QStringLiteral("PinBox"))) box->reject();
}

QCoro::Task<bool> Vantel::TransmitEntry(QString entry) {
    int reference = -1;
    const TransmitOutcome outcome =
        co_await TransmitQueueEntry(link_, *this, settings_, entry, &reference);
    // Kept before the entry leaves the queue, so that no sent message is ever unrecorded.
    if (outcome == TransmitOutcome::Sent) recordSent(entry, reference);
    // An unreadable entry was never written to the phone: it leaves the queue for the file of
    // rejected entries, or stays when that file cannot take it.
    if (outcome == TransmitOutcome::Dropped) co_return queueFile_->reject(entry, QString());
    co_return outcome == TransmitOutcome::Sent;
}

// The entry went out: it leaves the queue whatever happens to its line in vantelsent.dat (it
// must not go out twice). A line that could not be written stays in the list, the log holds
// the entry, and nothing more is sent until the whole file can be written.
void Vantel::recordSent(const QString &entry, int reference) {
    QString error;
    if (sentMessages_.add(entry, reference, &error)) return;
    WriteTrace(SaveErrorText(SentListFile, error) + QStringLiteral(" (the sent message ") +
                   Visible(entry) + QStringLiteral(" is kept until it can be written)"),
               true);
}

// A status report that a retrieval stored sets the state of the sent message it reports on.
void Vantel::applyStatusReport(const QString &frame) {
    QString content = frame;
    MessageFields fields;
    if (!ValidateFrame(content) || !DecodeMessage(content, fields) ||
        !fields.typeCode.startsWith(u"SR"))
        return;
    const int row = sentMessages_.applyReport(content, settings_.countryCode);
    WriteTrace(row < 0 ? QStringLiteral("Status report matches no sent message")
                       : QStringLiteral("Status report: ") + sentMessages_.at(row).state +
                             QStringLiteral(" (") + sentMessages_.describe(row) + u')',
               true);
}

QString Vantel::ReportedMessage(const MessageFields &report) const {
    const int row = sentMessages_.reportedRow(report, settings_.countryCode);
    return row < 0 ? QStringLiteral("No sent message matches this report")
                   : sentMessages_.describe(row);
}

QCoro::Task<> Vantel::Timer1_Timer() {
    // A tick while an exchange holds the port waits for a later one. The viewer and the
    // other dialogs do not hold it: queued messages go out while they are open.
    if (timerRunning_ || ending_ || endRequested_ || link_.serial().isOpen()) co_return;
    timerRunning_ = true;
    Timer1->stop();
    if (autoRetrieveDue_ && !busy_ && exchanges_ == 0 &&
        (settings_.queuePaused || NextQueueEntry(sendQueue_.items(), settings_.pduMode) < 0)) {
        autoRetrieveDue_ = false;
        WriteTrace(QStringLiteral("Automatic retrieval"), false);
        co_await AddButton_Click();
    } else {
        co_await SendNextEntry();
    }
    timerRunning_ = false;
    if (!ending_ && !endRequested_) Timer1->start();
}

QCoro::Task<> Vantel::SendNextEntry() {
    qsizetype others = 0;
    const qsizetype row = NextQueueEntry(sendQueue_.items(), settings_.pduMode, &others);
    setOtherModeEntries(others);
    if (row < 0 || !transmitEntry || settings_.queuePaused) co_return;
    // A sent entry must leave the file too, or the next start sends it again: nothing goes
    // out while the file cannot be written.
    QString why;
    if (!queueFile_->writable(&why)) {
        setQueueHold(why);
        co_return;
    }
    // Every message sent is kept: nothing goes out while the sent list cannot be saved.
    if (!sentMessages_.writable(&why)) {
        setQueueHold(why, SentListFile);
        co_return;
    }
    setQueueHold(QString());
    const QString entry = sendQueue_.at(row);
    ++exchanges_;
    sending_ = true;
    const bool gone = co_await transmitEntry(entry);
    sending_ = false;
    // Three failures in a row: the queue is not going out, and the window says why, once.
    failedTicks_ = gone ? 0 : failedTicks_ + 1;
    if (failedTicks_ == 3) {
        const QString device = Visible(link_.serial().currentDevice());
        QString why = QStringLiteral("the phone refused the message or did not confirm it");
        if (!link_.answered()) {
            why = link_.NoAnswerText();
            why[0] = why[0].toLower();
        }
        if (link_.openFailed())
            why = QStringLiteral("the port %1 cannot be opened: %2")
                      .arg(device, link_.serial().errorString());
        const QString problem =
            QStringLiteral("The send queue is held back: 3 attempts in a row failed (") + why +
            QStringLiteral("); it is tried again every 5 seconds");
        WriteTrace(problem, true);
        ShowOutcome(problem);
    } else if (gone && !lastProblem_.isEmpty() && lastProblem_.startsWith(u"The send queue")) {
        ShowOutcome(QString());
    }
    // Entries queued meanwhile may sort before it: remove the entry itself, not its row.
    if (gone) {
        if (const int now = sendQueue_.indexOf(entry); now >= 0) sendQueue_.removeAt(now);
        if (!queueFile_->flush(&why)) setQueueHold(why);
    }
    exchangeEnded();
}

void Vantel::setQueueHold(const QString &why, QStringView file) {
    if (why == queueHold_ && (why.isEmpty() || file == queueHoldFile_)) return;
    const bool was = !queueHold_.isEmpty();
    queueHold_ = why;
    if (!why.isEmpty()) queueHoldFile_ = file.toString();
    if (!why.isEmpty()) {
        WriteTrace(QStringLiteral("Send queue held back: ") + queueHoldFile_ +
                       QStringLiteral(" cannot be written (") + why +
                       QStringLiteral("); nothing more is sent until it can be"),
                   true);
    } else if (was) {
        WriteTrace(QStringLiteral("Send queue resumed: ") + queueHoldFile_ +
                       QStringLiteral(" can be written again"),
                   true);
    }
    showStatus();
}

void Vantel::setOtherModeEntries(qsizetype count) {
    if (count == otherModeEntries_) return;
    otherModeEntries_ = count;
    showStatus();
}

void Vantel::setQueuePaused(bool paused) {
    if (settings_.queuePaused != paused) {
        settings_.queuePaused = paused;
        WriteTrace(
            paused ? QStringLiteral("Send queue paused") : QStringLiteral("Send queue resumed"),
            true);
    }
    PauseButton->setChecked(paused);
    PauseButton->setText(paused ? QStringLiteral("Resume &Queue") : QStringLiteral("&Pause Queue"));
    showStatus();
}

void Vantel::showStatus() {
    QStringList lines;
    if (!lastProblem_.isEmpty()) lines << lastProblem_;
    if (settings_.queuePaused && sendQueue_.count() > 0)
        lines << QStringLiteral("The send queue is paused: Resume Queue sends it.");
    if (!queueHold_.isEmpty())
        lines << QStringLiteral("Send queue held back: %1 cannot be written (%2).")
                     .arg(queueHoldFile_, queueHold_);
    if (otherModeEntries_ > 0) {
        const QString mode =
            settings_.pduMode ? QStringLiteral("Block mode") : QStringLiteral("PDU mode");
        lines << QStringLiteral(
                     "The send queue holds %1 %2 for %3: %4 until Setup switches "
                     "back to it (Ctrl+D in the queue removes one).")
                     .arg(otherModeEntries_)
                     .arg(otherModeEntries_ == 1 ? QStringLiteral("entry")
                                                 : QStringLiteral("entries"))
                     .arg(mode, otherModeEntries_ == 1 ? QStringLiteral("it waits")
                                                       : QStringLiteral("they wait"));
    }
    StatusLabel->setText(lines.join(u'\n'));
    StatusLabel->setVisible(!lines.isEmpty());
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
    if (store_.AppendListFile(frame, &error)) {
        appended_ = frame;
        return true;
    }
    WriteTrace(SaveErrorText(MessageListFile, error), true);
    return false;
}

bool Vantel::AddMessage(const QString &frame) {
    const qsizetype before = store_.model().count();
    const bool result = store_.AddMessage(frame);
    const bool appended = std::exchange(appended_, QString()) == frame;
    if (store_.model().count() > before) {
        if (retrieving_) applyStatusReport(frame);
        const QString line = MakeListLine(frame).line;
        Q_EMIT messagesBus_->MessageAdded(frame, line);
        if (retrieving_)
            newSenders_ << line.mid(kListColumns[0].width + 1, kListColumns[1].width).trimmed();
    } else if (appended) {
        // A duplicate: its line in the list file goes with the next rewrite.
        ListFileChanged(MessageList);
    }
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

int Vantel::shownCount() const {
    return shownList_->rowCount();
}

QString Vantel::shownLine(int row) const {
    const int line = shownList_->mapToSource(row);
    return line < 0 ? QString() : store_.model().at(line);
}

const NameBook &Vantel::names() const {
    return shownList_->names();
}

int Vantel::selectedMessage() const {
    return selectedRow(MessageQueue);
}

void Vantel::selectMessage(int row) {
    if (row < 0 || row >= shownList_->rowCount()) {
        MessageQueue->selectionModel()->clearSelection();
        return;
    }
    const QModelIndex index = shownList_->index(row);
    MessageQueue->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    MessageQueue->scrollTo(index);
}

void Vantel::RemoveMessage(int row) {
    const int line = shownList_->mapToSource(row);
    if (line < 0) return;
    store_.RemoveMessage(line);
    ListFileChanged(MessageList);
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
    const int line = shownList_->mapToSource(row);
    if (line < 0) co_return;
    co_await ask(this, QMessageBox::NoIcon, LineBoxText(store_.model().at(line)), QMessageBox::Ok,
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
    // The queue shows its entries as messages; Ctrl+N shows the entry as it stands.
    if ((key->modifiers() & Qt::ControlModifier) && key->key() == Qt::Key_N) {
        if (const int row = selectedRow(SendQueue); row >= 0 && row < sendQueue_.count())
            (void)ask(this, QMessageBox::NoIcon, LineBoxText(sendQueue_.at(row)), QMessageBox::Ok,
                      QMessageBox::Ok);
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
        if (watched == SearchBox && key->key() == Qt::Key_Escape) {
            SearchBox->clear();
            return true;
        }
    } else if (event->type() == QEvent::MouseButtonDblClick && watched == Image1) {
        Image1_DblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace vantel
