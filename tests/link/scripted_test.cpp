// Exchanges against a phone scripted line by line on a pseudo-terminal: the answers that the
// simulated phone does not give on purpose.
#include <QSocketNotifier>
#include <QTimer>

#include "atmode/transmit.h"
#include "blockmode/exchange.h"
#include "linkfixture.h"

namespace vantel::test {
namespace {

const QString Entry = QStringLiteral("14,12345,0123,110005912143F50000A70361F118");
const QString Retrieving = QStringLiteral("Retrieving Messages...");
const QString Retrieved = QStringLiteral("Messages Retrieved");

// ---- Scripted phone: answers chosen line by line -----------------------------------------

// Answers each command line that starts with a key; unknown lines get nothing.
class Script : public QObject {
public:
    Script(Pty &pty, QList<QPair<QByteArray, QByteArray>> answers)
        : pty_(pty),
          answers_(std::move(answers)),
          notifier_(pty.masterFd(), QSocketNotifier::Read) {
        connect(&notifier_, &QSocketNotifier::activated, this, [this] {
            line_ += pty_.read();
            qsizetype end;
            while ((end = line_.indexOf('\r')) >= 0) {
                const QByteArray cmd = line_.left(end);
                line_.remove(0, end + 1);
                for (const auto &a : answers_)
                    if (cmd.startsWith(a.first)) {
                        pty_.write(a.second);
                        break;
                    }
            }
        });
    }

private:
    Pty &pty_;
    QList<QPair<QByteArray, QByteArray>> answers_;
    QSocketNotifier notifier_;
    QByteArray line_;
};

TEST_F(LinkFixture, EchoedCommandAloneIsNotAConfirmation) {
    settings.pduMode = true;
    link->setTimeScale(0.05);
    Script phone(pty, {{"AT+CMGS", "AT+CMGS=14\r\r\n> "}, {"AT", "\r\nOK\r\n"}});
    EXPECT_EQ(run(TransmitQueueEntry(*link, *host, settings, Entry)), TransmitOutcome::Failed);
    EXPECT_EQ(host->trace.last(), u"Message Failed"_qs);
    EXPECT_EQ(host->disables, host->enables);
}

TEST_F(LinkFixture, ConfirmationSplitAfterThePlusIsAwaited) {
    settings.pduMode = true;
    Script phone(pty, {{"AT+CMGS", "\r\n> "}, {"1100", "\r\n+"}, {"AT", "\r\nOK\r\n"}});
    QTimer::singleShot(300, [&] { pty.write("CMGS: 7\r\n\r\nOK\r\n"); });
    EXPECT_EQ(run(TransmitQueueEntry(*link, *host, settings, u"2,12345,0123,1100"_qs)),
              TransmitOutcome::Sent);
    EXPECT_EQ(host->trace.mid(1), (QStringList{u"+CMGS: 7"_qs, u"Message Sent"_qs}));
}

TEST_F(LinkFixture, BlockSendWithoutReplySaysSo) {
    link->setTimeScale(0.05);
    Script phone(pty, {{"AT*T", "\r\nOK\r\n"}});
    EXPECT_EQ(
        run(TransmitQueueEntry(*link, *host, settings, u"14,12345,,070200"_qs + Entry.mid(14))),
        TransmitOutcome::Failed);
    EXPECT_EQ(host->trace.mid(1), QStringList{u"Timed out waiting for 07.05 PDU"_qs});
}

TEST_F(LinkFixture, ListingWithoutOkParsesNothing) {
    settings.pduMode = true;
    link->setTimeScale(0.02);
    Script phone(pty, {{"AT+CMGL", "\r\n+CMGL: 1,0,,3\r\n0791947101670000\r\n"},
                       {"AT+CPMS", "\r\n+CPMS: 1,30,1,30,1,30\r\n\r\nOK\r\n"},
                       {"AT", "\r\nOK\r\n"}});
    run(RetrieveMessages(*link, *host, settings));
    EXPECT_EQ(host->trace, (QStringList{Retrieving, u"Failed to Retrieve"_qs, Retrieved}));
    EXPECT_TRUE(host->offered.isEmpty());
}

}  // namespace
}  // namespace vantel::test
