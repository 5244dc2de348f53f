// What the encoder queues, the queue-entry check, the frame codec and the decoders read back.
#include <gtest/gtest.h>

#include <QMap>

#include "blockmode/frame.h"
#include "compose/encoder.h"
#include "compose/queueentry.h"
#include "pdu/primitives.h"
#include "pdu/summary.h"
#include "pdu/technical.h"
#include "pdu/userdata.h"
#include "vectors.h"

namespace vantel {
namespace {

// The stored MESSAGE content that retrieval would make of the data an entry submits.
QString StoredContent(const QString &data, LinkMode mode) {
    QString pdu = data;
    if (mode == LinkMode::Block) {
        // Through the line and back: INSERT SMS "07", "02", then the PDU.
        QString content = vectors::Hex(BuildFrame(HexToBytes(pdu)));
        EXPECT_TRUE(ValidateFrame(content)) << content.toStdString();
        EXPECT_TRUE(content.startsWith(u"0702"_qs)) << content.toStdString();
        pdu = content.sliced(4);
    } else if (mode == LinkMode::PduSkipSca) {
        pdu = u"00"_qs + pdu;
    }
    return u"21067E0201"_qs + pdu;
}

struct Typed {
    QString message, dcs;
};

std::vector<Typed> Messages() {
    std::vector<Typed> all;
    for (const QString &text : {
             u"abc"_qs,
             u"@home @ 8"_qs,
             u"line one\r\nline two"_qs,
             u"1234567"_qs,
             u"12345678"_qs,
             QString(160, u'x'),
             u"caf\u00e9 \u00a3 {[~]} \u0394\u03a6\u00df\u00c9\u00a4\u00a7\u00bf"_qs,
             u"^_|\\ $\u20ac\f"_qs,
             QString(153, u'y') + u"[z]"_qs,     // two parts, the cut between escapes
             QString(400, u'w') + u"\u20ac"_qs,  // three parts
             u"The quick brown fox jumps over the lazy dog 0123456789 !\"#%&'()*+,-./:;<=>?"_qs,
         }) {
        for (const QString &dcs : {u"00=Default"_qs, u"08=UCS2"_qs, u"F0=Class 0"_qs})
            all.push_back({text, dcs});
    }
    // Only UCS2 carries these.
    all.push_back({u"\u041f\u0440\u0438\u0432\u0435\u0442 \U0001F600"_qs, u"08"_qs});
    all.push_back({QString(69, u'\u05e9') + u"\U0001F600"_qs, u"08"_qs});
    for (const QString &octets :
         {u""_qs, u"00"_qs, u"0A0B0C"_qs, u"050003010201C8"_qs, QString(280, u'F'), u"ff7f"_qs}) {
        for (const QString &dcs :
             {u"F4=8 bit Immediate"_qs, u"F5=8 bit ME Specific"_qs, u"F6"_qs, u"F7"_qs})
            all.push_back({octets, dcs});
    }
    return all;
}

// Every entry of every mode can be read back by the queue-entry check of that mode, and decodes
// to what was typed: the destination, the service centre, the boxes, the PID and DCS, and the
// text (a series of parts joined again) or the octets.
TEST(ReadQueueEntry, EveryEntryTheEncoderBuildsIsReadableAndDecodesToWhatWasTyped) {
    const QString destinations[] = {u"12345"_qs,
                                    u"+44 7700 900123"_qs,
                                    u"07700900123"_qs,
                                    u"0033612345678"_qs,
                                    u"1"_qs,
                                    u"Alice=+4917012345678"_qs,
                                    u"Bob=12345,+447700900000"_qs};
    const QString centres[] = {u""_qs, u"0123"_qs, u"Centre=+33 1234 5678"_qs};
    const std::vector<Typed> messages = Messages();
    int checked = 0;
    for (const LinkMode mode : {LinkMode::Block, LinkMode::Pdu, LinkMode::PduSkipSca}) {
        for (const QString &to : destinations) {
            for (const QString &sc : centres) {
                for (int flags = 0; flags < 4; ++flags) {
                    for (const Typed &typed : messages) {
                        const QString pid = flags == 1 ? u"3F=GSM mobile"_qs : u"00=Default"_qs;
                        const SendFields f{to,
                                           sc,
                                           typed.message,
                                           pid,
                                           typed.dcs,
                                           bool(flags & 1),
                                           bool(flags & 2)};
                        const EncodedEntry entry = BuildQueueEntry(f, mode);
                        ASSERT_TRUE(entry.ok) << entry.error.toStdString();
                        const bool eightBit = typed.dcs.startsWith(u'F') && typed.dcs[1] >= u'4';
                        const bool series = entry.entries.size() > 1;
                        QMap<int, QString> parts;
                        for (const QString &what : entry.entries) {
                            const std::string where = what.toStdString();
                            const auto read = ReadQueueEntry(what, mode != LinkMode::Block);
                            ASSERT_TRUE(read) << where;
                            MessageFields out;
                            const QString stored = StoredContent(read->data, mode);
                            ASSERT_TRUE(DecodeMessage(stored, out)) << where;
                            EXPECT_TRUE(DecodeTechnical(stored.sliced(2), false).endsWith(u"\r\n"));
                            const int fo = HexPairValue(out.firstOctet);
                            const int expectedFo = typed.dcs.startsWith(u"F5")
                                                       ? 0x51
                                                       : 0x11 | (flags & 1 ? 0x80 : 0) |
                                                             (flags & 2 ? 0x20 : 0) |
                                                             (series ? 0x40 : 0);
                            EXPECT_EQ(fo, expectedFo) << where;
                            EXPECT_EQ(out.typeCode, u"MO-01"_qs) << where;
                            EXPECT_EQ(out.flagOrReference, u"00"_qs) << where;
                            EXPECT_EQ(out.address, NormaliseNumber(read->destination)) << where;
                            EXPECT_EQ(out.addressType, u"International E.164"_qs) << where;
                            EXPECT_EQ(out.scAddress, mode == LinkMode::PduSkipSca
                                                         ? QString()
                                                         : NormaliseNumber(read->serviceCentre))
                                << where;
                            EXPECT_EQ(out.pid, pid.left(2)) << where;
                            EXPECT_EQ(out.dcs, typed.dcs.left(2)) << where;
                            EXPECT_EQ(out.time, u" Rel: A7"_qs) << where;
                            EXPECT_EQ(read->count.toInt(),
                                      8 + (out.address.size() + 1) / 2 + out.userData.size() / 2)
                                << where;
                            if (eightBit) {
                                // octets on the line come back upper case
                                EXPECT_EQ(out.userData, mode == LinkMode::Block
                                                            ? typed.message.toUpper()
                                                            : typed.message)
                                    << where;
                                // a header typed with DCS F5 is not part of the text
                                EXPECT_EQ(out.text, out.userData.sliced(
                                                        2 * HeaderOctets(out.userData, fo & 0x40)))
                                    << where;
                                continue;
                            }
                            const Concatenation c = FindConcatenation(out.userData, fo & 0x40);
                            EXPECT_EQ(c.valid(), series) << where;
                            EXPECT_EQ(c.total, series ? entry.entries.size() : 0) << where;
                            parts[series ? c.part : 1] = out.text;
                        }
                        if (!eightBit) {
                            ASSERT_EQ(parts.size(), entry.entries.size());
                            EXPECT_EQ(QStringList(parts.values()).join(QString()),
                                      QString(typed.message).replace(u"\n"_qs, u"\r\n"_qs))
                                << entry.entries.join(u'\n').toStdString();
                        }
                        ++checked;
                    }
                }
            }
        }
    }
    EXPECT_EQ(checked, 3 * 7 * 3 * 4 * (11 * 3 + 2 + 6 * 4));
}

}  // namespace
}  // namespace vantel
