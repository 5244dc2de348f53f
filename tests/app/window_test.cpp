#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "app/listfilter.h"
#include "app/listheader.h"
#include "app/listrecords.h"
#include "app/messageexport.h"
#include "windowfixture.h"

namespace vantel::test {
namespace {

void AddMessages(Vantel &w, int n) {
    for (int i = 0; i < n; ++i)
        w.AddMessage(DeliverFrame("4412345",
                                  QStringLiteral("0301011200%1").arg(i, 2, 10, QChar(u'0')),
                                  QStringLiteral("message %1").arg(i)));
}

// A list file that is there but cannot be read is said so at start-up and never replaced: the
// program runs on, and Quit leaves the file as it found it. Root reads any file, so a folder in
// the file's place stands for it; a file of mode 0200 is tried as well when not root.
TEST_F(WindowTest, UnreadableListFilesAreTracedAndNeverRewritten) {
    writeFile("vantel.ini", "Port=1\r\n");
    const bool root = geteuid() == 0;
    const QString names[] = {"vantelq.dat", "smsaddr.dat", "smscaddr.dat"};
    for (const QString &name : names) {
        ASSERT_TRUE(root ? QDir(dir.path()).mkpath(name + "/kept")
                         : (writeFile(name, "kept\r\n"),
                            chmod(QFile::encodeName(dir.filePath(name)).constData(), 0200) == 0));
    }
    start();
    ASSERT_TRUE(startupDone());
    for (const QString &name : names)
        EXPECT_TRUE(window->trace().text().contains("Cannot read " + name + ": "))
            << name.toStdString();
    // Still usable; a retrieved message cannot reach the file, and the retrieval is told so.
    EXPECT_TRUE(window->AddMessage(DeliverFrame("4412345", "030101120000", "new")));
    EXPECT_FALSE(window->AppendListFile(DeliverFrame("4412345", "030101120000", "new")));
    window->sendForm().addressHistory().add("Bob=4477");
    QTest::mouseClick(window->QuitButton, Qt::LeftButton);
    EXPECT_TRUE(window->ended() && asked.empty());
    for (const QString &name : names) {
        if (!root) chmod(QFile::encodeName(dir.filePath(name)).constData(), 0600);
        EXPECT_TRUE(root ? QDir(dir.filePath(name + "/kept")).exists()
                         : fileBytes(name) == "kept\r\n")
            << name.toStdString();
    }
}

// Start-up reads the settings and the three list files: the messages sorted by time, a
// duplicate dropped and traced between the load's first and last lines, in batches during which
// other events are served and find the buttons disabled.
TEST_F(WindowTest, StartUpLoadsTheListFilesInBatchesWithTheButtonsDisabled) {
    writeFile("vantel.ini", "Speed=9600\r\nPort=2\r\n");
    const auto Stamp = [](int i) {
        return u"02010112%1%2"_qs.arg(i / 60, 2, 10, QChar(u'0')).arg(i % 60, 2, 10, QChar(u'0'));
    };
    const QString late = DeliverFrame("111", "030101120000", "one");
    QByteArray list = (late + "\r\n" + late + "\r\n").toLatin1();
    for (int i = 0; i < 3000; ++i)
        list += DeliverFrame(QString::number(440000 + i), Stamp(i), "bulk").toLatin1() + "\r\n";
    writeFile("vantelq.dat", list);
    writeFile("smsaddr.dat", "Bob=4477001\r\nAnn=4477002\r\n");
    writeFile("smscaddr.dat", "447785016005\r\n");
    bool busyBetweenBatches = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (startup && !startup->isReady())
            busyBetweenBatches |= window->busy() && !window->AddButton->isEnabled();
    });
    probe.start(0);
    start();
    ASSERT_TRUE(startupDone());
    EXPECT_TRUE(busyBetweenBatches);
    EXPECT_EQ(window->link().serial().settings(), u"9600,N,8,1");
    EXPECT_EQ(window->link().serial().commPort(), 2);
    EXPECT_EQ(window->QueueCountLabel->text(), u" 3001 items");
    EXPECT_EQ(window->store().frameAt(3000), late);
    const QString trace = window->trace().text();
    const qsizetype duplicate = trace.indexOf(u"Duplicate Message Ignored");
    EXPECT_LT(trace.indexOf(u"Loading Message List..."), duplicate);
    EXPECT_LT(duplicate, trace.indexOf(u"Message List Loaded"));
    EXPECT_EQ(window->sendForm().addressHistory().count(), 2);
    EXPECT_EQ(window->sendForm().scHistory().items(), QStringList{"447785016005"});
    EXPECT_TRUE(!window->busy() && window->AddButton->isEnabled());
}

// Quit rewrites "vantelq.dat" only when that changes it: a file as Vantel saved it stays the very
// file it was; one out of order, with a duplicate or with LF line ends is rewritten.
TEST_F(WindowTest, QuitRewritesTheListFileOnlyWhenItWouldChange) {
    writeFile("vantel.ini", "Port=1\r\n");
    const QByteArray a = DeliverFrame("111", "030101120000", "one").toLatin1(),
                     b = DeliverFrame("222", "030101130000", "two").toLatin1();
    const QByteArray saved = a + "\r\n" + b + "\r\n";
    for (const QByteArray &file : {saved, b + "\r\n" + a + "\r\n", saved + b + "\r\n",
                                   a + "\n" + b + "\n", QByteArray(saved).chopped(2)}) {
        writeFile("vantelq.dat", file);
        struct stat before {
        }, after{};
        ::stat(QFile::encodeName(dir.filePath("vantelq.dat")).constData(), &before);
        start();
        ASSERT_TRUE(startupDone());
        QTest::mouseClick(window->QuitButton, Qt::LeftButton);
        ASSERT_TRUE(window->ended());
        ::stat(QFile::encodeName(dir.filePath("vantelq.dat")).constData(), &after);
        EXPECT_EQ(before.st_ino == after.st_ino, file == saved) << file.constData();
        EXPECT_EQ(fileBytes("vantelq.dat"), saved);
        window.reset();
    }
}

