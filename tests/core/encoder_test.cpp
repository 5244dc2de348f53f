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
        {u"\u00e9"_qs, u"05"_qs},                  // e acute: septet 05
        {u"\u0394\u00a3\u03a6"_qs, u"908004"_qs},  // Delta, pound, Phi: 10 01 12
        {u"\u20ac"_qs, u"9B32"_qs},                // euro sign: escape, 65
        // $ _ [ ] { } euro: 02 11, then 1B with 3C 3E 28 29 65
        {u"$_[]{}\u20ac"_qs, u"82C886B7F16D509BD4A60C"_qs},
        {u"\u0448"_qs, u"3F"_qs},  // a character the alphabet lacks packs as '?'
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
        {"empty names before the =", Fields(u"=12345"_qs, u"=0123"_qs, u"abc"_qs),
         LinkMode::PduSkipSca, u"14,12345,0123,110005912143F50000A70361F118"_qs},
        {"reply path", WithBoxes(abc, true, false), LinkMode::PduSkipSca,
         u"14,12345,0123,910005912143F50000A70361F118"_qs},
        {"status report", WithBoxes(abc, false, true), LinkMode::PduSkipSca,
         u"14,12345,0123,310005912143F50000A70361F118"_qs},
        {"both boxes", WithBoxes(abc, true, true), LinkMode::PduSkipSca,
         u"14,12345,0123,B10005912143F50000A70361F118"_qs},
        {"DCS 04 takes hex like F4", Fields(u"12345"_qs, u"0123"_qs, u"0A0B0C"_qs, u"04=8 bit"_qs),
         LinkMode::PduSkipSca, u"14,12345,0123,110005912143F50004A7030A0B0C"_qs},
        {"UCS2 (DCS 08)", Fields(u"12345"_qs, u""_qs, u"\u0448\u00e9!"_qs, u"08=UCS2"_qs),
         LinkMode::PduSkipSca, u"17,12345,,110005912143F50008A706044800E90021"_qs},
        {"UCS2 surrogate pair (DCS 18)", Fields(u"12345"_qs, u""_qs, u"\U0001F600"_qs, u"18"_qs),
         LinkMode::PduSkipSca, u"15,12345,,110005912143F50018A704D83DDE00"_qs},
        {"extension characters cost two septets",
         Fields(u"12345"_qs, u""_qs, u"$_[]{}\u20ac"_qs, u"00"_qs), LinkMode::PduSkipSca,
         u"22,12345,,110005912143F50000A70C82C886B7F16D509BD4A60C"_qs},
        {"7-bit message waiting group", Fields(u"12345"_qs, u""_qs, u"abc"_qs, u"D0"_qs),
         LinkMode::PduSkipSca, u"14,12345,,110005912143F500D0A70361F118"_qs},
        {"8-bit F4 with both boxes",
         WithBoxes(Fields(u"12345"_qs, u""_qs, u"0A0B0C"_qs, u"F4=8 bit Immediate"_qs), true, true),
         LinkMode::PduSkipSca, u"14,12345,,B10005912143F500F4A7030A0B0C"_qs},
        {"8-bit F5 with a header",
         WithBoxes(Fields(u"12345"_qs, u""_qs, u"050003000201"_qs, u"F5=8 bit ME Specific"_qs),
                   true, true),
         LinkMode::Block, u"17,12345,,07020191510005912143F500F5A706050003000201"_qs},
        {"8-bit keeps lower case", Fields(u"12345"_qs, u""_qs, u"0a0b0c"_qs, u"F6"_qs),
         LinkMode::PduSkipSca, u"14,12345,,110005912143F500F6A7030a0b0c"_qs},
        {"lower-case f4 is 8-bit too", Fields(u"12345"_qs, u""_qs, u"0A"_qs, u"f4"_qs),
         LinkMode::PduSkipSca, u"12,12345,,110005912143F500f4A7010A"_qs},
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
        {"international destination",
         Fields(u"+44 7700 900123"_qs, u"+447700900000"_qs, u"hello world"_qs), LinkMode::Block,
         u"24,+44 7700 900123,+447700900000,07020791447700090000"_qs +
             u"11000C914477000910320000A70BE8329BFD06DDDF723619"_qs},
    };
    for (const auto &c : cases) {
        const EncodedEntry got = BuildQueueEntry(c.fields, c.mode);
        EXPECT_TRUE(got.ok) << c.name << ": " << got.error.toStdString();
        EXPECT_EQ(got.entries, QStringList{c.entry}) << c.name;
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
    ASSERT_EQ(text.entries.size(), 1);
    EXPECT_TRUE(text.entries[0].startsWith(u"149,1,,"_qs)) << text.entries[0].toStdString();
    EXPECT_TRUE(text.entries[0].contains(u"00A7A0"_qs));

    const EncodedEntry ucs2 =
        BuildQueueEntry(Fields(u"1"_qs, u""_qs, QString(70, u'x'), u"08"_qs), LinkMode::PduSkipSca);
    ASSERT_EQ(ucs2.entries.size(), 1);
    EXPECT_TRUE(ucs2.entries[0].startsWith(u"149,1,,110001"_qs)) << ucs2.entries[0].toStdString();

    const EncodedEntry octets = BuildQueueEntry(
        Fields(u"1"_qs, u""_qs, QString(280, u'A'), u"F4"_qs), LinkMode::PduSkipSca);
    ASSERT_TRUE(octets.ok);
    ASSERT_EQ(octets.entries.size(), 1);
    EXPECT_TRUE(octets.entries[0].startsWith(u"149,1,,"_qs));
    EXPECT_TRUE(octets.entries[0].contains(u"F4A78C"_qs));
}

