// The viewer driven through its real windows: paging, delete, technical view, copy and reply.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "blockmode/diagnostics.h"
#include "compose/sendform.h"
#include "tests/dialogs/testhost.h"
#include "views/technicalview.h"
#include "views/viewer.h"
#include "views/viewform.h"

namespace vantel::test {
namespace {

// SMS-DELIVER from +447712345678 through +447785016005, "hello", 99/07/12 14:00:00.
const QString kInternational =
    u"21067E0201"
    u"0791447758100650"
    u"040C91447721436587000099702141000000"
    u"05E8329BFD06"_qs;
// SMS-DELIVER from 12345 of type Unknown E.164, no service centre, "abc", 99/07/12 15:00:00.
const QString kUnknownType =
    u"21067E0201"
    u"00"
    u"0405812143F5000099702151000000"
    u"0361F118"_qs;
// SMS-SUBMIT to 12345 with DCS 04 (8 bit), user data 0A0B0C.
const QString kEightBitSubmit =
    u"21067E0201"
    u"00"
    u"11000591"
    u"2143F5"
    u"0004A7030A0B0C"_qs;
// SMS-DELIVER in UCS2 from +447712345678: "\u041f\u0440\u0438\u0432\u0435\u0442".
const QString kUcs2 =
    u"21067E0201"
    u"00"
    u"040C914477214365870008"
    u"99702141000000"
    u"0C041F04400438043204350442"_qs;
// A message in two parts (8-bit reference 4C) and a status report, as phones stored them, and
// a UCS2 message from the alphanumeric sender "InternetSMS".
const QString kPart1 =
    u"21067E0201"
    u"07912160130320F5440B916171056429F5000021405291650569A00500034C0201A9E8"
    u"F41C949E83C2207B599E07B1DFEE33885E9ED341E4F23C7D7697C920FA1B54C697E5E3"
    u"F4BC0C6AD7D9F434081E96D341E3303C2C4EB3D3F4BC0B94A483E6E8779D4D06CDD1EF"
    u"3BA80E0785E7A0B7BB0C6A97E7F3F0B9CC02B9DF7450780EA2DFDF2C50780EA2A3CBA0"
    u"BA9B5C96B3F369F71954768FDFE4B4FB0C9297E1F2F2BCECA6CF41"_qs;
const QString kPart2 =
    u"21067E0201"
    u"07912160130320F6440B916171056429F5000021405291651569320500034C0202E9E8"
    u"301D44479741F0B09C3E0785E56590BCCC0ED3CB6410FD0D7ABBCBA0B0FB4D4797E52E"
    u"10"_qs;
const QString kReport =
    u"21067E0201"
    u"079124603050020006E80C91666666666666909070618422809090706184628000"_qs;
const QString kAlphanumeric =
    u"21067E0201"
    u"07919730071111F10414D04937BD2C7797E9D3E6140008113092910240610804420435"
    u"04410442"_qs;
// GET MESSAGE FAILURE: a stored frame that is no SMS message.
const QString kNotSms = u"220000"_qs;

class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.ask = asks.fn();
        FillSendFormLists(send);
    }
    void TearDown() override {
        // No test may leave a driver waiting on windows that are about to go.
        if (view.isVisible()) Click(view.CloseButton);
        if (send.isVisible()) Click(send.QuitButton);
    }

    // Adds list lines and returns their rows in the same order (the list sorts them).
    std::vector<int> Load(std::initializer_list<QString> contents) {
        QStringList lines;
        for (const QString &c : contents)
            lines << LineOf(c);
        host.list.addMany(lines);
        std::vector<int> rows;
        for (const QString &line : lines)
            rows.push_back(host.list.indexOf(line));
        return rows;
    }
    QCoro::Task<> Start() {
        QCoro::Task<> task = ShowMessageViewer(host, forms);
        Settle();
        return task;
    }
    static void Click(QPushButton *button) {
        ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
        Settle();
    }
    QString Shown() const { return view.Frame1->title(); }