TEST_F(StartedWindowTest, EveryControlCarriesItsName) {
    const QHash<QString, QWidget *> windows = {{"main", window.get()},
                                               {"view", &window->viewForm()},
                                               {"technical", &window->technicalView()},
                                               {"send", &window->sendForm()}};
    for (const QStringList &c : table::CellRows("app-controls.txt")) {
        QWidget *control = windows.value(c[0])->findChild<QWidget *>(c[1]);
        ASSERT_NE(control, nullptr) << c[1].toStdString();
        auto *button = qobject_cast<QPushButton *>(control);
        EXPECT_TRUE(c[2].isEmpty() || (button && button->text() == c[2] &&
                                       button->shortcut() == QKeySequence::mnemonic(c[2])))
            << c[1].toStdString();
    }
    EXPECT_EQ(window->viewForm().windowTitle(), u"Vantel - Message View");
    EXPECT_EQ(window->technicalView().windowTitle(), u"Vantel - Technical View");
    EXPECT_TRUE(window->Timer1->isActive() && window->Timer1->interval() == 5000);
}

// Disable and enable nest; while busy, what would open a window or end the program only beeps.
TEST_F(StartedWindowTest, BusyWindowOnlyBeeps) {
    AddMessages(*window, 1);
    window->DisableButtons();
    window->DisableButtons();
    window->EnableButtons();
    EXPECT_TRUE(window->busy() && !window->QuitButton->isEnabled());
    const std::function<void()> acts[] = {[&] { window->SaveAndEnd(); }, [&] { window->close(); },
                                          [&] { window->ShowSetupForm(); }, [&] { viewer(); },
                                          [&] { run(ShowSendForm(*window, window->sendForm())); }};
    for (const auto &act : acts) {
        const int beeps = window->beepCount();
        act();
        EXPECT_EQ(window->beepCount(), beeps + 1);
    }
    for (QWidget *d : dialogs())
        EXPECT_FALSE(d->isVisible()) << d->objectName().toStdString();
    EXPECT_TRUE(window->isVisible() && !window->ended() && asked.empty());
    EXPECT_EQ(fileBytes("vantelq.dat"), "<missing>");
    window->EnableButtons();
    EXPECT_TRUE(!window->busy() && window->QuitButton->isEnabled());
}

// Ctrl+D removes the selected message and selects the one above (none after the first). A
// burst is written once (on a full disk, one failure traced), the next change within a second.
// In the send queue it asks first.
TEST_F(StartedWindowTest, CtrlDRemovesTheSelectedEntry) {
    AddMessages(*window, 4);
    window->store().SaveListFile();
    const QString last = window->messages().at(3);
    {
        DiskFull full(16);
        for (int row : {1, 0, 0, -1}) {
            window->selectMessage(row);
            QTest::keyClick(window->MessageQueue, Qt::Key_D, Qt::ControlModifier);
            EXPECT_EQ(window->selectedMessage(), std::max(row - 1, -1));
        }
        QTest::qWait(1000);
    }
    EXPECT_EQ(window->messages().items(), QStringList{last});
    EXPECT_EQ(window->QueueCountLabel->text(), u" 1 item");
    EXPECT_EQ(window->trace().text().count(u"Error saving vantelq.dat: File too large"), 1);
    EXPECT_EQ(fileBytes("vantelq.dat").count("\r\n"), 4);
    window->sendForm().AddToAddressList(u"Bob=4477"_qs);
    EXPECT_TRUE(QTest::qWaitFor([&] { return fileBytes("smsaddr.dat") == "Bob=4477\r\n"; }, 1000));
    EXPECT_EQ(fileBytes("vantelq.dat"), (last.mid(90) + "\r\n").toLatin1());

    for (const char *entry : {"14,12345,0123,0011", "15,12345,0123,0022"})
        window->queueEntry(entry);
    window->SendQueue->setCurrentIndex(window->sendQueueModel().index(1));
    for (auto reply : {QMessageBox::No, QMessageBox::Yes}) {
        answer = reply;
        QTest::keyClick(window->SendQueue, Qt::Key_D, Qt::ControlModifier);
    }
    EXPECT_TRUE(asked.size() == 2 && asked[0].text.contains("15,12345,0123,0022"));
    EXPECT_EQ(window->sendQueueModel().items(), QStringList{"14,12345,0123,0011"});

    window->SaveAndEnd();
    EXPECT_EQ(fileBytes("vantelq.dat"), (last.mid(90) + "\r\n").toLatin1());
}