struct RefusalCase {
    const char *name;
    SendFields fields;
    QString error;
};

TEST(BuildQueueEntry, RefusesWhatCannotBeSentAndQueuesNothing) {
    const RefusalCase cases[] = {
        {"no text", Fields(u"Bob=12345"_qs, u"Centre=0123"_qs, u""_qs), u"No text to send"_qs},
        {"no text, bare DCS", Fields(u"12345"_qs, u""_qs, u""_qs, u"00"_qs), u"No text to send"_qs},
        {"256 parts", Fields(u"Bob=12345"_qs, u"Centre=0123"_qs, QString(255 * 153 + 1, u'x')),
         u"Text too long to send: 256 parts, at most 255"_qs},
        {"256 UCS2 parts", Fields(u"12345"_qs, u""_qs, QString(255 * 67 + 1, u'x'), u"08=UCS2"_qs),
         u"Text too long to send: 256 parts, at most 255"_qs},
        {"282 hex digits", Fields(u"Bob=12345"_qs, u""_qs, QString(282, u'0'), u"F4"_qs),
         u"8-bit data too long to send: 282 hex digits, at most 280"_qs},
        {"odd number of hex digits", Fields(u"Bob=12345"_qs, u""_qs, u"0A0B0"_qs, u"F5"_qs),
         u"8-bit data must be whole octets: 5 hex digits is odd"_qs},
        {"8-bit data not hex", Fields(u"12345"_qs, u""_qs, u"0A0G"_qs, u"04"_qs),
         u"8-bit data must be hex digits: \"G\" is not one"_qs},
        {"a character outside the alphabet", Fields(u"Bob=12345"_qs, u""_qs, u"ab\u0448c"_qs),
         u"The character \"\u0448\" (U+0448) is not in the GSM alphabet: choose a UCS2 coding "
         "(DCS 08) to send it"_qs},
        {"a character outside the plane", Fields(u"12345"_qs, u""_qs, u"\U0001F600"_qs),
         u"The character \"\U0001F600\" (U+1F600) is not in the GSM alphabet: choose a UCS2 "
         "coding (DCS 08) to send it"_qs},
        {"compressed coding", Fields(u"12345"_qs, u""_qs, u"abc"_qs, u"20=Compressed"_qs),
         u"Compressed data (DCS 20) cannot be sent: choose a coding without compression"_qs},
        {"DCS not hex", Fields(u"12345"_qs, u""_qs, u"abc"_qs, u"G1"_qs),
         u"The data coding scheme \"G1\" is not two hex digits"_qs},
        {"name as destination", Fields(u"Bob"_qs, u""_qs, u"abc"_qs),
         u"The destination \"Bob\" is not a phone number: only \"+\", digits and blanks can be "
         "sent to"_qs},
        {"empty destination", Fields(u""_qs, u""_qs, u"abc"_qs),
         u"The destination \"\" is not a phone number: only \"+\", digits and blanks can be "
         "sent to"_qs},
        {"second = is part of the number", Fields(u"a=b=12"_qs, u""_qs, u"abc"_qs),
         u"The destination \"b=12\" is not a phone number: only \"+\", digits and blanks can "
         "be sent to"_qs},
    };
    for (const auto &c : cases) {
        for (LinkMode mode : {LinkMode::Block, LinkMode::Pdu, LinkMode::PduSkipSca}) {
            const EncodedEntry got = BuildQueueEntry(c.fields, mode);
            EXPECT_FALSE(got.ok) << c.name;
            EXPECT_EQ(got.error, c.error) << c.name;
            EXPECT_TRUE(got.entries.isEmpty()) << c.name;
            // refused before anything reaches the histories
            EXPECT_TRUE(got.addToAddressList.isEmpty()) << c.name;
            EXPECT_TRUE(got.addToSCList.isEmpty()) << c.name;
        }
    }
}

