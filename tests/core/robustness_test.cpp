// Real phones' PDUs through the list line, and damaged frames through every reader.
#include <gtest/gtest.h>

#include <QFile>
#include <QRandomGenerator>

#include "app/listline.h"
#include "app/settingsfile.h"
#include "blockmode/diagnostics.h"
#include "blockmode/frame.h"
#include "coretest.h"

namespace vantel {
namespace {

struct LabelledPdu {
    QString label;
    QString pdu;
};

QList<LabelledPdu> RealPdus() {
    QFile file(QStringLiteral(VANTEL_TEST_DATA "/core-real-pdus.txt"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    QList<LabelledPdu> pdus;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> words = line.trimmed().split(' ');
        if (words.size() != 2 || line.startsWith('#')) continue;
        pdus.append({QString::fromLatin1(words[0]), QString::fromLatin1(words[1])});
    }
    return pdus;
}

// The stored frame that PDU-mode retrieval makes of a listed PDU.
QString StoredFrame(const QString &pdu) {
    const QByteArray content =
        QByteArray::fromHex("21067E0201") + QByteArray::fromHex(pdu.toLatin1());
    return QString::fromLatin1(BuildFrame(content).toHex().toUpper());
}

TEST(RealPdus, ListedWithTheirColumns) {
    const std::map<QString, QString> expected = {
        {u"at-sms/03"_qs, u"07/05/03 07:04:40 919884280026         Ok sir"_qs},
        {u"at-sms/09"_qs, u"99/03/29 15:16:59 27838890001          hellohello"_qs},
        {u"at-sms/14"_qs, u" Rel: FF          79168024812          "_qs},
        {u"at-sms/30"_qs,
         u"09/09/07 16:48:26 666666666666         Short message received by the SME"_qs},
    };
    const QList<LabelledPdu> pdus = RealPdus();
    ASSERT_GE(pdus.size(), 40);
    for (const auto &[label, pdu] : pdus) {
        const QString frame = StoredFrame(pdu);
        const ListLine got = MakeListLine(frame);
        EXPECT_TRUE(got.result) << label.toStdString();
        ASSERT_EQ(got.line.size(), 90 + frame.size()) << label.toStdString();
        EXPECT_EQ(got.line.sliced(90), frame) << label.toStdString();
        for (const qsizetype separator : {17, 38, 89}) {
            EXPECT_EQ(got.line[separator], u' ') << label.toStdString();
        }
        const auto known = expected.find(label);
        if (known != expected.end()) {
            EXPECT_EQ(got.line.left(known->second.size()), known->second) << label.toStdString();
        }
        EXPECT_TRUE(DescribeBlockMessage(got.line).contains(u"\r\nMessage Type: MESSAGE\r\n"_qs))
            << label.toStdString();
    }
}

TEST(DamagedFrames, NoReaderFailsOnThem) {
    QStringList frames;
    for (const auto &item : RealPdus())
        frames << StoredFrame(item.pdu);
    QRandomGenerator random(7u);
    const QString alphabet = u"0123456789ABCDEFabcdef10 G\u00e9"_qs;
    int checked = 0;
    for (int round = 0; round < 20000; ++round) {
        QString frame = frames[random.bounded(int(frames.size()))];
        switch (random.bounded(4)) {
            case 0:
                frame.truncate(random.bounded(int(frame.size()) + 1));
                break;
            case 1:
                frame.remove(random.bounded(int(frame.size())), 1 + random.bounded(6));
                break;
            case 2:
                frame.insert(random.bounded(int(frame.size())), u"1003"_qs);
                break;
            default:
                frame[random.bounded(int(frame.size()))] =
                    alphabet[random.bounded(int(alphabet.size()))];
        }
        const ListLine line = MakeListLine(frame);
        EXPECT_EQ(line.line.size(), 90 + frame.size());
        EXPECT_TRUE(line.line.endsWith(frame));
        const QString account = DescribeBlockMessage(frame);
        EXPECT_TRUE(account.startsWith(u"Content: "_qs) && account.endsWith(u"\r\n"_qs));
        const ExtractedFrame extracted = ExtractFrame(frame);
        EXPECT_LE(extracted.repairs, 2);
        ++checked;
    }
    EXPECT_EQ(checked, 20000);
}

TEST(DamagedFrames, SettingsReaderTakesAnyBytes) {
    QRandomGenerator random(11u);
    for (int round = 0; round < 2000; ++round) {
        QByteArray file(random.bounded(200), '\0');
        for (char &c : file)
            c = char(random.bounded(256));
        file += "\r\nKeepErr=1";
        Settings s;
        ReadSettings(file, s);
        EXPECT_TRUE(s.keepErr);
    }
}

}  // namespace
}  // namespace vantel