// The send queue shows its entries as messages; they, their order and the file stay as queued,
// and Ctrl+N shows the entry as it stands.
TEST_F(StartedWindowTest, SendQueueShowsRecipientTextAndPart) {
    window->PauseButton->click();
    const QString entries[] = {"14,12345,,070200110005912143F50000A70361F118",
                               "18,12345,,510005912143F50004A707050003420201AA", "garbage"};
    for (const QString &entry : entries)
        window->queueEntry(entry);
    const QStringList shown = {"+12345               abc" + QString(38, u' ') + "part 1/1",
                               "+12345               AA" + QString(39, u' ') + "part 1/2",
                               "garbage"};
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(window->SendQueue->model()->index(row, 0).data().toString(), shown[row]);
        EXPECT_EQ(window->sendQueueModel().at(row), entries[row]);
    }
    window->SendQueue->setCurrentIndex(window->sendQueueModel().index(1));
    QTest::keyClick(window->SendQueue, Qt::Key_N, Qt::ControlModifier);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, entries[1]);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return fileBytes("vantelsq.dat") == (entries[0] + "\r\n" + entries[1] + "\r\ngarbage\r\n");
    }));
}

// Under a search every command works on the lines shown: Ctrl+N shows the selected one and
// Ctrl+D removes it and no other; the viewer pages through the shown lines and deletes the one
// it shows. Ctrl+F goes to the search box, Esc there shows the whole list again.
TEST_F(StartedWindowTest, CommandsWorkOnTheLinesASearchShows) {
    AddMessages(*window, 23);
    QStringList left = window->messages().items();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window->MessageQueue, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), window->SearchBox);
    QTest::keyClicks(window->SearchBox, "00:2 MESSAGE");  // message 20, 21 and 22
    EXPECT_EQ(window->QueueCountLabel->text(), u" 3 of 23 items");
    window->selectMessage(1);
    const QString chosen = window->shownLine(1);
    ASSERT_TRUE(chosen.contains(u"message 21 "));
    QTest::keyClick(window->MessageQueue, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(asked.at(0).text, chosen);
    QTest::keyClick(window->MessageQueue, Qt::Key_D, Qt::ControlModifier);
    left.removeOne(chosen);
    EXPECT_EQ(window->messages().items(), left);
    EXPECT_EQ(window->selectedMessage(), 0);
    EXPECT_EQ(window->QueueCountLabel->text(), u" 2 of 22 items");

    ViewForm &view = window->viewForm();
    QCoro::Task<> task = viewer();
    EXPECT_TRUE(view.MessageBox->toPlainText() == u"message 20" && view.NextButton->isEnabled());
    Click(view.NextButton);
    EXPECT_TRUE(view.MessageBox->toPlainText() == u"message 22" && !view.NextButton->isEnabled());
    EXPECT_TRUE(view.Frame1->title().startsWith(u"Message 2 ("));
    answer = QMessageBox::Ok;
    left.removeOne(window->shownLine(1));
    Click(view.LocalDeleteButton);
    EXPECT_EQ(window->messages().items(), left);
    EXPECT_TRUE(view.MessageBox->toPlainText() == u"message 20" && !view.NextButton->isEnabled());
    Click(view.CloseButton);
    ASSERT_TRUE(task.isReady());
    // Messages that arrive meanwhile are shown when they hold the words, the last one selected.
    for (const char *second : {"29", "30"})
        window->AddMessage(DeliverFrame("4412345", u"0301011200"_qs + second, u"message"_qs));
    EXPECT_EQ(window->QueueCountLabel->text(), u" 2 of 23 items");
    EXPECT_TRUE(window->shownLine(window->selectedMessage()).startsWith(u"03/01/01 12:00:29"));

    QTest::keyClick(window->SearchBox, Qt::Key_Escape);
    EXPECT_EQ(window->shownCount(), 23);
    EXPECT_EQ(window->QueueCountLabel->text(), u" 23 items");
}

// The captions over the list start where its columns do, at every font size: the first over
// the first character drawn, the others as many character cells further.
TEST_F(StartedWindowTest, HeaderCaptionsStandOverTheirColumns) {
    AddMessages(*window, 1);
    window->selectMessage(-1);  // the line drawn as text on the list's paper
    const QList<QLabel *> &captions = window->MessageHeader->captions();
    ASSERT_EQ(captions.size(), 4);
    const QString line = window->messages().at(0);
    const int columns[] = {0, int(line.indexOf(u"4412345")), int(line.indexOf(u"message 0")),
                           int(line.lastIndexOf(u' ')) + 1};
    // The leftmost drawn pixel of a widget's top `rows` rows, in the window's coordinates.
    const auto ink = [&](QWidget *w, int rows) {
        const QImage image = w->grab(QRect(0, 0, w->width(), rows)).toImage();
        const QRgb paper = image.pixel(image.width() - 1, 0);
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y)
                if (qGray(image.pixel(x, y)) + 60 < qGray(paper))
                    return w->mapTo(window.get(), QPoint(x, 0)).x();
        return -1;
    };
    for (const qreal points : {9.0, 15.0}) {
        QFont font = window->MessageQueue->font();
        font.setPointSizeF(points);
        window->MessageQueue->setFont(font);
        QCoreApplication::processEvents();
        const qreal cell = QFontMetricsF(font).horizontalAdvance(u' ');
        const QRect first = window->MessageQueue->visualRect(window->shownList().index(0));
        EXPECT_NEAR(ink(captions[0], captions[0]->height()),
                    ink(window->MessageQueue->viewport(), first.height()), 3)
            << points;
        const int x0 = captions[0]->mapTo(window.get(), QPoint()).x();
        for (int i = 1; i < 4; ++i)
            EXPECT_NEAR(captions[i]->mapTo(window.get(), QPoint()).x() - x0, columns[i] * cell, 1)
                << points << captions[i]->text().toStdString();
    }
}

