#include "compose/encoder.h"

#include <gtest/gtest.h>

#include "coretest.h"

namespace vantel {
namespace {

TEST(EncodeAddress, LengthTypeAndSwappedDigits) {
    const std::tuple<QString, bool, QString> cases[] = {
        {u"12345"_qs, false, u"05912143F5"_qs},
        {u"0123"_qs, true, u"04914421F3"_qs},
        {u"0123"_qs, false, u"05914421F3"_qs},
        {u"+44 1234 5"_qs, false, u"0791442143F5"_qs},
        {u"+44 1234 5"_qs, true, u"0591442143F5"_qs},
        {u"0012345"_qs, false, u"05912143F5"_qs},
        {u"+0044 123"_qs, false, u"05914421F3"_qs},
        {u"447700900123"_qs, true, u"0791447700091032"_qs},
        {u""_qs, true, u"0191"_qs},
        {u""_qs, false, u"0091"_qs},
        // nothing is validated: other characters go into the semi-octets as they are
        {u"12*#"_qs, false, u"049121#*"_qs},
    };
    for (const auto &[number, octets, field] : cases) {
        EXPECT_EQ(EncodeAddress(number, octets), field) << number.toStdString();
    }
}

TEST(PackSeptets, DefaultAlphabetPacking) {
    const std::pair<QString, QString> cases[] = {
        {u"abc"_qs, u"61F118"_qs},
        {u"hello world"_qs, u"E8329BFD06DDDF723619"_qs},
        {u"Hello"_qs, u"C8329BFD06"_qs},
        {u"1234567"_qs, u"31D98C56B3DD00"_qs},
        {u"12345678"_qs, u"31D98C56B3DD70"_qs},
        {u"@"_qs, u"00"_qs},
        {u"\r\n"_qs, u"0D05"_qs},
        {u"\u00e9"_qs, u"69"_qs},  // e acute, ANSI 233, loses bit 7: a plain i
        {u"\u20ac"_qs, u"00"_qs},  // euro sign, ANSI 128: septet 0
        {u""_qs, u""_qs},
    };
    for (const auto &[text, packed] : cases) {
        EXPECT_EQ(PackSeptets(text), packed) << text.toStdString();
    }
}

TEST(PackSeptets, LengthIsSevenEighthsOfTheText) {
    for (int n = 0; n <= 170; ++n) {
        EXPECT_EQ(PackSeptets(QString(n, u'z')).size(), (7 * n + 7) / 8 * 2) << n;
    }
}

TEST(ToGsmCode, OnlyTheAtSignIsTranslated) {
    EXPECT_EQ(ToGsmCode(64), 0);
    for (int code : {0, 10, 13, 36, 65, 95, 127, 161, 233, 255})
        EXPECT_EQ(ToGsmCode(code), code);
}

SendFields Fields(QString to, QString sc, QString message, QString dcs = u"00=Default"_qs) {
    SendFields f;
    f.to = std::move(to);
    f.sc = std::move(sc);
    f.message = std::move(message);
    f.pid = u"00=Default"_qs;
    f.dcs = std::move(dcs);
    return f;
}

struct EntryCase {
    const char *name;
    SendFields fields;
    LinkMode mode;
    QString entry;
};

SendFields WithBoxes(SendFields f, bool replyPath, bool statusReport) {
    f.replyPath = replyPath;
    f.statusReport = statusReport;
    return f;
}

SendFields WithPid(SendFields f, QString pid) {
    f.pid = std::move(pid);
    return f;
}

TEST(BuildQueueEntry, EntriesOfEveryModeAndOption) {
    const SendFields abc = Fields(u"12345"_qs, u"0123"_qs, u"abc"_qs);
    const EntryCase cases[] = {
        {"worked example, PDU mode", abc, LinkMode::Pdu,
         u"14,12345,0123,04914421F3110005912143F50000A70361F118"_qs},
        {"worked example, PDU mode without SCA", abc, LinkMode::PduSkipSca,
         u"14,12345,0123,110005912143F50000A70361F118"_qs},
        {"worked example, Block mode", abc, LinkMode::Block,
         u"14,12345,0123,070204914421F3110005912143F50000A70361F118"_qs},
        {"empty service centre", Fields(u"12345"_qs, u""_qs, u"abc"_qs), LinkMode::Block,
         u"14,12345,,07020191110005912143F50000A70361F118"_qs},
        {"empty destination", Fields(u""_qs, u""_qs, u"abc"_qs), LinkMode::PduSkipSca,
         u"11,,,110000910000A70361F118"_qs},
        {"reply path", WithBoxes(abc, true, false), LinkMode::PduSkipSca,
         u"14,12345,0123,910005912143F50000A70361F118"_qs},
        {"status report", WithBoxes(abc, false, true), LinkMode::PduSkipSca,
         u"14,12345,0123,310005912143F50000A70361F118"_qs},
        {"both boxes", WithBoxes(abc, true, true), LinkMode::PduSkipSca,
         u"14,12345,0123,B10005912143F50000A70361F118"_qs},
        {"DCS 04 still packs text", Fields(u"12345"_qs, u"0123"_qs, u"abc"_qs, u"04=8 bit"_qs),
         LinkMode::PduSkipSca, u"14,12345,0123,110005912143F50004A70361F118"_qs},
        {"8-bit F4 with both boxes",
         WithBoxes(Fields(u"12345"_qs, u""_qs, u"0A0B0C"_qs, u"F4=8 bit Immediate"_qs), true, true),
         LinkMode::PduSkipSca, u"14,12345,,B10005912143F500F4A7030A0B0C"_qs},
        {"8-bit F5 with a header",
         WithBoxes(Fields(u"12345"_qs, u""_qs, u"050003000201"_qs, u"F5=8 bit ME Specific"_qs),
                   true, true),
         LinkMode::Block, u"17,12345,,07020191510005912143F500F5A706050003000201"_qs},
        {"8-bit keeps lower case", Fields(u"12345"_qs, u""_qs, u"0a0b0c"_qs, u"F6"_qs),
         LinkMode::PduSkipSca, u"14,12345,,110005912143F500F6A7030a0b0c"_qs},
        {"lower-case f4 is text mode", Fields(u"12345"_qs, u""_qs, u"0A"_qs, u"f4"_qs),
         LinkMode::PduSkipSca, u"13,12345,,110005912143F500f4A702B020"_qs},
        {"DCS F0 lets an empty text through", Fields(u"12345"_qs, u""_qs, u""_qs, u"F0"_qs),
         LinkMode::PduSkipSca, u"11,12345,,110005912143F500F0A700"_qs},
        {"empty 8-bit data", Fields(u"12345"_qs, u""_qs, u""_qs, u"F7"_qs), LinkMode::PduSkipSca,
         u"11,12345,,110005912143F500F7A700"_qs},
        {"PID of the choice list", WithPid(abc, u"3F=GSM mobile"_qs), LinkMode::PduSkipSca,
         u"14,12345,0123,110005912143F53F00A70361F118"_qs},
        {"short PID", WithPid(abc, u"4"_qs), LinkMode::PduSkipSca,
         u"13,12345,0123,110005912143F5400A70361F118"_qs},
        {"at sign and line break", Fields(u"12345"_qs, u""_qs, u"@\r\n"_qs), LinkMode::PduSkipSca,
         u"14,12345,,110005912143F50000A703808602"_qs},
        {"address book entry with service centre",
         Fields(u"Bob=12345,0123"_qs, u"Centre=999"_qs, u"abc"_qs), LinkMode::Pdu,
         u"14,12345,0123,04914421F3110005912143F50000A70361F118"_qs},
        {"comma without a name", Fields(u"12345,0123"_qs, u"999"_qs, u"abc"_qs), LinkMode::Pdu,
         u"14,12345,0123,04914421F3110005912143F50000A70361F118"_qs},
        {"second = is part of the number", Fields(u"a=b=12"_qs, u""_qs, u"abc"_qs),
         LinkMode::PduSkipSca, u"13,b=12,,11000491=b210000A70361F118"_qs},
        {"international destination",
         Fields(u"+44 7700 900123"_qs, u"+447700900000"_qs, u"hello world"_qs), LinkMode::Block,
         u"24,+44 7700 900123,+447700900000,07020791447700090000"_qs +
             u"11000C914477000910320000A70BE8329BFD06DDDF723619"_qs},
    };
    for (const auto &c : cases) {
        const EncodedEntry got = BuildQueueEntry(c.fields, c.mode);
        EXPECT_TRUE(got.ok) << c.name << ": " << got.error.toStdString();
        EXPECT_EQ(got.entry, c.entry) << c.name;
        EXPECT_TRUE(got.error.isEmpty()) << c.name;
    }
}

TEST(BuildQueueEntry, NamedEntriesGoToTheHistories) {
    const EncodedEntry got =
        BuildQueueEntry(Fields(u"Bob=12345,0123"_qs, u"Centre=999"_qs, u"abc"_qs), LinkMode::Pdu);
    ASSERT_TRUE(got.ok);
    EXPECT_EQ(got.addToAddressList, u"Bob=12345,0123"_qs);
    EXPECT_EQ(got.addToSCList, u"Centre=999"_qs);

    const EncodedEntry plain =
        BuildQueueEntry(Fields(u"12345"_qs, u"999"_qs, u"a"_qs), LinkMode::Pdu);
    ASSERT_TRUE(plain.ok);
    EXPECT_TRUE(plain.addToAddressList.isEmpty());
    EXPECT_TRUE(plain.addToSCList.isEmpty());
}

TEST(BuildQueueEntry, LongestTextsFitOneMessage) {
    const EncodedEntry text =
        BuildQueueEntry(Fields(u"1"_qs, u""_qs, QString(160, u'x')), LinkMode::PduSkipSca);
    ASSERT_TRUE(text.ok);
    EXPECT_TRUE(text.entry.startsWith(u"149,1,,"_qs)) << text.entry.toStdString();
    EXPECT_TRUE(text.entry.contains(u"00A7A0"_qs));

    const EncodedEntry octets = BuildQueueEntry(Fields(u"1"_qs, u""_qs, QString(280, u'A'), u"F4"_qs),
                                              LinkMode::PduSkipSca);
    ASSERT_TRUE(octets.ok);
    EXPECT_TRUE(octets.entry.startsWith(u"149,1,,"_qs)) << octets.entry.toStdString();
    EXPECT_TRUE(octets.entry.contains(u"F4A78C"_qs));
}

struct RefusalCase {
    const char *name;
    SendFields fields;
    QString error;
};

TEST(BuildQueueEntry, RefusesWhatCannotBeSentAndQueuesNothing) {
    const QString tooLong = u"Text too long to send: 161 characters, at most 160"_qs;
    const RefusalCase cases[] = {
        {"no text", Fields(u"Bob=12345"_qs, u"Centre=0123"_qs, u""_qs), u"No text to send"_qs},
        {"no text, bare DCS", Fields(u"12345"_qs, u""_qs, u""_qs, u"00"_qs), u"No text to send"_qs},
        {"161 characters", Fields(u"Bob=12345"_qs, u"Centre=0123"_qs, QString(161, u'x')), tooLong},
        {"160 characters and a line break",
         Fields(u"12345"_qs, u""_qs, QString(159, u'x') + u"\r\n"_qs, u"08=UCS2"_qs), tooLong},
        {"282 hex digits", Fields(u"Bob=12345"_qs, u""_qs, QString(282, u'0'), u"F4"_qs),
         u"8-bit data too long to send: 282 hex digits, at most 280"_qs},
        {"odd number of hex digits", Fields(u"Bob=12345"_qs, u""_qs, u"0A0B0"_qs, u"F5"_qs),
         u"8-bit data must be whole octets: 5 hex digits is odd"_qs},
    };
    for (const auto &c : cases) {
        for (LinkMode mode : {LinkMode::Block, LinkMode::Pdu, LinkMode::PduSkipSca}) {
            const EncodedEntry got = BuildQueueEntry(c.fields, mode);
            EXPECT_FALSE(got.ok) << c.name;
            EXPECT_EQ(got.error, c.error) << c.name;
            EXPECT_TRUE(got.entry.isEmpty()) << c.name;
            // refused before anything reaches the histories
            EXPECT_TRUE(got.addToAddressList.isEmpty()) << c.name;
            EXPECT_TRUE(got.addToSCList.isEmpty()) << c.name;
        }
    }
}

}  // namespace
}  // namespace vantel
