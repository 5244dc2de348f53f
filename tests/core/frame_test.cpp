#include "blockmode/frame.h"

#include <gtest/gtest.h>

#include "coretest.h"

#include <QRandomGenerator>

namespace vantel {
namespace {

QByteArray Octets(const char *hex) {
    return QByteArray::fromHex(hex);
}
QString Hex(const QByteArray &octets) {
    return QString::fromLatin1(octets.toHex().toUpper());
}

// Contents whose checksum holds the octet 0x10: FF x 240 + E0 sums to 0xEFF0 (checksum 10 10),
// FF x 239 + F0 to 0xEF01 (checksum 10 FF).
QString Repeat(const char *octet, int n) {
    return QString::fromLatin1(octet).repeated(n);
}
const QString kBothDleContent = Repeat("FF", 240) + u"E0"_qs;
const QString kHighDleContent = Repeat("FF", 239) + u"F0"_qs;

struct BuildCase {
    const char *content;
    const char *frame;
};

TEST(BuildFrame, WorkedValues) {
    const BuildCase cases[] = {
        {"03", "1002031003FFFD"},     {"220000", "10022200001003FFDE"},
        {"02", "1002021003FFFE"},     {"1E", "10021E1003FFE2"},
        {"F0", "1002F01003FF1000"},   {"101003", "100210001000031003FFDD"},
        {"0802", "100208021003FFF6"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Hex(BuildFrame(Octets(c.content))), QString::fromLatin1(c.frame)) << c.content;
    }
}

TEST(BuildFrame, StuffsBothChecksumOctets) {
    const QString frame = Hex(BuildFrame(QByteArray::fromHex(kBothDleContent.toLatin1())));
    EXPECT_TRUE(frame.endsWith(u"E0100310001000"_qs)) << frame.right(20).toStdString();
}

TEST(BuildFrame, FixedFramesAreBuiltFrames) {
    EXPECT_EQ(BuildFrame(Octets("03")), GetNextMessageFrame);
    EXPECT_EQ(BuildFrame(Octets("1E")), EndSmsModeFrame);
    EXPECT_EQ(Hex(GetNextMessageFrame), GetNextMessageHex.toString());
    EXPECT_EQ(Hex(BuildFrame(Octets("220000"))), TimeoutFrame.toString());
    EXPECT_EQ(FrameKey(TimeoutFrame), EndOfListKey.toString());
}

struct ValidateCase {
    QString frame;
    bool ok;
    QString result;  // content or error text
};

TEST(ValidateFrame, ContentOrErrorText) {
    const QString shortText = QStringLiteral("Syntax error: PDU has insufficient length");
    const QString noStx = QStringLiteral("Syntax error: DLE/STX missing");
    const QString noEtx = QStringLiteral("Syntax error: DLE/ETX missing");
    const QString stuffing = QStringLiteral("Syntax error: Missing stuffing octet(s)");
    const QString checksum = QStringLiteral("Syntax error: Checksum incorrect");
    const ValidateCase cases[] = {
        {u"1002031003FFFD"_qs, true, u"03"_qs},
        {u"10022200001003FFDE"_qs, true, u"220000"_qs},
        {u"1002F01003FF1000"_qs, true, u"F0"_qs},
        {u"100210001000031003FFDD"_qs, true, u"101003"_qs},
        {u"1002031003fffd"_qs, true, u"03"_qs},
        // the missing stuffing octet of a checksum 0x10 at the end is put back silently
        {u"1002F01003FF10"_qs, true, u"F0"_qs},
        {u"1002"_qs + kBothDleContent + u"10031010"_qs, true, kBothDleContent},
        {u"1002"_qs + kBothDleContent + u"1003100010"_qs, true, kBothDleContent},
        {u"1002"_qs + kHighDleContent + u"100310FF"_qs, true, kHighDleContent},
        {u"1002"_qs + kBothDleContent + u"1003101000"_qs, true, kBothDleContent},
        {u"1002"_qs + kHighDleContent + u"10031000FF"_qs, true, kHighDleContent},
        // octets before DLE STX are skipped; "1003" off the octet boundary is content
        {u"AB1002031003FFFD"_qs, true, u"03"_qs},
        {u"10020100311003FFCE"_qs, true, u"010031"_qs},
        // an empty content sums to 0
        {u"100210030000"_qs, true, u""_qs},
        {u"1002031003FFFDAB"_qs, false, checksum},
        {u"1002031003FFFE"_qs, false, checksum},
        {u"1002031003FF"_qs, false, checksum},
        {u"ABCD10021003"_qs, false, checksum},
        {u"10021010031003FFDD"_qs, false, stuffing},
        {u"1002101003FFF0"_qs, false, stuffing},
        {u"1002F01003FF1001"_qs, false, stuffing},
        {u"100203041003"_qs, false, noEtx},
        {u"1002030410030"_qs, false, noEtx},
        {u"10020304050607"_qs, false, noEtx},
        {u"0102031003FFFD"_qs, false, noStx},
        {u"A1002031003FFFD"_qs, false, noStx},
        {u"1002031003"_qs, false, shortText},
        {u""_qs, false, shortText},
    };
    for (const auto &c : cases) {
        QString frame = c.frame;
        EXPECT_EQ(ValidateFrame(frame), c.ok) << c.frame.toStdString();
        EXPECT_EQ(frame, c.result) << c.frame.toStdString();
    }
}

TEST(ValidateFrame, BuiltFramesValidateToTheirContent) {
    QRandomGenerator random(2u);
    for (int i = 0; i < 2000; ++i) {
        QByteArray content(1 + int(random.bounded(300)), '\0');
        for (char &c : content) {
            // many 0x10 octets, so that stuffing is exercised everywhere
            c = random.bounded(4) == 0 ? '\x10' : char(random.bounded(256));
        }
        QString frame = Hex(BuildFrame(content));
        ASSERT_TRUE(ValidateFrame(frame))
            << Hex(content).toStdString() << " -> " << frame.toStdString();
        EXPECT_EQ(frame, Hex(content));
    }
}

TEST(ValidateFrame, SurvivesMalformedInput) {
    const QString inputs[] = {
        u"1002ZZ1003FFFD"_qs,
        u"10021003"_qs,
        u"100210031010"_qs,
        u"10021002100210031003"_qs,
        u"1002\u00e91003FFFD"_qs,
        QString(40, u'1'),
        u"1002"_qs + QString(1001, u'G') + u"1003FFFD"_qs,
        u"100210031003100310031003"_qs,
        u"1002031003100"_qs,
        u"100203100310"_qs,
    };
    for (const QString &input : inputs) {
        QString frame = input;
        if (!ValidateFrame(frame)) {
            EXPECT_TRUE(frame.startsWith(u"Syntax error: "_qs)) << input.toStdString();
        }
    }
}

struct ExtractCase {
    QString captured;
    bool found;
    QString frame;
    int repairs;
};

TEST(ExtractFrame, CutsOneFrameAfterTheLeftoverOctets) {
    const ExtractCase cases[] = {
        {u"0D0A10022200001003FFDE"_qs, true, u"10022200001003FFDE"_qs, 0},
        {u"FFFD1002F01003FF10"_qs, true, u"1002F01003FF1000"_qs, 1},
        {u"FFFD1002F01003FF1000"_qs, true, u"1002F01003FF1000"_qs, 0},
        {u"FFFD1002031003FFFD0D0A"_qs, true, u"1002031003FFFD"_qs, 0},
        {u"0000"_qs + u"1002"_qs + kBothDleContent + u"10031010"_qs, true,
         u"1002"_qs + kBothDleContent + u"100310001000"_qs, 2},
        {u"0000"_qs + u"1002"_qs + kHighDleContent + u"100310FF"_qs, true,
         u"1002"_qs + kHighDleContent + u"10031000FF"_qs, 1},
        // three octets left over (a stuffed checksum): the frame still begins at its DLE STX
        {u"FF10001002031003FFFD"_qs, true, u"1002031003FFFD"_qs, 0},
        {u"F3100010022200001003FFDE"_qs, true, u"10022200001003FFDE"_qs, 0},
        // a DLE STX only at an even position does not count; the cut stays where it was
        {u"0D0A0100201003FFFD"_qs, true, u"0100201003FFFD"_qs, 0},
        // a frame cut short after DLE ETX yields what there is
        {u"FFFD1002031003"_qs, true, u"1002031003"_qs, 0},
        {u"FFFDA10030"_qs, false, QString(), 0},
        {u"0D0A1002"_qs, false, QString(), 0},
        {QString(), false, QString(), 0},
    };
    for (const auto &c : cases) {
        const ExtractedFrame got = ExtractFrame(c.captured);
        EXPECT_EQ(got.found, c.found) << c.captured.toStdString();
        EXPECT_EQ(got.frame, c.frame) << c.captured.toStdString();
        EXPECT_EQ(got.repairs, c.repairs) << c.captured.toStdString();
    }
}

TEST(ExtractFrame, RepairedFrameValidates) {
    const ExtractedFrame got = ExtractFrame(u"FFFD1002F01003FF10"_qs);
    QString frame = got.frame;
    ASSERT_TRUE(ValidateFrame(frame));
    EXPECT_EQ(frame, u"F0"_qs);
}

TEST(FrameKey, LeavesOutTheFirstParameter) {
    const std::pair<QString, QString> cases[] = {
        {u"10022200001003FFDE"_qs, u"100222001003"_qs},
        {u"10022205001003FFD9"_qs, u"100222001003"_qs},
        {u"1002220000001003FFDE"_qs, u"100222000010"_qs},
        {u"1002031003FFFD"_qs, u"10020303FFFD"_qs},
        {u"10022200"_qs, u"100222"_qs},
        {u"100222001"_qs, u"1002221"_qs},
        {u"1002"_qs, u"1002"_qs},
        {QString(), QString()},
    };
    for (const auto &[frame, key] : cases)
        EXPECT_EQ(FrameKey(frame), key) << frame.toStdString();
}

}  // namespace
}  // namespace vantel