// A crash leaves on disk what the window showed: this test runs itself again as a second process
// that deletes a message in the viewer, retrieves from the simulated phone (a listed message,
// whose duplicate line has the file rewritten mid-retrieval, then a new one) and adds a history
// entry, and kills it a second after.
TEST_F(WindowTest, FilesKeepWhatTheWindowShowedThroughAKill) {
    // Two messages on the phone and their frames as it sends them (a DLE stuffed with 00).
    const QString kept = "07911326040000F0040491447700006210102100000004EB329C0E",
                  fresh = "07911326040000F0040491448700006210103100000003EEF21D",
                  keptFrame =
                      "100221061D010007911326040000F004049144770000621000100021000000"
                      "04EB329C0E1003FA34",
                  freshFrame =
                      "100221061C020007911326040000F004049144870000621000100031000000"
                      "03EEF21D1003F9DF",
                  gone = DeliverFrame("4479", "260101110000", "gone");
    if (const QString at = qEnvironmentVariable("VANTEL_VICTIM_DIR"); !at.isEmpty()) {
        dir.remove();
        QDir::setCurrent(at);
        start();
        ASSERT_TRUE(startupDone());
        window->selectMessage(window->messages().indexOf(MakeListLine(gone).line));
        QCoro::Task<> view = viewer();
        answer = QMessageBox::Ok;
        Click(window->viewForm().LocalDeleteButton);
        Click(window->viewForm().CloseButton);
        QCoro::Task<> retrieval = window->AddButton_Click();
        window->sendForm().AddToAddressList("Bob=4477");
        ASSERT_TRUE(QTest::qWaitFor([&] { return retrieval.isReady(); }, 30000));
        std::puts("victim done");
        std::fflush(stdout);
        QTest::qWait(30000);
        return;
    }
    QProcess phone, victim;
    phone.start(VANTEL_BINARY_DIR "/tools/phonesim/vantel-phonesim",
                {"--link", dir.filePath("com1"), "--no-samples", "--message", "ME,0," + kept,
                 "--message", "ME,0," + fresh});
    QByteArray said;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (said += phone.readAllStandardOutput()).contains("ready "); }));
    writeFile("vantel.ini", "Port=1\r\n");
    writeFile("vantelq.dat", (keptFrame + "\r\n" + gone + "\r\n").toLatin1());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VANTEL_VICTIM_DIR", dir.path());
    victim.setProcessEnvironment(env);
    victim.start(QCoreApplication::applicationFilePath(),
                 {"--gtest_filter=WindowTest.FilesKeepWhatTheWindowShowedThroughAKill"});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (said += victim.readAllStandardOutput()).contains("victim done"); }, 40000))
        << said.data();
    QTest::qWait(1000);
    ::kill(pid_t(victim.processId()), SIGKILL);
    victim.waitForFinished();
    EXPECT_EQ(fileBytes("vantelq.dat"), (keptFrame + "\r\n" + freshFrame + "\r\n").toLatin1());
    EXPECT_EQ(fileBytes("smsaddr.dat"), "Bob=4477\r\n");
    phone.terminate();
    phone.waitForFinished(5000);
}

TEST_F(StartedWindowTest, CtrlNShowsTheLineUpToItsFirst4000Characters) {
    // Damaged frames give lines of "<invalid checksum>", 72 blanks and the frame.
    for (int length : {4000, 4001, 10'000'090}) {
        window->store().model().clear();
        window->AddMessage(QStringLiteral("1002") + QString(length - 94, u'A'));
        const QString line = window->messages().at(0);
        ASSERT_EQ(line.size(), length);
        window->selectMessage(0);
        asked.clear();
        QTest::keyClick(window->MessageQueue, Qt::Key_N, Qt::ControlModifier);
        EXPECT_EQ(asked.at(0).text,
                  length == 4000 ? line
                                 : line.left(4000) +
                                       u"\r\n\r\n(the first 4000 of %1 characters)"_qs.arg(length));
    }
}

// Typing in the trace window beeps and changes nothing; Ctrl+C copies, Tab and Shift+Tab move on.
TEST_F(StartedWindowTest, TypingInTheTraceWindowBeepsAndCtrlCCopies) {
    window->WriteTrace("a line to copy", false);
    QPlainTextEdit *trace = window->DebugWin;
    ASSERT_TRUE(QTest::qWaitFor([&] { return trace->toPlainText().contains("a line to copy"); }));
    const QString before = trace->toPlainText();
    const int beeps = window->beepCount();
    QTest::keyClicks(trace, "xy");
    QTest::keyClick(trace, Qt::Key_Backspace);
    EXPECT_EQ(trace->toPlainText(), before);
    trace->selectAll();
    QTest::keyClick(trace, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QGuiApplication::clipboard()->text().contains("a line to copy"));
    for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
        trace->setFocus();
        ASSERT_EQ(window->focusWidget(), trace);
        QTest::keyClick(trace, key);
        EXPECT_NE(window->focusWidget(), trace);
    }
    EXPECT_EQ(window->beepCount(), beeps + 3);
}

