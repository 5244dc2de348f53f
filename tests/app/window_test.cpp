#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include "compose/sendform.h"
#include "frames.h"
#include "views/viewform.h"
#include "windowfixture.h"

namespace vantel {
namespace {

using test::DeliverFrame;
using test::WindowTest;

class StartedWindowTest : public WindowTest {
protected:
    void SetUp() override {
        writeFile("vantel.ini", "Speed=19200\r\nPort=1\r\n");
        start();
        ASSERT_TRUE(startupDone());
    }
    QList<QPushButton *> buttons() const {
        return {window->AddButton,  window->SetupButton, window->InsertButton,
                window->SendButton, window->QuitButton,  window->SendInfoButton};
    }
    void addMessages(int n) {
        for (int i = 0; i < n; ++i)
            window->AddMessage(
                DeliverFrame("4412345", QStringLiteral("0301011200%1").arg(i, 2, 10, QChar(u'0')),
                             QStringLiteral("message %1").arg(i)));
    }
};

TEST_F(WindowTest, StartUpLoadsTheListFilesAndTracesIt) {
    writeFile("vantel.ini", "Speed=9600\r\nPort=2\r\n");
    const QString a = DeliverFrame("111", "030101120000", "one");
    const QString b = DeliverFrame("222", "020101120000", "two");
    writeFile("vantelq.dat", (a + "\r\n" + b + "\r\n" + a + "\r\nnot a frame").toLatin1());
    writeFile("smsaddr.dat", "Bob=4477001\r\nAnn=4477002\r\n");
    writeFile("smscaddr.dat", "447785016005\r\n");
    start();
    ASSERT_TRUE(startupDone());

    EXPECT_EQ(window->windowTitle(), u"Vantel 32 bit V0.36");
    EXPECT_FALSE(window->setupForm().isVisible());
    EXPECT_EQ(window->link().serial().settings(), u"9600,N,8,1");
    EXPECT_EQ(window->link().serial().commPort(), 2);
    EXPECT_EQ(window->QueueCountLabel->text(), u" 3 items");
    EXPECT_EQ(window->store().frameAt(0), b);  // sorted by time column
    const QString trace = traceText();
    const qsizetype loading = trace.indexOf("Loading Message List...");
    ASSERT_GE(loading, 0);
    EXPECT_GT(trace.indexOf("Duplicate Message Ignored"), loading);
    EXPECT_GT(trace.indexOf("Message List Loaded"), trace.indexOf("Duplicate Message Ignored"));
    EXPECT_EQ(window->sendForm().addressHistory().count(), 2);
    EXPECT_EQ(window->sendForm().scHistory().items(), QStringList{"447785016005"});
    EXPECT_FALSE(window->busy());
    EXPECT_TRUE(window->AddButton->isEnabled());
    EXPECT_TRUE(window->AddButton->hasFocus() || !window->isActiveWindow());
    // The newest line in the trace window is in view: it shows the trace.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window->DebugWin->toPlainText() == QString(trace).remove(u'\r'); }));
}

TEST_F(WindowTest, LargeListLoadsInBatchesWithTheButtonsDisabled) {
    writeFile("vantel.ini", "");
    QByteArray file;
    for (int i = 0; i < 3000; ++i)
        file +=
            DeliverFrame(QString::number(440000 + i), "030101120000", "bulk").toLatin1() + "\r\n";
    writeFile("vantelq.dat", file);
    // Something else gets its turn between two batches, and finds the buttons disabled.
    bool sawBusyWhileYielding = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (window && startup && !startup->isReady() && window->busy() &&
            !window->AddButton->isEnabled())
            sawBusyWhileYielding = true;
    });
    probe.start(0);
    start();
    ASSERT_TRUE(startupDone());
    EXPECT_TRUE(sawBusyWhileYielding);
    EXPECT_EQ(window->store().model().count(), 3000);
    EXPECT_TRUE(window->AddButton->isEnabled());
}

