// The hex decoder driven through its buttons: cleaning, octet stepping, close paths; and the
// message box the dialogs await.
#include <QCheckBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "compose/insertform.h"
#include "pdu/technical.h"
#include "tests/dialogs/testhost.h"

namespace vantel::test {
namespace {

class InsertFormTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (form.isVisible()) Click(form.CancelButton);
    }
    void Click(QPushButton *button) {
        QTest::mouseClick(button, Qt::LeftButton);
        Settle();
    }
    void Input(const QString &text) { form.MessageInputBox->setPlainText(text); }
    QString InputText() const { return form.MessageInputBox->toPlainText(); }
    // The decoding shown must be that of the input from `position` on.
    void ExpectDecodedFrom(int position, bool pdu = false) {
        const QString expected = DecodeTechnical(QStringView(InputText()).mid(position - 1), pdu);
        EXPECT_EQ(form.decodePosition(), position);
        EXPECT_EQ(form.MessageOutputBox->toPlainText(),
                  QString(expected).replace(u"\r\n"_qs, u"\n"_qs));
        EXPECT_TRUE(form.MessageOutputBox->textCursor().atEnd());
    }

    TestHost host;
    InsertForm form;
};

TEST_F(InsertFormTest, FormatKeepsOnlyUpperCaseHexAndDecodesFromTheStart) {
    struct Case {
        QString typed, cleaned;
    };
    const Case cases[] = {
        {u"07 91 44 77"_qs, u"07914477"_qs},
        {u"07-91\r\n44:77\tff"_qs, u"07914477"_qs},
        {u"0a1B2c3D"_qs, u"01B23D"_qs},
        {u"xyz"_qs, u""_qs},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        Input(c.typed);
        Click(form.ForwardButton);
        Click(form.FormatButton);
        EXPECT_EQ(InputText(), c.cleaned);
        ExpectDecodedFrom(1);
    }
}

TEST_F(InsertFormTest, ForwardStepsOneOctetUntilTheLastStart) {
    Input(u"0791447758"_qs);  // 10 characters: the last start is 9
    Click(form.FormatButton);
    for (int expected : {3, 5, 7, 9, 9, 9}) {
        SCOPED_TRACE(expected);
        Click(form.ForwardButton);
        ExpectDecodedFrom(expected);
    }
    for (int expected : {7, 5, 3, 1}) {
        Click(form.BackwardButton);
        ExpectDecodedFrom(expected);
    }
    EXPECT_EQ(InputText(), u"0791447758");
}

TEST_F(InsertFormTest, BackwardAtTheStartPutsAZeroOctetInFront) {
    Input(u"0791"_qs);
    Click(form.FormatButton);
    Click(form.BackwardButton);
    EXPECT_EQ(InputText(), u"000791");
    ExpectDecodedFrom(1);
    Click(form.BackwardButton);
    EXPECT_EQ(InputText(), u"00000791");
    ExpectDecodedFrom(1);
}

TEST_F(InsertFormTest, SteppingBeforeAnyFormatStartsAtOneAndDoesNotClean) {
    Input(u"07 91 44"_qs);
    Click(form.ForwardButton);
    ExpectDecodedFrom(3);
    EXPECT_EQ(InputText(), u"07 91 44");

    InsertForm fresh;
    fresh.MessageInputBox->setPlainText(u"07 91"_qs);
    QTest::mouseClick(fresh.BackwardButton, Qt::LeftButton);
    EXPECT_EQ(fresh.decodePosition(), 1);
    EXPECT_EQ(fresh.MessageInputBox->toPlainText(), u"0007 91");
}

TEST_F(InsertFormTest, PduBoxReachesTheDecoder) {
    form.show();
    Input(u"0000000007914477581006500B0411000591"_qs);
    QTest::mouseClick(form.PDUBox, Qt::LeftButton);
    ASSERT_TRUE(form.PDUBox->isChecked());
    Click(form.FormatButton);
    ExpectDecodedFrom(1, true);
    Click(form.ForwardButton);
    ExpectDecodedFrom(3, true);
}

TEST_F(InsertFormTest, EveryCloseEndsTheDialogAndKeepsItsTexts) {
    const std::function<void()> closers[] = {
        [&] { Click(form.OKButton); },
        [&] { Click(form.CancelButton); },
        [&] { form.close(); },
        [&] { QTest::keyClick(&form, Qt::Key_Escape); },
        [&] { QTest::keyClick(form.MessageInputBox, Qt::Key_Return); },
        [&] { QTest::keyClick(form.MessageOutputBox, Qt::Key_Enter, Qt::KeypadModifier); },
    };
    Input(u"07 91"_qs);
    Click(form.FormatButton);
    const QString output = form.MessageOutputBox->toPlainText();
    for (const auto &close : closers) {
        QCoro::Task<> task = ShowInsertForm(host, form);
        Settle();
        EXPECT_TRUE(form.isVisible());
        EXPECT_FALSE(host.mainVisible);
        close();
        Settle();
        EXPECT_TRUE(task.isReady());
        EXPECT_FALSE(form.isVisible());
        EXPECT_TRUE(host.mainVisible);
        EXPECT_EQ(InputText(), u"0791");
        EXPECT_EQ(form.MessageOutputBox->toPlainText(), output);
    }
    EXPECT_TRUE(host.queued.isEmpty());
    EXPECT_EQ(host.list.count(), 0);
}

TEST_F(InsertFormTest, DriverDoesNotWaitForTheBusyFlag) {
    host.busyFlag = true;
    QCoro::Task<> task = ShowInsertForm(host, form);
    Settle();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(host.beeps, 0);
    Click(form.OKButton);
    EXPECT_TRUE(task.isReady());
}

}  // namespace
}  // namespace vantel::test

namespace vantel::test {
namespace {

// The real message box: window-modal over its form, answered without a nested event loop.
TEST(AskUserTest, BoxIsAwaitedAndGivesTheButtonPressed) {
    struct Case {
        int key;
        QMessageBox::StandardButton expected;
    };
    const Case cases[] = {{Qt::Key_Escape, QMessageBox::Cancel}, {0, QMessageBox::Ok}};
    for (const Case &c : cases) {
        QWidget parent;
        parent.show();
        QMessageBox::StandardButton got = QMessageBox::NoButton;
        auto ask = [&]() -> QCoro::Task<> {
            got = co_await AskUser(&parent, QMessageBox::Critical, u"Delete?"_qs,
                                   QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
        };
        QCoro::Task<> task = ask();
        Settle();
        auto *box = parent.findChild<QMessageBox *>();
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isVisible());
        EXPECT_EQ(box->windowTitle(), u"Vantel");
        EXPECT_EQ(box->text(), u"Delete?");
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Cancel));
        EXPECT_FALSE(task.isReady());
        if (c.key) {
            QTest::keyClick(box, Qt::Key(c.key));
        } else {
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        }
        Settle();
        EXPECT_TRUE(task.isReady());
        EXPECT_EQ(got, c.expected);
    }
}

}  // namespace
}  // namespace vantel::test
