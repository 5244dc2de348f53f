// What the encoder queues, the frame codec and the decoders read back.
#include <gtest/gtest.h>

#include "blockmode/frame.h"
#include "compose/encoder.h"
#include "coretest.h"
#include "pdu/primitives.h"
#include "pdu/summary.h"
#include "pdu/technical.h"

namespace vantel {
namespace {

// The text that 7-bit decoding gives back for `text`: '@' survives, bit 7 is lost, septet 64
// reads as an inverted exclamation mark and a line feed as CR LF.
QString SeptetText(const QString &text) {
    QString out;
    for (const QChar c : text) {
        const int septet = ToGsmCode(AnsiCode(c)) & 0x7F;
        const int shown = septet == 0 ? 64 : septet == 64 ? 161 : septet;
        if (shown == 10) {
            out += u"\r\n"_qs;
        } else {
            out += AnsiChar(shown);
        }
    }
    return out;
}

struct Sent {
    QString destination;
    QString serviceCentre;
    QString data;
    int octets = 0;
};

Sent SplitEntry(const QString &entry) {
    const QStringList fields = entry.split(u',');
    EXPECT_EQ(fields.size(), 4) << entry.toStdString();
    if (fields.size() != 4) return {};
    return {fields[0 + 1], fields[2], fields[3], fields[0].toInt()};
}

// The submitted PDU (service-centre field then TPDU) as the stored MESSAGE content the
// PDU-mode retrieval would make of it.
QString StoredContent(const Sent &sent, LinkMode mode) {
    QString pdu = sent.data;
    if (mode == LinkMode::Block) {
        // Through the line and back: INSERT SMS "07", "02", then the PDU.
        QString content = QString::fromLatin1(BuildFrame(HexToBytes(pdu)).toHex().toUpper());
        EXPECT_TRUE(ValidateFrame(content)) << content.toStdString();
        EXPECT_TRUE(content.startsWith(u"0702"_qs)) << content.toStdString();
        pdu = content.sliced(4);
    } else if (mode == LinkMode::PduSkipSca) {
        pdu = u"00"_qs + pdu;
    }
    return u"21067E0201"_qs + pdu;
}

TEST(RoundTrip, EveryEntryDecodesToWhatWasTyped) {
    const QString destinations[] = {u"12345"_qs,
                                    u"+44 7700 900123"_qs,
                                    u"07700900123"_qs,
                                    u"0033612345678"_qs,
                                    u"1"_qs,
                                    u"Alice=+4917012345678"_qs,
                                    u"Bob=12345,+447700900000"_qs};
    const QString centres[] = {u"+447700900000"_qs, u"0123"_qs, u"Centre=+3312345678"_qs};
    const QString texts[] = {
        u"abc"_qs,     u"hello world"_qs, u"@home @ 8"_qs,    u"line one\r\nline two"_qs,
        u"1234567"_qs, u"12345678"_qs,    QString(160, u'x'), u"caf\u00e9 \u00a3 {[~]}"_qs,
        u"`^_|\\"_qs};
    const QString octets[] = {
        u""_qs, u"00"_qs, u"0A0B0C"_qs, u"050003010201C8"_qs, QString(280, u'F'), u"ff7f"_qs};
    const QString pids[] = {u"00=Default"_qs, u"3F=GSM mobile"_qs,
                            u"41=Replace Short Message Type 1"_qs};
    const QString textDcs[] = {u"00=Default"_qs, u"04=8 bit"_qs, u"F0=Class 0"_qs};
    const QString octetDcs[] = {u"F4=8 bit Immediate"_qs, u"F5=8 bit ME Specific"_qs, u"F6"_qs,
                                u"F7"_qs};
    int checked = 0;
    for (const LinkMode mode : {LinkMode::Block, LinkMode::Pdu, LinkMode::PduSkipSca}) {
        for (const QString &to : destinations) {
            for (const QString &sc : centres) {
                for (int flags = 0; flags < 4; ++flags) {
                    for (const QString &pid : pids) {
                        const auto check = [&](const QString &message, const QString &dcs) {
                            SendFields f;
                            f.to = to;
                            f.sc = sc;
                            f.message = message;
                            f.pid = pid;
                            f.dcs = dcs;
                            f.replyPath = flags & 1;
                            f.statusReport = flags & 2;
                            const EncodedEntry entry = BuildQueueEntry(f, mode);
                            ASSERT_TRUE(entry.ok) << entry.error.toStdString();
                            const Sent sent = SplitEntry(entry.entry);
                            const QString &what = entry.entry;

                            MessageFields out;
                            ASSERT_TRUE(DecodeMessage(StoredContent(sent, mode), out))
                                << what.toStdString();
                            const bool eightBit =
                                dcs.startsWith(u"F4"_qs) || dcs.startsWith(u"F5"_qs) ||
                                dcs.startsWith(u"F6"_qs) || dcs.startsWith(u"F7"_qs);
                            const QString firstOctet =
                                eightBit && dcs.startsWith(u"F5"_qs)
                                    ? u"51"_qs
                                    : QStringList{u"11"_qs, u"91"_qs, u"31"_qs, u"B1"_qs}[flags];
                            EXPECT_EQ(out.typeCode, u"MO-01"_qs) << what.toStdString();
                            EXPECT_EQ(out.firstOctet, firstOctet) << what.toStdString();
                            EXPECT_EQ(out.flagOrReference, u"00"_qs);
                            EXPECT_EQ(out.address, NormaliseNumber(sent.destination));
                            EXPECT_EQ(out.addressType, u"International E.164"_qs);
                            if (mode != LinkMode::PduSkipSca) {
                                EXPECT_EQ(out.scAddress, NormaliseNumber(sent.serviceCentre));
                            } else {
                                EXPECT_EQ(out.scAddress, QString());
                            }
                            EXPECT_EQ(out.pid, pid.left(2));
                            EXPECT_EQ(out.dcs, dcs.left(2));
                            EXPECT_EQ(out.time, u" Rel: A7"_qs);
                            if (eightBit) {
                                // octets on the line come back upper case
                                EXPECT_EQ(out.userData,
                                          mode == LinkMode::Block ? message.toUpper() : message)
                                    << what.toStdString();
                                EXPECT_EQ(sent.octets,
                                          8 + (out.address.size() + 1) / 2 + message.size() / 2);
                            } else {
                                EXPECT_EQ(out.text, SeptetText(message)) << what.toStdString();
                                EXPECT_EQ(sent.octets, 8 + (out.address.size() + 1) / 2 +
                                                           (7 * message.size() + 7) / 8);
                            }
                            EXPECT_TRUE(DecodeTechnical(StoredContent(sent, mode).sliced(2), false)
                                            .endsWith(u"\r\n"_qs));
                            ++checked;
                        };
                        for (const QString &text : texts) {
                            for (const QString &dcs : textDcs)
                                check(text, dcs);
                        }
                        for (const QString &data : octets) {
                            for (const QString &dcs : octetDcs)
                                check(data, dcs);
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(checked, 3 * 7 * 3 * 4 * 3 * (9 * 3 + 6 * 4));
}

TEST(RoundTrip, PlainTextComesBackUnchanged) {
    const QString text =
        u"The quick brown fox jumps over the lazy dog 0123456789 !\"#%&'()*+,-./:;<=>?"_qs;
    SendFields f;
    f.to = u"12345"_qs;
    f.message = text;
    f.pid = u"00"_qs;
    f.dcs = u"00"_qs;
    const EncodedEntry entry = BuildQueueEntry(f, LinkMode::Pdu);
    ASSERT_TRUE(entry.ok);
    MessageFields out;
    ASSERT_TRUE(DecodeMessage(StoredContent(SplitEntry(entry.entry), LinkMode::Pdu), out));
    EXPECT_EQ(out.text, text);
}

}  // namespace
}  // namespace vantel