// Quit, or the close box, asks while entries are unsent, and when a file cannot be saved: No
// (the default for a failed save) keeps the program running.
TEST_F(StartedWindowTest, QuitAsksAboutUnsentEntriesAndFailedSaves) {
    AddMessages(*window, 60);
    answer = QMessageBox::No;
    for (const char *entry : {"14,1,2,00", "14,1,2,01"}) {
        window->queueEntry(entry);
        QTest::mouseClick(window->QuitButton, Qt::LeftButton);
    }
    EXPECT_TRUE(asked.at(0).text == "1 message has not been sent. Quit anyway?" &&
                asked.at(1).text == "2 messages have not been sent. Quit anyway?");
    window->sendQueueModel().clear();
    bool endedAfterNo;
    {
        DiskFull full(4096);
        QTest::mouseClick(window->QuitButton, Qt::LeftButton);
        endedAfterNo = window->ended();
        answer = QMessageBox::Yes;
        window->close();
    }
    EXPECT_FALSE(endedAfterNo);
    ASSERT_EQ(asked.size(), 4u);
    EXPECT_TRUE(asked[2].text.startsWith("Error saving vantelq.dat: File too large\r\n") &&
                asked[2].text.endsWith("Quit anyway?") &&
                asked[2].defaultButton == QMessageBox::No);
    EXPECT_TRUE(window->trace().text().contains("Error saving vantelq.dat: File too large"));
    EXPECT_TRUE(window->ended() && !window->isVisible());
    EXPECT_EQ(fileBytes("vantelq.dat"), "<missing>");
}

// Three failed sends in a row are reported once (trace, log, window) and the entry stays; a
// paused queue sends nothing, and the pause is kept in vantel.ini until it is lifted.
TEST_F(StartedWindowTest, FailedSendsAreReportedOnceAndThePauseHoldsTheQueue) {
    window->queueEntry(u"23,4477,0,11"_qs);
    const QString held = u"The send queue is held back: 3 attempts in a row failed ("_qs;
    transmitResult = false;
    for (int tick = 1; tick <= 4; ++tick) {
        window->Timer1_Timer();
        EXPECT_EQ(window->StatusLabel->text().contains(held), tick >= 3) << tick;
    }
    EXPECT_EQ(window->trace().text().count(held), 1);
    EXPECT_TRUE(fileBytes("vantel.log").contains(held.toLatin1()));
    EXPECT_EQ(transmitted.size(), 4);

    transmitResult = true;
    QTest::mouseClick(window->PauseButton, Qt::LeftButton);
    EXPECT_TRUE(window->settings().queuePaused);
    EXPECT_TRUE(fileBytes("vantel.ini").contains("QueuePaused=1\r\n"));
    window->Timer1_Timer();
    EXPECT_EQ(transmitted.size(), 4);
    EXPECT_TRUE(window->StatusLabel->text().contains(u"The send queue is paused"_qs));
    QTest::mouseClick(window->PauseButton, Qt::LeftButton);
    EXPECT_FALSE(fileBytes("vantel.ini").contains("QueuePaused"));
    window->Timer1_Timer();
    EXPECT_EQ(transmitted.size(), 5);
    EXPECT_EQ(window->sendQueueModel().count(), 0);
    EXPECT_FALSE(window->StatusLabel->text().contains(held));
}

// A due automatic retrieval waits for a tick that finds nothing to send, then runs as the
// Retrieve button does, and says where it failed.
TEST_F(StartedWindowTest, AutomaticRetrievalWaitsForAnIdleQueue) {
    window->queueEntry(u"23,4477,0,11"_qs);
    window->AutoRetrieveTimer->start(1);
    QTest::qWait(20);  // due
    transmitResult = true;
    window->Timer1_Timer();
    EXPECT_EQ(transmitted, QStringList{u"23,4477,0,11"_qs});
    EXPECT_FALSE(window->trace().text().contains(u"Automatic retrieval"_qs));
    window->link().serial().setDevice(u"/nonexistent/vantel-modem"_qs);
    // The next tick that finds the queue idle retrieves; a tick that comes while the last one
    // still runs does nothing, as the timer's ticks do on a loaded machine.
    EXPECT_TRUE(QTest::qWaitFor([&] {
        if (!window->trace().text().contains(u"Automatic retrieval"_qs)) window->Timer1_Timer();
        return window->StatusLabel->text().startsWith(
            u"Cannot open the phone's port /nonexistent/vantel-modem: "_qs);
    }));
    EXPECT_EQ(window->trace().text().count(u"Automatic retrieval"_qs), 1);
    window->AutoRetrieveTimer->stop();
}

// A PIN box cancelled while the send timer's exchange asked is not shown again at every tick.
TEST_F(StartedWindowTest, CancelledPinBoxIsNotShownAgainByTheSendTimer) {
    int boxes = 0;
    window->askPin = [&boxes](QWidget *, QString) -> QCoro::Task<std::optional<QString>> {
        ++boxes;
        co_return std::nullopt;
    };
    window->transmitEntry = [this](QString) -> QCoro::Task<bool> {
        const std::optional<QString> pin = co_await window->AskPin(u"why"_qs);
        co_return pin.has_value();
    };
    window->queueEntry(u"5,4477,0,33"_qs);
    for (int tick = 0; tick < 3; ++tick)
        window->Timer1_Timer();
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(window->sendQueueModel().items(), QStringList{u"5,4477,0,33"_qs});
}

// A signal while the PIN box waits: the box goes as if cancelled, the exchange ends, then Vantel.
TEST_F(StartedWindowTest, EndRequestedClosesAnOpenPinBox) {
    window->transmitEntry = [this](QString) -> QCoro::Task<bool> {
        const std::optional<QString> pin = co_await window->AskPin(u"why"_qs);
        co_return pin.has_value();
    };
    window->queueEntry(u"5,4477,0,33"_qs);
    window->Timer1_Timer();
    auto *box = window->findChild<QDialog *>(u"PinBox"_qs);
    ASSERT_TRUE(box && box->isVisible());
    EXPECT_TRUE(window->exchangeRunning());
    window->RequestEnd();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->ended(); }));
    EXPECT_EQ(fileBytes("vantelsq.dat"), "5,4477,0,33\r\n");
}

