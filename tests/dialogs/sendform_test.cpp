// The send form driven through its real widgets: to SendQueue, limits, histories, close paths.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "compose/sendform.h"
#include "tests/dialogs/testhost.h"

namespace vantel::test {
namespace {

class SendFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        form.ask = asks.fn();
        FillSendFormLists(form);
        QObject::connect(&form, &SendForm::beep, [this] { host.beep(); });
    }
    void TearDown() override {
        if (form.isVisible()) Click(form.QuitButton);
    }
    QCoro::Task<> Start() {
        QCoro::Task<> task = ShowSendForm(host, form);
        Settle();
        return task;
    }
    static void Click(QPushButton *button) {
        QTest::mouseClick(button, Qt::LeftButton);
        Settle();
    }
    static void Type(QComboBox *box, const QString &text) {
        box->lineEdit()->clear();
        QTest::keyClicks(box->lineEdit(), text);
    }
    void TypeMessage(const QString &text) {
        form.MessageWindow->clear();
        QTest::keyClicks(form.MessageWindow, text);
    }
    static QStringList Items(const SortedListModel &model) { return model.items(); }

    TestHost host;
    SendForm form;
    AskRecorder asks;
};

TEST_F(SendFormTest, ChoiceListsHoldEveryEntryWithTheFirstChosen) {
    ASSERT_EQ(form.PIDBox->count(), 31);
    ASSERT_EQ(form.DCSBox->count(), 62);
    EXPECT_EQ(form.PIDBox->currentText(), u"00=Default");
    EXPECT_EQ(form.DCSBox->currentText(), u"00=GSM Default Alphabet");
    EXPECT_EQ(form.PIDBox->itemText(19), u"3F=GSM mobile");
    EXPECT_EQ(form.PIDBox->itemText(30), u"7F=SIM Data Download");
    EXPECT_EQ(form.DCSBox->itemText(30), u"C0=VoiceMail Inactive (discard)");
    EXPECT_EQ(form.DCSBox->itemText(58), u"F4=8 bit Immediate");
    EXPECT_EQ(form.DCSBox->itemText(61), u"F7=8 bit TE Specific");
    EXPECT_EQ(form.SCBox->currentText(), u"");
    EXPECT_EQ(form.windowTitle(), u"Send an SMS Message");
}

TEST_F(SendFormTest, WorkedExampleGoesToTheQueueInEachLinkMode) {
    struct Case {
        bool pdu, skipSca;
        QString entry;
    };
    const Case cases[] = {
        {false, false, u"14,12345,0123,070204914421F3110005912143F50000A70361F118"_qs},
        {true, false, u"14,12345,0123,04914421F3110005912143F50000A70361F118"_qs},
        {true, true, u"14,12345,0123,110005912143F50000A70361F118"_qs},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry.toStdString());
        host.queued.clear();
        host.pdu = c.pdu;
        host.skipSca = c.skipSca;
        QCoro::Task<> task = Start();
        EXPECT_TRUE(form.isVisible());
        EXPECT_FALSE(host.mainVisible);
        Type(form.ToBox, u"12345"_qs);
        Type(form.SCBox, u"0123"_qs);
        TypeMessage(u"abc"_qs);
        Click(form.SendButton);
        EXPECT_TRUE(task.isReady());
        EXPECT_EQ(host.queued, QStringList{c.entry});
        EXPECT_FALSE(form.isVisible());
        EXPECT_TRUE(host.mainVisible);
    }
    // Typing alone adds nothing to the histories.
    EXPECT_TRUE(Items(form.addressHistory()).isEmpty());
}

TEST_F(SendFormTest, CheckBoxesAndEightBitChoiceReachTheEntry) {
    QCoro::Task<> task = Start();
    Type(form.ToBox, u"12345"_qs);
    Type(form.SCBox, u"0123"_qs);
    form.DCSBox->setCurrentIndex(form.DCSBox->findText(u"F5=8 bit ME Specific"_qs));
    form.PIDBox->setCurrentIndex(form.PIDBox->findText(u"3F=GSM mobile"_qs));
    QTest::mouseClick(form.RPBox, Qt::LeftButton);
    QTest::mouseClick(form.SRRBox, Qt::LeftButton);
    TypeMessage(u"0A0B0C"_qs);
    Click(form.SendButton);
    EXPECT_TRUE(task.isReady());
    EXPECT_EQ(host.queued,
              QStringList{u"14,12345,0123,070204914421F3510005912143F53FF5A7030A0B0C"_qs});
}

