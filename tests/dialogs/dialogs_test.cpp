// The dialogs driven through their real widgets over the main window: the viewer with its
// technical view and Reply, the send form and the hex decoder.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>

#include "app/listfilter.h"
#include "blockmode/diagnostics.h"
#include "pdu/technical.h"
#include "tests/app/windowfixture.h"

namespace vantel::test {
namespace {

// Stored messages and what the viewer shows of them; the Block-mode contents are column 0.
const QList<QStringList> &Viewed() {
    static const QList<QStringList> rows = table::CellRows("dialogs-viewer.txt");
    return rows;
}
const int kInternational = 0;

class DialogTest : public StartedWindowTest {
protected:
    ViewForm &view() { return window->viewForm(); }
    SendForm &send() { return window->sendForm(); }
    static QString frameOf(const QStringList &row) {
        return row[0].startsWith(u'=') ? row[0].mid(1) : BytesToHex(BuildFrame(HexToBytes(row[0])));
    }
    // Adds a message of the table and selects it.
    void load(const QStringList &row) {
        window->AddMessage(frameOf(row));
        window->selectMessage(window->messages().indexOf(MakeListLine(frameOf(row)).line));
    }
    // The names the table's messages are shown with.
    void names() {
        for (const QString &entry : {u"Alice=07712 345678"_qs, u"Bob=12345"_qs})
            send().addressHistory().add(entry);
    }
    static void type(QComboBox *box, const QString &text) {
        box->lineEdit()->clear();
        QTest::keyClicks(box->lineEdit(), text);
    }
};

// Prev and Next page through the list and are enabled only where there is a message to go to.
// Delete asks first; it removes the shown message from the list and shows the one before it
// (the new first when the first went), and deleting the only message ends the viewer.
TEST_F(DialogTest, ViewerPagesAndDeletesWithinTheList) {
    for (int i = 0; i < 3; ++i)
        load(Viewed()[i]);
    QStringList left = window->messages().items();
    ASSERT_EQ(left.size(), 3);
    window->selectMessage(1);
    QCoro::Task<> task = viewer();
    using B = QPushButton *ViewForm::*;
    const struct {
        B button;
        QMessageBox::StandardButton answer;
        int removed, shown;
    } steps[] = {
        {nullptr, QMessageBox::Ok, -1, 1},
        {&ViewForm::NextButton, QMessageBox::Ok, -1, 2},
        {&ViewForm::NextButton, QMessageBox::Ok, -1, 2},
        {&ViewForm::LocalDeleteButton, QMessageBox::Cancel, -1, 2},
        {&ViewForm::LocalDeleteButton, QMessageBox::Ok, 2, 1},
        {&ViewForm::PrevButton, QMessageBox::Ok, -1, 0},
        {&ViewForm::PrevButton, QMessageBox::Ok, -1, 0},
        {&ViewForm::LocalDeleteButton, QMessageBox::Ok, 0, 0},
        {&ViewForm::LocalDeleteButton, QMessageBox::Ok, 0, -1},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.shown);
        answer = step.answer;
        asked.clear();
        if (step.button) Click(view().*step.button);
        if (step.button == &ViewForm::LocalDeleteButton) {
            ASSERT_EQ(asked.size(), 1u);
            EXPECT_EQ(asked[0].text, u"This will delete the message from the PC");
            EXPECT_TRUE(asked[0].icon == QMessageBox::Critical &&
                        asked[0].defaultButton == QMessageBox::Cancel);
        }
        if (step.removed >= 0) left.removeAt(step.removed);
        EXPECT_EQ(window->messages().items(), left);
        if (step.shown < 0) break;
        EXPECT_EQ(window->selectedMessage(), step.shown);
        EXPECT_TRUE(view().Frame1->title().startsWith(u"Message %1 ("_qs.arg(step.shown + 1)));
        EXPECT_EQ(view().PrevButton->isEnabled(), step.shown > 0);
        EXPECT_EQ(view().NextButton->isEnabled(), step.shown + 1 < left.size());
    }
    EXPECT_TRUE(task.isReady() && !view().isVisible() && window->isVisible() && !window->busy());
}

// Each message as it is added: its fields, then the technical view (closed by Enter on OK or
// by its close box), which returns to the same message; then Copy, which fills the copy buffer,
// and Reply, which opens the send form filled from the message with a number it can send to
// (none for a named sender, which the trace says).
TEST_F(DialogTest, ViewerShowsEveryFieldOfEachMessage) {
    ASSERT_EQ(Viewed().size(), 14);
    names();
    TechnicalView &technical = window->technicalView();
    send().setMessageText(u"left over"_qs);
    const QString named =
        u"Reply: the sender \"InternetSMS\" is a name, not a number: type the destination"_qs;
    for (const QStringList &c : Viewed()) {
        SCOPED_TRACE((c[1] + u' ' + c[9].left(20)).toStdString());
        load(c);
        const int row = window->selectedMessage();
        QCoro::Task<> task = viewer();
        const QString title = QStringLiteral("Message %1 %2").arg(row + 1).arg(c[1]);
        EXPECT_EQ(view().Frame1->title(), title);
        const QLabel *labels[] = {view().AddressLabel, view().AddressTag, view().SCAddressTag,
                                  view().Label3,       view().PIDTag,     view().DCSTag,
                                  view().TimeStampTag};
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(labels[i]->text(), c[2 + i]) << labels[i]->objectName().toStdString();
        EXPECT_EQ(view().MessageBox->toPlainText(), c[9]);
        EXPECT_EQ(view().NameTag->text(), c[11]);
        EXPECT_EQ(view().MessageBox->textCursor().position(), 0);
        Click(view().DetailButton);
        EXPECT_TRUE(technical.isVisible() && !view().isVisible());
        EXPECT_EQ(technical.MessageBox->toPlainText(),
                  DescribeBlockMessage(window->messages().at(row)).replace(u"\r\n"_qs, u"\n"_qs));
        EXPECT_EQ(technical.focusWidget(), technical.OKButton);
        row % 2 ? QTest::keyClick(technical.OKButton, Qt::Key_Return) : (void)technical.close();
        QCoreApplication::processEvents();
        EXPECT_TRUE(!technical.isVisible() && view().Frame1->title() == title);
        if (c[10] == u"-") {
            Click(view().CloseButton);
        } else {
            Click(view().CopyButton);
            const CopyBuffer copied = window->copyBuffer();
            EXPECT_TRUE(copied.address == c[3] && copied.scAddress == c[4] && copied.text == c[9]);
            Click(view().ReplyButton);
            EXPECT_TRUE(send().isVisible() && !view().isVisible() && !window->isVisible());
            EXPECT_EQ(send().ToBox->currentText(), c[10]);
            EXPECT_TRUE(send().SCBox->currentText() == c[4] && send().messageText() == c[9]);
            EXPECT_EQ(window->trace().text().contains(named), c[10].isEmpty());
            Click(send().QuitButton);
        }
        EXPECT_TRUE(task.isReady() && window->isVisible() && !window->busy());
    }
    EXPECT_EQ(window->sendQueueModel().count(), 0);
}

// A search shows the messages whose time, number, name or whole text (a part's by the whole
// message) holds every word typed, case and accents ignored, and counts them; Esc in the box
// shows every message again. The text column of a part starts with its place, on screen only.
TEST_F(DialogTest, SearchShowsTheMessagesHoldingEveryWord) {
    names();
    QMap<QString, QSet<QString>> found;  // search -> the lines it shows
    for (const QStringList &c : Viewed()) {
        load(c);
        for (const QString &words : c[12].split(u';', Qt::SkipEmptyParts))
            found[words] << MakeListLine(frameOf(c)).line;
    }
    const int total = int(window->messages().count());
    for (auto it = found.cbegin(); it != found.cend(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        window->SearchBox->clear();
        for (const QChar c : it.key())  // typed one key at a time, as people type
            QTest::sendKeyEvent(QTest::Click, window->SearchBox, Qt::Key_unknown, c, {});
        ASSERT_EQ(window->SearchBox->text(), it.key());
        QSet<QString> shown;
        for (int row = 0; row < window->shownCount(); ++row)
            shown << window->shownLine(row);
        EXPECT_EQ(shown, it.value());
        EXPECT_EQ(window->QueueCountLabel->text(),
                  u" %1 of %2 items"_qs.arg(it.value().size()).arg(total));
    }
    QTest::keyClick(window->SearchBox, Qt::Key_Escape);
    EXPECT_TRUE(window->SearchBox->text().isEmpty() && window->shownCount() == total);
    EXPECT_EQ(window->QueueCountLabel->text(), u" %1 items"_qs.arg(total));

    const QString line = MakeListLine(frameOf(Viewed()[8])).line;  // part 1 of 2
    const QModelIndex index = window->shownList().index(window->messages().indexOf(line));
    EXPECT_EQ(
        index.data().toString(),
        line.left(39) + u"(1/2) This is a very long test designed to exercis "_qs + line.mid(90));
    EXPECT_EQ(window->shownLine(index.row()), line);
}

// Keys no control takes show their code; Alt and Ctrl keys do not.
TEST_F(DialogTest, KeyReachingTheViewerShowsItsCode) {
    load(Viewed()[kInternational]);
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
    EXPECT_TRUE(asked.size() == 2 && asked[0].text == u" 13" && asked[1].text == u" 97");
    EXPECT_FALSE(task.isReady());
}

// Every dialog ends on its buttons, its close box and Escape (the hex decoder on Enter too),
// brings the main window back, queues nothing and keeps what was typed.
TEST_F(DialogTest, EveryCloseEndsItsDialogAndKeepsItsTexts) {
    load(Viewed()[kInternational]);
    InsertForm &insert = window->insertForm();
    const QHash<QString, std::pair<QWidget *, std::function<QCoro::Task<>()>>> dialogs = {
        {"view", {&view(), [&] { return viewer(); }}},
        {"send", {&send(), [&] { return run(ShowSendForm(*window, send())); }}},
        {"insert", {&insert, [&] { return run(ShowInsertForm(*window, insert)); }}}};
    send().ToBox->setEditText(u"12345"_qs);
    send().setMessageText(u"kept"_qs);
    send().RPBox->setChecked(true);
    insert.MessageInputBox->setPlainText(u"07 91"_qs);
    Click(insert.FormatButton);
    const QString output = insert.MessageOutputBox->toPlainText();
    for (const QStringList &c : table::CellRows("dialogs-close.txt")) {
        SCOPED_TRACE((c[0] + u' ' + c[1]).toStdString());
        QWidget *dialog = dialogs[c[0]].first;
        QCoro::Task<> task = dialogs[c[0]].second();
        EXPECT_TRUE(dialog->isVisible() && !window->isVisible());
        QWidget *in = c.size() > 2 ? dialog->findChild<QWidget *>(c[2]) : dialog;
        if (c[1] == u"closebox") dialog->close();
        if (c[1] == u"Escape") QTest::keyClick(in, Qt::Key_Escape);
        if (c[1] == u"Return") QTest::keyClick(in, Qt::Key_Return);
        if (c[1] == u"Enter") QTest::keyClick(in, Qt::Key_Enter, Qt::KeypadModifier);
        if (c[1].endsWith(u"Button")) Click(dialog->findChild<QWidget *>(c[1]));
        QCoreApplication::processEvents();
        EXPECT_TRUE(task.isReady() && !dialog->isVisible() && window->isVisible());
        EXPECT_FALSE(window->busy());
    }
    EXPECT_TRUE(asked.empty() && window->sendQueueModel().count() == 0);
    EXPECT_TRUE(send().ToBox->currentText() == u"12345" && send().messageText() == u"kept");
    EXPECT_TRUE(send().RPBox->isChecked());
    EXPECT_EQ(insert.MessageInputBox->toPlainText(), u"0791");
    EXPECT_EQ(insert.MessageOutputBox->toPlainText(), output);
}

TEST_F(DialogTest, SendQueuesTheEncodedEntriesOrSaysWhyNot) {
    ASSERT_TRUE(send().PIDBox->count() == 31 && send().DCSBox->count() == 62);
    EXPECT_TRUE(send().PIDBox->currentIndex() == 0 && send().DCSBox->currentIndex() == 0);
    EXPECT_TRUE(send().PIDBox->itemText(30) == u"7F=SIM Data Download" &&
                send().DCSBox->itemText(30) == u"C0=VoiceMail Inactive (discard)");
    const QList<QStringList> rows = table::CellRows("dialogs-send.txt");
    ASSERT_EQ(rows.size(), 31);
    const QRegularExpression repeat(u"<(\\d+)\\*([^>]+)>"_qs);
    for (const QStringList &c : rows) {
        SCOPED_TRACE((c[1] + u' ' + c[3] + u' ' + c[6].left(20)).toStdString());
        window->settings().pduMode = c[0] != u"B";
        window->settings().skipPDUSCA = c[0] == u"S";
        window->settings().countryCode = c.value(9).isEmpty() ? u"44"_qs : c[9];
        send().setNextReference(0x42);
        const int queued = window->sendQueueModel().count();
        QCoro::Task<> task = run(ShowSendForm(*window, send()));
        type(send().ToBox, c[1]);
        type(send().SCBox, c[2]);
        if (!c.value(8).isEmpty()) {
            EXPECT_EQ(send().SendsToLabel->text(), c[8]);
        }
        const QStringList dcs = c[3].split(u'>');  // the coding chosen first, then another
        send().DCSBox->setCurrentIndex(send().DCSBox->findText(dcs[0]));
        send().PIDBox->setCurrentIndex(send().PIDBox->findText(c[4]));
        ASSERT_TRUE(send().DCSBox->currentText() == dcs[0] && send().PIDBox->currentText() == c[4]);
        for (QCheckBox *box : {send().RPBox, send().SRRBox})
            if (box->isChecked() != c[5].split(u' ').contains(box->objectName().chopped(3)))
                QTest::mouseClick(box, Qt::LeftButton);
        send().MessageWindow->clear();
        QString text = c[6];
        for (QRegularExpressionMatch m; (m = repeat.match(text)).hasMatch();)
            text.replace(m.capturedStart(), m.capturedLength(),
                         m.captured(2).repeated(m.captured(1).toInt()));
        if (text.size() < 20 && text.toLatin1() == text.toUtf8()) {  // typed, when it can be
            QTest::keyClicks(send().MessageWindow, text);
        } else {
            send().setMessageText(text);
        }
        send().DCSBox->setCurrentIndex(send().DCSBox->findText(dcs.last()));
        if (!c.value(10).isEmpty()) {
            EXPECT_EQ(send().CharsLabel->text(), c[10]);
        }
        asked.clear();
        Click(send().SendButton);
        const bool refused = c[7].startsWith(u'!');
        EXPECT_TRUE(task.isReady() != refused && window->isVisible() != refused);
        if (refused) {
            EXPECT_TRUE(asked.size() == 1 && asked[0].text == c[7].mid(1) &&
                        asked[0].icon == QMessageBox::Critical &&
                        asked[0].buttons == QMessageBox::Ok);
            EXPECT_EQ(window->sendQueueModel().count(), queued);
            Click(send().QuitButton);
            continue;
        }
        const bool counted = c[7].startsWith(u'#');  // "#n": n entries
        for (const QString &entry : counted ? QStringList() : c[7].split(u';'))
            EXPECT_TRUE(window->sendQueueModel().items().contains(entry)) << entry.toStdString();
        EXPECT_EQ(window->sendQueueModel().count(),
                  queued + (counted ? c[7].mid(1).toInt() : c[7].count(u';') + 1));
    }
    // Only the name went to the history; typing alone adds nothing, nor does a refusal.
    EXPECT_EQ(send().addressHistory().items(), QStringList{u"Bob=12345,0123"_qs});
    // The next series takes the next reference.
    QCoro::Task<> again = run(ShowSendForm(*window, send()));
    Click(send().SendButton);
    EXPECT_EQ(window->sendQueueModel().items().filter(u"050003430601"_qs).size(), 1);
}

// The limit and the count follow the coding chosen when the text changes; a cut beeps and never
// leaves half a line break behind, which counts as CR LF.
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
        send().DCSBox->setCurrentIndex(send().DCSBox->findText(QLatin1String(c.dcs)));
        ASSERT_EQ(send().DCSBox->currentText(), QLatin1String(c.dcs));
        const int beeps = window->beepCount();
        send().setMessageText(c.text);
        EXPECT_EQ(send().messageText(), c.text.left(c.kept));
        EXPECT_EQ(send().CharsLabel->text(), CountText(c.kept, c.parts));
        EXPECT_EQ(window->beepCount(), beeps + (c.kept < c.text.size()));
    }
    send().MessageWindow->clear();
    QTest::keyClicks(send().MessageWindow, u"ab"_qs);
    QTest::keyClick(send().MessageWindow, Qt::Key_Return);
    QTest::keyClicks(send().MessageWindow, u"cd"_qs);
    EXPECT_TRUE(send().messageText() == u"ab\r\ncd" &&
                send().CharsLabel->text() == u"6 characters · 1 part");
}

TEST_F(DialogTest, HexDecoderCleansAndStepsOneOctetAtATime) {
    for (const QStringList &c : table::CellRows("dialogs-hex.txt")) {
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
