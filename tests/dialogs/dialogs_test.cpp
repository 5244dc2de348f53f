// The dialogs driven through their real widgets over the main window: the viewer, the
// technical view, the send form, the hex decoder and the message box they await.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "blockmode/diagnostics.h"
#include "pdu/technical.h"
#include "tests/app/windowfixture.h"

namespace vantel::test {
namespace {

// Stored messages and what the viewer shows of them; the Block-mode contents are column 0.
const QList<QStringList> kViewed = DataRows("dialogs-viewer.txt");
enum { kInternational, kUnknownType, kEightBitSubmit, kNotSms, kAlphanumeric = 10 };

class DialogTest : public StartedWindowTest {
protected:
    ViewForm &view() { return window->viewForm(); }
    SendForm &send() { return window->sendForm(); }
    QString shown() { return view().Frame1->title(); }
    // Adds the messages and returns the row of the first.
    int load(std::initializer_list<int> messages) {
        for (int m : messages)
            window->AddMessage(Frame(kViewed.at(m)));
        return window->messages().indexOf(MakeListLine(Frame(kViewed.at(*messages.begin()))).line);
    }
    static QString Frame(const QStringList &row) {
        return row[0].startsWith(u'=') ? row[0].mid(1) : BytesToHex(BuildFrame(HexToBytes(row[0])));
    }
    static void type(QComboBox *box, const QString &text) {
        box->lineEdit()->clear();
        QTest::keyClicks(box->lineEdit(), text);
    }
    static void pick(QComboBox *box, const QString &item) {
        EXPECT_GE(box->findText(item), 0) << item.toStdString();
        box->setCurrentIndex(box->findText(item));
    }
};

TEST_F(DialogTest, ViewerShowsEveryFieldOfEachMessage) {
    ASSERT_EQ(kViewed.size(), 11);
    for (const QStringList &c : kViewed) {
        SCOPED_TRACE((c[1] + u' ' + c[9].left(20)).toStdString());
        const QString frame =
            c[0].startsWith(u'=') ? c[0].mid(1) : BytesToHex(BuildFrame(HexToBytes(c[0])));
        window->AddMessage(frame);
        const int row = window->messages().indexOf(MakeListLine(frame).line);
        window->selectMessage(row);
        QCoro::Task<> task = viewer();
        EXPECT_EQ(shown(), QStringLiteral("Message %1 %2").arg(row + 1).arg(c[1]));
        const QLabel *labels[] = {view().AddressLabel, view().AddressTag, view().SCAddressTag,
                                  view().Label3,       view().PIDTag,     view().DCSTag,
                                  view().TimeStampTag};
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(labels[i]->text(), c[2 + i]) << labels[i]->objectName().toStdString();
        EXPECT_EQ(view().MessageBox->toPlainText(), c[9]);
        EXPECT_EQ(view().MessageBox->textCursor().position(), 0);
        Click(view().CloseButton);
        EXPECT_TRUE(task.isReady());
    }
}

// Prev and Next page through the list; Delete asks, then shows the one before (the new first
// for the first) and ends the viewer with the last message; Tech shows the technical view.
TEST_F(DialogTest, ViewerPagesDeletesAndShowsTheTechnicalView) {
    load({kInternational, kUnknownType, kEightBitSubmit, kNotSms});
    const QStringList lines = window->messages().items();
    window->selectMessage(-1);  // none: the first is shown
    QCoro::Task<> task = viewer();
    EXPECT_TRUE(view().isVisible() && !window->isVisible() && window->busy());
    answer = QMessageBox::Cancel;
    Click(view().LocalDeleteButton);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, u"This will delete the message from the PC");
    EXPECT_EQ(asked[0].icon, QMessageBox::Critical);
    EXPECT_EQ(asked[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(asked[0].defaultButton, QMessageBox::Cancel);
    answer = QMessageBox::Ok;
    QPushButton *ViewForm::*const next = &ViewForm::NextButton,
                                  *ViewForm::*const prev = &ViewForm::PrevButton,
                                  *ViewForm::*const del = &ViewForm::LocalDeleteButton;
    const struct {
        QPushButton *ViewForm::*button;
        int selected, count;
        bool prev, next;
    } steps[] = {
        {nullptr, 0, 4, false, true}, {next, 1, 4, true, true},  {next, 2, 4, true, true},
        {next, 3, 4, true, false},    {prev, 2, 4, true, true},  {next, 3, 4, true, false},
        {del, 2, 3, true, false},     {prev, 1, 3, true, true},  {prev, 0, 3, false, true},
        {del, 0, 2, false, true},     {next, 1, 2, true, false}, {del, 0, 1, false, false},
    };
    for (const auto &s : steps) {
        if (s.button) Click(view().*s.button);
        SCOPED_TRACE(s.selected);
        EXPECT_EQ(window->selectedMessage(), s.selected);
        EXPECT_EQ(window->messages().count(), s.count);
        EXPECT_TRUE(shown().startsWith(QStringLiteral("Message %1 (").arg(s.selected + 1)));
        EXPECT_EQ(view().PrevButton->isEnabled(), s.prev);
        EXPECT_EQ(view().NextButton->isEnabled(), s.next);
    }
    EXPECT_EQ(window->messages().items(), QStringList{lines[1]});

    TechnicalView &technical = window->technicalView();
    const QString before = shown();
    for (bool enter : {true, false}) {
        Click(view().DetailButton);
        EXPECT_TRUE(technical.isVisible() && !view().isVisible());
        EXPECT_EQ(technical.MessageBox->toPlainText(),
                  DescribeBlockMessage(lines[1]).replace(u"\r\n"_qs, u"\n"_qs));
        EXPECT_EQ(technical.Frame1->title(), u"Technical Detail");
        if (enter) {
            EXPECT_EQ(technical.focusWidget(), technical.OKButton);  // so Enter closes it
            QTest::keyClick(technical.focusWidget(), Qt::Key_Return);
        } else {
            technical.close();  // the close box acts like OK
        }
        QCoreApplication::processEvents();
        EXPECT_TRUE(!technical.isVisible() && view().isVisible() && shown() == before);
    }
    Click(view().LocalDeleteButton);
    EXPECT_TRUE(task.isReady());
    EXPECT_TRUE(!view().isVisible() && window->isVisible() && !window->busy());
    EXPECT_EQ(window->messages().count(), 0);
}

// Copy fills the copy buffer; Reply opens the send form filled from the message, with a number
// it can send to (none for a named sender, which the trace says).
TEST_F(DialogTest, ReplyGoesToANumberTheSendFormCanSend) {
    send().setMessageText(u"left over"_qs);
    const struct {
        int message;
        QString to, sc, text;
    } cases[] = {
        {kUnknownType, u"12345"_qs, u""_qs, u"abc"_qs},
        {kInternational, u"+447712345678"_qs, u"+447785016005"_qs, u"hello"_qs},
        {kAlphanumeric, u""_qs, u"+79037011111"_qs, u"\u0442\u0435\u0441\u0442"_qs},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        window->selectMessage(load({c.message}));
        QCoro::Task<> task = viewer();
        Click(view().CopyButton);
        const CopyBuffer copied = window->copyBuffer();
        EXPECT_TRUE(copied.address == view().AddressTag->text() && copied.scAddress == c.sc &&
                    copied.text == c.text);
        Click(view().ReplyButton);
        EXPECT_TRUE(send().isVisible() && !view().isVisible() && !window->isVisible());
        EXPECT_FALSE(window->busy() || task.isReady());
        EXPECT_EQ(send().ToBox->currentText(), c.to);
        EXPECT_EQ(send().SCBox->currentText(), c.sc);
        EXPECT_EQ(send().messageText(), c.text);
        EXPECT_EQ(
            window->trace().text().contains(u"Reply: the sender \"InternetSMS\" is a name, not a "
                                            "number: type the destination"_qs),
            c.to.isEmpty());
        Click(send().QuitButton);
        EXPECT_TRUE(task.isReady() && window->isVisible());
    }
    EXPECT_EQ(window->sendQueueModel().count(), 0);
}

// Keys no control takes show their code; Alt and Ctrl keys do not.
TEST_F(DialogTest, KeyReachingTheViewerShowsItsCode) {
    load({kInternational});
    QCoro::Task<> task = viewer();
    // One message: Next and Prev are disabled, so their accelerators find no button.
    ASSERT_FALSE(view().NextButton->isEnabled() || view().PrevButton->isEnabled());
    for (const auto &[key, modifiers] :
         {std::pair<Qt::Key, Qt::KeyboardModifiers>{Qt::Key_Return, {}},
          {Qt::Key_N, Qt::AltModifier},
          {Qt::Key_P, Qt::AltModifier},
          {Qt::Key_A, {}},
          {Qt::Key_B, Qt::ControlModifier}})
        QTest::keyClick(&view(), key, modifiers);
    QCoreApplication::processEvents();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_TRUE(asked[0].text == u" 13" && asked[1].text == u" 97");
    EXPECT_FALSE(task.isReady());
}

// Every dialog ends on its buttons, its close box and Escape (the hex decoder on Enter too),
// brings the main window back, queues nothing and keeps what was typed.
TEST_F(DialogTest, EveryCloseEndsItsDialogAndKeepsItsTexts) {
    load({kInternational});
    InsertForm &insert = window->insertForm();
    const std::function<QCoro::Task<>()> shows[] = {
        [&] { return viewer(); }, [&] { return run(ShowSendForm(*window, send())); },
        [&] { return run(ShowInsertForm(*window, insert)); }};
    const struct {
        int show;
        QWidget *dialog;
        std::function<void()> close;
    } cases[] = {
        {0, &view(), [&] { QTest::mouseClick(view().CloseButton, Qt::LeftButton); }},
        {0, &view(), [&] { view().close(); }},
        {0, &view(), [&] { QTest::keyClick(&view(), Qt::Key_Escape); }},
        {1, &send(), [&] { QTest::mouseClick(send().QuitButton, Qt::LeftButton); }},
        {1, &send(), [&] { send().close(); }},
        {1, &send(), [&] { QTest::keyClick(&send(), Qt::Key_Escape); }},
        {2, &insert, [&] { QTest::mouseClick(insert.OKButton, Qt::LeftButton); }},
        {2, &insert, [&] { QTest::mouseClick(insert.CancelButton, Qt::LeftButton); }},
        {2, &insert, [&] { insert.close(); }},
        {2, &insert, [&] { QTest::keyClick(&insert, Qt::Key_Escape); }},
        {2, &insert, [&] { QTest::keyClick(insert.MessageInputBox, Qt::Key_Return); }},
        {2, &insert,
         [&] { QTest::keyClick(insert.MessageOutputBox, Qt::Key_Enter, Qt::KeypadModifier); }},
    };
    send().ToBox->setEditText(u"12345"_qs);
    send().setMessageText(u"kept"_qs);
    send().RPBox->setChecked(true);
    insert.MessageInputBox->setPlainText(u"07 91"_qs);
    Click(insert.FormatButton);
    const QString output = insert.MessageOutputBox->toPlainText();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.dialog->objectName().toStdString());
        QCoro::Task<> task = shows[c.show]();
        EXPECT_TRUE(c.dialog->isVisible() && !window->isVisible());
        c.close();
        QCoreApplication::processEvents();
        EXPECT_TRUE(task.isReady() && !c.dialog->isVisible() && window->isVisible());
        EXPECT_FALSE(window->busy());
    }
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(window->sendQueueModel().count(), 0);
    EXPECT_EQ(window->messages().count(), 1);
    EXPECT_TRUE(send().ToBox->currentText() == u"12345" && send().messageText() == u"kept");
    EXPECT_TRUE(send().RPBox->isChecked());
    EXPECT_EQ(insert.MessageInputBox->toPlainText(), u"0791");
    EXPECT_EQ(insert.MessageOutputBox->toPlainText(), output);
}

TEST_F(DialogTest, SendQueuesTheEncodedEntriesOrSaysWhyNot) {
    ASSERT_TRUE(send().PIDBox->count() == 31 && send().DCSBox->count() == 62);
    EXPECT_EQ(send().PIDBox->currentText(), u"00=Default");
    EXPECT_EQ(send().DCSBox->currentText(), u"00=GSM Default Alphabet");
    EXPECT_EQ(send().PIDBox->itemText(30), u"7F=SIM Data Download");
    EXPECT_EQ(send().DCSBox->itemText(30), u"C0=VoiceMail Inactive (discard)");
    EXPECT_EQ(send().DCSBox->itemText(61), u"F7=8 bit TE Specific");
    const QList<QStringList> rows = DataRows("dialogs-send.txt");
    ASSERT_EQ(rows.size(), 12);
    for (const QStringList &c : rows) {
        SCOPED_TRACE((c[1] + u' ' + c[3] + u' ' + c[6].left(20)).toStdString());
        window->settings().pduMode = c[0] != u"B";
        window->settings().skipPDUSCA = c[0] == u"S";
        send().setNextReference(0x42);
        const int queued = window->sendQueueModel().count();
        QCoro::Task<> task = run(ShowSendForm(*window, send()));
        type(send().ToBox, c[1]);
        type(send().SCBox, c[2]);
        pick(send().DCSBox, c[3]);
        pick(send().PIDBox, c[4]);
        for (QCheckBox *box : {send().RPBox, send().SRRBox})
            if (box->isChecked() != c[5].split(u' ').contains(box->objectName().chopped(3)))
                QTest::mouseClick(box, Qt::LeftButton);
        send().MessageWindow->clear();
        if (std::all_of(c[6].begin(), c[6].end(), [](QChar ch) { return ch < u'~'; }) &&
            c[6].size() < 20) {
            QTest::keyClicks(send().MessageWindow, c[6]);
        } else {
            send().setMessageText(c[6]);
        }
        asked.clear();
        Click(send().SendButton);
        const bool refused = c[7].startsWith(u'!');
        EXPECT_EQ(task.isReady(), !refused);
        EXPECT_EQ(window->isVisible(), !refused);
        if (refused) {
            ASSERT_EQ(asked.size(), 1u);
            EXPECT_TRUE(asked[0].text == c[7].mid(1) && asked[0].icon == QMessageBox::Critical &&
                        asked[0].buttons == QMessageBox::Ok)
                << asked[0].text.toStdString();
            EXPECT_EQ(window->sendQueueModel().count(), queued);
            Click(send().QuitButton);
            continue;
        }
        EXPECT_TRUE(asked.empty());
        for (const QString &entry : c[7].split(u';'))
            EXPECT_TRUE(window->sendQueueModel().items().contains(entry)) << entry.toStdString();
        EXPECT_EQ(window->sendQueueModel().count(), queued + c[7].count(u';') + 1);
    }
    // Only the name went to the history; typing alone adds nothing, nor does a refusal.
    EXPECT_EQ(send().addressHistory().items(), QStringList{u"Bob=12345,0123"_qs});
    // The next series takes the next reference.
    QCoro::Task<> again = run(ShowSendForm(*window, send()));
    Click(send().SendButton);
    EXPECT_EQ(window->sendQueueModel().items().filter(u"050003430201"_qs).size(), 1);
}

// The limit and the count follow the coding chosen when the text changes; a cut beeps and never
// leaves half a line break behind, which counts as CR LF. Paste cuts as well.
TEST_F(DialogTest, CountersAndLimitsFollowTheCoding) {
    constexpr qsizetype kLongest = 255 * 153;  // 255 parts of 153 septets
    const struct {
        const char *dcs;
        QString text;
        qsizetype kept, parts;
    } cases[] = {
        {"F4=8 bit Immediate", QString(200, u'A'), 200, 1},
        {"F4=8 bit Immediate", QString(300, u'A'), 280, 1},
        {"04=8 bit", QString(282, u'A'), 280, 1},
        {"00=GSM Default Alphabet", QString(281, u'A'), 281, 2},
        {"08=UCS2 (16 bit)", QString(70, u'\u0448'), 70, 1},
        {"08=UCS2 (16 bit)", QString(71, u'\u0448'), 71, 2},
        {"08=UCS2 (16 bit)", QString(255 * 67 + 1, u'\u0448'), 255 * 67, 255},
        {"00=GSM Default Alphabet", QString(kLongest - 1, u'x') + u"\r\nyz"_qs, kLongest - 1, 255},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.dcs + std::to_string(c.text.size()));
        pick(send().DCSBox, QLatin1String(c.dcs));
        const int beeps = window->beepCount();
        send().setMessageText(c.text);
        EXPECT_EQ(send().messageText(), c.text.left(c.kept));
        EXPECT_EQ(send().CharsLabel->text(),
                  QString::number(c.kept) +
                      (c.parts > 1 ? QStringLiteral("\n%1 parts").arg(c.parts) : QString()));
        EXPECT_EQ(window->beepCount(), beeps + (c.kept < c.text.size()));
    }
    send().MessageWindow->clear();
    QTest::keyClicks(send().MessageWindow, u"ab"_qs);
    QTest::keyClick(send().MessageWindow, Qt::Key_Return);
    QTest::keyClicks(send().MessageWindow, u"cd"_qs);
    EXPECT_TRUE(send().messageText() == u"ab\r\ncd" && send().CharsLabel->text() == u"6");