// One entry a tick, in sorted order; a failed one stays first; a sent one leaves even when an
// entry that arrived meanwhile sorts before it. The queue lives in its file from start to end.
TEST_F(StartedWindowTest, TimerSendsTheQueueInSortedOrderOnePerTick) {
    for (const char *entry : {"23,4477,0,11", "120,4477,0,22", "5,4477,0,33"})
        window->queueEntry(QLatin1String(entry));
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return fileBytes("vantelsq.dat") == "120,4477,0,22\r\n23,4477,0,11\r\n5,4477,0,33\r\n";
    }));
    for (bool result : {false, true, true}) {
        transmitResult = result;
        window->Timer1_Timer();
    }
    EXPECT_EQ(transmitted, (QStringList{"120,4477,0,22", "120,4477,0,22", "23,4477,0,11"}));
    EXPECT_TRUE(window->Timer1->isActive());
    EXPECT_TRUE(QTest::qWaitFor([&] { return fileBytes("vantelsq.dat") == "5,4477,0,33\r\n"; }));
    window->transmitEntry = [this](QString) -> QCoro::Task<bool> {
        window->queueEntry("1,4477,0,00");  // arrives over D-Bus during the exchange
        co_return true;
    };
    window->Timer1_Timer();
    EXPECT_EQ(window->sendQueueModel().items(), QStringList{"1,4477,0,00"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return fileBytes("vantelsq.dat") == "1,4477,0,00\r\n"; }));
    window.reset();  // a new start finds it
    start();
    ASSERT_TRUE(startupDone());
    EXPECT_EQ(window->sendQueueModel().items(), QStringList{"1,4477,0,00"});
}

TEST_F(StartedWindowTest, TimerSendsWhileTheViewerIsOpenAndOnlyAnOpenPortHoldsItBack) {
    AddMessages(*window, 1);
    window->queueEntry("14,4477,0,11");
    QTest::keyClick(window->MessageQueue, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->viewForm().isVisible(); }));
    EXPECT_FALSE(window->isVisible());
    window->Timer1_Timer();
    EXPECT_EQ(transmitted, QStringList{"14,4477,0,11"});
    EXPECT_TRUE(window->busy() && !window->AddButton->isEnabled());  // the viewer's, still
    window->viewForm().close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }));
    EXPECT_TRUE(!window->busy() && window->AddButton->isEnabled());

    const int master = posix_openpt(O_RDWR | O_NOCTTY);  // an exchange holds the port
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
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

// Export writes the lines the list shows where the file dialog says: a strict RFC 4180 reader
// and the JSON reader get back, for every message, its decoded fields, the whole text of a
// series and the history's name. A file that cannot be written is said so and left as it was.
TEST_F(StartedWindowTest, ExportWritesTheListAsCsvAndJsonLines) {
    window->sendForm().addressHistory().add(u"Ann, \"boss\"=07700 900123"_qs);
    window->AddMessage(DeliverFrame("447700900123", "240315103100", "=1+2, \"quoted\"\nnext"));
    window->AddMessage(DeliverFrame("4412345", "240316103100", "plain"));
    SendFields series{u"+447700900999"_qs, {}, QString(170, u'x') + u"end"_qs, u"00"_qs, u"00"_qs};
    for (const QString &entry : BuildQueueEntry(series, LinkMode::Pdu, u"44").entries)
        window->AddMessage(
            BytesToHex(BuildFrame(HexToBytes(u"21067E0201"_qs + entry.section(u',', 3)))));
    ASSERT_EQ(window->messages().count(), 4);
    const QString name = u"Ann, \"boss\""_qs, joined = QString(170, u'x') + u"end"_qs;
    // In the list's order: the submitted parts (" Rel: A7", the second part's text sorting
    // first), then the received messages by time.
    const QStringList want[] = {
        {"", "submit", "+447700900999", "", joined, "2/2"},
        {"", "submit", "+447700900999", "", joined, "1/2"},
        {"2024-03-15T10:31:00+00:00", "deliver", "+447700900123", name, "'=1+2, \"quoted\"\r\nnext",
         ""},
        {"2024-03-16T10:31:00+00:00", "deliver", "+4412345", "", "plain", ""}};
    std::optional<ExportTarget> target;
    window->askExport = [&](QWidget *) -> QCoro::Task<std::optional<ExportTarget>> {
        co_return target;
    };
    for (ExportFormat format : {ExportFormat::Csv, ExportFormat::JsonLines}) {
        target = ExportTarget{dir.filePath(u"out"_qs), format};
        Click(window->ExportButton);
        QList<QStringList> rows;
        if (format == ExportFormat::Csv) {
            rows = table::CsvRecords(fileBytes(u"out"_qs));
            ASSERT_EQ(rows.value(0), QStringList({"time", "kind", "number", "name", "text", "part",
                                                  "status", "frame"}));
            rows.removeFirst();
        } else {
            for (const QByteArray &line : fileBytes(u"out"_qs).split('\n')) {
                const QJsonObject o = QJsonDocument::fromJson(line).object();
                QStringList row;
                for (QStringView key : kExportColumns)
                    row << o.value(key.toString()).toString();
                if (!line.isEmpty()) rows << row;
            }
            rows[2][4].prepend(u'\'');  // the CSV guards it, JSON Lines holds it as it is
        }
        ASSERT_EQ(rows.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const QString line = window->messages().at(i);
            EXPECT_EQ(rows[i].mid(0, 6), want[i]) << i;
            EXPECT_EQ(rows[i][6], DecodeListLine(line).typeCode.mid(3));
            EXPECT_EQ(rows[i][7], FrameOfStoredLine(line));
        }
    }
    EXPECT_TRUE(
        window->trace().text().contains(u"Exported 4 items to "_qs + dir.filePath(u"out"_qs)));
    // Under a search only the lines shown go out.
    QTest::keyClicks(window->SearchBox, "BOSS");
    target = ExportTarget{dir.filePath(u"out"_qs), ExportFormat::Csv};
    Click(window->ExportButton);
    const QList<QStringList> shown = table::CsvRecords(fileBytes(u"out"_qs));
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[1].mid(0, 6), want[2]);
    EXPECT_TRUE(
        window->trace().text().contains(u"Exported 1 item to "_qs + dir.filePath(u"out"_qs)));
    QTest::keyClick(window->SearchBox, Qt::Key_Escape);
    EXPECT_TRUE(asked.empty());
    const QByteArray before = fileBytes(u"out"_qs);
    {
        DiskFull full(4096);
        target = ExportTarget{dir.filePath(u"out"_qs), ExportFormat::Csv};
        for (int i = 0; i < 40; ++i)
            window->AddMessage(
                DeliverFrame("4412345", "240316103100", QString(150, QChar(u'a' + i % 26))));
        Click(window->ExportButton);
    }
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text,
              u"Error exporting to "_qs + dir.filePath(u"out"_qs) + u": File too large"_qs);
    EXPECT_EQ(fileBytes(u"out"_qs), before);
}

