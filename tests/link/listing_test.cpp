#include <gtest/gtest.h>

#include "atmode/retrieval.h"
#include "pdu/primitives.h"

namespace vantel::test {
namespace {

const QByteArray Pdu1 =
    "07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07";
const QString Frame1 = QStringLiteral(
    "100221067E020107911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07"
    "1003F2BA");
// A TPDU without service-centre field whose octets 0x10 get stuffed.
const QByteArray Pdu2 = "0410D0E474D81C0EBB010000111011315214000BE474D81C0EBB01";
const QString Frame2 = QStringLiteral(
    "100221067E020100041000D0E474D81C0EBB01000011100011315214000BE474D81C0EBB011003F774");

QString Captured(const QByteArray &text) {
    return BytesToHex(text);
}

TEST(Listing, EchoedListingBecomesMessageFrames) {
    const QString frames = Captured("\r\nAT+CMGL=4\r\r\n+CMGL: 1,1,,39\r\n" + Pdu1 +
                                    "\r\n+CMGL: 2,1,,39\r\n" + Pdu1 + "\r\n\r\nOK\r\n");
    EXPECT_EQ(ListedFrames(frames, false), (QStringList{Frame1, Frame1}));
}

TEST(Listing, WithoutEchoAndWithoutServiceCentre) {
    const QString frames = Captured("\r\n\r\n+CMGL: 3,0,,27\r\n" + Pdu2 + "\r\n\r\nOK\r\n");
    EXPECT_EQ(ListedFrames(frames, true), QStringList{Frame2});
}

TEST(Listing, EmptyStoreGivesNothing) {
    EXPECT_EQ(ListedFrames(Captured("\r\nAT+CMGL=0\r\r\nOK\r\n"), false), QStringList());
    EXPECT_EQ(ListedFrames(Captured("\r\n\r\nOK\r\n"), false), QStringList());
    EXPECT_EQ(ListedFrames(QString(), false), QStringList());
}

TEST(Listing, GarbageNeverCrashes) {
    const QByteArray junk[] = {"+++\r\n\r\n+\r\n\r\n+", "\r\n\r\n+CMGL: 1\r\nZZ10\r\n\r\n",
                               QByteArray(300, '\r'),
                               QByteArray("\r\n\r\n+") + QByteArray(50, 'A')};
    for (const QByteArray &j : junk) {
        for (const QString &frame : ListedFrames(Captured(j), false))
            EXPECT_TRUE(frame.startsWith(u"100221067E0201")) << frame.toStdString();
    }
}

}  // namespace
}  // namespace vantel::test
