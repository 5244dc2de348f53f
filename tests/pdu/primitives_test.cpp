#include "pdu/primitives.h"

#include <gtest/gtest.h>

#include "qtprint.h"

namespace vantel {
namespace {

TEST(HexDigits, ClassicFormulaForEveryCharacter) {
    const struct {
        QString c;
        int value;
    } cases[] = {
        {"", 0},   {"0", 0},  {"9", 9},   {"A", 10},  {"F", 15},  {"a", 10},       {"f", 15},
        {":", 10}, {"/", -1}, {" ", -16}, {"G", -16}, {"FZ", 15}, {"\u00FF", 168},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HexDigitValue(c.c), c.value) << c.c.toStdString();
}

TEST(HexDigits, PairValueCountsMissingDigitsAsZero) {
    EXPECT_EQ(HexPairValue(u""), 0);
    EXPECT_EQ(HexPairValue(u"A"), 160);
    EXPECT_EQ(HexPairValue(u"FF"), 255);
    EXPECT_EQ(HexPairValue(u"0a"), 10);
    EXPECT_EQ(HexPairValue(u"7E02"), 0x7E);
    EXPECT_EQ(HexPairValue(u"  "), -272);
}

TEST(HexConversion, HexToBytesPadsAnOddLengthWithZero) {
    EXPECT_EQ(HexToBytes(u"414"), QByteArray("\x41\x40"));
    EXPECT_EQ(HexToBytes(u"4142"), QByteArray("AB"));
    EXPECT_EQ(HexToBytes(u"00ff"), QByteArray("\x00\xFF", 2));
    EXPECT_EQ(HexToBytes(u""), QByteArray());
}

TEST(HexConversion, HexToBytesStopsAtAPairOutsideAnOctet) {
    EXPECT_EQ(HexToBytes(u"41  42"), QByteArray("A"));
    EXPECT_EQ(HexToBytes(u"41\u00FF\u00FF"), QByteArray("A"));
}

TEST(HexConversion, HexPairsToCharsLeavesOutTheLastPair) {
    EXPECT_EQ(HexPairsToChars(u"4142"), QByteArray("A"));
    EXPECT_EQ(HexPairsToChars(u"41420"), QByteArray("AB"));
    EXPECT_EQ(HexPairsToChars(u"41"), QByteArray());
    EXPECT_EQ(HexPairsToChars(u""), QByteArray());
    EXPECT_EQ(HexPairsToChars(u"41 0422"), QByteArray("AB"));
    EXPECT_EQ(HexPairsToChars(u"41\u00FF\u00FF4200"), QByteArray("A"));
}

TEST(HexConversion, BytesToHexWritesTwoUpperCaseDigits) {
    EXPECT_EQ(BytesToHex(QByteArray("\x00\x0F\xAB\xFF\x10", 5)), QString("000FABFF10"));
    EXPECT_EQ(BytesToHex(QByteArray()), QString());
}

TEST(HexConversion, KeepHexDigitsDropsLowerCaseAndPunctuation) {
    EXPECT_EQ(KeepHexDigits(u"12 ab:CD-Fg\r\n"), QString("12CDF"));
}

TEST(NumberNormalising, PrefixesAndSpaces) {
    const struct {
        QString in, out;
    } cases[] = {
        {"+44 12 34", "441234"},
        {"01234", "441234"},
        {"0033123", "33123"},
        {"  +0044 123", "44123"},
        {"+0044 123", "44123"},
        {"123", "123"},
        {"0", "44"},
        {"+", ""},
        {"", ""},
        {"00", ""},
        {"++1", "+1"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(NormaliseNumber(c.in), c.out) << c.in.toStdString();
}

// GSM 03.38 6.2.1, row by row: septets 00-7F (the escape 1B shows as a space).
const QString kDefaultAlphabet = QString::fromUtf8(
    "@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞ ÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
    "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà");

TEST(Gsm7, DefaultAlphabetBothWays) {
    ASSERT_EQ(kDefaultAlphabet.size(), 128);
    for (int septet = 0; septet < 128; ++septet) {
        const QChar c = kDefaultAlphabet[septet];
        EXPECT_EQ(MapGsmChar(septet), c.unicode()) << septet;
        if (septet != 0x1B) {
            EXPECT_EQ(ToGsmSeptets(c), septet) << septet;
        }
    }
    EXPECT_EQ(MapGsmChar(200), 200);
    EXPECT_EQ(ToGsmSeptets(QChar(u'`')), -1);
    EXPECT_EQ(ToGsmSeptets(QChar(0x0448)), -1);
    EXPECT_EQ(ToGsmSeptets(QChar(0x00E7)), -1);  // c cedilla: only the capital is there
}

TEST(Gsm7, ExtensionTableBothWays) {
    const struct {
        int septet;
        char16_t c;
    } cases[] = {
        {0x0A, u'\f'}, {0x14, u'^'}, {0x28, u'{'}, {0x29, u'}'}, {0x2F, u'\\'},
        {0x3C, u'['},  {0x3D, u'~'}, {0x3E, u']'}, {0x40, u'|'}, {0x65, u'\u20AC'},
    };
    int found = 0;
    for (int septet = 0; septet < 128; ++septet)
        found += MapGsmExtensionChar(septet) >= 0;
    EXPECT_EQ(found, int(std::size(cases)));
    for (const auto &c : cases) {
        EXPECT_EQ(MapGsmExtensionChar(c.septet), c.c) << c.septet;
        EXPECT_EQ(ToGsmSeptets(QChar(c.c)), 0x1B00 | c.septet) << c.septet;
    }
    EXPECT_EQ(MapGsmExtensionChar(0x41), -1);
    EXPECT_EQ(MapGsmExtensionChar(-1), -1);
}

TEST(Gsm7, UnpacksEveryPhaseOfTheSeptetGroup) {
    const struct {
        QString hex;
        int count;
        QString text;
        int skip = 0;
    } cases[] = {
        {"C8329BFD06", 5, "Hello"},
        {"C8329BFD06", 6, "Hello@"},
        {"C8329BFD06", 4, "Hell"},
        {"C8329BFD06", 0, ""},
        {"C8329BFD06", -3, ""},
        {"E8329BFD4697D9EC37", 10, "hellohello"},
        {"C8F71D14969741F977FD07", 12, "How are you?"},
        {"41E19058341E9149E592D9743EA1", 16, "ABCDEFGHIJKLMNOP"},
        {"", 3, "@@@"},
        {"00", 1, "@"},
        {"40", 1, u"\u00A1"_qs},
        {"0A", 1, "\r\n"},
        {"11", 1, "_"},
        {"c8329bfd06", 5, "Hello"},
        // padding: seven characters leave seven zero bits that are no eighth "@" ...
        {"31D98C56B3DD00", 7, "1234567"},
        // ... while "@" sent as the eighth character is one
        {"31D98C56B3DD00", 8, "1234567@"},
        {"E170381C0E8701", 7, "aaaaaaa"},
        {"E170381C0E8701", 8, "aaaaaaa@"},
        // escapes: euro sign, "[" and "]" behind "$_"; a form feed
        {"9B32", 2, u"\u20AC"_qs},
        {"82C886B7F16D509BD4A60C", 12, u"$_[]{}\u20AC"_qs},
        {"1B05", 2, "\f"},
        // an unknown escape gives the default-table character of its septet
        {"9B20", 2, "A"},
        // an escape as the last septet shows as a space
        {"E1F006", 3, "aa "},
        {"1B", 1, " "},
        // septets after a header: the first ones are skipped
        {"C8329BFD06", 5, "llo", 2},
        {"C8329BFD06", 2, "", 2},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(UnpackGsm7(c.hex, c.count, c.skip), c.text)
            << c.hex.toStdString() << " " << c.count;
    }
}

TEST(Gsm7, HugeCountIsCappedAndAtSignsFillThePastEnd) {
    const QString text = UnpackGsm7(u"C8329BFD06", 1000000);
    ASSERT_EQ(text.size(), 32767);
    EXPECT_TRUE(text.startsWith(u"Hello@@"));
    EXPECT_EQ(text.count(u'@'), 32767 - 5);
}

TEST(Gsm7, SeptetOutsideTheCodePageEndsTheText) {
    EXPECT_EQ(UnpackGsm7(u"C8329B FD06", 8), QString::fromUtf8("Hel\xC3\xB6"));
    EXPECT_EQ(UnpackGsm7(u"0 ", 5), QString());
    EXPECT_EQ(UnpackGsm7(u"7\u00FF", 5), QString());
}

TEST(SemiOctets, DigitsSwapEachPairAndDropEveryF) {
    const struct {
        QString hex;
        qsizetype start;
        int digits;
        QString text;
        qsizetype end;
    } cases[] = {
        {"2143F5", 0, 5, "12345", 6}, {"2F43", 0, 4, "234", 4},    {"214365", 0, 6, "123456", 6},
        {"214365", 0, 3, "1234", 4},  {"214365", 0, 1, "12", 2},   {"214365", 0, 0, "", 0},
        {"214365", 0, -5, "", 0},     {"XX2143", 2, 4, "1234", 6}, {"214", 0, 3, "124", 4},
        {"21", 0, 10, "12", 10},      {"", 4, 2, "", 6},           {"f1", 0, 2, "1f", 2},
    };
    for (const auto &c : cases) {
        qsizetype end = -1;
        EXPECT_EQ(SemiOctetDigits(c.hex, c.start, c.digits, &end), c.text) << c.hex.toStdString();
        EXPECT_EQ(end, c.end) << c.hex.toStdString() << " " << c.digits;
    }
}

TEST(TimeStamps, SwappedPairsTakenVerbatim) {
    EXPECT_EQ(TimeStampText(u"89705141030040", 0), QString("98/07/15 14:30:00"));
    EXPECT_EQ(TimeStampText(u"XX89705141030040", 2), QString("98/07/15 14:30:00"));
    EXPECT_EQ(TimeStampText(u"8970", 0), QString("98/07/ ::"));
    EXPECT_EQ(TimeStampText(u"", 0), QString("// ::"));
    EXPECT_EQ(TimeStampText(u"A:B;C<D=E>F?G@", 0), QString(":A/;B/<C =D:>E:?F"));
}

TEST(TimeStamps, TimeZoneCountsSignedQuarters) {
    const struct {
        QString pair;
        double hours;
        QString text;
    } cases[] = {
        {"40", 1.0, "+1.00"},    {"8A", -7.0, "-7.00"},  {"00", 0.0, "+0.00"},
        {"21", 3.0, "+3.00"},    {"0A", -5.0, "-5.00"},  {"08", 0.0, "+0.00"},
        {"32", 5.75, "+5.75"},   {"99", -4.75, "-4.75"}, {"28", -0.5, "-0.50"},
        {"B4", 12.75, "+12.75"}, {"", 0.0, "+0.00"},
    };
    for (const auto &c : cases) {
        const double hours = TimeZoneHours(c.pair, 0);
        EXPECT_EQ(hours, c.hours) << c.pair.toStdString();
        EXPECT_EQ(TimeZoneText(hours), c.text) << c.pair.toStdString();
    }
    EXPECT_EQ(TimeZoneHours(u"8970154103008A", 12), -7.0);
}

TEST(Alphanumeric, SeptetCountRoundsToNearest) {
    const int cases[][2] = {{14, 8}, {11, 6},  {10, 6},  {0, 0},  {3, 2},
                            {7, 4},  {18, 10}, {20, 11}, {-4, -2}};
    for (const auto &c : cases)
        EXPECT_EQ(AlphanumericLength(c[0]), c[1]) << c[0];
}

TEST(Windows1252, EveryByteRoundTrips) {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = FromAnsi(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(ToAnsi(text), all);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(AnsiCode(AnsiChar(b)), b);
}

TEST(Windows1252, HighHalfUsesTheCodePage) {
    EXPECT_EQ(AnsiChar(0x80), QChar(0x20AC));
    EXPECT_EQ(AnsiChar(0x9F), QChar(0x0178));
    EXPECT_EQ(AnsiChar(0x8D), QChar(0x008D));
    EXPECT_EQ(AnsiChar(161), QChar(0x00A1));
    EXPECT_EQ(AnsiCode(QChar(0x2122)), 0x99);
    EXPECT_EQ(AnsiCode(QChar(0x0080)), '?');
    EXPECT_EQ(AnsiCode(QChar(0x4E2D)), '?');
    EXPECT_EQ(ToAnsi(QString::fromUtf8("\xF0\x9F\x98\x80!")), QByteArray("?!"));
    EXPECT_EQ(AnsiChar(256), QChar(QChar::ReplacementCharacter));
}

}  // namespace
}  // namespace vantel