TEST_F(WindowTest, SetupDialogFillsAppliesAndSaves) {
    for (const QStringList &c : table::CellRows("app-setup.txt")) {
        SCOPED_TRACE((c[0].left(12) + u' ' + c[4] + u' ' + c[5]).toStdString());
        window.reset();
        QFile::remove(dir.filePath("vantel.ini"));
        QDir(dir.filePath("vantel.ini")).removeRecursively();
        if (c[0] == u"<folder>") QDir(dir.path()).mkdir("vantel.ini");
        if (!c[0].startsWith(u'<')) writeFile("vantel.ini", c[0].toLatin1());
        start();
        SetupForm &form = window->setupForm();
        ASSERT_EQ(form.isVisible(), c[0] == u"<none>");
        if (!form.isVisible() && c[4] != u"none") {
            ASSERT_TRUE(startupDone());
            QTest::mouseClick(window->SetupButton, Qt::LeftButton);
        }
        EXPECT_EQ(window->isVisible(), !form.isVisible());
        if (c[1] != u"-1") QTest::mouseClick(form.Speed[c[1].toInt()], Qt::LeftButton);
        if (c[2] != u"-1") QTest::mouseClick(form.Port[c[2].toInt()], Qt::LeftButton);
        // "1" ticks EchoSet; "P" ticks PduDelete first (no effect while it is disabled) and
        // then EchoSet and PduDelete.
        if (c[3] == u"P") QTest::mouseClick(form.PduDeleteBox, Qt::LeftButton);
        if (c[3] != u"0") QTest::mouseClick(form.EchoSetBox, Qt::LeftButton);
        if (c[3] == u"P") QTest::mouseClick(form.PduDeleteBox, Qt::LeftButton);
        if (c.size() > 8) {
            EXPECT_EQ(form.CountryCodeBox->text(), c[8]);
        }
        if (c.size() > 9) {
            form.CountryCodeBox->clear();
            QTest::keyClicks(form.CountryCodeBox, c[9]);
        }
        {
            DiskFull full(c[4].endsWith(u"disk") ? 16 : RLIM_INFINITY);
            if (c[4].startsWith(u"ok")) QTest::mouseClick(form.OKButton, Qt::LeftButton);
            if (c[4] == u"cancel") QTest::mouseClick(form.CancelButton, Qt::LeftButton);
            if (c[4] == u"escape") QTest::keyClick(form.OKButton, Qt::Key_Escape);
            if (c[4] == u"closebox") form.close();
            ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }) && startupDone());
        }
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(fileBytes("vantel.ini"), !c[5].isEmpty()         ? c[5].toLatin1()
                                           : c[0].startsWith(u'<') ? "<missing>"
                                                                   : c[0].toLatin1())
            << fileBytes("vantel.ini").data();
        EXPECT_EQ(window->trace().text().contains("Error saving INI file"), c[4].endsWith(u"disk"));
        EXPECT_EQ(window->link().serial().settings(), c[6]);
        EXPECT_EQ(window->link().serial().commPort(), c[7].toInt());
        EXPECT_TRUE(window->settings().debugMode || !c[0].startsWith(u'<'));
    }
}

