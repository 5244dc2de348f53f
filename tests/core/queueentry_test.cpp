#include "compose/queueentry.h"

#include <gtest/gtest.h>

#include "compose/encoder.h"
#include "coretest.h"

namespace vantel {
namespace {

constexpr bool Pdu = true, Block = false;

TEST(ReadQueueEntry, SplitsAtTheFirstThreeCommas) {
    const auto e = ReadQueueEntry(u"14,Bob=+44 7700,+49 171,110005912143F50000A70361F118", Pdu);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->count, u"14"_qs);
    EXPECT_EQ(e->destination, u"Bob=+44 7700"_qs);
    EXPECT_EQ(e->serviceCentre, u"+49 171"_qs);
    EXPECT_EQ(e->data, u"110005912143F50000A70361F118"_qs);
    EXPECT_EQ(ServiceCentreForCommand(e->serviceCentre), u"49171"_qs);
}

// What may reach the phone in each mode; anything else would be sent as something other than
// a message, or put foreign octets into the AT command stream.
TEST(ReadQueueEntry, OnlyMessagesOfTheLinkModeAreRead) {
    const QString tpdu = u"110005912143F50000A70361F118"_qs;  // SMS-SUBMIT, 14 octets
    const struct {
        QString entry;
        bool pdu;
        bool readable;
    } cases[] = {
        {u"14,12345,0123,"_qs + tpdu, Pdu, true},
        {u"14,12345,0123,04914421F3"_qs + tpdu, Pdu, true},
        {u"14,12345,,0191"_qs + tpdu, Pdu, true},
        {u"14,12345,0123,070204914421F3"_qs + tpdu, Block, true},
        {u"14,12345,,070200"_qs + tpdu, Block, true},
        {u"14,12345,0123,"_qs + tpdu.toLower(), Pdu, true},
        {u"15,12345,0123,"_qs + tpdu, Pdu, false},          // count disagrees with the data
        {u"0,12345,0123,"_qs, Pdu, false},                  // nothing to send
        {u"14,12345,0123,"_qs + tpdu, Block, false},        // not an INSERT SMS request
        {u"01,1,1,0801"_qs, Block, false},                  // DELETE MESSAGE in disguise
        {u"14,12345,0123,0702"_qs, Block, false},           // no address field, no TPDU
        {u"14,12345,0123,07020C"_qs + tpdu, Block, false},  // address field longer than 11
        {u"14,12345,0123,070200"_qs + QString(tpdu).replace(0, 2, u"04"_qs), Block,
         false},  // DELIVER
        {u""_qs, Pdu, false},
        {u"14,12345,0123"_qs, Pdu, false},
        {u"x14,12345,0123,"_qs + tpdu, Pdu, false},
        {u"-1,12345,0123,1100"_qs, Pdu, false},
        {u",12345,0123,1100"_qs, Pdu, false},
        {u"14,12345,0123,"_qs, Pdu, false},
        {u"14,12345,0123,"_qs + tpdu + u"0"_qs, Pdu, false},
        {u"14,12345,0123,1100\r\nAT+CMGD=1"_qs, Pdu, false},
        {u"14,12345,0123,11\u001a00"_qs, Pdu, false},
        {u"14,12345,\"0123,"_qs + tpdu, Pdu, false},
        {u"14,12345,01\r23,"_qs + tpdu, Pdu, false},
        {u"14,12345,01;23,"_qs + tpdu, Pdu, false},
        {u"14,12345,\u008DAT+CMGD=1\u008D,"_qs + tpdu, Pdu, false},
        {u"14,12345,\u0661\u0662,"_qs + tpdu, Pdu, false},  // digits, but not ASCII ones
    };
    for (const auto &c : cases) {
        QString why;
        EXPECT_EQ(ReadQueueEntry(c.entry, c.pdu, &why).has_value(), c.readable)
            << c.entry.toStdString() << (c.pdu ? " (PDU mode)" : " (Block mode)");
        EXPECT_EQ(why.isEmpty(), c.readable) << c.entry.toStdString();
    }
}

TEST(ReadQueueEntry, EveryEntryTheEncoderBuildsIsReadable) {
    for (LinkMode mode : {LinkMode::Block, LinkMode::Pdu, LinkMode::PduSkipSca}) {
        for (const QString &centre : {u""_qs, u"0123"_qs, u"+49 171 0760000"_qs}) {
            for (const QString &text : {u"abc"_qs, QString(200, u'x')}) {
                SendFields f;
                f.to = u"+44 7700 900123"_qs;
                f.sc = centre;
                f.message = text;
                f.pid = u"00"_qs;
                f.dcs = u"00"_qs;
                const EncodedEntry e = BuildQueueEntry(f, mode);
                ASSERT_TRUE(e.ok);
                for (const QString &entry : e.entries)
                    EXPECT_TRUE(ReadQueueEntry(entry, mode != LinkMode::Block))
                        << entry.toStdString();
            }
        }
    }
}

}  // namespace
}  // namespace vantel