// A list file that is there but cannot be read is said so at start-up and never replaced: the
// program runs on, and Quit leaves the file as it found it. Root reads any file, so a folder in
// the file's place stands for it; a file of mode 0200 is tried as well when not root.
TEST_F(WindowTest, UnreadableListFilesAreTracedAndNeverRewritten) {
    writeFile("vantel.ini", "Port=1\r\n");
    const char *names[] = {"vantelq.dat", "smsaddr.dat", "smscaddr.dat"};
    for (const char *name : names) {
        if (geteuid() == 0) {
            ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("%1/kept").arg(name)));
        } else {
            writeFile(name, "kept\r\n");
            ASSERT_EQ(chmod(QFile::encodeName(dir.filePath(name)).constData(), 0200), 0);
        }
    }
    start();
    ASSERT_TRUE(startupDone());
    for (const char *name : names)
        EXPECT_TRUE(traceText().contains(QStringLiteral("Cannot read %1: ").arg(name))) << name;
    // Still usable; a retrieved message cannot reach the file, and the retrieval is told so.
    EXPECT_TRUE(window->AddMessage(DeliverFrame("4412345", "030101120000", "new")));
    EXPECT_FALSE(window->AppendListFile(DeliverFrame("4412345", "030101120000", "new")));
    window->sendForm().addressHistory().add("Bob=4477");
    QTest::mouseClick(window->QuitButton, Qt::LeftButton);
    EXPECT_TRUE(window->ended());
    EXPECT_TRUE(asked.isEmpty());
    for (const char *name : names) {
        if (geteuid() == 0) {
            EXPECT_TRUE(QFileInfo::exists(dir.filePath(name) + "/kept")) << name;
        } else {
            chmod(QFile::encodeName(dir.filePath(name)).constData(), 0600);
            EXPECT_EQ(fileBytes(name), "kept\r\n") << name;
        }
    }
}

TEST_F(StartedWindowTest, EveryControlCarriesItsName) {
    for (const char *name :
         {"AddButton", "SetupButton", "InsertButton", "SendButton", "QuitButton", "Image1",
          "Label1", "DebugWin", "Label2", "SendQueue", "MessageQueueLbl", "QueueCountLabel",
          "SendInfoButton", "FormComBox", "MessageQueue"})
        EXPECT_NE(window->findChild<QWidget *>(QLatin1String(name)), nullptr) << name;
    EXPECT_EQ(window->AddButton->text(), u"&Retrieve");
    EXPECT_EQ(window->SendButton->text(), u"S&end");
    EXPECT_EQ(window->Timer1->interval(), 5000);
    EXPECT_TRUE(window->Timer1->isActive());
    EXPECT_TRUE(static_cast<QListView *>(window->MessageQueue)->uniformItemSizes());
    EXPECT_FALSE(window->Image1->pixmap().isNull());
}

TEST_F(StartedWindowTest, DisableAndEnableButtonsSetTheBusyFlag) {
    window->DisableButtons();
    EXPECT_TRUE(window->busy());
    for (QPushButton *b : buttons())
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    window->EnableButtons();
    EXPECT_FALSE(window->busy());
    for (QPushButton *b : buttons())
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
}

TEST_F(StartedWindowTest, CtrlDRemovesTheSelectedMessageAndSelectsTheOneAbove) {
    addMessages(3);
    QListView *list = window->MessageQueue;
    const QString third = window->messages().at(2);
    window->selectMessage(1);
    QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(window->messages().count(), 2);
    EXPECT_EQ(window->selectedMessage(), 0);
    EXPECT_EQ(window->QueueCountLabel->text(), u" 2 items");

    QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier);  // the first: nothing selected after
    EXPECT_EQ(window->messages().items(), QStringList{third});
    EXPECT_EQ(window->selectedMessage(), -1);

    QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier);  // no selection: nothing happens
    EXPECT_EQ(window->messages().count(), 1);
}

