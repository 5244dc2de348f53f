#include "pdu/tables.h"

#include <gtest/gtest.h>

#include "qtprint.h"

namespace vantel {
namespace {

TEST(AddressTypeNames, TypeOfNumberTakesUpperCaseKeysOnly) {
    const char *names[] = {"Unknown",    "International", "National",           "Network Specific",
                           "Subscriber", "Alphanumeric",  "Abbreviated Number", "Reserved"};
    const QString keys = "89ABCDEF";
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(TonName(keys.mid(i, 1)), QString(names[i]));
    for (const char *other : {"0", "1", "7", "a", "d", "", "91", "G"}) {
        EXPECT_EQ(TonName(QString(other)), QString("Illegal")) << other;
    }
}

TEST(AddressTypeNames, NumberingPlanTakesUpperCaseKeysOnly) {
    const struct {
        const char *key, *name;
    } cases[] = {
        {"0", "Unknown"},  {"1", "E.164"},   {"3", "X.121"},   {"4", "Telex"},
        {"8", "National"}, {"9", "Private"}, {"A", "ERMES"},   {"F", "Reserved"},
        {"2", "Illegal"},  {"5", "Illegal"}, {"7", "Illegal"}, {"B", "Illegal"},
        {"E", "Illegal"},  {"a", "Illegal"}, {"f", "Illegal"}, {"", "Illegal"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(NpiName(QString(c.key)), QString(c.name)) << c.key;
}

TEST(ProtocolIdentifierNames, EveryRangeAndItsBounds) {
    const struct {
        const char *pair, *name;
    } cases[] = {
        {"", "Default"},
        {"00", "Default"},
        {"01", "SM-AL Protocol Type  1"},
        {"05", "SM-AL Protocol Type  5"},
        {"1F", "SM-AL Protocol Type  31"},
        {"20", "Implicit"},
        {"21", "Telex"},
        {"22", "Group 3 Fax"},
        {"23", "Group 4 Fax"},
        {"24", "Speech"},
        {"25", "ERMES"},
        {"26", "National Paging System"},
        {"27", "Videotex"},
        {"28", "Teletex"},
        {"29", "Teletex, PSPDN"},
        {"2A", "Teletex, CSPDN"},
        {"2B", "Teletex, PSTN"},
        {"2C", "Teletex, ISDN"},
        {"2D", "UCI"},
        {"2E", "Reserved"},
        {"2F", "Reserved"},
        {"30", "SC Specific MHS"},
        {"31", "X.400 mail"},
        {"32", "Internet mail"},
        {"33", "Reserved"},
        {"37", "Reserved"},
        {"38", "SC Specific"},
        {"3E", "SC Specific"},
        {"3F", "GSM mobile"},
        {"40", "Short Message Type 0"},
        {"41", "Replace SM Type  1"},
        {"47", "Replace SM Type  7"},
        {"48", "Reserved"},
        {"5E", "Reserved"},
        {"5F", "Return Call Message"},
        {"60", "Reserved"},
        {"7D", "Reserved"},
        {"7E", "ME de-personalisation"},
        {"7F", "SIM Data Download"},
        {"80", "Reserved"},
        {"BF", "Reserved"},
        {"C0", "SC Specific"},
        {"FF", "SC Specific"},
        {"7e", "ME de-personalisation"},
        {"  ", ""},
        {"\u00FF0", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PidName(QString(c.pair)), QString(c.name)) << c.pair;
}

TEST(DataCodingSchemeNames, ExactCodesAndTheDefaultAlphabetAnswer) {
    const struct {
        const char *pair, *name;
        bool gsm7;
    } cases[] = {
        {"", "GSM Default Alphabet", true},
        {"00", "GSM Default Alphabet", true},
        {"01", "Reserved", true},
        {"04", "8 bit", false},
        {"05", "Reserved", true},
        {"08", "UCS2 (16 bit)", false},
        {"10", "GSM Default Immediate", true},
        {"13", "GSM Default TE Specific", true},
        {"14", "8 bit Immediate", false},
        {"17", "8 bit TE Specific", false},
        {"18", "UCS2 Immediate", false},
        {"1B", "UCS2 TE Specific", false},
        {"1C", "Reserved", true},
        {"20", "Compressed GSM Default Alphabet", false},
        {"24", "Compressed 8 bit", false},
        {"28", "Compressed UCS2 (16 bit)", false},
        {"30", "Compressed GSM Default Immediate", false},
        {"33", "Compressed GSM Default TE Specific", false},
        {"34", "Compressed 8 bit Immediate", false},
        {"37", "Compressed 8 bit TE Specific", false},
        {"38", "Compressed UCS2 Immediate", false},
        {"3B", "Compressed UCS2 TE Specific", false},
        {"3C", "Reserved", true},
        {"C0", "VoiceMail Inactive (discard)", true},
        {"C3", "Other Inactive (discard)", true},
        {"C4", "Reserved", true},
        {"C8", "VoiceMail Active (discard)", true},
        {"CB", "Other Active (discard)", true},
        {"D0", "VoiceMail Inactive", true},
        {"D3", "Other Inactive", true},
        {"D8", "VoiceMail Active", true},
        {"DB", "Other Active", true},
        {"E0", "UCS2 VoiceMail Inactive", false},
        {"E3", "UCS2 Other Inactive", false},
        {"E8", "UCS2 VoiceMail Active", false},
        {"EB", "UCS2 Other Active", false},
        {"F0", "GSM Default Immediate", true},
        {"F1", "GSM Default ME Specific", true},
        {"F3", "GSM Default TE Specific", true},
        {"F4", "8 bit Immediate", false},
        {"F7", "8 bit TE Specific", false},
        {"F8", "Reserved", true},
        {"FF", "Reserved", true},
        {"  ", "Reserved", true},
    };
    for (const auto &c : cases) {
        QString name = "stale";
        EXPECT_EQ(DcsName(QString(c.pair), name), c.gsm7) << c.pair;
        EXPECT_EQ(name, QString(c.name)) << c.pair;
    }
}

}  // namespace
}  // namespace vantel
