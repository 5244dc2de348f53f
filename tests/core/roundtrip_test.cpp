// What the encoder queues, the frame codec and the decoders read back.
#include <gtest/gtest.h>

#include "blockmode/frame.h"
#include "compose/encoder.h"
#include "coretest.h"
#include "pdu/primitives.h"
#include "pdu/summary.h"
#include "pdu/technical.h"
#include "pdu/userdata.h"

#include <QMap>

namespace vantel {
namespace {

// The text that decoding gives back for `text`: the same, with a line feed as CR LF.
QString SentText(const QString &text) {
    QString out = text;
    return out.replace(u"\n"_qs, u"\r\n"_qs);
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
        u"abc"_qs,
        u"hello world"_qs,
        u"@home @ 8"_qs,
        u"line one\r\nline two"_qs,
        u"1234567"_qs,
        u"12345678"_qs,
        QString(160, u'x'),
        u"caf\u00e9 \u00a3 {[~]} \u0394\u03a6\u00df\u00c9\u00a4\u00a7\u00bf"_qs,
        u"^_|\\ $\u20ac\f"_qs,
        QString(153, u'y') + u"[z]"_qs,     // two parts, the cut between escapes
        QString(400, u'w') + u"\u20ac"_qs,  // three parts
    };
    // Only UCS2 carries these.
    const QString unicode[] = {u"\u041f\u0440\u0438\u0432\u0435\u0442 \U0001F600"_qs,
                               QString(69, u'\u05e9') + u"\U0001F600"_qs};
    const QString octets[] = {
        u""_qs, u"00"_qs, u"0A0B0C"_qs, u"050003010201C8"_qs, QString(280, u'F'), u"ff7f"_qs};
    const QString pids[] = {u"00=Default"_qs, u"3F=GSM mobile"_qs,
                            u"41=Replace Short Message Type 1"_qs};
    const QString textDcs[] = {u"00=Default"_qs, u"08=UCS2"_qs, u"F0=Class 0"_qs};
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
                            const bool eightBit =
                                dcs.startsWith(u"F4"_qs) || dcs.startsWith(u"F5"_qs) ||
                                dcs.startsWith(u"F6"_qs) || dcs.startsWith(u"F7"_qs);
                            const bool series = entry.entries.size() > 1;
                            QMap<int, QString> parts;
                            for (const QString &what : entry.entries) {
                                const Sent sent = SplitEntry(what);
                                MessageFields out;
                                ASSERT_TRUE(DecodeMessage(StoredContent(sent, mode), out))
                                    << what.toStdString();
                                const int fo = HexPairValue(out.firstOctet);
                                const int expectedFo = eightBit && dcs.startsWith(u"F5"_qs)
                                                           ? 0x51
                                                           : 0x11 | (flags & 1 ? 0x80 : 0) |
                                                                 (flags & 2 ? 0x20 : 0) |
                                                                 (series ? 0x40 : 0);
                                EXPECT_EQ(fo, expectedFo) << what.toStdString();
                                EXPECT_EQ(out.typeCode, u"MO-01"_qs) << what.toStdString();
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
                                EXPECT_EQ(sent.octets, 8 + (out.address.size() + 1) / 2 +
                                                           out.userData.size() / 2)
                                    << what.toStdString();
                                if (eightBit) {
                                    // octets on the line come back upper case
                                    EXPECT_EQ(out.userData,
                                              mode == LinkMode::Block ? message.toUpper() : message)
                                        << what.toStdString();
                                    // a header typed with DCS F5 is not part of the text
                                    EXPECT_EQ(out.text,
                                              out.userData.sliced(
                                                  2 * HeaderOctets(out.userData, fo & 0x40)))
                                        << what.toStdString();
                                    continue;
                                }
                                const Concatenation c = FindConcatenation(out.userData, fo & 0x40);
                                EXPECT_EQ(c.valid(), series) << what.toStdString();
                                if (series) {
                                    EXPECT_EQ(c.total, entry.entries.size());
                                    parts[c.part] = out.text;
                                } else {
                                    parts[1] = out.text;
                                }
                                EXPECT_TRUE(
                                    DecodeTechnical(StoredContent(sent, mode).sliced(2), false)
                                        .endsWith(u"\r\n"_qs));
                            }
                            if (!eightBit) {
                                ASSERT_EQ(parts.size(), entry.entries.size());
                                EXPECT_EQ(QStringList(parts.values()).join(QString()),
                                          SentText(message))
                                    << entry.entries.join(u'\n').toStdString();
                            }
                            ++checked;
                        };
                        for (const QString &text : texts) {
                            for (const QString &dcs : textDcs)
                                check(text, dcs);
                        }
                        for (const QString &text : unicode)
                            check(text, u"08"_qs);
                        for (const QString &data : octets) {
                            for (const QString &dcs : octetDcs)
                                check(data, dcs);
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(checked, 3 * 7 * 3 * 4 * 3 * (11 * 3 + 2 + 6 * 4));
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
    ASSERT_EQ(entry.entries.size(), 1);
    ASSERT_TRUE(DecodeMessage(StoredContent(SplitEntry(entry.entries[0]), LinkMode::Pdu), out));
    EXPECT_EQ(out.text, text);
}

}  // namespace
}  // namespace vantel
