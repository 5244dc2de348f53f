#include "app/listline.h"

#include <gtest/gtest.h>

#include "blockmode/frame.h"
#include "coretest.h"

namespace vantel {
namespace {

QString Frame(const QString &contentHex) {
    return QString::fromLatin1(
        BuildFrame(QByteArray::fromHex(contentHex.toLatin1())).toHex().toUpper());
}

// A stored MESSAGE without service-centre address: IEI 06, LENGTH 7E, REF 02, STATUS 01.
QString Message(const QString &tpdu) {
    return Frame(u"21067E020100"_qs + tpdu);
}

// The columns as they should read, each already at its width.
QString Columns(const char *time, const char *address, const char *text) {
    return QString::fromLatin1(time).leftJustified(17) + u' ' +
           QString::fromLatin1(address).leftJustified(20) + u' ' +
           QString::fromUtf8(text).leftJustified(50) + u' ';
}

// SMS-DELIVER from +447700900123, 98/07/15 14:30:00 GMT+1.00H, DCS 00, user data after it.
const QString kDeliverHead = u"040C914477000910320000"_qs + u"89705141030040"_qs;

struct LineCase {
    const char *name;
    QString frame;
    QString columns;  // the 90 columns before the frame
    bool result;
};

TEST(MakeListLine, ColumnsThenTheFrame) {
    const QString invalid = u"1002031003FFFE"_qs;
    const LineCase cases[] = {
        {"delivered message", Message(kDeliverHead + u"05C8329BFD06"_qs),
         Columns("98/07/15 14:30:00", "447700900123", "Hello"), true},
        {"text cut to 50 columns", Message(kDeliverHead + u"3C"_qs + QString(120, u'0')),
         Columns("98/07/15 14:30:00", "447700900123", QByteArray(50, '@').constData()), true},
        {"address cut to 20 columns",
         Message(u"04159121436587092143658709F50000"_qs + u"89705141030040"_qs + u"00"_qs),
         Columns("98/07/15 14:30:00", "12345678901234567890", "<no text>"), true},
        {"submitted message with relative validity", Message(u"110005912143F50000A70361F118"_qs),
         Columns(" Rel: A7", "12345", "abc"), true},
        {"submitted message without validity", Message(u"010005912143F5000003"_qs + u"61F118"_qs),
         Columns("<no timestamp>", "12345", "abc"), true},
        // a status report's columns: discharge time, recipient, status
        {"status report",
         Message(u"06000B911326880736F4"_qs + u"89705141030040"_qs + u"89705141530040"_qs +
                 u"21"_qs),
         Columns("98/07/15 14:35:00", "31628870634", "Temporary error, SC still trying: SME busy"),
         true},
        {"status report cut short", Message(u"0600"_qs),
         Columns("// :: GMT+0.00H", "<no address>", "<no text>"), true},
        {"not an SMS message", Frame(u"2A04"_qs),
         Columns("<no timestamp>", "<no address>", "<not an SMS message>"), false},
        {"invalid checksum", invalid, u"<invalid checksum>"_qs + QString(72, u' '), false},
        {"too short to be a frame", u"10"_qs, u"<invalid checksum>"_qs + QString(72, u' '), false},
    };
    for (const auto &c : cases) {
        const ListLine got = MakeListLine(c.frame);
        EXPECT_EQ(got.line, c.columns + c.frame) << c.name;
        EXPECT_EQ(got.result, c.result) << c.name;
        EXPECT_EQ(got.line.indexOf(c.frame), 90) << c.name;
        EXPECT_EQ(FrameOfLine(got.line), c.frame) << c.name;
    }
}

TEST(MakeListLine, LineBreakStaysInTheTextColumn) {
    // "a", LF, "b": the line feed decodes as CR LF; the frame still starts in column 91.
    const ListLine got = MakeListLine(Message(kDeliverHead + u"03618518"_qs));
    EXPECT_EQ(got.line.left(90), Columns("98/07/15 14:30:00", "447700900123", "a\r\nb"));
}

TEST(FrameOfLine, EverythingAfterTheLastSpace) {
    const std::pair<QString, QString> cases[] = {
        {u"98/07/15 14:30:00 447700900123 Hello 1002031003FFFD"_qs, u"1002031003FFFD"_qs},
        {u"1002031003FFFD"_qs, u"1002031003FFFD"_qs},
        {u"trailing "_qs, u""_qs},
        {u""_qs, u""_qs},
    };
    for (const auto &[line, frame] : cases)
        EXPECT_EQ(FrameOfLine(line), frame);
}

TEST(CountLabelText, SingularOnlyForOne) {
    EXPECT_EQ(CountLabelText(0), u" 0 items"_qs);
    EXPECT_EQ(CountLabelText(1), u" 1 item"_qs);
    EXPECT_EQ(CountLabelText(2), u" 2 items"_qs);
    EXPECT_EQ(CountLabelText(3), u" 3 items"_qs);
    EXPECT_EQ(CountLabelText(100000), u" 100000 items"_qs);
}

}  // namespace
}  // namespace vantel
