// Real phones' PDUs through the list line, and damaged frames and files through every reader.
#include <gtest/gtest.h>

#include <QFile>
#include <QRandomGenerator>

#include "app/listline.h"
#include "app/settingsfile.h"
#include "blockmode/diagnostics.h"
#include "blockmode/frame.h"
#include "vectors.h"

namespace vantel {
namespace {

// The frames PDU-mode retrieval stores for the listed PDUs of tests/data/core-real-pdus.txt
// ("label PDU" a line), by label.
QList<std::pair<QString, QString>> RealFrames() {
    QList<std::pair<QString, QString>> frames;
    for (const table::Line &line :
         table::Lex("core-real-pdus.txt", table::Text("core-real-pdus.txt"))) {
        const QStringList words = line.text.split(u' ');
        if (words.size() != 2) table::Fail(line.where, u"a row is \"label PDU\""_qs);
        const QByteArray content = QByteArray::fromHex("21067E0201" + words[1].toLatin1());
        frames.append({words[0], vectors::Hex(BuildFrame(content))});
    }
    return frames;
}

TEST(RealPdus, ListedWithTheirColumns) {
    const std::map<QString, QString> expected = {
        {u"at-sms/03"_qs, u"07/05/03 07:04:40 919884280026         Ok sir"_qs},
        {u"at-sms/09"_qs, u"99/03/29 15:16:59 27838890001          hellohello"_qs},
        {u"at-sms/14"_qs, u" Rel: FF          79168024812          "_qs},
        {u"at-sms/30"_qs,
         u"09/09/07 16:48:26 666666666666         Short message received by the SME"_qs},
    };
    const auto frames = RealFrames();
    ASSERT_GE(frames.size(), 40);
    size_t knownSeen = 0;
    for (const auto &[label, frame] : frames) {
        const ListLine got = MakeListLine(frame);
        EXPECT_TRUE(got.result) << label.toStdString();
        ASSERT_EQ(got.line.size(), 90 + frame.size()) << label.toStdString();
        EXPECT_EQ(got.line.sliced(90), frame) << label.toStdString();
        for (const qsizetype separator : {17, 38, 89})
            EXPECT_EQ(got.line[separator], u' ') << label.toStdString();
        const auto known = expected.find(label);
        knownSeen += known != expected.end();
        EXPECT_TRUE(known == expected.end() || got.line.startsWith(known->second))
            << label.toStdString();
        EXPECT_TRUE(DescribeBlockMessage(got.line).contains(u"\r\nMessage Type: MESSAGE\r\n"_qs))
            << label.toStdString();
    }
    EXPECT_EQ(knownSeen, expected.size());
}

TEST(DamagedFrames, NoReaderFailsOnThem) {
    const auto frames = RealFrames();
    QRandomGenerator random(7u);
    const QString alphabet = u"0123456789ABCDEFabcdef10 G\u00e9"_qs;
    for (int round = 0; round < 20000; ++round) {
        QString frame = frames[random.bounded(int(frames.size()))].second;
        const int at = random.bounded(int(frame.size()));
        switch (random.bounded(4)) {
            case 0:
                frame.truncate(at);
                break;
            case 1:
                frame.remove(at, 1 + random.bounded(6));
                break;
            case 2:
                frame.insert(at, u"1003"_qs);
                break;
            default:
                frame[at] = alphabet[random.bounded(int(alphabet.size()))];
        }
        const ListLine line = MakeListLine(frame);
        EXPECT_EQ(line.line.size(), 90 + frame.size());
        EXPECT_TRUE(line.line.endsWith(frame));
        const QString account = DescribeBlockMessage(frame);
        EXPECT_TRUE(account.startsWith(u"Content: "_qs) && account.endsWith(u"\r\n"_qs));
        EXPECT_LE(ExtractFrame(frame).repairs, 2);
    }
}

// Every byte after every selector, then random bytes: a good line after them is still read.
TEST(DamagedFrames, SettingsReaderTakesAnyBytes) {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    QRandomGenerator random(11u);
    for (int round = 0; round < 2000; ++round) {
        QByteArray file(random.bounded(200), '\0');
        for (char &c : file)
            c = char(random.bounded(256));
        if (round < 5)
            file = QByteArray("Speed= Port= DialString= DebugMode= ").split(' ')[round] + all;
        Settings s;
        ReadSettings(file + "\r\nKeepErr=1", s);
        EXPECT_TRUE(s.keepErr);
        EXPECT_TRUE(s.debugMode || file.startsWith("DebugMode="));
    }
}

}  // namespace
}  // namespace vantel