    TestHost host;
    ViewForm view;
    TechnicalView technical;
    SendForm send;
    AskRecorder asks;
    ViewerForms forms{&view, &technical, &send};
};

TEST_F(ViewerTest, EmptyListOrBusyHostOnlyBeeps) {
    QCoro::Task<> empty = Start();
    EXPECT_TRUE(empty.isReady());
    EXPECT_EQ(host.beeps, 1);
    EXPECT_FALSE(view.isVisible());

    Load({kInternational});
    host.busyFlag = true;
    QCoro::Task<> busy = Start();
    EXPECT_TRUE(busy.isReady());
    EXPECT_EQ(host.beeps, 2);
    EXPECT_FALSE(view.isVisible());
    EXPECT_TRUE(host.mainVisible);
}

TEST_F(ViewerTest, ShowsEveryFieldOfTheSelectedMessage) {
    struct Case {
        const QString *content;
        QString frame, addressLabel, address, sc, pid, dcs, time, message;
    };
    const Case cases[] = {
        {&kInternational, u"(MT)"_qs, u"From"_qs, u"+447712345678"_qs, u"+447785016005"_qs,
         u"Default"_qs, u"GSM Default Alphabet"_qs, u"99/07/12 14:00:00 GMT+0.00H"_qs, u"hello"_qs},
        {&kUnknownType,
         u"(MT)"_qs,
         u"From"_qs,
         u"12345 (Unknown E.164)"_qs,
         {},
         u"Default"_qs,
         u"GSM Default Alphabet"_qs,
         u"99/07/12 15:00:00 GMT+0.00H"_qs,
         u"abc"_qs},
        {&kEightBitSubmit,
         u"(MO)"_qs,
         u"To"_qs,
         u"+12345"_qs,
         {},
         u"Default"_qs,
         u"8 bit"_qs,
         u" Rel: A7"_qs,
         u"0A0B0C"_qs},
        {&kNotSms,
         u"(UN)"_qs,
         u"From"_qs,
         {},
         {},
         u"Default"_qs,
         u"GSM Default Alphabet"_qs,
         {},
         u"<not an SMS message>"_qs},
    };
    const std::vector<int> rows = Load({kInternational, kUnknownType, kEightBitSubmit, kNotSms});
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const Case &c = cases[i];
        host.selected = rows[i];
        QCoro::Task<> task = Start();
        EXPECT_EQ(Shown(), QStringLiteral("Message %1 %2").arg(rows[i] + 1).arg(c.frame));
        EXPECT_EQ(view.AddressLabel->text(), c.addressLabel);
        EXPECT_EQ(view.AddressTag->text(), c.address);
        EXPECT_EQ(view.SCAddressTag->text(), c.sc);
        EXPECT_EQ(view.PIDTag->text(), c.pid);
        EXPECT_EQ(view.DCSTag->text(), c.dcs);
        EXPECT_EQ(view.TimeStampTag->text(), c.time);
        EXPECT_EQ(view.MessageBox->toPlainText(), c.message);
        EXPECT_EQ(view.MessageBox->textCursor().position(), 0);
        Click(view.CloseButton);
        EXPECT_TRUE(task.isReady());
    }
}