TEST_F(SendFormTest, NameInTheDestinationGoesToTheHistoryAndOverridesTheServiceCentre) {
    QCoro::Task<> task = Start();
    Type(form.ToBox, u"Bob=12345,0123"_qs);
    Type(form.SCBox, u"999"_qs);
    TypeMessage(u"abc"_qs);
    Click(form.SendButton);
    EXPECT_EQ(host.queued,
              QStringList{u"14,12345,0123,070204914421F3110005912143F50000A70361F118"_qs});
    EXPECT_EQ(Items(form.addressHistory()), QStringList{u"Bob=12345,0123"_qs});
    EXPECT_TRUE(task.isReady());
}

TEST_F(SendFormTest, EmptyTextIsRefusedAndTheFormStaysOpen) {
    QCoro::Task<> task = Start();
    Type(form.ToBox, u"12345"_qs);
    Click(form.SendButton);
    ASSERT_EQ(asks.asked.size(), 1u);
    EXPECT_EQ(asks.asked[0].text, u"No text to send");
    EXPECT_EQ(asks.asked[0].icon, QMessageBox::Critical);
    EXPECT_EQ(asks.asked[0].buttons, QMessageBox::Ok);
    EXPECT_FALSE(task.isReady());
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(host.queued.isEmpty());
    EXPECT_EQ(form.ToBox->currentText(), u"12345");

    // Any other coding lets an empty message through.
    form.DCSBox->setCurrentIndex(form.DCSBox->findText(u"F0=GSM Default Immediate"_qs));
    Click(form.SendButton);
    EXPECT_TRUE(task.isReady());
    ASSERT_EQ(host.queued.size(), 1);
    EXPECT_TRUE(host.queued[0].endsWith(u"F0A700"));
}

TEST_F(SendFormTest, BusyHostOnlyBeeps) {
    host.busyFlag = true;
    QCoro::Task<> task = Start();
    EXPECT_TRUE(task.isReady());
    EXPECT_EQ(host.beeps, 1);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(host.mainVisible);
}

TEST_F(SendFormTest, QuitCloseBoxAndEscapeQueueNothingAndKeepTheFields) {
    const std::function<void()> closers[] = {
        [&] { Click(form.QuitButton); },
        [&] { form.close(); },
        [&] { QTest::keyClick(&form, Qt::Key_Escape); },
    };
    for (const auto &close : closers) {
        QCoro::Task<> task = Start();
        Type(form.ToBox, u"12345"_qs);
        TypeMessage(u"kept"_qs);
        QTest::mouseClick(form.RPBox, Qt::LeftButton);
        close();
        Settle();
        EXPECT_TRUE(task.isReady());
        EXPECT_FALSE(form.isVisible());
        EXPECT_TRUE(host.mainVisible);
        EXPECT_TRUE(host.queued.isEmpty());

        QCoro::Task<> again = Start();
        EXPECT_EQ(form.ToBox->currentText(), u"12345");
        EXPECT_EQ(form.messageText(), u"kept");
        EXPECT_TRUE(form.RPBox->isChecked());
        form.RPBox->setChecked(false);
        Click(form.QuitButton);
        EXPECT_TRUE(again.isReady());
    }
}

// 255 parts of 153 septets: the longest text a concatenated series carries.
constexpr qsizetype kLongest = 255 * 153;

TEST_F(SendFormTest, PasteFillsTheFieldsFromTheCopyBufferAndCutsTheText) {
    host.copy = {u"+447712345678"_qs, u"+447785016005"_qs, QString(200, u'x')};
    QCoro::Task<> task = Start();
    Click(form.Command1);
    EXPECT_EQ(form.ToBox->currentText(), u"+447712345678");
    EXPECT_EQ(form.SCBox->currentText(), u"+447785016005");
    EXPECT_EQ(form.messageText(), QString(200, u'x'));
    EXPECT_EQ(form.CharsLabel->text(), u"200\n2 parts");
    EXPECT_EQ(host.beeps, 0);

    host.copy.text = QString(kLongest + 7, u'x');
    Click(form.Command1);
    EXPECT_EQ(form.messageText(), QString(kLongest, u'x'));
    EXPECT_EQ(form.CharsLabel->text(), QStringLiteral("%1\n255 parts").arg(kLongest));
    EXPECT_EQ(form.MessageWindow->textCursor().position(), kLongest);
    EXPECT_EQ(host.beeps, 1);
}

