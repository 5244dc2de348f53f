// The frame codec, the Block-mode diagnostics, the encoder, the queue-entry check, the settings
// file and the list line, row by row from tests/data/core-*.txt, and the checks that are whole
// tables by themselves.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QRandomGenerator>

#include "app/listline.h"
#include "app/listrecords.h"
#include "app/messageexport.h"
#include "app/settingsfile.h"
#include "blockmode/diagnostics.h"
#include "blockmode/frame.h"
#include "compose/encoder.h"
#include "compose/queueentry.h"
#include "pdu/technical.h"
#include "vectors.h"

namespace vantel {
namespace vectors {

LinkMode Mode(QChar letter) {
    return letter == u'B' ? LinkMode::Block : letter == u'P' ? LinkMode::Pdu : LinkMode::PduSkipSca;
}

// Every mode of the row must give the same. A ninth input is the country code.
QStringList Encode(const QStringList &in) {
    const QString countryCode = in.size() > 8 ? in[8] : kDefaultCountryCode.toString();
    const SendFields f{in[0],
                       in[1],
                       in[2],
                       in[3],
                       in[4],
                       in[5].contains(u'R'),
                       in[5].contains(u'S'),
                       in[6].isEmpty() ? -1 : in[6].toInt(nullptr, 16)};
    QStringList first;
    for (const QChar mode : in[7]) {
        const EncodedEntry e = BuildQueueEntry(f, Mode(mode), countryCode);
        const QStringList got = {B(e.ok), e.entries.join(u"\r\n"), e.error, e.addToAddressList,
                                 e.addToSCList};
        if (first.isEmpty()) first = got;
        if (got != first) first[0] = u"modes disagree"_qs;
    }
    return first;
}

QStringList Measure(const QStringList &in) {
    const TextSize size = MeasureText(in[0], in[1]);
    const char *alphabets[] = {"Gsm7", "EightBit", "Ucs2"};
    return {alphabets[int(size.alphabet)], N(size.parts), size.missing};
}

QStringList ReadEntry(const QStringList &in) {
    QString why;
    const auto e = ReadQueueEntry(in[0], in[1] == u"PDU", &why);
    if (!e) return {why, {}, {}, {}, {}};
    return {why, e->count, e->destination, e->serviceCentre, e->data};
}

// The settings as text: speed | port | dial string | confirm string | the eight flags.
QStringList Render(const Settings &s) {
    QString flags;
    for (const bool flag : {s.debugMode, s.echoSet, s.pduMode, s.getOldMessages, s.getSIMMessages,
                            s.skipPDUSCA, s.deleteOld, s.keepErr})
        flags += flag ? u'1' : u'0';
    return {s.speed, s.port, s.dialString, s.confirmString, flags};
}

// What reading the file gives, and what reached the serial control (which may refuse it).
QStringList Read(const QStringList &in) {
    QStringList serial;
    const bool accept = in[1] != u"refuse";
    SerialSink sink;
    sink.setSettings = [&](const QString &settings) {
        serial << u"settings:"_qs + settings;
        return accept;
    };
    sink.setCommPort = [&](int port) {
        serial << u"port:"_qs + N(port);
        return accept;
    };
    Settings s;
    ReadSettings(in[0].toLatin1(), s, sink);
    return Render(s) << serial.join(u" ; ");
}

// The keys beside the classic ones: device | queue paused | minutes between retrievals | the
// file written back.
QStringList ReadAdded(const QStringList &in) {
    Settings s;
    ReadSettings(in[0].toLatin1(), s);
    return {s.device, B(s.queuePaused), N(s.autoRetrieveMinutes),
            QString::fromLatin1(WriteSettings(s))};
}

QStringList Write(const QStringList &in) {
    Settings s;
    s.speed = in[0];
    s.port = in[1];
    s.dialString = in[2];
    s.confirmString = in[3];
    bool *flags[] = {&s.debugMode,      &s.echoSet,    &s.pduMode,   &s.getOldMessages,
                     &s.getSIMMessages, &s.skipPDUSCA, &s.deleteOld, &s.keepErr};
    for (int i = 0; i < 8; ++i)
        *flags[i] = in[4][i] == u'1';
    const QByteArray file = WriteSettings(s);
    Settings back;
    ReadSettings(file, back);
    return QStringList{QString::fromLatin1(file)} + Render(back);
}

QStringList ListLineOf(const QString &frame) {
    const ListLine got = MakeListLine(frame);
    return {got.line.left(90), B(got.line.sliced(qMin(90, got.line.size())) == frame),
            B(got.result), B(FrameOfLine(got.line) == frame)};
}

// The lines (CR LF between them) as a list holds them; the first `in[1]` of them exported, as
// CSV (less its header) and as JSON Lines, names from a fixed destination history.
QStringList ExportOf(const QStringList &in) {
    const QStringList lines = in[0].split(u"\r\n"_qs);
    ConcatenatedTexts joined;
    joined.addLines(lines);
    const NameBook names({u"Ann, \"boss\"=07700 900123"_qs, u"@Eve=+12345"_qs}, u"44");
    QStringList out;
    for (ExportFormat format : {ExportFormat::Csv, ExportFormat::JsonLines}) {
        QBuffer file;
        file.open(QIODevice::WriteOnly);
        WriteMessageExport(file, format, lines.first(in[1].toInt()), joined, names);
        out << QString::fromUtf8(file.data());
    }
    const QString header = u"time,kind,number,name,text,part,status,frame\r\n"_qs;
    out[0] = out[0].startsWith(header) ? out[0].mid(header.size()) : u"no header: "_qs + out[0];
    return out;
}

const QMap<QString, Call> &Calls() {
    static const QMap<QString, Call> calls = {
        {"BuildFrame", VANTEL_CALL(1, Hex(BuildFrame(Octets(in[0]))))},
        {"ValidateFrame",
         {1,
          [](const QStringList &in) -> QStringList {
              QString frame = in[0];
              const bool ok = ValidateFrame(frame);
              return {B(ok), frame};
          }}},
        {"ExtractFrame",
         {1,
          [](const QStringList &in) -> QStringList {
              const ExtractedFrame got = ExtractFrame(in[0]);
              return {B(got.found), got.frame, N(got.repairs)};
          }}},
        {"FrameKey", VANTEL_CALL(1, FrameKey(in[0]))},
        {"DescribeBlockMessage", VANTEL_CALL(1, DescribeBlockMessage(in[0]))},
        {"BlockTypeName", VANTEL_CALL(1, BlockTypeName(in[0]))},
        {"BlockCauseText", VANTEL_CALL(2, BlockCauseText(in[0], in[1]))},
        {"RpCauseName", VANTEL_CALL(1, RpCauseName(in[0]))},
        {"ConfirmTypeName", VANTEL_CALL(1, ConfirmTypeName(in[0]))},
        {"EncodeAddress", VANTEL_CALL(2, EncodeAddress(in[0], in[1] == u"yes"))},
        {"PackSeptets", VANTEL_CALL(1, PackSeptets(in[0]))},
        {"BuildQueueEntry", {8, Encode}},
        {"BuildQueueEntryWithCountryCode", {9, Encode}},
        {"ReadNumber",
         {2,
          [](const QStringList &in) -> QStringList {
              const NumberReading r = ReadNumber(in[0], in[1], u"destination");
              return {r.number, r.sendsTo, r.refusal};
          }}},
        {"SendsToText", VANTEL_CALL(2, SendsToText(in[0], in[1]))},
        {"MeasureText", {2, Measure}},
        {"ReadQueueEntry", {2, ReadEntry}},
        {"NextQueueEntry",
         {2,
          [](const QStringList &in) -> QStringList {
              qsizetype others = -1;
              const qsizetype row =
                  NextQueueEntry(in[0].split(QStringLiteral("\r\n")), in[1] == u"PDU", &others);
              return {N(int(row)), N(int(others))};
          }}},
        {"ServiceCentreForCommand", VANTEL_CALL(1, ServiceCentreForCommand(in[0]))},
        {"ReadSettings", {2, Read}},
        {"CountryCodeOfFile",
         {1,
          [](const QStringList &in) -> QStringList {
              Settings s;
              ReadSettings(in[0].toLatin1(), s);
              const QString file = QString::fromLatin1(WriteSettings(s));
              const qsizetype at = file.indexOf(u"CountryCode="_qs);
              return {s.countryCode, at < 0 ? QString() : file.sliced(at)};
          }}},
        {"WriteSettings", {5, Write}},
        {"ReadAddedSettings", {1, ReadAdded}},
        {"MakeListLine", VANTEL_CALL(1, ListLineOf(in[0]))},
        {"FrameOfLine", VANTEL_CALL(1, FrameOfLine(in[0]).toString())},
        {"CountLabelText", VANTEL_CALL(1, CountLabelText(in[0].toLongLong()))},
        {"NameOf", VANTEL_CALL(4, NameBook(in[0].split(u"\r\n"_qs), in[1]).nameOf(in[2], in[3]))},
        {"IsoTimeOf", VANTEL_CALL(1, IsoTimeOf(in[0]))},
        {"MessageExport", {2, ExportOf}},
    };
    return calls;
}

INSTANTIATE_TEST_SUITE_P(Core, Vectors,
                         testing::ValuesIn(LoadSections({"core-frames.txt", "core-diagnostics.txt",
                                                         "core-encoder.txt", "core-settings.txt",
                                                         "core-listline.txt"})),
                         SectionName);

}  // namespace vectors

namespace {

using vectors::Hex;

TEST(BuildFrame, FixedFramesAreBuiltFrames) {
    EXPECT_EQ(BuildFrame(QByteArray("\x03")), GetNextMessageFrame);
    EXPECT_EQ(BuildFrame(QByteArray("\x1E")), EndSmsModeFrame);
    EXPECT_EQ(Hex(GetNextMessageFrame), GetNextMessageHex.toString());
    EXPECT_EQ(Hex(BuildFrame(QByteArray("\x22\x00\x00", 3))), TimeoutFrame.toString());
    EXPECT_EQ(FrameKey(TimeoutFrame), EndOfListKey.toString());
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
        ASSERT_TRUE(ValidateFrame(frame)) << Hex(content).toStdString();
        EXPECT_EQ(frame, Hex(content));
    }
}

TEST(DescribeBlockMessage, MessageFrameIsExplainedByTheTechnicalDecoder) {
    const QString content =
        u"21067E0201079144872000005004000C9144872143658700005021812233234003C8329B"_qs;
    const QString frame = Hex(BuildFrame(vectors::Octets(content)));
    EXPECT_EQ(DescribeBlockMessage(u"98/07/15 x 123 "_qs + frame),
              u"Content: "_qs + frame + u"\r\nMessageContent: "_qs + content +
                  u"\r\nMessage Type: MESSAGE\r\n"_qs + DecodeTechnical(content.mid(2), false) +
                  u"\r\n"_qs);
}

TEST(PackSeptets, LengthIsSevenEighthsOfTheText) {
    for (int n = 0; n <= 170; ++n)
        EXPECT_EQ(PackSeptets(QString(n, u'z')).size(), (7 * n + 7) / 8 * 2) << n;
}

// Without a given reference it follows from the text: the same text, the same reference.
TEST(BuildQueueEntry, ReferenceFollowsFromTheText) {
    SendFields f{u"1"_qs, {}, QString(200, u'k'), u"00"_qs, u"00"_qs};
    const QStringList entries = BuildQueueEntry(f, LinkMode::Pdu).entries;
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(BuildQueueEntry(f, LinkMode::Pdu).entries, entries);
}

}  // namespace
}  // namespace vantel