TEST_F(ViewerTest, ShowsUnicodeReportsAndWholeConcatenatedMessages) {
    const QString part1 =
        u"This is a very long test designed to exercise multi part capability. It should show up "
        "as one message, not as two, as the underlying encoding represents "_qs;
    const QString part2 = u"that the parts are related to one another. "_qs;
    // The second part arrives first: while the first is missing it shows alone.
    const int alone = Load({kPart2})[0];
    host.selected = alone;
    QCoro::Task<> first = Start();
    EXPECT_EQ(Shown(), QStringLiteral("Message %1 (MT), part 2 of 2").arg(alone + 1));
    EXPECT_EQ(view.MessageBox->toPlainText(), part2);
    Click(view.CloseButton);

    const std::vector<int> rows = Load({kUcs2, kPart1, kReport});
    struct Case {
        int row;
        QString title, addressLabel, address, pidLabel, pid, dcs, time, message;
    };
    const Case cases[] = {
        {rows[0], u"(MT)"_qs, u"From"_qs, u"+447712345678"_qs, u"Protocol ID"_qs, u"Default"_qs,
         u"UCS2 (16 bit)"_qs, u"99/07/12 14:00:00 GMT+0.00H"_qs,
         u"\u041f\u0440\u0438\u0432\u0435\u0442"_qs},
        {rows[1], u"(MT), part 1 of 2"_qs, u"From"_qs, u"+16175046925"_qs, u"Protocol ID"_qs,
         u"Default"_qs, u"GSM Default Alphabet"_qs, u"12/04/25 19:56:50 GMT-4.00H"_qs,
         part1 + part2},
        {host.list.indexOf(LineOf(kPart2)), u"(MT), part 2 of 2"_qs, u"From"_qs, u"+16175046925"_qs,
         u"Protocol ID"_qs, u"Default"_qs, u"GSM Default Alphabet"_qs,
         u"12/04/25 19:56:51 GMT-4.00H"_qs, part1 + part2},
        {rows[2], u"(SR)"_qs, u"Recipient"_qs, u"+666666666666"_qs, u"Status"_qs,
         u"Short message received by the SME"_qs, u"GSM Default Alphabet"_qs,
         u"09/09/07 16:48:26 GMT+2.00H"_qs, u"Short message received by the SME"_qs},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.title.toStdString());
        host.selected = c.row;
        QCoro::Task<> task = Start();
        EXPECT_EQ(Shown(), QStringLiteral("Message %1 %2").arg(c.row + 1).arg(c.title));
        EXPECT_EQ(view.AddressLabel->text(), c.addressLabel);
        EXPECT_EQ(view.AddressTag->text(), c.address);
        EXPECT_EQ(view.Label3->text(), c.pidLabel);
        EXPECT_EQ(view.PIDTag->text(), c.pid);
        EXPECT_EQ(view.DCSTag->text(), c.dcs);
        EXPECT_EQ(view.TimeStampTag->text(), c.time);
        EXPECT_EQ(view.MessageBox->toPlainText(), c.message);
        Click(view.CloseButton);
        EXPECT_TRUE(task.isReady());
    }
}

TEST_F(ViewerTest, ReplyGoesToANumberTheSendFormCanSend) {
    const std::vector<int> rows = Load({kUnknownType, kAlphanumeric, kInternational});
    const struct {
        int row;
        QString to, sc;
        bool traced;
    } cases[] = {
        {rows[0], u"12345"_qs, u""_qs, false},
        {rows[1], u""_qs, u"+79037011111"_qs, true},
        {rows[2], u"+447712345678"_qs, u"+447785016005"_qs, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.row);
        host.traced.clear();
        host.selected = c.row;
        QCoro::Task<> task = Start();
        Click(view.ReplyButton);
        EXPECT_TRUE(send.isVisible());
        EXPECT_EQ(send.ToBox->currentText(), c.to);
        EXPECT_EQ(send.SCBox->currentText(), c.sc);
        EXPECT_EQ(host.traced.size(), c.traced ? 1 : 0);
        if (c.traced) {
            EXPECT_EQ(host.traced[0],
                      u"Reply: the sender \"InternetSMS\" is a name, not a "
                      "number: type the destination"_qs);
        }
        Click(send.QuitButton);
        EXPECT_TRUE(task.isReady());
    }
}