// A text longer than one message: parts of 153 septets or 67 UCS2 characters, each behind the
// header 05 00 03 <reference> <total> <part>, with TP-UDHI set in the first octet.
TEST(BuildQueueEntry, LongTextIsSentAsAConcatenatedSeries) {
    const struct {
        const char *name;
        SendFields fields;
        QStringList entries;
    } cases[] = {
        {"161 septets: 153 and 8",
         [] {
             SendFields f = Fields(u"12345"_qs, u""_qs, QString(153, u'a') + u"bcdefghi"_qs);
             f.reference = 0x42;
             f.statusReport = true;
             return f;
         }(),
         {u"151,12345,,710005912143F50000A7A0050003420201C2"_qs + u"E170381C0E87C3"_qs.repeated(19),
          u"25,12345,,710005912143F50000A70F050003420202C46372D97C46A701"_qs}},
        // an escape and its septet stay together: the euro sign at 153 goes to the next part
        {"extension character at the cut",
         [] {
             SendFields f = Fields(u"1"_qs, u""_qs, QString(152, u'@') + u"\u20acxxxxxxx"_qs);
             f.reference = 7;
             return f;
         }(),
         {u"149,1,,51000191F10000A79F050003070201"_qs + u"00"_qs.repeated(134),
          u"23,1,,51000191F10000A71005000307020236653C1E8FC7E3F1"_qs}},
        {"71 UCS2 characters: 67 and 4",
         [] {
             SendFields f = Fields(u"12345"_qs, u""_qs, QString(71, u'\u0448'), u"08"_qs);
             f.reference = 0xFF;
             return f;
         }(),
         {u"151,12345,,510005912143F50008A78C050003FF0201"_qs + u"0448"_qs.repeated(67),
          u"25,12345,,510005912143F50008A70E050003FF0202"_qs + u"0448"_qs.repeated(4)}},
    };
    for (const auto &c : cases) {
        const EncodedEntry got = BuildQueueEntry(c.fields, LinkMode::PduSkipSca);
        ASSERT_TRUE(got.ok) << c.name << ": " << got.error.toStdString();
        EXPECT_EQ(got.entries, c.entries) << c.name;
    }
    // Without a given reference it follows from the text: the same text, the same reference.
    const SendFields long1 = Fields(u"1"_qs, u""_qs, QString(200, u'k'));
    EXPECT_EQ(BuildQueueEntry(long1, LinkMode::Pdu).entries,
              BuildQueueEntry(long1, LinkMode::Pdu).entries);
}

TEST(MeasureText, PartsByAlphabet) {
    const struct {
        QString text;
        const char *dcs;
        Alphabet alphabet;
        qsizetype parts;
        QString missing;
    } cases[] = {
        {QString(160, u'a'), "00", Alphabet::Gsm7, 1, {}},
        {QString(161, u'a'), "00=GSM Default Alphabet", Alphabet::Gsm7, 2, {}},
        {QString(80, u'\u20ac'), "00", Alphabet::Gsm7, 1, {}},
        {QString(81, u'\u20ac'), "00", Alphabet::Gsm7, 2, {}},
        {QString(306, u'a'), "F0", Alphabet::Gsm7, 2, {}},
        {QString(307, u'a'), "F0", Alphabet::Gsm7, 3, {}},
        {u"a\u0448b"_qs, "00", Alphabet::Gsm7, 1, u"\u0448"_qs},
        {QString(70, u'\u0448'), "08", Alphabet::Ucs2, 1, {}},
        {QString(71, u'\u0448'), "E0", Alphabet::Ucs2, 2, {}},
        {QString(400, u'A'), "F4", Alphabet::EightBit, 1, {}},
    };
    for (const auto &c : cases) {
        const TextSize size = MeasureText(c.text, QString::fromLatin1(c.dcs));
        EXPECT_EQ(size.alphabet, c.alphabet) << c.dcs;
        EXPECT_EQ(size.parts, c.parts) << c.dcs << " " << c.text.size();
        EXPECT_EQ(size.missing, c.missing) << c.dcs;
    }
}

}  // namespace
}  // namespace vantel