    window->copyBuffer() = {u"+447712345678"_qs, u"+447785016005"_qs, QString(kLongest + 7, u'x')};
    QCoro::Task<> task = run(ShowSendForm(*window, send()));
    const int beeps = window->beepCount();
    Click(send().Command1);
    EXPECT_EQ(send().ToBox->currentText(), u"+447712345678");
    EXPECT_EQ(send().SCBox->currentText(), u"+447785016005");
    EXPECT_EQ(send().messageText(), QString(kLongest, u'x'));
    EXPECT_EQ(send().MessageWindow->textCursor().position(), kLongest);
    EXPECT_EQ(window->beepCount(), beeps + 1);
}

TEST_F(DialogTest, HexDecoderCleansAndStepsOneOctetAtATime) {
    for (const QStringList &c : DataRows("dialogs-hex.txt")) {
        SCOPED_TRACE(c[0].toStdString());
        InsertForm form;  // a fresh one: nothing formatted yet
        form.show();
        form.MessageInputBox->setPlainText(c[0]);
        if (c[1] == u"1") QTest::mouseClick(form.PDUBox, Qt::LeftButton);
        const QStringList positions = c[3].split(u' ');
        for (qsizetype i = 0; i < c[2].size(); ++i) {
            Click(c[2][i] == u'F'   ? form.FormatButton
                  : c[2][i] == u'>' ? form.ForwardButton
                                    : form.BackwardButton);
            const int at = positions[i].toInt();
            EXPECT_EQ(form.decodePosition(), at) << i;
            EXPECT_EQ(form.MessageOutputBox->toPlainText(),
                      DecodeTechnical(QStringView(form.MessageInputBox->toPlainText()).mid(at - 1),
                                      form.PDUBox->isChecked())
                          .replace(u"\r\n"_qs, u"\n"_qs))
                << i;
            EXPECT_TRUE(form.MessageOutputBox->textCursor().atEnd());
        }
        EXPECT_EQ(form.MessageInputBox->toPlainText(), c[4]);
    }
}

}  // namespace
}  // namespace vantel::test