TEST_F(ViewerTest, PagingMovesTheSelectionAndEnablesPrevAndNext) {
    Load({kInternational, kUnknownType, kEightBitSubmit});
    QCoro::Task<> task = Start();
    EXPECT_TRUE(view.isVisible());
    EXPECT_FALSE(host.mainVisible);
    EXPECT_TRUE(host.busyFlag);
    EXPECT_EQ(host.selected, 0);  // nothing was selected: the first entry

    struct Step {
        QPushButton *ViewForm::*button;
        int selected;
        bool prev, next;
    };
    const Step steps[] = {
        {nullptr, 0, false, true},
        {&ViewForm::NextButton, 1, true, true},
        {&ViewForm::NextButton, 2, true, false},
        {&ViewForm::PrevButton, 1, true, true},
        {&ViewForm::PrevButton, 0, false, true},
    };
    for (const Step &step : steps) {
        if (step.button) Click(view.*step.button);
        SCOPED_TRACE(step.selected);
        EXPECT_EQ(host.selected, step.selected);
        EXPECT_TRUE(Shown().startsWith(QStringLiteral("Message %1 (").arg(step.selected + 1)));
        EXPECT_EQ(view.PrevButton->isEnabled(), step.prev);
        EXPECT_EQ(view.NextButton->isEnabled(), step.next);
    }

    Click(view.CloseButton);
    EXPECT_TRUE(task.isReady());
    EXPECT_FALSE(view.isVisible());
    EXPECT_TRUE(host.mainVisible);
    EXPECT_FALSE(host.busyFlag);
}

TEST_F(ViewerTest, SingleMessageHasPrevAndNextDisabled) {
    Load({kUnknownType});
    QCoro::Task<> task = Start();
    EXPECT_FALSE(view.PrevButton->isEnabled());
    EXPECT_FALSE(view.NextButton->isEnabled());
    Click(view.CloseButton);
    EXPECT_TRUE(task.isReady());
}