#ifdef VANTEL_PHONESIM
// Sent through the simulated phone in each link mode, a message is kept in the sent list and in
// vantelsent.dat with the reference the phone gave, its line on disk before the entry leaves the
// queue. The status report the next retrieval brings sets its state; the viewer of a report
// names the message it reports on, or says that none matches.
class SentMessageTest : public WindowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SentMessageTest, IsKeptAndFollowedByItsStatusReport) {
    const bool pdu = GetParam();
    // A report on reference 99 (63), which nothing sent has.
    const QString stray = "0791947101670000066305912143F5423051010300404230510113004040";
    QProcess phone;
    phone.start(VANTEL_PHONESIM, {"--link", dir.filePath("com1"), "--no-samples", "--status-report",
                                  "00", "--message", "ME,0," + stray});
    QByteArray said;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (said += phone.readAllStandardOutput()).contains("ready "); }));
    writeFile("vantel.ini", pdu ? "Port=1\r\nPDUMode=1\r\n" : "Port=1\r\n");
    start();
    ASSERT_TRUE(startupDone());
    window->link().setTimeScale(0.1);
    window->transmitEntry = [this](QString e) { return window->TransmitEntry(e); };
    const QString entry = pdu ? "14,12345,0123,0791947101670000310005912143F50000A70361F118"
                              : "14,12345,,070200310005912143F50000A70361F118";
    QByteArray atRemoval;
    QObject::connect(&window->sendQueueModel(), &QAbstractItemModel::rowsRemoved,
                     [&] { atRemoval = fileBytes("vantelsent.dat"); });
    window->queueEntry(entry);
    window->Timer1_Timer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->sendQueueModel().count() == 0; }, 20000));
    const QRegularExpression line("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d,1," +
                                  QRegularExpression::escape(entry) + ",Awaiting report\r\n$");
    EXPECT_TRUE(line.match(QString::fromLatin1(atRemoval)).hasMatch()) << atRemoval.data();
    const SentMessages &sent = window->sentMessages();
    ASSERT_EQ(sent.count(), 1);
    const auto cell = [&](int column) { return sent.index(0, column).data().toString(); };
    EXPECT_EQ(QStringList({cell(1), cell(2), cell(3), cell(4)}),
              QStringList({"+12345", "abc", "part 1/1", "Awaiting report"}));

    QCoro::Task<> retrieval = window->AddButton_Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return retrieval.isReady(); }, 20000));
    EXPECT_EQ(cell(4), "Delivered 24/03/15 10:31");
    EXPECT_TRUE(fileBytes("vantelsent.dat").endsWith(",Delivered 24/03/15 10:31\r\n"));
    EXPECT_TRUE(window->trace().text().contains("Status report matches no sent message"));
    ASSERT_EQ(window->messages().count(), 2);
    QStringList reported;
    for (int row = 0; row < 2; ++row) {
        window->selectMessage(row);
        QCoro::Task<> viewing = viewer();
        reported << window->viewForm().ReportTag->text();
        Click(window->viewForm().CloseButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return viewing.isReady(); }));
    }
    reported.sort();
    EXPECT_EQ(reported,
              QStringList({"No sent message matches this report",
                           "The message sent " + cell(0) + " to +12345 (part 1/1): abc"}));

    // While vantelsent.dat cannot be written, a message that went out still leaves the queue and
    // stays listed; nothing more goes out until the whole file is written.
    ASSERT_TRUE(QFile::rename(dir.filePath("vantelsent.dat"), dir.filePath("old")) &&
                QDir(dir.path()).mkdir("vantelsent.dat"));
    for (const int listed : {2, 2, 3}) {
        if (listed == 3) {
            ASSERT_TRUE(QDir(dir.path()).rmdir("vantelsent.dat"));
        }
        if (window->sendQueueModel().count() == 0) window->queueEntry(entry);
        window->Timer1_Timer();
        ASSERT_TRUE(QTest::qWaitFor([&] { return sent.count() == listed && !window->busy(); }));
    }
    EXPECT_TRUE(
        window->trace().text().contains("Send queue held back: vantelsent.dat cannot be written"));
    EXPECT_EQ(window->sendQueueModel().count(), 0);
    EXPECT_EQ(fileBytes("vantelsent.dat").count("\r\n"), 3);
    phone.terminate();
    phone.waitForFinished(3000);
}
INSTANTIATE_TEST_SUITE_P(LinkModes, SentMessageTest, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "PduMode" : "BlockMode"; });
#endif

}  // namespace
}  // namespace vantel::test

namespace vantel::test {
namespace {

QCoro::Task<> AskPinInto(QWidget *parent, std::optional<std::optional<QString>> *got) {
    *got = co_await AskPinBox(parent, QStringLiteral("The SIM asks for its PIN."));
}

// The PIN box: a password field that takes 4 to 8 digits and nothing else; Cancel gives no PIN.
TEST(PinBox, TakesFourToEightDigitsUnseenOrNothing) {
    QWidget parent;
    for (const bool accept : {true, false}) {
        std::optional<std::optional<QString>> got;
        QCoro::Task<> asking = AskPinInto(&parent, &got);
        auto *box = parent.findChild<QDialog *>(QStringLiteral("PinBox"));
        ASSERT_TRUE(box && box->isVisible());
        auto *field = box->findChild<QLineEdit *>(QStringLiteral("PinBox"));
        auto *ok = box->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        ASSERT_TRUE(field && ok);
        EXPECT_EQ(field->echoMode(), QLineEdit::Password);
        QTest::keyClicks(field, QStringLiteral("12a\"4"));
        EXPECT_EQ(field->text(), QStringLiteral("124"));
        EXPECT_FALSE(ok->isEnabled());
        QTest::keyClicks(field, QStringLiteral("567890"));
        EXPECT_EQ(field->text(), QStringLiteral("12456789"));
        EXPECT_TRUE(ok->isEnabled());
        QTest::mouseClick(
            accept ? ok : box->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel),
            Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return got.has_value(); }));
        EXPECT_EQ(*got, accept ? std::optional<QString>(u"12456789"_qs) : std::nullopt);
    }
}

}  // namespace
}  // namespace vantel::test
