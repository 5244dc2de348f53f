#include <gtest/gtest.h>

#include "atmode/transmit.h"

namespace vantel::test {
namespace {

TEST(QueueEntry, SplitsAtTheFirstThreeCommas) {
    const auto e = SplitQueueEntry(u"14,12345,0123,110005912143F50000A70361F118");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->count, u"14"_qs);
    EXPECT_EQ(e->destination, u"12345"_qs);
    EXPECT_EQ(e->serviceCentre, u"0123"_qs);
    EXPECT_EQ(e->data, u"110005912143F50000A70361F118"_qs);
    const auto named = SplitQueueEntry(u"7,Bob=+44 7700,,0011aa");
    ASSERT_TRUE(named);
    EXPECT_EQ(named->destination, u"Bob=+44 7700"_qs);
    EXPECT_EQ(named->serviceCentre, QString());
}

// Entries that would put foreign octets into the AT command stream or cannot be split.
TEST(QueueEntry, UnreadableEntriesAreRefused) {
    const char16_t *bad[] = {
        u"",
        u"14",
        u"14,12345,0123",
        u"x14,12345,0123,1100",
        u"-1,12345,0123,1100",
        u",12345,0123,1100",
        u"14,12345,0123,",
        u"14,12345,0123,11000",
        u"14,12345,0123,1100\r\nAT+CMGD=1",
        u"14,12345,0123,11,00",
        u"14,12345,0123,11\u001a00",
        u"14,12345,\"0123,1100",
        u"14,12345,01\r23,1100",
    };
    for (const char16_t *entry : bad)
        EXPECT_FALSE(SplitQueueEntry(QStringView(entry)))
            << QString::fromUtf16(entry).toStdString();
}

}  // namespace
}  // namespace vantel::test