TEST_F(StartedWindowTest, CtrlDRemovalReachesTheFileOnlyAtANormalEnd) {
    addMessages(2);
    window->store().SaveListFile();
    window->selectMessage(1);
    QTest::keyClick(window->MessageQueue, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(fileBytes("vantelq.dat").count("\r\n"), 2);
    window->SaveAndEnd();
    EXPECT_TRUE(window->ended());
    EXPECT_EQ(fileBytes("vantelq.dat"), (window->store().frameAt(0) + "\r\n").toLatin1());
}

TEST_F(StartedWindowTest, CtrlNShowsTheLineUpToItsFirst4000Characters) {
    addMessages(1);
    // Damaged frames give lines of "<invalid checksum>", 72 blanks and the frame.
    for (int frameChars : {3910, 3911, 10'000'000})
        window->AddMessage(QStringLiteral("1002") + QString(frameChars - 4, u'A'));
    struct Case {
        qsizetype length;
        bool whole;
    };
    const Case cases[] = {{4000, true}, {4001, false}, {10'000'090, false}};
    for (const Case &c : cases) {
        const int row =
            int(std::find_if(window->messages().items().begin(), window->messages().items().end(),
                             [&](const QString &l) { return l.size() == c.length; }) -
                window->messages().items().begin());
        ASSERT_LT(row, window->messages().count()) << c.length;
        window->selectMessage(row);
        asked.clear();
        QTest::keyClick(window->MessageQueue, Qt::Key_N, Qt::ControlModifier);
        ASSERT_EQ(asked.size(), 1);
        const QString &line = window->messages().at(row);
        if (c.whole) {
            EXPECT_EQ(asked[0], line);
        } else {
            EXPECT_TRUE(asked[0].startsWith(line.left(4000)));
            EXPECT_FALSE(asked[0].contains(line.left(4001)));
            EXPECT_TRUE(asked[0].endsWith(
                QStringLiteral("(the first 4000 of %1 characters)").arg(c.length)))
                << asked[0].right(60).toStdString();
        }
    }
}

TEST_F(StartedWindowTest, EnterOpensTheViewer) {
    addMessages(2);
    window->selectMessage(0);
    QTest::keyClick(window->MessageQueue, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->viewForm().isVisible(); }));
    EXPECT_FALSE(window->isVisible());
    window->viewForm().close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }));
    EXPECT_FALSE(window->busy());
}

TEST_F(StartedWindowTest, CtrlDInTheSendQueueRemovesAfterConfirmation) {
    window->queueEntry("14,12345,0123,0011");
    window->queueEntry("15,12345,0123,0022");
    window->SendQueue->selectionModel()->setCurrentIndex(window->sendQueueModel().index(1),
                                                         QItemSelectionModel::ClearAndSelect);
    answer = QMessageBox::No;
    QTest::keyClick(window->SendQueue, Qt::Key_D, Qt::ControlModifier);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].contains("15,12345,0123,0022"));
    EXPECT_EQ(window->sendQueueModel().count(), 2);

    answer = QMessageBox::Yes;
    QTest::keyClick(window->SendQueue, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(window->sendQueueModel().items(), QStringList{"14,12345,0123,0011"});
}

TEST_F(StartedWindowTest, TypingInTheTraceWindowBeepsAndCtrlCCopies) {
    window->WriteTrace("a line to copy", false);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window->DebugWin->toPlainText().contains("a line to copy"); }));
    const QString before = window->DebugWin->toPlainText();
    const int beeps = window->beepCount();
    QTest::keyClicks(window->DebugWin, "xy");
    QTest::keyClick(window->DebugWin, Qt::Key_Backspace);
    EXPECT_EQ(window->beepCount(), beeps + 3);
    EXPECT_EQ(window->DebugWin->toPlainText(), before);

    window->DebugWin->selectAll();
    QTest::keyClick(window->DebugWin, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(window->beepCount(), beeps + 3);
    EXPECT_TRUE(QGuiApplication::clipboard()->text().contains("a line to copy"));

    // Tab and Shift+Tab move the focus on, without a beep.
    for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
        window->DebugWin->setFocus();
        ASSERT_EQ(window->focusWidget(), window->DebugWin);
        QTest::keyClick(window->DebugWin, key);
        EXPECT_NE(window->focusWidget(), window->DebugWin);
    }
    EXPECT_EQ(window->beepCount(), beeps + 3);
}

