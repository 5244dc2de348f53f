#include "pdu/technical.h"

#include <gtest/gtest.h>

#include "qtprint.h"

namespace vantel {
namespace {

QString Lines(std::initializer_list<const char *> lines) {
    QString text;
    for (const char *line : lines)
        text += QString::fromUtf8(line) + "\r\n";
    return text;
}

// IEI 06, LENGTH 7E, MESSAGE REF 02, STATUS 01.
const QString kHeader = "067E0201";
const QString kServiceCentre = "07911326040000F0";
const QString kDeliver =
    "040B911326880736F4000089705141030040"
    "05C8329BFD06";

TEST(TechnicalDecode, DeliverShowsEveryFieldOnItsOwnLine) {
    EXPECT_EQ(DecodeTechnical(kHeader + kServiceCentre + kDeliver, false),
              Lines({"IEI: 06",
                     "LENGTH: 7E",
                     "MESSAGE REF: 02",
                     "STATUS: 01",
                     "SC Address length: 07",
                     "SC Address type: 91",
                     "  Type of number: International",
                     "  Numbering plan identifier: E.164",
                     "SC Address: 31624000000",
                     "Message Type Indicator: 04",
                     "Message Type: SMS-DELIVER / SMS-DELIVER REPORT",
                     "More Messages To Send: No",
                     "Status Report Indication: No",
                     "Reply Path: No",
                     "Originating Address Length: 0B",
                     "Originating Address type: 91",
                     "  Type of number: International",
                     "  Numbering plan identifier: E.164",
                     "Originating Address: 31628870634",
                     "Protocol Identifier: Default",
                     "Data Coding Scheme: GSM Default Alphabet",
                     "SC Timestamp: 89705141030040",
                     "  decoded: 98/07/15 14:30:00",
                     "Time Zone: GMT+1.00H",
                     "User Data Length: 05",
                     "  decimal: 5",
                     "Message: Hello"}));
}

TEST(TechnicalDecode, AbsentServiceCentreGoesStraightToTheMessageType) {
    const QString text = DecodeTechnical(kHeader + "00" + kDeliver, false);
    EXPECT_TRUE(text.contains(u"SC Address length: 00\r\nMessage Type Indicator: 04\r\n"));
    EXPECT_FALSE(text.contains(u"SC Address type"));
    EXPECT_TRUE(text.endsWith(u"Message: Hello\r\n"));
}

TEST(TechnicalDecode, PduLengthFlagSkipsTwoAndShowsTheNextTwo) {
    const QString text = DecodeTechnical(kHeader + kServiceCentre + "FF1A" + kDeliver, true);
    EXPECT_TRUE(text.contains(
        u"SC Address: 31624000000\r\nPDU Length: 1A\r\nMessage Type Indicator: 04\r\n"));
    EXPECT_TRUE(text.endsWith(u"Message: Hello\r\n"));
}

TEST(TechnicalDecode, DeliverFlagsInTheirOwnWords) {
    const struct {
        const char *fo;
        const char *lines;
    } cases[] = {
        {"04", "More Messages To Send: No\r\nStatus Report Indication: No\r\nReply Path: No"},
        {"00", "More Messages To Send: Yes\r\nStatus Report Indication: No\r\nReply Path: No"},
        {"24", "More Messages To Send: No\r\nStatus Report Indication: Yes\r\nReply Path: No"},
        {"80", "More Messages To Send: Yes\r\nStatus Report Indication: No\r\nReply Path: Yes"},
    };
    for (const auto &c : cases) {
        const QString text = DecodeTechnical(kHeader + "00" + c.fo + kDeliver.mid(2), false);
        EXPECT_TRUE(text.contains(QString(c.lines) + "\r\n")) << c.fo << "\n" << text.toStdString();
    }
}

TEST(TechnicalDecode, AlphanumericSenderShowsDigitsThenTheName) {
    const QString text = DecodeTechnical(kHeader + "00" +
                                             "040ED04F78591EA6BFE5000089705141030040"
                                             "00",
                                         false);
    EXPECT_TRUE(
        text.contains(u"Originating Address type: D0\r\n"
                      u"  Type of number: Alphanumeric\r\n"
                      u"  Numbering plan identifier: Unknown\r\n"
                      u"Originating Address: 48795E16AB5E\r\n"
                      u"  Decoded: Operator\r\n"
                      u"Protocol Identifier: Default\r\n"))
        << text.toStdString();
}

TEST(TechnicalDecode, SubmitValidityPeriodFormats) {
    const QString address = "000B911326880736F4";
    const struct {
        QString tpdu;
        const char *lines;
    } cases[] = {
        {"11" + address + "0000A705C8329BFD06",
         "Validity Period Format: Relative\r\n"
         "Message Reference: 00\r\n"
         "Destination Address Length: 0B\r\n"
         "Destination Address type: 91\r\n"
         "  Type of number: International\r\n"
         "  Numbering plan identifier: E.164\r\n"
         "Destination Address: 31628870634\r\n"
         "Protocol Identifier: 00\r\n"
         "Data Coding Scheme: 00\r\n"
         "Validity Period: A7\r\n"
         "User Data Length: 05\r\n"
         "  decimal: 5\r\n"
         "Message: Hello\r\n"},
        {"01" + address + "004105C8329BFD06",
         "Validity Period Format: Not Present\r\n"
         "Message Reference: 00\r\n"
         "Destination Address Length: 0B\r\n"
         "Destination Address type: 91\r\n"
         "  Type of number: International\r\n"
         "  Numbering plan identifier: E.164\r\n"
         "Destination Address: 31628870634\r\n"
         "Protocol Identifier: 00\r\n"
         "Data Coding Scheme: 41\r\n"
         "User Data Length: 05\r\n"
         "  decimal: 5\r\n"
         "Message: Hello\r\n"},
        {"09" + address + "000005C8329BFD06", "Validity Period Format: Reserved Coding\r\n"},
        {"19" + address +
             "4100"
             "8970514103008A"
             "05C8329BFD06",
         "Protocol Identifier: 41\r\n"
         "Data Coding Scheme: 00\r\n"
         "Validity Period: 8970514103008A\r\n"
         "  decoded: 98/07/15 14:30:00\r\n"
         "Time Zone: GMT-7.00H\r\n"
         "User Data Length: 05\r\n"
         "  decimal: 5\r\n"
         "Message: Hello\r\n"},
    };
    for (const auto &c : cases) {
        const QString text = DecodeTechnical(kHeader + "00" + c.tpdu, false);
        EXPECT_TRUE(text.contains(u"Message Type: SMS-SUBMIT / SMS-SUBMIT-REPORT\r\n"));
        EXPECT_TRUE(text.contains(QString(c.lines))) << text.toStdString();
        EXPECT_TRUE(text.endsWith(u"Message: Hello\r\n")) << text.toStdString();
        const bool hasValidity = c.tpdu.startsWith(u"11") || c.tpdu.startsWith(u"19");
        EXPECT_EQ(text.contains(u"Validity Period: "), hasValidity) << text.toStdString();
    }
}

TEST(TechnicalDecode, TimeZoneLineKeepsItsSign) {
    const struct {
        const char *zone, *line;
    } cases[] = {
        {"8A", "Time Zone: GMT-7.00H"}, {"00", "Time Zone: GMT+0.00H"},
        {"40", "Time Zone: GMT+1.00H"}, {"32", "Time Zone: GMT+5.75H"},
        {"08", "Time Zone: GMT+0.00H"},
    };
    for (const auto &c : cases) {
        const QString tpdu = QString("00039121F30000897051410300") + c.zone + "00";
        const QString text = DecodeTechnical(kHeader + "00" + tpdu, false);
        EXPECT_TRUE(text.contains(QString(c.line) + "\r\n")) << text.toStdString();
    }
}

TEST(TechnicalDecode, ReservedTypeStopsAfterItsName) {
    EXPECT_TRUE(DecodeTechnical(kHeader + "00" + "FF", false)
                    .endsWith(u"Message Type Indicator: FF\r\nMessage Type: <Reserved>\r\n"));
}

TEST(TechnicalDecode, StatusReportShowsEveryField) {
    EXPECT_EQ(DecodeTechnical(kHeader + "00" + "265C0B911326880736F4" + "89705141030040" +
                                  "89705141530180" + "41" + "07" + "00" + "08" + "0400480069",
                              false),
              Lines({"IEI: 06",
                     "LENGTH: 7E",
                     "MESSAGE REF: 02",
                     "STATUS: 01",
                     "SC Address length: 00",
                     "Message Type Indicator: 26",
                     "Message Type: SMS-STATUS-REPORT / SMS-COMMAND",
                     "More Messages To Send: No",
                     "Status Report Qualifier: SMS-COMMAND",
                     "Message Reference: 5C",
                     "Recipient Address Length: 0B",
                     "Recipient Address type: 91",
                     "  Type of number: International",
                     "  Numbering plan identifier: E.164",
                     "Recipient Address: 31628870634",
                     "SC Timestamp: 89705141030040",
                     "  decoded: 98/07/15 14:30:00",
                     "Time Zone: GMT+1.00H",
                     "Discharge Time: 89705141530180",
                     "  decoded: 98/07/15 14:35:10",
                     "Time Zone: GMT+2.00H",
                     "Status: 41",
                     "  decoded: Permanent error: Incompatible destination",
                     "Parameter Indicator: 07",
                     "Protocol Identifier: Default",
                     "Data Coding Scheme: UCS2 (16 bit)",
                     "User Data Length: 04",
                     "  decimal: 4",
                     "Message: Hi"}));
    // Without the optional fields the account ends with the status.
    EXPECT_TRUE(DecodeTechnical(kHeader + "00" + "06" + "00" + "039121F3" + "89705141030040" +
                                    "89705141530180" + "61",
                                false)
                    .endsWith(u"Status: 61\r\n"
                              u"  decoded: Temporary error, SC not making more attempts: SME busy"
                              u"\r\n"));
}

TEST(TechnicalDecode, HeaderElementsByName) {
    const QString deliver = kHeader + "00" + "440B911326880736F40000" + "89705141030040";
    const struct {
        QString userData;
        const char *lines;
    } cases[] = {
        {"0C050003420201906536FB0D",
         "User Data Length: 0C\r\n  decimal: 12\r\n"
         "User Data Header: 050003420201\r\n"
         "Concatenated short message, 8-bit reference: 420201\r\n"
         "  Reference: 66\r\n  Part: 1\r\n  Total: 2\r\n"
         "Message: Hello\r\n"},
        {"0D06080412340302C8329BFD06",
         "User Data Header: 06080412340302\r\n"
         "Concatenated short message, 16-bit reference: 12340302\r\n"
         "  Reference: 4660\r\n  Part: 2\r\n  Total: 3\r\n"
         "Message: Hello\r\n"},
        {"0C0B05040B8423F000030A0302906536FB0D",
         "User Data Header: 0B05040B8423F000030A0302\r\n"
         "Application port addressing, 16-bit address: 0B8423F0\r\n"
         "  Destination Port: 2948\r\n  Originator Port: 9200\r\n"
         "Concatenated short message, 8-bit reference: 0A0302\r\n"
         "  Reference: 10\r\n  Part: 2\r\n  Total: 3\r\n"},
        {"0C050402E200001B",
         "Application port addressing, 8-bit address: E200\r\n"
         "  Destination Port: 226\r\n  Originator Port: 0\r\n"},
        {"060424020102", "User Data Header: 0424020102\r\nIEI 24: 0102\r\nMessage: \r\n"},
    };
    for (const auto &c : cases) {
        const QString text = DecodeTechnical(deliver + c.userData, false);
        EXPECT_TRUE(text.contains(QString(c.lines))) << text.toStdString();
    }
}

TEST(TechnicalDecode, EmptyInputStillWritesEveryDeliverLabel) {
    EXPECT_EQ(DecodeTechnical(u"", false), Lines({"IEI: ",
                                                  "LENGTH: ",
                                                  "MESSAGE REF: ",
                                                  "STATUS: ",
                                                  "SC Address length: ",
                                                  "SC Address type: ",
                                                  "  Type of number: Illegal",
                                                  "  Numbering plan identifier: Illegal",
                                                  "SC Address: ",
                                                  "Message Type Indicator: ",
                                                  "Message Type: SMS-DELIVER / SMS-DELIVER REPORT",
                                                  "More Messages To Send: Yes",
                                                  "Status Report Indication: No",
                                                  "Reply Path: No",
                                                  "Originating Address Length: ",
                                                  "Originating Address type: ",
                                                  "  Type of number: Illegal",
                                                  "  Numbering plan identifier: Illegal",
                                                  "Originating Address: ",
                                                  "Protocol Identifier: Default",
                                                  "Data Coding Scheme: GSM Default Alphabet",
                                                  "SC Timestamp: ",
                                                  "  decoded: // ::",
                                                  "Time Zone: GMT+0.00H",
                                                  "User Data Length: ",
                                                  "  decimal: 0",
                                                  "Message: "}));
}

TEST(TechnicalDecode, MalformedInputEndsCleanly) {
    const QString cases[] = {
        kHeader + "FF91" + "21436587",
        kHeader + "00" + "04FF91",
        kHeader + "00" + "01" + "00FF91",
        kHeader + "\u00FF\u00FF" + "91",
        kHeader + "00" + "04" + "\u00FF\u00FF" + "91",
        kHeader + "00" + kDeliver.left(36) + "\u00FF\u00FF",
        kHeader + "00" + "1100" + "  " + "91",
        "0",
    };
    for (const QString &params : cases) {
        for (const bool flag : {false, true}) {
            const QString text = DecodeTechnical(params, flag);
            EXPECT_TRUE(text.startsWith(u"IEI: ")) << params.toStdString();
            EXPECT_TRUE(text.endsWith(u"\r\n")) << params.toStdString();
        }
    }
    const QString huge =
        DecodeTechnical(kHeader + "00" + kDeliver.left(36) + "\u00FF\u00FF", false);
    EXPECT_TRUE(
        huge.contains(QString("  decimal: 2856\r\nMessage: ") + QString(2856, u'@') + "\r\n"));
}

TEST(TechnicalDecode, BodyDecodersConsumeUpToTheUserData) {
    QString deliver = kDeliver;
    EXPECT_TRUE(DecodeTechnicalDeliver(deliver).startsWith(u"More Messages To Send: No\r\n"));
    EXPECT_EQ(deliver, QString("C8329BFD06"));

    QString submit =
        "1100"
        "0B911326880736F4"
        "0000A7"
        "05C8329BFD06";
    EXPECT_TRUE(DecodeTechnicalSubmit(submit).startsWith(u"Validity Period Format: Relative\r\n"));
    EXPECT_EQ(submit, QString("C8329BFD06"));
}

}  // namespace
}  // namespace vantel
