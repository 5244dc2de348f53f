#include "blockmode/diagnostics.h"

#include <gtest/gtest.h>

#include "blockmode/frame.h"
#include "coretest.h"
#include "pdu/technical.h"

namespace vantel {
namespace {

QString Frame(const char *contentHex) {
    return QString::fromLatin1(BuildFrame(QByteArray::fromHex(contentHex)).toHex().toUpper());
}

// The account's lines, each of which must end with CR LF.
QStringList Lines(const QString &account) {
    EXPECT_TRUE(account.endsWith(u"\r\n"_qs)) << account.toStdString();
    QStringList lines = account.split(u"\r\n"_qs);
    lines.removeLast();
    return lines;
}

struct DescribeCase {
    QString line;
    QStringList expected;
};

TEST(DescribeBlockMessage, AccountsOfEachMessageType) {
    const DescribeCase cases[] = {
        {u"10022200001003FFDE"_qs,
         {u"Content: 10022200001003FFDE"_qs, u"MessageContent: 220000"_qs,
          u"Message Type: GET MESSAGE FAILURE"_qs, u"Last Short Message: 00"_qs,
          u"Cause: No such message"_qs}},
        {Frame("2205872A"),
         {u"Content: "_qs + Frame("2205872A"), u"MessageContent: 2205872A"_qs,
          u"Message Type: GET MESSAGE FAILURE"_qs, u"Last Short Message: 05"_qs,
          u"Cause: Message Transfer Failed"_qs, u"04.11 error code: Congestion"_qs}},
        {Frame("220587"),
         {u"Content: "_qs + Frame("220587"), u"MessageContent: 220587"_qs,
          u"Message Type: GET MESSAGE FAILURE"_qs, u"Last Short Message: 05"_qs,
          u"Cause: Message Transfer Failed"_qs, u"04.11 error code: <missing>"_qs}},
        {Frame("22"),
         {u"Content: "_qs + Frame("22"), u"MessageContent: 22"_qs,
          u"Message Type: GET MESSAGE FAILURE"_qs, u"Last Short Message: "_qs,
          u"Cause: Unknown"_qs}},
        {Frame("2A04"),
         {u"Content: "_qs + Frame("2A04"), u"MessageContent: 2A04"_qs,
          u"Message Type: REQUEST CONFIRMED"_qs,
          u"Confirm Type: Confirm Request to attempt to send SMS"_qs}},
        {Frame("2A09"),
         {u"Content: "_qs + Frame("2A09"), u"MessageContent: 2A09"_qs,
          u"Message Type: REQUEST CONFIRMED"_qs, u"Confirm Type: Reserved"_qs}},
        {Frame("2507"),
         {u"Content: "_qs + Frame("2507"), u"MessageContent: 2507"_qs,
          u"Message Type: INSERT SMS COMPLETE"_qs, u"SMR: 07"_qs, u"TPMR: "_qs}},
        {Frame("250742"),
         {u"Content: "_qs + Frame("250742"), u"MessageContent: 250742"_qs,
          u"Message Type: INSERT SMS COMPLETE"_qs, u"SMR: 07"_qs, u"TPMR: 42"_qs}},
        {Frame("2687"),
         {u"Content: "_qs + Frame("2687"), u"MessageContent: 2687"_qs,
          u"Message Type: INSERT SMS FAILURE"_qs, u"Cause: Message Transfer Failed"_qs,
          u"04.11 error code: <missing>"_qs}},
        {Frame("268715"),
         {u"Content: "_qs + Frame("268715"), u"MessageContent: 268715"_qs,
          u"Message Type: INSERT SMS FAILURE"_qs, u"Cause: Message Transfer Failed"_qs,
          u"04.11 error code: Short Message Transfer Rejected"_qs}},
        {Frame("2903"),
         {u"Content: "_qs + Frame("2903"), u"MessageContent: 2903"_qs,
          u"Message Type: UNABLE TO PROCESS"_qs, u"Cause: Receiving entity busy"_qs}},
        {Frame("3F06"),
         {u"Content: "_qs + Frame("3F06"), u"MessageContent: 3F06"_qs,
          u"Message Type: END SMS MODE"_qs, u"Cause: User-invoked exit"_qs}},
        {Frame("20"),
         {u"Content: "_qs + Frame("20"), u"MessageContent: 20"_qs, u"Message Type: MESSAGE LIST"_qs,
          u"No further decoding for that message type"_qs}},
        {Frame("4F"),
         {u"Content: "_qs + Frame("4F"), u"MessageContent: 4F"_qs, u"Message Type: Unknown!"_qs,
          u"No further decoding for that message type"_qs}},
        {u"1002031003FFFE"_qs,
         {u"Content: 1002031003FFFE"_qs, u"Syntax error: Checksum incorrect"_qs}},
        {u"1002031003"_qs,
         {u"Content: 1002031003"_qs, u"Syntax error: PDU has insufficient length"_qs}},
        {QString(), {u"Content: "_qs, u"Syntax error: PDU has insufficient length"_qs}},
        // a message-list line is described by its last word
        {u"<invalid checksum>   x y 1002031003FFFD"_qs,
         {u"Content: 1002031003FFFD"_qs, u"MessageContent: 03"_qs,
          u"Message Type: GET NEXT MESSAGE"_qs, u"No further decoding for that message type"_qs}},
        {u"trailing space "_qs, {u"Content: "_qs, u"Syntax error: PDU has insufficient length"_qs}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Lines(DescribeBlockMessage(c.line)), c.expected) << c.line.toStdString();
    }
}

TEST(DescribeBlockMessage, MessageFrameIsExplainedByTheTechnicalDecoder) {
    const char *content =
        "21067E0201079144872000005004000C914487214365870000502181223323400"
        "3C8329B";
    const QString frame = Frame(content);
    const QString params = QString::fromLatin1(content).mid(2);
    const QString expected = u"Content: "_qs + frame + u"\r\nMessageContent: "_qs +
                             QString::fromLatin1(content) + u"\r\nMessage Type: MESSAGE\r\n"_qs +
                             DecodeTechnical(params, false) + u"\r\n"_qs;
    EXPECT_EQ(DescribeBlockMessage(u"98/07/15 x 123 "_qs + frame), expected);
}

TEST(BlockTypeName, EveryTypeOfTheVocabulary) {
    const std::pair<const char16_t *, const char16_t *> cases[] = {
        {u"00", u"LIST REQUEST"},
        {u"01", u"GET MESSAGE"},
        {u"02", u"GET FIRST MESSAGE"},
        {u"03", u"GET NEXT MESSAGE"},
        {u"04", u"TRANSFER INC SMS"},
        {u"05", u"INDICATE INC SMS"},
        {u"06", u"TRANSFER INC CBS"},
        {u"07", u"INSERT SMS"},
        {u"08", u"DELETE MESSAGE"},
        {u"09", u"UNABLE TO PROCESS"},
        {u"1E", u"END SMS MODE"},
        {u"20", u"MESSAGE LIST"},
        {u"21", u"MESSAGE"},
        {u"22", u"GET MESSAGE FAILURE"},
        {u"23", u"INC MESSAGE"},
        {u"24", u"MESSAGE ARRIVED"},
        {u"25", u"INSERT SMS COMPLETE"},
        {u"26", u"INSERT SMS FAILURE"},
        {u"27", u"DELETE MESSAGE COMPLETE"},
        {u"28", u"DELETE MESSAGE FAILURE"},
        {u"29", u"UNABLE TO PROCESS"},
        {u"2A", u"REQUEST CONFIRMED"},
        {u"2a", u"REQUEST CONFIRMED"},
        {u"3F", u"END SMS MODE"},
        {u"0A", u"Unknown!"},
        {u"4F", u"Unknown!"},
        {u"FF", u"Unknown!"},
        {u"ZZ", u"Unknown!"},
    };
    for (const auto &[code, name] : cases) {
        EXPECT_EQ(BlockTypeName(code), u"Message Type: "_qs + QString::fromUtf16(name));
    }
}

TEST(BlockCauseText, CausesAndTheRelayLayerCause) {
    const std::tuple<const char16_t *, const char16_t *, const char16_t *> cases[] = {
        {u"00", u"", u"No such message"},
        {u"01", u"", u"No memory"},
        {u"02", u"", u"No air interface"},
        {u"03", u"", u"Receiving entity busy"},
        {u"04", u"", u"Command not understood"},
        {u"05", u"", u"Incoming data call"},
        {u"06", u"2A", u"User-invoked exit"},
        {u"07", u"", u"Unknown"},
        {u"86", u"", u"Unknown"},
        {u"", u"", u"Unknown"},
        {u"87", u"2A", u"Message Transfer Failed\r\n04.11 error code: Congestion"},
        {u"87", u"", u"Message Transfer Failed\r\n04.11 error code: <missing>"},
        {u"87", u"33", u"Message Transfer Failed\r\n04.11 error code: Unknown"},
    };
    for (const auto &[cause, further, text] : cases) {
        EXPECT_EQ(BlockCauseText(cause, further), QString::fromUtf16(text));
    }
}

TEST(RpCauseName, GsmRelayLayerCauses) {
    const std::pair<const char16_t *, const char16_t *> cases[] = {
        {u"01", u"Unassigned (Unallocated) Number"},
        {u"08", u"Operator Determined Barring"},
        {u"0A", u"Call Barred"},
        {u"15", u"Short Message Transfer Rejected"},
        {u"1B", u"Destination Out Of Service"},
        {u"1C", u"Unidentified Subscriber"},
        {u"1D", u"Facility Rejected"},
        {u"1E", u"Unknown Subscriber"},
        {u"26", u"Network Out of Order"},
        {u"29", u"Temporary Failure"},
        {u"2A", u"Congestion"},
        {u"2F", u"Resources Unavailable, Unspecified"},
        {u"45", u"Requested Facility Not Implemented"},
        {u"51", u"Invalid SM Transfer Reference Value"},
        {u"5F", u"Invalid Message, Unspecified"},
        {u"60", u"Invalid Mandatory Information"},
        {u"61", u"Message type non-existent or not implemented"},
        {u"62", u"Message not compatible with SM protocol state"},
        {u"63", u"Information element non-existent or not implemented"},
        {u"6F", u"Protocol Error, Unspecified"},
        {u"7F", u"Interworking, unspecified"},
        {u"00", u"Unknown"},
        {u"80", u"Unknown"},
        {u"1", u"Unknown"},
        {u"", u"Unknown"},
    };
    for (const auto &[code, name] : cases) {
        EXPECT_EQ(RpCauseName(code), QString::fromUtf16(name))
            << QString::fromUtf16(code).toStdString();
    }
}

TEST(ConfirmTypeName, ConfirmTypesAndReserved) {
    const std::pair<const char16_t *, const char16_t *> cases[] = {
        {u"01", u"Confirm Request to transfer incoming SMS"},
        {u"02", u"Confirm Request to transfer incoming CBS"},
        {u"03", u"Confirm Request to indicate arrival of messages"},
        {u"04", u"Confirm Request to attempt to send SMS"},
        {u"00", u"Reserved"},
        {u"05", u"Reserved"},
        {u"", u"Reserved"},
        {u"W4", u"Reserved"},  // no hex digit, though 'W' lies between '0' and 'f'
    };
    for (const auto &[code, name] : cases) {
        EXPECT_EQ(ConfirmTypeName(code), QString::fromUtf16(name));
    }
}

}  // namespace
}  // namespace vantel