TEST_F(ViewerTest, DeleteAsksAndCancelKeepsTheMessage) {
    Load({kInternational, kUnknownType});
    QCoro::Task<> task = Start();
    asks.answer = QMessageBox::Cancel;
    Click(view.LocalDeleteButton);
    ASSERT_EQ(asks.asked.size(), 1u);
    EXPECT_EQ(asks.asked[0].text, u"This will delete the message from the PC");
    EXPECT_EQ(asks.asked[0].icon, QMessageBox::Critical);
    EXPECT_EQ(asks.asked[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(asks.asked[0].defaultButton, QMessageBox::Cancel);
    EXPECT_EQ(host.list.count(), 2);
    EXPECT_FALSE(task.isReady());
    Click(view.CloseButton);
}

TEST_F(ViewerTest, DeleteShowsTheNeighbourAndTheLastDeleteEndsTheViewer) {
    const std::vector<int> rows = Load({kInternational, kUnknownType, kEightBitSubmit});
    QStringList lines = host.list.items();
    QCoro::Task<> task = Start();

    // Message 1 of 3: the new message 1 is what was message 2.
    Click(view.LocalDeleteButton);
    EXPECT_EQ(host.list.items(), (QStringList{lines[1], lines[2]}));
    EXPECT_EQ(host.selected, 0);
    EXPECT_EQ(Shown(), u"Message 1 (MT)");
    EXPECT_EQ(view.AddressTag->text(), u"+447712345678");

    // The last of 2: message 1 is shown again.
    Click(view.NextButton);
    Click(view.LocalDeleteButton);
    EXPECT_EQ(host.list.items(), QStringList{lines[1]});
    EXPECT_EQ(host.selected, 0);
    EXPECT_FALSE(view.NextButton->isEnabled());

    // The only message: the viewer ends and the main window returns.
    Click(view.LocalDeleteButton);
    EXPECT_EQ(host.list.count(), 0);
    EXPECT_TRUE(task.isReady());
    EXPECT_FALSE(view.isVisible());
    EXPECT_TRUE(host.mainVisible);
    EXPECT_FALSE(host.busyFlag);
    (void)rows;
}

TEST_F(ViewerTest, DeleteOfAMiddleMessageShowsTheOneBefore) {
    Load({kInternational, kUnknownType, kEightBitSubmit, kNotSms});
    host.selected = 3;
    QCoro::Task<> task = Start();
    Click(view.LocalDeleteButton);
    EXPECT_EQ(host.selected, 2);
    EXPECT_TRUE(Shown().startsWith(u"Message 3 ("));
    Click(view.CloseButton);
    EXPECT_TRUE(task.isReady());
}

TEST_F(ViewerTest, EntryFailingTheFrameCheckShowsEmptyFields) {
    QString broken = FrameOf(kInternational);
    broken.back() = broken.back() == u'0' ? u'1' : u'0';
    host.list.add(LineOf(kInternational));
    host.list.add(MakeListLine(broken).line);
    ASSERT_TRUE(host.list.at(1).startsWith(u"<invalid checksum>"));

    QCoro::Task<> task = Start();
    EXPECT_EQ(view.AddressTag->text(), u"+447712345678");
    Click(view.NextButton);
    EXPECT_EQ(Shown(), u"Message 2 (UN)");
    EXPECT_EQ(view.MessageBox->toPlainText(), u"<invalid message>");
    EXPECT_EQ(view.AddressLabel->text(), u"From");
    EXPECT_EQ(view.AddressTag->text(), u"");
    EXPECT_EQ(view.SCAddressTag->text(), u"");
    EXPECT_EQ(view.TimeStampTag->text(), u"");
    EXPECT_EQ(view.PIDTag->text(), u"Default");
    EXPECT_EQ(view.DCSTag->text(), u"GSM Default Alphabet");
    Click(view.CloseButton);
    EXPECT_TRUE(task.isReady());
}

TEST_F(ViewerTest, TechnicalViewShowsTheSameTextEachTimeAndReturnsToTheMessage) {
    Load({kInternational, kUnknownType});
    host.selected = 1;
    QCoro::Task<> task = Start();
    const QString before = Shown();
    const QString expected = DescribeBlockMessage(host.list.at(1));
    ASSERT_FALSE(expected.isEmpty());

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Click(view.DetailButton);
        EXPECT_TRUE(technical.isVisible());
        EXPECT_FALSE(view.isVisible());
        EXPECT_EQ(technical.MessageBox->toPlainText(),
                  QString(expected).replace(u"\r\n"_qs, u"\n"_qs));
        if (round == 0) {
            EXPECT_EQ(technical.focusWidget(), technical.OKButton);  // so Enter closes it
            QTest::keyClick(technical.focusWidget(), Qt::Key_Return);
            Settle();
        } else {
            technical.close();  // the close box acts like OK
            Settle();
        }
        EXPECT_FALSE(technical.isVisible());
        EXPECT_TRUE(view.isVisible());
        EXPECT_EQ(Shown(), before);
        EXPECT_EQ(host.selected, 1);
        EXPECT_TRUE(view.PrevButton->isEnabled());
        EXPECT_FALSE(view.NextButton->isEnabled());
    }
    Click(view.CloseButton);
    EXPECT_TRUE(task.isReady());
}

TEST_F(ViewerTest, CloseButtonCloseBoxAndEscapeEndTheViewer) {
    Load({kInternational});
    const std::function<void()> closers[] = {
        [&] { Click(view.CloseButton); },
        [&] { view.close(); },
        [&] { QTest::keyClick(&view, Qt::Key_Escape); },
    };
    for (const auto &close : closers) {
        QCoro::Task<> task = Start();
        ASSERT_TRUE(view.isVisible());
        close();
        Settle();
        EXPECT_TRUE(task.isReady());
        EXPECT_FALSE(view.isVisible());
        EXPECT_TRUE(host.mainVisible);
        EXPECT_FALSE(host.busyFlag);
    }
    EXPECT_TRUE(asks.asked.empty());
}

TEST_F(ViewerTest, CopyFillsTheCopyBufferAndKeepsTheViewerOpen) {
    Load({kInternational});
    QCoro::Task<> task = Start();
    Click(view.CopyButton);
    EXPECT_FALSE(task.isReady());
    EXPECT_EQ(host.copy.address, u"+447712345678");
    EXPECT_EQ(host.copy.scAddress, u"+447785016005");
    EXPECT_EQ(host.copy.text, u"hello");
    Click(view.CloseButton);
}

TEST_F(ViewerTest, ReplyOpensTheSendFormFilledFromTheMessage) {
    Load({kInternational});
    send.setMessageText(u"left over"_qs);
    QCoro::Task<> task = Start();
    Click(view.ReplyButton);
    EXPECT_FALSE(view.isVisible());
    EXPECT_TRUE(send.isVisible());
    EXPECT_FALSE(host.mainVisible);
    EXPECT_FALSE(host.busyFlag);
    EXPECT_EQ(send.ToBox->currentText(), u"+447712345678");
    EXPECT_EQ(send.SCBox->currentText(), u"+447785016005");
    EXPECT_EQ(send.messageText(), u"hello");
    EXPECT_FALSE(task.isReady());

    Click(send.QuitButton);
    EXPECT_TRUE(task.isReady());
    EXPECT_TRUE(host.mainVisible);
    EXPECT_TRUE(host.queued.isEmpty());
}

TEST_F(ViewerTest, KeyReachingTheFormShowsItsCode) {
    Load({kInternational});
    QCoro::Task<> task = Start();
    // One message: Next and Prev are disabled, so their accelerators find no button.
    ASSERT_FALSE(view.NextButton->isEnabled());
    ASSERT_FALSE(view.PrevButton->isEnabled());
    const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {
        {Qt::Key_Return, {}}, {Qt::Key_N, Qt::AltModifier},     {Qt::Key_P, Qt::AltModifier},
        {Qt::Key_A, {}},      {Qt::Key_B, Qt::ControlModifier},
    };
    for (const auto &[key, modifiers] : keys)
        QTest::keyClick(&view, key, modifiers);
    std::vector<QString> shown;
    for (const auto &a : asks.asked)
        shown.push_back(a.text);
    EXPECT_EQ(shown, (std::vector<QString>{u" 13"_qs, u" 97"_qs}));
    Settle();
    EXPECT_FALSE(task.isReady());
    Click(view.CloseButton);
}

TEST_F(ViewerTest, ControlsAreFoundByNameWithTheirCaptions) {
    struct Control {
        QWidget *window;
        const char *name;
        QString caption;
    };
    const Control controls[] = {
        {&view, "ReplyButton", u"&Reply"_qs}, {&view, "CopyButton", u"C&opy"_qs},
        {&view, "DetailButton", u"&Tech"_qs}, {&view, "PrevButton", u"&Prev"_qs},
        {&view, "NextButton", u"&Next"_qs},   {&view, "LocalDeleteButton", u"&Delete"_qs},
        {&view, "CloseButton", u"&Close"_qs}, {&technical, "OKButton", u"&OK"_qs},
        {&send, "SendButton", u"&Send"_qs},   {&send, "Command1", u"&Paste"_qs},
        {&send, "QuitButton", u"&Quit"_qs},
    };
    for (const Control &c : controls) {
        auto *button = c.window->findChild<QPushButton *>(QLatin1String(c.name));
        ASSERT_NE(button, nullptr) << c.name;
        EXPECT_EQ(button->text(), c.caption);
        EXPECT_EQ(button->shortcut(), QKeySequence::mnemonic(c.caption)) << c.name;
    }
    for (const char *name : {"AddressLabel", "AddressTag", "Label2", "SCAddressTag", "Label3",
                             "PIDTag", "Label4", "DCSTag", "Label1", "TimeStampTag"}) {
        EXPECT_NE(view.findChild<QLabel *>(QLatin1String(name)), nullptr) << name;
    }
    EXPECT_EQ(view.windowTitle(), u"Vantel - Message View");
    EXPECT_EQ(technical.windowTitle(), u"Vantel - Technical View");
    EXPECT_EQ(technical.Frame1->title(), u"Technical Detail");
}

}  // namespace
}  // namespace vantel::test