TEST_F(StartedWindowTest, QuitWhileBusyOnlyBeeps) {
    window->DisableButtons();
    const int beeps = window->beepCount();
    window->SaveAndEnd();
    window->close();
    EXPECT_EQ(window->beepCount(), beeps + 2);
    EXPECT_FALSE(window->ended());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(fileBytes("vantelq.dat"), "<missing>");
    window->EnableButtons();
    QSignalSpy ended(window.get(), &Vantel::programEnded);
    QTest::mouseClick(window->QuitButton, Qt::LeftButton);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(fileBytes("vantelq.dat"), "");
    EXPECT_EQ(fileBytes("smsaddr.dat"), "");
}

TEST_F(StartedWindowTest, QuitWithUnsentEntriesAsksFirst) {
    addMessages(1);
    answer = QMessageBox::No;
    window->queueEntry("14,1,2,00");
    QTest::mouseClick(window->QuitButton, Qt::LeftButton);
    window->queueEntry("14,1,2,01");
    QTest::mouseClick(window->QuitButton, Qt::LeftButton);
    EXPECT_EQ(asked.join(u'|').toStdString(),
              "1 message has not been sent. Quit anyway?|"
              "2 messages have not been sent. Quit anyway?");
    asked.removeFirst();
    EXPECT_FALSE(window->ended());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(fileBytes("vantelq.dat"), "<missing>");

    answer = QMessageBox::Yes;
    window->close();  // the close box takes the same road
    EXPECT_EQ(asked.size(), 2);
    EXPECT_TRUE(window->ended());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(fileBytes("vantelq.dat"), (window->store().frameAt(0) + "\r\n").toLatin1());
}

TEST_F(StartedWindowTest, FailedSaveAtQuitSaysSoAndQuitsOnlyWhenTold) {
    addMessages(60);
    // A disk that fills up: writes past 4 KiB fail.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    answer = QMessageBox::No;
    QTest::mouseClick(window->QuitButton, Qt::LeftButton);
    const bool endedAfterNo = window->ended();
    answer = QMessageBox::Yes;
    QTest::mouseClick(window->QuitButton, Qt::LeftButton);
    setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_FALSE(endedAfterNo);
    ASSERT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked[0].startsWith("Error saving vantelq.dat: File too large\r\n"))
        << asked[0].toStdString();
    EXPECT_TRUE(asked[0].endsWith("Quit anyway?"));
    EXPECT_TRUE(traceText().contains("Error saving vantelq.dat: File too large"));
    EXPECT_TRUE(window->ended());
    EXPECT_EQ(fileBytes("vantelq.dat"), "<missing>");
}

TEST_F(StartedWindowTest, TimerSendsTheQueueInSortedOrderOnePerTick) {
    for (const char *entry : {"23,4477,0,11", "120,4477,0,22", "5,4477,0,33"})
        window->queueEntry(QLatin1String(entry));
    for (int tick = 0; tick < 3; ++tick)
        window->Timer1_Timer();
    EXPECT_EQ(transmitted, (QStringList{"120,4477,0,22", "23,4477,0,11", "5,4477,0,33"}));
    EXPECT_EQ(window->sendQueueModel().count(), 0);
    EXPECT_TRUE(window->Timer1->isActive());
}

TEST_F(StartedWindowTest, FailedTransmissionKeepsTheEntryFirst) {
    window->queueEntry("23,4477,0,11");
    window->queueEntry("5,4477,0,33");
    transmitResult = false;
    window->Timer1_Timer();
    window->Timer1_Timer();
    EXPECT_EQ(transmitted, (QStringList{"23,4477,0,11", "23,4477,0,11"}));
    EXPECT_EQ(window->sendQueueModel().at(0), u"23,4477,0,11");
}

