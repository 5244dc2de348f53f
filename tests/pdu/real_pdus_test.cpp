// Real phones' PDUs (tests/data/pdu-real.txt) against the fields decoded from them by hand.
#include <gtest/gtest.h>

#include <QList>
#include <QPair>

#include "pdu/primitives.h"
#include "pdu/summary.h"
#include "pdu/technical.h"
#include "vectors.h"

namespace vantel {
namespace {

struct RealPdu {
    QString name, pdu, error;
    QList<QPair<QString, QString>> expected;
    QString content() const { return "21067E0201" + pdu; }
};

QList<RealPdu> LoadRealPdus() {
    QList<RealPdu> all;
    try {
        for (const auto &fields :
             table::KeyRecords("pdu-real.txt", table::Text("pdu-real.txt"), u"name"_qs)) {
            RealPdu &p = all.emplace_back();
            for (const auto &[key, value] : fields) {
                if (key == u"name")
                    p.name = value;
                else if (key == u"pdu")
                    p.pdu = value;
                else
                    p.expected.append({key, vectors::Unescape(value)});
            }
        }
    } catch (const table::Error &e) {
        return {{u"TableError"_qs, {}, QString::fromStdString(e.what()), {}}};
    }
    return all;
}

const QList<RealPdu> &RealPdus() {
    static const QList<RealPdu> all = LoadRealPdus();
    return all;
}

// The fields of a MessageFields by the names the file gives them, in the order of Fields().
const QStringList kFieldNames =
    u"typeCode scAddress scAddressType firstOctet flagOrReference address addressType pid dcs "
    u"time text userData"_qs.split(u' ');

class RealPduTest : public testing::TestWithParam<int> {};

// Decoded fresh and into the fields of every PDU before it (as a long list is), each PDU gives
// the hand-derived fields and technical lines; the list columns alone give the same time,
// address and (as far as the list shows it) text.
TEST_P(RealPduTest, DecodesToTheHandDerivedFields) {
    const RealPdu &p = RealPdus().at(GetParam());
    ASSERT_TRUE(p.error.isEmpty()) << p.error;
    MessageFields reused, columns;
    for (int i = 0; i <= GetParam(); ++i) {
        DecodeMessage(RealPdus().at(i).content(), reused);
        DecodeListColumns(RealPdus().at(i).content(), columns, 50);
    }
    MessageFields f;
    ASSERT_TRUE(DecodeMessage(p.content(), f));
    const QString technical = DecodeTechnical(QStringView(p.content()).sliced(2), false);
    EXPECT_TRUE(technical.endsWith(u"\r\n"));
    for (const auto &[key, value] : p.expected) {
        if (key == u"udl") {
            ASSERT_TRUE(p.content().endsWith(f.userData));
            const qsizetype at = p.content().size() - f.userData.size() - 2;
            EXPECT_EQ(HexPairValue(QStringView(p.content()).sliced(at, 2)), value.toInt());
        } else if (key == u"tech") {
            EXPECT_TRUE(technical.contains(value + "\r\n")) << value.toStdString() << "\n"
                                                            << technical.toStdString();
        } else {
            ASSERT_TRUE(kFieldNames.contains(key)) << key.toStdString();
            EXPECT_EQ(vectors::Fields(true, f).at(1 + kFieldNames.indexOf(key)), value) << key;
        }
    }
    EXPECT_EQ(vectors::Fields(true, reused), vectors::Fields(true, f));
    EXPECT_EQ(columns.time, f.time);
    EXPECT_EQ(columns.address, f.address);
    EXPECT_EQ(columns.addressType, f.addressType);
    EXPECT_EQ(columns.text.left(50), f.text.left(50));
    EXPECT_TRUE(columns.userData.isEmpty());
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

TEST(RealPduData, FileHoldsTheSelection) {
    EXPECT_GE(RealPdus().size(), 30);
}

}  // namespace
}  // namespace vantel
