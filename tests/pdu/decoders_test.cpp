// The primitives, the name tables and both decoders, row by row from tests/data/pdu-*.txt, and
// the checks that are whole tables by themselves.
#include <gtest/gtest.h>

#include "pdu/primitives.h"
#include "pdu/summary.h"
#include "pdu/tables.h"
#include "pdu/technical.h"
#include "vectors.h"

namespace vantel {
namespace vectors {

MessageFields Stale() {
    const QString s = QStringLiteral("stale");
    return {s, s, s, s, s, s, s, s, s, s, s, s};
}
QStringList Message(const QString &content) {
    MessageFields f = Stale();
    const bool ok = DecodeMessage(content, f);
    return Fields(ok, f);
}
template <bool (*Decode)(QString &, MessageFields &)>
QStringList Body(QString tpdu) {
    MessageFields f = Stale();
    const bool ok = Decode(tpdu, f);
    return QStringList{tpdu} + Fields(ok, f);
}
template <QString (*Decode)(QString &)>
QStringList TechnicalBody(QString tpdu) {
    const QString text = Decode(tpdu);
    return {text, tpdu};
}

const QMap<QString, Call> &Calls() {
    static const QMap<QString, Call> calls = {
        {"HexDigitValue", VANTEL_CALL(1, N(HexDigitValue(in[0])))},
        {"HexPairValue", VANTEL_CALL(1, N(HexPairValue(in[0])))},
        {"HexToBytes", VANTEL_CALL(1, Hex(HexToBytes(in[0])))},
        {"HexPairsToChars", VANTEL_CALL(1, Hex(HexPairsToChars(in[0])))},
        {"BytesToHex", VANTEL_CALL(1, BytesToHex(Octets(in[0])))},
        {"KeepHexDigits", VANTEL_CALL(1, KeepHexDigits(in[0]))},
        {"NormaliseNumber", VANTEL_CALL(1, NormaliseNumber(in[0]))},
        {"NormaliseNumberWithCountryCode", VANTEL_CALL(2, NormaliseNumber(in[0], in[1]))},
        {"IsCountryCode", VANTEL_CALL(1, B(IsCountryCode(in[0])))},
        {"AnsiChar", VANTEL_CALL(1, QString(AnsiChar(in[0].toInt(nullptr, 16))))},
        {"ToAnsi", VANTEL_CALL(1, Hex(ToAnsi(in[0])))},
        {"UnpackGsm7", VANTEL_CALL(3, UnpackGsm7(in[0], in[1].toInt(), in[2].toInt()))},
        {"SemiOctetDigits", {3, [](const QStringList &in) -> QStringList {
                                 qsizetype end = -1;
                                 const QString digits = SemiOctetDigits(
                                     in[0], in[1].toInt(), in[2].toInt(), &end);
                                 return {digits, N(end)};
                             }}},
        {"AddressDigits", {3, [](const QStringList &in) -> QStringList {
                               qsizetype end = -1;
                               const QString number =
                                   AddressDigits(in[0], in[1].toInt(), in[2].toInt(), &end);
                               return {number, N(end)};
                           }}},
        {"TimeStampText", VANTEL_CALL(2, TimeStampText(in[0], in[1].toInt()))},
        {"TimeZone", VANTEL_CALL(2, QString::number(TimeZoneHours(in[0], in[1].toInt())),
                                 TimeZoneText(TimeZoneHours(in[0], in[1].toInt())))},
        {"AlphanumericLength", VANTEL_CALL(1, N(AlphanumericLength(in[0].toInt())))},
        {"TonName", VANTEL_CALL(1, TonName(in[0]))},
        {"NpiName", VANTEL_CALL(1, NpiName(in[0]))},
        {"PidName", VANTEL_CALL(1, PidName(in[0]))},
        {"DcsName", {1, [](const QStringList &in) -> QStringList {
                         QString name = QStringLiteral("stale");
                         const bool gsm7 = DcsName(in[0], name);
                         return {B(gsm7), name};
                     }}},
        {"DecodeMessage", VANTEL_CALL(1, Message(in[0]))},
        {"DecodeDeliverFields", VANTEL_CALL(1, Body<DecodeDeliverFields>(in[0]))},
        {"DecodeSubmitFields", VANTEL_CALL(1, Body<DecodeSubmitFields>(in[0]))},
        {"DecodeTechnical", {2, [](const QStringList &in) -> QStringList {
                                 const QString text = DecodeTechnical(in[0], in[1] == u"yes");
                                 return {text, B(text.endsWith(u"\r\n"))};
                             }}},
        {"DecodeTechnicalDeliver", VANTEL_CALL(1, TechnicalBody<DecodeTechnicalDeliver>(in[0]))},
        {"DecodeTechnicalSubmit", VANTEL_CALL(1, TechnicalBody<DecodeTechnicalSubmit>(in[0]))},
    };
    return calls;
}

INSTANTIATE_TEST_SUITE_P(Pdu, Vectors,
                         testing::ValuesIn(LoadSections({"pdu-primitives.txt", "pdu-names.txt",
                                                         "pdu-summary.txt", "pdu-technical.txt"})),
                         SectionName);

}  // namespace vectors

namespace {

// GSM 03.38 6.2.1, row by row: septets 00-7F (the escape 1B shows as a space).
const QString kDefaultAlphabet = QString::fromUtf8(
    "@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞ ÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
    "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà");
// The extension table: septet after the escape, and its character.
const std::pair<int, char16_t> kExtension[] = {
    {0x0A, u'\f'}, {0x14, u'^'}, {0x28, u'{'}, {0x29, u'}'}, {0x2F, u'\\'},
    {0x3C, u'['},  {0x3D, u'~'}, {0x3E, u']'}, {0x40, u'|'}, {0x65, u'\u20AC'},
};

TEST(Gsm7, DefaultAndExtensionTablesBothWays) {
    ASSERT_EQ(kDefaultAlphabet.size(), 128);
    int extensions = 0;
    for (int septet = 0; septet < 128; ++septet) {
        const QChar c = kDefaultAlphabet[septet];
        EXPECT_EQ(MapGsmChar(septet), c.unicode()) << septet;
        if (septet != 0x1B) {
            EXPECT_EQ(ToGsmSeptets(c), septet) << septet;
        }
        extensions += MapGsmExtensionChar(septet) >= 0;
    }
    EXPECT_EQ(extensions, int(std::size(kExtension)));
    for (const auto &[septet, c] : kExtension) {
        EXPECT_EQ(MapGsmExtensionChar(septet), c) << septet;
        EXPECT_EQ(ToGsmSeptets(QChar(c)), 0x1B00 | septet) << septet;
    }
    for (const int code : {128, 200})  // past the table: the code itself
        EXPECT_EQ(MapGsmChar(code), code);
    EXPECT_EQ(MapGsmExtensionChar(0x41), -1);
    EXPECT_EQ(MapGsmExtensionChar(-1), -1);
    for (const char16_t missing : {u'`', u'\u0448', u'\u00E7'})  // c cedilla: only the capital
        EXPECT_EQ(ToGsmSeptets(QChar(missing)), -1) << int(missing);
}

TEST(Gsm7, HugeCountIsCappedAndAtSignsFillThePastEnd) {
    const QString text = UnpackGsm7(u"C8329BFD06", 1000000);
    ASSERT_EQ(text.size(), 32767);
    EXPECT_TRUE(text.startsWith(u"Hello@@"));
    EXPECT_EQ(text.count(u'@'), 32767 - 5);
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

}  // namespace
}  // namespace vantel