TEST_F(SendFormTest, LimitFollowsTheCodingAtTheTimeOfTheChange) {
    form.DCSBox->setCurrentIndex(form.DCSBox->findText(u"F4=8 bit Immediate"_qs));
    form.setMessageText(QString(200, u'A'));
    EXPECT_EQ(form.CharsLabel->text(), u"200");
    EXPECT_EQ(host.beeps, 0);
    form.setMessageText(QString(300, u'A'));
    EXPECT_EQ(form.messageText().size(), 280);
    EXPECT_EQ(form.CharsLabel->text(), u"280");
    EXPECT_EQ(host.beeps, 1);

    // DCS 04 is 8-bit too.
    form.DCSBox->setCurrentIndex(form.DCSBox->findText(u"04=8 bit"_qs));
    form.setMessageText(QString(282, u'A'));
    EXPECT_EQ(form.messageText().size(), 280);
    EXPECT_EQ(host.beeps, 2);

    // In text mode the parts count: 280 septets are two, 71 UCS2 characters two as well.
    form.DCSBox->setCurrentIndex(0);
    form.MessageWindow->moveCursor(QTextCursor::End);
    QTest::keyClick(form.MessageWindow, Qt::Key_B);
    EXPECT_EQ(form.CharsLabel->text(), u"281\n2 parts");
    form.DCSBox->setCurrentIndex(form.DCSBox->findText(u"08=UCS2 (16 bit)"_qs));
    form.setMessageText(QString(70, u'\u0448'));
    EXPECT_EQ(form.CharsLabel->text(), u"70");
    form.setMessageText(QString(71, u'\u0448'));
    EXPECT_EQ(form.CharsLabel->text(), u"71\n2 parts");
    form.setMessageText(QString(255 * 67 + 1, u'\u0448'));
    EXPECT_EQ(form.messageText().size(), 255 * 67);
    EXPECT_EQ(host.beeps, 3);
}

TEST_F(SendFormTest, LineBreakCountsAsCarriageReturnAndLineFeed) {
    TypeMessage(u"ab"_qs);
    QTest::keyClick(form.MessageWindow, Qt::Key_Return);
    QTest::keyClicks(form.MessageWindow, u"cd"_qs);
    EXPECT_EQ(form.messageText(), u"ab\r\ncd");
    EXPECT_EQ(form.CharsLabel->text(), u"6");

    // A cut never leaves half a line break behind.
    form.setMessageText(QString(kLongest - 1, u'x') + u"\r\nyz"_qs);
    EXPECT_EQ(form.messageText(), QString(kLongest - 1, u'x'));
}

TEST_F(SendFormTest, LongTextGoesToTheQueueAsOneEntryPerPart) {
    host.pdu = true;
    host.skipSca = true;
    form.setNextReference(0x42);
    QCoro::Task<> task = Start();
    Type(form.ToBox, u"12345"_qs);
    form.setMessageText(QString(153, u'a') + u"bcdefghi"_qs);
    QTest::mouseClick(form.SRRBox, Qt::LeftButton);
    Click(form.SendButton);
    EXPECT_TRUE(task.isReady());
    EXPECT_EQ(host.queued,
              (QStringList{u"151,12345,,710005912143F50000A7A0050003420201C2"_qs +
                               u"E170381C0E87C3"_qs.repeated(19),
                           u"25,12345,,710005912143F50000A70F050003420202C46372D97C46A701"_qs}));
    // The next series takes the next reference.
    host.queued.clear();
    QCoro::Task<> again = Start();
    Click(form.SendButton);
    ASSERT_EQ(host.queued.size(), 2);
    EXPECT_TRUE(host.queued[0].contains(u"050003430201"_qs)) << host.queued[0].toStdString();
}