TEST_F(StartedWindowTest, TimerSendsWhileTheViewerIsOpenAndOnlyAnOpenPortHoldsItBack) {
    // A transmission disables and enables the buttons around its exchange, as the real one does.
    window->transmitEntry = [this](QString entry) -> QCoro::Task<bool> {
        window->DisableButtons();
        transmitted << entry;
        window->EnableButtons();
        co_return true;
    };
    addMessages(1);
    window->queueEntry("14,4477,0,11");
    QTest::keyClick(window->MessageQueue, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->viewForm().isVisible(); }));
    window->Timer1_Timer();
    EXPECT_EQ(transmitted, QStringList{"14,4477,0,11"});
    EXPECT_TRUE(window->busy());  // the viewer's buttons stay disabled
    for (QPushButton *b : buttons())
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    window->viewForm().close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }));
    EXPECT_FALSE(window->busy());
    EXPECT_TRUE(window->AddButton->isEnabled());

    // An exchange holds the port: the tick waits for a later one.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    ASSERT_TRUE(QFile::link(QString::fromLocal8Bit(ptsname(master)), dir.filePath("com1")));
    window->queueEntry("14,4477,0,22");
    ASSERT_TRUE(window->link().OpenPort());
    window->Timer1_Timer();
    EXPECT_EQ(transmitted.size(), 1);
    window->link().ClosePort();
    window->Timer1_Timer();
    EXPECT_EQ(transmitted.size(), 2);
    ::close(master);
}

TEST_F(StartedWindowTest, QueueLivesInItsFileFromStartToEnd) {
    window->queueEntry("14,4477,0,11");
    window->queueEntry("15,4477,0,22");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return fileBytes("vantelsq.dat") == "14,4477,0,11\r\n15,4477,0,22\r\n"; }));
    window->Timer1_Timer();  // sent: it leaves the file too
    EXPECT_TRUE(QTest::qWaitFor([&] { return fileBytes("vantelsq.dat") == "15,4477,0,22\r\n"; }));

    // A new start finds it; the window asks about it at Quit as before.
    window.reset();
    start();
    ASSERT_TRUE(startupDone());
    EXPECT_EQ(window->sendQueueModel().items(), QStringList{"15,4477,0,22"});
}

TEST_F(StartedWindowTest, SentEntryIsRemovedEvenWhenAnotherNowSortsFirst) {
    window->queueEntry("5,4477,0,33");
    window->transmitEntry = [this](QString entry) -> QCoro::Task<bool> {
        transmitted << entry;
        window->queueEntry("1,4477,0,00");  // arrives over D-Bus during the exchange
        co_return true;
    };
    window->Timer1_Timer();
    EXPECT_EQ(window->sendQueueModel().items(), QStringList{"1,4477,0,00"});
}

TEST_F(StartedWindowTest, CreditBoxOnlyWhenIdle) {
    window->DisableButtons();
    QTest::mouseDClick(window->Image1, Qt::LeftButton);
    EXPECT_TRUE(asked.isEmpty());
    window->EnableButtons();
    QTest::mouseDClick(window->Image1, Qt::LeftButton);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].startsWith("Vantel was written by"));
}

TEST_F(StartedWindowTest, AddedMessageSelectsTheLastEntry) {
    addMessages(3);
    window->AddMessage(DeliverFrame("4412345", "010101120000", "oldest"));
    EXPECT_EQ(window->selectedMessage(), 3);
}

}  // namespace
}  // namespace vantel

namespace vantel {
namespace {

class CountingAlerts : public Vantel {
public:
    QCoro::Task<> PlayAlert() override {
        ++plays;
        co_return;
    }
    int plays = 0;
};

TEST_F(WindowTest, DoubleClickOnTheWindowSoundsOnlyWithKeepErr) {
    writeFile("vantel.ini", "KeepErr=1\r\n");
    CountingAlerts alerts;
    auto startup = alerts.Form_Load();
    ASSERT_TRUE(QTest::qWaitFor([&] { return startup.isReady(); }));
    QTest::mouseDClick(&alerts, Qt::LeftButton, {},
                       QPoint(alerts.width() - 5, alerts.height() - 3));
    EXPECT_EQ(alerts.plays, 1);
    alerts.settings().keepErr = false;
    QTest::mouseDClick(&alerts, Qt::LeftButton, {},
                       QPoint(alerts.width() - 5, alerts.height() - 3));
    EXPECT_EQ(alerts.plays, 1);
}

}  // namespace
}  // namespace vantel
