#include "pdu/summary.h"

#include <gtest/gtest.h>

#include "qtprint.h"

namespace vantel {
namespace {

// MESSAGE type, IEI 06, LENGTH 7E, MESSAGE REF 02, STATUS 01.
const QString kHeader = "21067E0201";
const QString kServiceCentre = "07911326040000F0";
const QString kDeliver =
    "040B911326880736F4000089705141030040"
    "05C8329BFD06";

MessageFields Decode(const QString &content, bool expected = true) {
    MessageFields f;
    EXPECT_EQ(DecodeMessage(content, f), expected) << content.toStdString();
    return f;
}

TEST(SummaryDecode, DeliverFillsAllTwelveTexts) {
    const MessageFields f = Decode(kHeader + kServiceCentre + kDeliver);
    EXPECT_EQ(f.typeCode, QString("MT-01"));
    EXPECT_EQ(f.scAddress, QString("31624000000"));
    EXPECT_EQ(f.scAddressType, QString("International E.164"));
    EXPECT_EQ(f.firstOctet, QString("04"));
    EXPECT_EQ(f.flagOrReference, QString("Yes"));
    EXPECT_EQ(f.address, QString("31628870634"));
    EXPECT_EQ(f.addressType, QString("International E.164"));
    EXPECT_EQ(f.pid, QString("00"));
    EXPECT_EQ(f.dcs, QString("00"));
    EXPECT_EQ(f.time, QString("98/07/15 14:30:00 GMT+1.00H"));
    EXPECT_EQ(f.text, QString("Hello"));
    EXPECT_EQ(f.userData, QString("C8329BFD06"));
}

TEST(SummaryDecode, AbsentServiceCentreLeavesItsTextsEmpty) {
    const MessageFields f = Decode(kHeader + "00" + kDeliver);
    EXPECT_EQ(f.typeCode, QString("MT-01"));
    EXPECT_EQ(f.scAddress, QString());
    EXPECT_EQ(f.scAddressType, QString());
    EXPECT_EQ(f.address, QString("31628870634"));
    EXPECT_EQ(f.text, QString("Hello"));
}

TEST(SummaryDecode, OnlyAMessageFrameIsAnSmsMessage) {
    for (const QString &content : {QString("22067E0201"
                                           "00" +
                                           kDeliver),
                                   QString(""), QString("2"), QString("12")}) {
        MessageFields f;
        f.address = "stale";
        EXPECT_FALSE(DecodeMessage(content, f)) << content.toStdString();
        EXPECT_EQ(f.text, QString("<not an SMS message>"));
        EXPECT_EQ(f.address, QString());
        EXPECT_EQ(f.typeCode, QString());
    }
}

TEST(SummaryDecode, MoreMessagesBitIsReportedAsItIs) {
    EXPECT_EQ(Decode(kHeader + "00" + kDeliver).flagOrReference, QString("Yes"));
    EXPECT_EQ(Decode(kHeader + "00" + "00" + kDeliver.mid(2)).flagOrReference, QString("No"));
    EXPECT_EQ(Decode(kHeader + "00" + "24" + kDeliver.mid(2)).flagOrReference, QString("Yes"));
}

TEST(SummaryDecode, SemiOctetAddressesStopAtTheirLength) {
    const struct {
        const char *address;
        const char *digits;
    } cases[] = {
        {"0591"
         "2143F5",
         "12345"},
        {"0491"
         "2F43",
         "234"},
        {"0181"
         "F1",
         "1"},
        {"0681"
         "214365",
         "123456"},
        {"0081", ""},
        {"0A81"
         "2143658709",
         "1234567890"},
    };
    for (const auto &c : cases) {
        const MessageFields f = Decode(kHeader + "00" + "04" + c.address +
                                       "00F1"
                                       "89705141030040"
                                       "05C8329BFD06");
        EXPECT_EQ(f.address, QString(c.digits)) << c.address;
        EXPECT_EQ(f.pid, QString("00")) << c.address;
        EXPECT_EQ(f.dcs, QString("F1")) << c.address;
        EXPECT_EQ(f.time, QString("98/07/15 14:30:00 GMT+1.00H")) << c.address;
        EXPECT_EQ(f.text, QString("Hello")) << c.address;
    }
}

TEST(SummaryDecode, AlphanumericSenderLengthRoundsToNearest) {
    const struct {
        const char *address;
        const char *name;
    } cases[] = {
        {"0ED0"
         "4F78591EA6BFE5",
         "Operator"},
        {"0BD0"
         "4F79D87D2E03",
         "Orange"},
        {"0CD0"
         "4F79D87D2E03",
         "Orange@"},
    };
    for (const auto &c : cases) {
        const MessageFields f = Decode(kHeader + "00" + "04" + c.address +
                                       "0000"
                                       "89705141030040"
                                       "05C8329BFD06");
        EXPECT_EQ(f.address, QString(c.name)) << c.address;
        EXPECT_EQ(f.addressType, QString("Alphanumeric Unknown"));
        EXPECT_EQ(f.text, QString("Hello")) << c.address;
    }
}

TEST(SummaryDecode, SubmitValidityDecidesWhereTheUserDataStarts) {
    const QString address = "0B911326880736F4";
    const struct {
        QString tpdu;
        const char *time;
    } cases[] = {
        {"1142" + address +
             "0000A7"
             "05C8329BFD06",
         " Rel: A7"},
        {"0142" + address +
             "0000"
             "05C8329BFD06",
         ""},
        {"0942" + address +
             "0000"
             "05C8329BFD06",
         ""},
        {"1942" + address +
             "0000"
             "89705141030021"
             "05C8329BFD06",
         "98/07/15 14:30:00 GMT+3.00H"},
    };
    for (const auto &c : cases) {
        const MessageFields f = Decode(kHeader + kServiceCentre + c.tpdu);
        EXPECT_EQ(f.typeCode, QString("MO-01"));
        EXPECT_EQ(f.firstOctet, c.tpdu.left(2));
        EXPECT_EQ(f.flagOrReference, QString("42"));
        EXPECT_EQ(f.address, QString("31628870634"));
        EXPECT_EQ(f.addressType, QString("International E.164"));
        EXPECT_EQ(f.time, QString(c.time)) << c.tpdu.toStdString();
        EXPECT_EQ(f.text, QString("Hello")) << c.tpdu.toStdString();
        EXPECT_EQ(f.userData, QString("C8329BFD06"));
    }
}

TEST(SummaryDecode, TimeZoneQuartersAndTheirSign) {
    const struct {
        const char *zone, *time;
    } cases[] = {
        {"21", "98/07/15 14:30:00 GMT+3.00H"}, {"0A", "98/07/15 14:30:00 GMT-5.00H"},
        {"08", "98/07/15 14:30:00 GMT+0.00H"}, {"8A", "98/07/15 14:30:00 GMT-7.00H"},
        {"40", "98/07/15 14:30:00 GMT+1.00H"}, {"23", "98/07/15 14:30:00 GMT+8.00H"},
        {"32", "98/07/15 14:30:00 GMT+5.75H"}, {"28", "98/07/15 14:30:00 GMT-0.50H"},
    };
    for (const auto &c : cases) {
        const MessageFields f =
            Decode(kHeader + "00" + "04039121F30000897051410300" + c.zone + "00");
        EXPECT_EQ(f.time, QString(c.time)) << c.zone;
    }
}

TEST(SummaryDecode, ReservedTypeStopsAfterTheFirstOctet) {
    for (const char *fo : {"03", "FF"}) {
        const MessageFields f = Decode(kHeader + kServiceCentre + fo + kDeliver.mid(2));
        EXPECT_EQ(f.typeCode, QString("RV-01"));
        EXPECT_EQ(f.scAddress, QString("31624000000"));
        EXPECT_EQ(f.scAddressType, QString("International E.164"));
        EXPECT_EQ(f.firstOctet, QString(fo));
        for (const QString *rest : {&f.flagOrReference, &f.address, &f.addressType, &f.pid, &f.dcs,
                                    &f.time, &f.text, &f.userData}) {
            EXPECT_TRUE(rest->isEmpty()) << fo << " " << rest->toStdString();
        }
    }
}

// SMS-STATUS-REPORT to +31628870634, reference 5C, sent 98/07/15 14:30:00, discharged
// 98/07/15 14:35:10 GMT+2.00H, then the status and the optional fields.
TEST(SummaryDecode, StatusReportGivesRecipientDischargeTimeAndStatus) {
    const QString head = u"065C0B911326880736F4"_qs + u"89705141030040"_qs + u"89705141530180"_qs;
    const struct {
        QString rest;
        const char *text;
        const char *pid, *dcs, *userData;
    } cases[] = {
        {"00", "Short message received by the SME", "", "", ""},
        {"01",
         "Short message forwarded by the SC to the SME but the SC is unable to confirm "
         "delivery",
         "", "", ""},
        {"02", "Short message replaced by the SC", "", "", ""},
        {"03", "Short message transaction completed: Reserved", "", "", ""},
        {"1F", "Short message transaction completed: SC specific", "", "", ""},
        {"20", "Temporary error, SC still trying: Congestion", "", "", ""},
        {"25", "Temporary error, SC still trying: Error in SME", "", "", ""},
        {"26", "Temporary error, SC still trying: Reserved", "", "", ""},
        {"30", "Temporary error, SC still trying: SC specific", "", "", ""},
        {"40", "Permanent error: Remote procedure error", "", "", ""},
        {"41", "Permanent error: Incompatible destination", "", "", ""},
        {"49", "Permanent error: SM does not exist", "", "", ""},
        {"4A", "Permanent error: Reserved", "", "", ""},
        {"5F", "Permanent error: SC specific", "", "", ""},
        {"61", "Temporary error, SC not making more attempts: SME busy", "", "", ""},
        {"65", "Temporary error, SC not making more attempts: Error in SME", "", "", ""},
        {"6F", "Temporary error, SC not making more attempts: Reserved", "", "", ""},
        {"7A", "Temporary error, SC not making more attempts: SC specific", "", "", ""},
        {"80", "Reserved", "", "", ""},
        {"FF", "Reserved", "", "", ""},
        // TP-PI: PID, DCS and user data follow
        {"000700000461F11801", "Short message received by the SME", "00", "00", "61F11801"},
        {"0002F1", "Short message received by the SME", "", "F1", ""},
        // reserved bits of TP-PI set: no optional fields
        {"00FF0000", "Short message received by the SME", "", "", ""},
    };
    for (const auto &c : cases) {
        const MessageFields f = Decode(kHeader + kServiceCentre + head + c.rest);
        EXPECT_EQ(f.typeCode, QString("SR-01"));
        EXPECT_EQ(f.firstOctet, QString("06"));
        EXPECT_EQ(f.flagOrReference, QString("5C"));
        EXPECT_EQ(f.address, QString("31628870634"));
        EXPECT_EQ(f.addressType, QString("International E.164"));
        EXPECT_EQ(f.time, QString("98/07/15 14:35:10 GMT+2.00H"));
        EXPECT_EQ(f.text, QString(c.text)) << c.rest.toStdString();
        EXPECT_EQ(f.pid, QString(c.pid)) << c.rest.toStdString();
        EXPECT_EQ(f.dcs, QString(c.dcs)) << c.rest.toStdString();
        EXPECT_EQ(f.userData, QString(c.userData)) << c.rest.toStdString();
    }
    // An alphanumeric recipient is unpacked like a sender; a report cut before its status has no
    // text.
    const MessageFields alpha =
        Decode(kHeader + "00" + "06000BD0D6B09B5E6603" + "89705141030040" + "89705141530180");
    EXPECT_EQ(alpha.address, QString("Vantel"));
    EXPECT_EQ(alpha.addressType, QString("Alphanumeric Unknown"));
    EXPECT_EQ(alpha.text, QString());
}

// The text by the data coding scheme and the header (TP-UDHI, first octet 44 or 40).
TEST(SummaryDecode, TextFollowsTheCodingSchemeAndSkipsTheHeader) {
    const struct {
        const char *fo, *dcs, *userData;
        QString text;
    } cases[] = {
        {"04", "00", "05C8329BFD06", u"Hello"_qs},
        {"04", "08", "0C041F04400438043204350442", u"\u041f\u0440\u0438\u0432\u0435\u0442"_qs},
        // a surrogate pair is one character; one without its partner shows as a replacement
        {"04", "08", "080048D83DDE00006B", u"H\U0001F600k"_qs},
        {"04", "08", "04D83D0041", u"\uFFFDA"_qs},
        {"04", "08", "03004100", u"A"_qs},  // an odd octet is no character
        {"04", "18", "0400310032", u"12"_qs},
        {"04", "E8", "020041", u"A"_qs},
        {"04", "04", "030A0B0C", u"0A0B0C"_qs},
        {"04", "F6", "020A0B0C", u"0A0B"_qs},  // the octets TP-UDL counts
        {"04", "24", "030A0B0C", u"<compressed> 0A0B0C"_qs},
        {"04", "C8", "05C8329BFD06", u"Hello"_qs},
        {"04", "F9", "05C8329BFD06", u"Hello"_qs},  // reserved bit 3 of the F0 group
        {"04", "90", "05C8329BFD06", u"Hello"_qs},  // reserved group: default alphabet
        // 7-bit after a header of six octets: one fill bit, seven septets skipped
        {"44", "00", "0C050003420201906536FB0D", u"Hello"_qs},
        // 16-bit reference: seven octets, no fill bits, eight septets skipped
        {"44", "00", "0D06080400100201C8329BFD06", u"Hello"_qs},
        {"44", "08", "0A05000342020100480069", u"Hi"_qs},
        {"44", "04", "0906050400000000CAFE", u"CAFE"_qs},
        // a header longer than the data: no text
        {"44", "04", "03FF0102", QString()},
    };
    for (const auto &c : cases) {
        const MessageFields f = Decode(kHeader + "00" + c.fo + "0B911326880736F4" + "00" + c.dcs +
                                       "89705141030040" + c.userData);
        EXPECT_EQ(f.text, c.text) << c.dcs << " " << c.userData;
        EXPECT_EQ(f.userData, QString(c.userData).mid(2));
    }
}

TEST(SummaryDecode, FieldDecodersConsumeUpToTheUserDataLength) {
    MessageFields f;
    f.typeCode = "kept";
    QString deliver = kDeliver;
    EXPECT_TRUE(DecodeDeliverFields(deliver, f));
    EXPECT_EQ(deliver, QString("05C8329BFD06"));
    EXPECT_EQ(f.typeCode, QString("kept"));
    EXPECT_EQ(f.address, QString("31628870634"));
    EXPECT_EQ(f.text, QString("Hello"));

    QString submit =
        "1100"
        "0B911326880736F4"
        "0000A7"
        "05C8329BFD06";
    EXPECT_TRUE(DecodeSubmitFields(submit, f));
    EXPECT_EQ(submit, QString("05C8329BFD06"));
    EXPECT_EQ(f.time, QString(" Rel: A7"));
    EXPECT_EQ(f.flagOrReference, QString("00"));
}

TEST(SummaryDecode, ShortContentReadsAsEmptyFields) {
    const MessageFields empty = Decode("21");
    EXPECT_EQ(empty.typeCode, QString("MT-"));
    EXPECT_EQ(empty.scAddressType, QString("Illegal Illegal"));
    EXPECT_EQ(empty.flagOrReference, QString("No"));
    EXPECT_EQ(empty.addressType, QString("Illegal Illegal"));
    EXPECT_EQ(empty.time, QString("// :: GMT+0.00H"));
    EXPECT_EQ(empty.text, QString());

    const MessageFields cut = Decode(kHeader + "00" + "040B911326");
    EXPECT_EQ(cut.address, QString("3162"));
    EXPECT_EQ(cut.pid, QString());
    EXPECT_EQ(cut.time, QString("// :: GMT+0.00H"));
    EXPECT_EQ(cut.userData, QString());

    const MessageFields noData = Decode(kHeader + "00" + kDeliver.left(36) + "03");
    EXPECT_EQ(noData.text, QString("@@@"));
    EXPECT_EQ(noData.userData, QString());
}

TEST(SummaryDecode, CharactersOtherThanHexEndCleanly) {
    const QString deliverHead = kDeliver.left(36);
    const QString ff = "\u00FF\u00FF";
    const struct {
        QString content;
        const char *typeCode, *firstOctet, *address, *text;
        int textSize;
    } cases[] = {
        {kHeader + "G0" + "91" + "2143" + kDeliver, "MO-01", "21", "1931", "", -1},
        {kHeader + ff + "91" + kDeliver, "MT-01", "", "", "", 0},
        {kHeader + "00" + "04" + ff + "91" + "2143", "MT-01", "04", "1234", "", 0},
        {kHeader + "00" + deliverHead + ff, "MT-01", "04", "31628870634", "@@@", 2856},
        {kHeader + "00" + deliverHead + "0AE8329BFD4697D90 37", "MT-01", "04", "31628870634",
         "hellohel", 8},
        {kHeader + "00" + deliverHead + "  C8329BFD06", "MT-01", "04", "31628870634", "", 0},
        {kHeader + "00" + "04" + "0BD0" + "0 " + "0000", "MT-01", "04", "", "", -1},
    };
    for (const auto &c : cases) {
        const MessageFields f = Decode(c.content);
        EXPECT_EQ(f.typeCode, QString(c.typeCode)) << c.content.toStdString();
        EXPECT_EQ(f.firstOctet, QString(c.firstOctet)) << c.content.toStdString();
        EXPECT_EQ(f.address, QString(c.address)) << c.content.toStdString();
        if (c.textSize >= 0) {
            EXPECT_EQ(f.text.left(qstrlen(c.text)), QString(c.text)) << c.content.toStdString();
            EXPECT_EQ(f.text.size(), c.textSize) << c.content.toStdString();
        }
    }
}

}  // namespace
}  // namespace vantel