TEST_F(SendFormTest, WhatCannotBeSentIsRefusedWithItsReason) {
    const struct {
        QString to, text, dcs, error;
    } cases[] = {
        {u"12345"_qs, u"Shalom \u05e9"_qs, u"00=GSM Default Alphabet"_qs,
         u"The character \"\u05e9\" (U+05E9) is not in the GSM alphabet: choose a UCS2 coding "
         "(DCS 08) to send it"_qs},
        {u"Alice"_qs, u"hello"_qs, u"00=GSM Default Alphabet"_qs,
         u"The destination \"Alice\" is not a phone number: only \"+\", digits and blanks can be "
         "sent to"_qs},
        {u"12345"_qs, u"hello"_qs, u"20=Compressed GSM Default Alphabet"_qs,
         u"Compressed data (DCS 20) cannot be sent: choose a coding without compression"_qs},
    };
    QCoro::Task<> task = Start();
    for (const auto &c : cases) {
        Type(form.ToBox, c.to);
        form.setMessageText(c.text);
        form.DCSBox->setCurrentIndex(form.DCSBox->findText(c.dcs));
        Click(form.SendButton);
        ASSERT_FALSE(asks.asked.empty());
        EXPECT_EQ(asks.asked.back().text, c.error);
        EXPECT_EQ(asks.asked.back().icon, QMessageBox::Critical);
        EXPECT_FALSE(task.isReady());
        EXPECT_TRUE(host.queued.isEmpty());
    }
    // The same text in UCS2 goes.
    Type(form.ToBox, u"+972 5 1234"_qs);
    form.setMessageText(u"\u05e9!"_qs);
    form.DCSBox->setCurrentIndex(form.DCSBox->findText(u"08=UCS2 (16 bit)"_qs));
    Click(form.SendButton);
    EXPECT_TRUE(task.isReady());
    EXPECT_EQ(host.queued,
              QStringList{u"16,+972 5 1234,,07020191110008917952214300"_qs + u"08A70405E90021"_qs});
}

TEST_F(SendFormTest, EnterAddsTheTypedTextToTheHistoryOnce) {
    QCoro::Task<> task = Start();
    Type(form.ToBox, u"12345"_qs);
    QTest::keyClick(form.ToBox->lineEdit(), Qt::Key_Return);
    QTest::keyClick(form.ToBox->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(Items(form.addressHistory()), QStringList{u"12345"_qs});
    EXPECT_EQ(form.ToBox->currentText(), u"12345");
    EXPECT_FALSE(task.isReady());

    Type(form.ToBox, u"bob=07700900123"_qs);
    QTest::keyClick(form.ToBox->lineEdit(), Qt::Key_Enter);
    Type(form.ToBox, u"Alice=07700900456"_qs);
    QTest::keyClick(form.ToBox->lineEdit(), Qt::Key_Return);
    form.ToBox->lineEdit()->clear();
    QTest::keyClick(form.ToBox->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(Items(form.addressHistory()),
              (QStringList{u""_qs, u"12345"_qs, u"Alice=07700900456"_qs, u"bob=07700900123"_qs}));
    EXPECT_EQ(form.ToBox->count(), 4);

    Type(form.SCBox, u"+447785016005"_qs);
    QTest::keyClick(form.SCBox->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(Items(form.scHistory()), QStringList{u"+447785016005"_qs});
    EXPECT_TRUE(host.queued.isEmpty());
}

TEST_F(SendFormTest, CtrlDRemovesOnlyAnEntryPickedFromTheList) {
    form.scHistory().addMany({u"0123"_qs, u"0456"_qs, u"0789"_qs});
    EXPECT_EQ(form.SCBox->currentText(), u"");  // loading picks nothing
    EXPECT_EQ(form.SCBox->currentIndex(), -1);

    // Typed text that is not the picked entry: nothing goes.
    QTest::keyClick(form.SCBox->lineEdit(), Qt::Key_D, Qt::ControlModifier);
    form.SCBox->setCurrentIndex(1);
    Type(form.SCBox, u"0456 edited"_qs);
    QTest::keyClick(form.SCBox->lineEdit(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(form.scHistory().count(), 3);

    form.SCBox->setCurrentIndex(1);
    EXPECT_EQ(form.SCBox->currentText(), u"0456");
    QTest::keyClick(form.SCBox->lineEdit(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(Items(form.scHistory()), (QStringList{u"0123"_qs, u"0789"_qs}));
    EXPECT_EQ(form.SCBox->currentIndex(), -1);
    // Pressed again, it finds nothing picked.
    QTest::keyClick(form.SCBox->lineEdit(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(form.scHistory().count(), 2);
}

}  // namespace
}  // namespace vantel::test
