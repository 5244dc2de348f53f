#include <gtest/gtest.h>

#include <QFile>
#include <QList>
#include <QMap>
#include <QPair>

#include "pdu/primitives.h"
#include "pdu/summary.h"
#include "pdu/technical.h"
#include "qtprint.h"

namespace vantel {
namespace {

struct RealPdu {
    QString name;
    QString pdu;
    QList<QPair<QString, QString>> expected;
};

QString Unescape(QStringView value) {
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 >= value.size()) {
            out += value[i];
        } else if (value[i + 1] == u'n') {
            out += u"\r\n";
            ++i;
        } else if (value[i + 1] == u'x' && i + 3 < value.size()) {
            out += QChar(value.sliced(i + 2, 2).toUShort(nullptr, 16));
            i += 3;
        } else {
            out += value[i + 1];
            ++i;
        }
    }
    return out;
}

QList<RealPdu> LoadRealPdus() {
    QList<RealPdu> all;
    QFile file(VANTEL_TEST_DATA "/pdu-real.txt");
    if (!file.open(QIODevice::ReadOnly)) return all;
    RealPdu current;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (line.startsWith(u'#')) continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0) {
            if (!current.name.isEmpty()) all.append(current);
            current = {};
            continue;
        }
        const QString key = line.left(eq);
        const QString value = line.mid(eq + 1);
        if (key == u"name") {
            current.name = value;
        } else if (key == u"pdu") {
            current.pdu = value;
        } else {
            current.expected.append({key, key == u"text" ? Unescape(value) : value});
        }
    }
    if (!current.name.isEmpty()) all.append(current);
    return all;
}

const QList<RealPdu> &RealPdus() {
    static const QList<RealPdu> all = LoadRealPdus();
    return all;
}

class RealPduTest : public testing::TestWithParam<int> {};

TEST(RealPduData, FileHoldsTheSelection) {
    EXPECT_GE(RealPdus().size(), 30);
}

TEST_P(RealPduTest, DecodesToTheHandDerivedFields) {
    const RealPdu &p = RealPdus().at(GetParam());
    const QString content = "21067E0201" + p.pdu;
    MessageFields f;
    ASSERT_TRUE(DecodeMessage(content, f));
    const QString technical = DecodeTechnical(QStringView(content).sliced(2), false);
    EXPECT_TRUE(technical.endsWith(u"\r\n"));

    const QMap<QString, const QString *> fields = {
        {"typeCode", &f.typeCode},
        {"scAddress", &f.scAddress},
        {"scAddressType", &f.scAddressType},
        {"firstOctet", &f.firstOctet},
        {"flagOrReference", &f.flagOrReference},
        {"address", &f.address},
        {"addressType", &f.addressType},
        {"pid", &f.pid},
        {"dcs", &f.dcs},
        {"time", &f.time},
        {"text", &f.text},
        {"userData", &f.userData},
    };
    for (const auto &[key, value] : p.expected) {
        if (key == u"udl") {
            ASSERT_TRUE(content.endsWith(f.userData));
            const qsizetype at = content.size() - f.userData.size() - 2;
            EXPECT_EQ(HexPairValue(QStringView(content).sliced(at, 2)), value.toInt());
        } else if (key == u"tech") {
            EXPECT_TRUE(technical.contains(value + "\r\n")) << value.toStdString() << "\n"
                                                            << technical.toStdString();
        } else {
            ASSERT_TRUE(fields.contains(key)) << key.toStdString();
            EXPECT_EQ(*fields[key], value) << key.toStdString();
        }
    }
}

// One MessageFields decoded into again and again (as a long list is) gives what a fresh one
// gives; the list columns alone give the same time, address and (as far as the list shows it)
// text.
TEST(RealPduData, ReusedFieldsAndListColumnsDecodeAlike) {
    MessageFields reused, columns;
    for (int round = 0; round < 2; ++round) {
        for (const RealPdu &p : RealPdus()) {
            const QString content = "21067E0201" + p.pdu;
            MessageFields fresh;
            EXPECT_EQ(DecodeMessage(content, reused), DecodeMessage(content, fresh));
            for (const auto &[got, want] : {std::pair{&reused.typeCode, &fresh.typeCode},
                                            {&reused.scAddress, &fresh.scAddress},
                                            {&reused.flagOrReference, &fresh.flagOrReference},
                                            {&reused.address, &fresh.address},
                                            {&reused.pid, &fresh.pid},
                                            {&reused.dcs, &fresh.dcs},
                                            {&reused.time, &fresh.time},
                                            {&reused.text, &fresh.text},
                                            {&reused.userData, &fresh.userData}})
                EXPECT_EQ(*got, *want) << p.name.toStdString();
            DecodeListColumns(content, columns, 50);
            EXPECT_EQ(columns.time, fresh.time) << p.name.toStdString();
            EXPECT_EQ(columns.address, fresh.address) << p.name.toStdString();
            EXPECT_EQ(columns.addressType, fresh.addressType) << p.name.toStdString();
            EXPECT_EQ(columns.text.left(50), fresh.text.left(50)) << p.name.toStdString();
            EXPECT_TRUE(columns.userData.isEmpty());
        }
    }
}

std::string RecordName(const testing::TestParamInfo<int> &info) {
    std::string name = RealPdus().at(info.param).name.toStdString();
    for (char &c : name) {
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(GammuCorpus, RealPduTest, testing::Range(0, int(RealPdus().size())),
                         RecordName);

}  // namespace
}  // namespace vantel
