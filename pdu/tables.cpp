#include "pdu/tables.h"

#include <array>
#include <iterator>

#include "pdu/primitives.h"

namespace vantel {

namespace {

QString Static(QStringView name) {
    return QString::fromRawData(name.data(), name.size());
}

struct KeyName {
    char16_t key;
    QStringView name;
};

struct RangeName {
    int first;
    int last;
    QStringView name;
};

struct DcsEntry {
    int value;
    QStringView name;
    bool defaultAlphabet;
};

constexpr QStringView kIllegal = u"Illegal";

// GSM 03.40 9.1.2.5: type of number, with bit 7 of the octet set.
constexpr KeyName kTypesOfNumber[] = {
    {u'8', u"Unknown"},
    {u'9', u"International"},
    {u'A', u"National"},
    {u'B', u"Network Specific"},
    {u'C', u"Subscriber"},
    {u'D', u"Alphanumeric"},
    {u'E', u"Abbreviated Number"},
    {u'F', u"Reserved"},
};

// GSM 03.40 9.1.2.5: numbering plan identification.
constexpr KeyName kNumberingPlans[] = {
    {u'0', u"Unknown"},  {u'1', u"E.164"},   {u'3', u"X.121"}, {u'4', u"Telex"},
    {u'8', u"National"}, {u'9', u"Private"}, {u'A', u"ERMES"}, {u'F', u"Reserved"},
};

// GSM 03.40 9.2.3.9: TP-PID. 01-1F and 41-47 carry a number and are built in PidName.
constexpr RangeName kProtocolIdentifiers[] = {
    {0x00, 0x00, u"Default"},
    {0x20, 0x20, u"Implicit"},
    {0x21, 0x21, u"Telex"},
    {0x22, 0x22, u"Group 3 Fax"},
    {0x23, 0x23, u"Group 4 Fax"},
    {0x24, 0x24, u"Speech"},
    {0x25, 0x25, u"ERMES"},
    {0x26, 0x26, u"National Paging System"},
    {0x27, 0x27, u"Videotex"},
    {0x28, 0x28, u"Teletex"},
    {0x29, 0x29, u"Teletex, PSPDN"},
    {0x2A, 0x2A, u"Teletex, CSPDN"},
    {0x2B, 0x2B, u"Teletex, PSTN"},
    {0x2C, 0x2C, u"Teletex, ISDN"},
    {0x2D, 0x2D, u"UCI"},
    {0x2E, 0x2F, u"Reserved"},
    {0x30, 0x30, u"SC Specific MHS"},
    {0x31, 0x31, u"X.400 mail"},
    {0x32, 0x32, u"Internet mail"},
    {0x33, 0x37, u"Reserved"},
    {0x38, 0x3E, u"SC Specific"},
    {0x3F, 0x3F, u"GSM mobile"},
    {0x40, 0x40, u"Short Message Type 0"},
    {0x48, 0x5E, u"Reserved"},
    {0x5F, 0x5F, u"Return Call Message"},
    {0x60, 0x7D, u"Reserved"},
    {0x7E, 0x7E, u"ME de-personalisation"},
    {0x7F, 0x7F, u"SIM Data Download"},
    {0x80, 0xBF, u"Reserved"},
    {0xC0, 0xFF, u"SC Specific"},
};

// GSM 03.38 4: TP-DCS, listed code by code; anything else is reserved.
constexpr DcsEntry kDataCodingSchemes[] = {
    {0x00, u"GSM Default Alphabet", true},
    {0x04, u"8 bit", false},
    {0x08, u"UCS2 (16 bit)", false},
    {0x10, u"GSM Default Immediate", true},
    {0x11, u"GSM Default ME Specific", true},
    {0x12, u"GSM Default SIM Specific", true},
    {0x13, u"GSM Default TE Specific", true},
    {0x14, u"8 bit Immediate", false},
    {0x15, u"8 bit ME Specific", false},
    {0x16, u"8 bit SIM Specific", false},
    {0x17, u"8 bit TE Specific", false},
    {0x18, u"UCS2 Immediate", false},
    {0x19, u"UCS2 ME Specific", false},
    {0x1A, u"UCS2 SIM Specific", false},
    {0x1B, u"UCS2 TE Specific", false},
    {0x20, u"Compressed GSM Default Alphabet", false},
    {0x24, u"Compressed 8 bit", false},
    {0x28, u"Compressed UCS2 (16 bit)", false},
    {0x30, u"Compressed GSM Default Immediate", false},
    {0x31, u"Compressed GSM Default ME Specific", false},
    {0x32, u"Compressed GSM Default SIM Specific", false},
    {0x33, u"Compressed GSM Default TE Specific", false},
    {0x34, u"Compressed 8 bit Immediate", false},
    {0x35, u"Compressed 8 bit ME Specific", false},
    {0x36, u"Compressed 8 bit SIM Specific", false},
    {0x37, u"Compressed 8 bit TE Specific", false},
    {0x38, u"Compressed UCS2 Immediate", false},
    {0x39, u"Compressed UCS2 ME Specific", false},
    {0x3A, u"Compressed UCS2 SIM Specific", false},
    {0x3B, u"Compressed UCS2 TE Specific", false},
    {0xC0, u"VoiceMail Inactive (discard)", true},
    {0xC1, u"FaxMail Inactive (discard)", true},
    {0xC2, u"Email Inactive (discard)", true},
    {0xC3, u"Other Inactive (discard)", true},
    {0xC8, u"VoiceMail Active (discard)", true},
    {0xC9, u"FaxMail Active (discard)", true},
    {0xCA, u"Email Active (discard)", true},
    {0xCB, u"Other Active (discard)", true},
    {0xD0, u"VoiceMail Inactive", true},
    {0xD1, u"FaxMail Inactive", true},
    {0xD2, u"Email Inactive", true},
    {0xD3, u"Other Inactive", true},
    {0xD8, u"VoiceMail Active", true},
    {0xD9, u"FaxMail Active", true},
    {0xDA, u"Email Active", true},
    {0xDB, u"Other Active", true},
    {0xE0, u"UCS2 VoiceMail Inactive", false},
    {0xE1, u"UCS2 FaxMail Inactive", false},
    {0xE2, u"UCS2 Email Inactive", false},
    {0xE3, u"UCS2 Other Inactive", false},
    {0xE8, u"UCS2 VoiceMail Active", false},
    {0xE9, u"UCS2 FaxMail Active", false},
    {0xEA, u"UCS2 Email Active", false},
    {0xEB, u"UCS2 Other Active", false},
    {0xF0, u"GSM Default Immediate", true},
    {0xF1, u"GSM Default ME Specific", true},
    {0xF2, u"GSM Default SIM Specific", true},
    {0xF3, u"GSM Default TE Specific", true},
    {0xF4, u"8 bit Immediate", false},
    {0xF5, u"8 bit ME Specific", false},
    {0xF6, u"8 bit SIM Specific", false},
    {0xF7, u"8 bit TE Specific", false},
};

// GSM 03.40 9.2.3.15: TP-ST in four classes 32 values wide; in each the values after the named
// ones are reserved up to the last 16, which are specific to the service centre.
struct StatusClass {
    QStringView name;
    bool namesPrefixed;  // errors carry their class in front of their name
    std::initializer_list<QStringView> names;
};

const StatusClass kStatusClasses[] = {
    {u"Short message transaction completed",
     false,
     {u"Short message received by the SME",
      u"Short message forwarded by the SC to the SME but the SC is unable to confirm delivery",
      u"Short message replaced by the SC"}},
    {u"Temporary error, SC still trying",
     true,
     {u"Congestion", u"SME busy", u"No response from SME", u"Service rejected",
      u"Quality of service not available", u"Error in SME"}},
    {u"Permanent error",
     true,
     {u"Remote procedure error", u"Incompatible destination", u"Connection rejected by SME",
      u"Not obtainable", u"Quality of service not available", u"No interworking available",
      u"SM Validity Period Expired", u"SM Deleted by originating SME",
      u"SM Deleted by SC Administration", u"SM does not exist"}},
    {u"Temporary error, SC not making more attempts",
     true,
     {u"Congestion", u"SME busy", u"No response from SME", u"Service rejected",
      u"Quality of service not available", u"Error in SME"}},
};

constexpr DcsEntry kReservedDcs = {-1, u"Reserved", true};

// Index of the entry for `c`, or N for "Illegal".
template <std::size_t N>
std::size_t FindKey(const KeyName (&table)[N], QStringView c) {
    if (c.size() == 1) {
        for (std::size_t i = 0; i < N; ++i) {
            if (table[i].key == c[0].unicode()) return i;
        }
    }
    return N;
}

template <std::size_t N>
QStringView KeyedName(const KeyName (&table)[N], QStringView c) {
    const std::size_t i = FindKey(table, c);
    return i < N ? table[i].name : kIllegal;
}

constexpr std::size_t kTonCount = std::size(kTypesOfNumber) + 1;
constexpr std::size_t kNpiCount = std::size(kNumberingPlans) + 1;

// The number form that reserves a leading blank for the sign: "SM-AL Protocol Type " + " 5".
QString NumberedName(QStringView prefix, int number) {
    return prefix.toString() + u' ' + QString::number(number);
}

}  // namespace

QString TonName(QStringView c) {
    return Static(KeyedName(kTypesOfNumber, c));
}

QString NpiName(QStringView c) {
    return Static(KeyedName(kNumberingPlans, c));
}

QString AddressTypeName(QStringView ton, QStringView npi) {
    static const auto names = [] {
        std::array<std::array<QString, kNpiCount>, kTonCount> all;
        for (std::size_t t = 0; t < kTonCount; ++t) {
            const QStringView tonName = t + 1 < kTonCount ? kTypesOfNumber[t].name : kIllegal;
            for (std::size_t n = 0; n < kNpiCount; ++n) {
                QString &name = all[t][n];
                name = tonName.toString();
                name += u' ';
                name += n + 1 < kNpiCount ? kNumberingPlans[n].name : kIllegal;
            }
        }
        return all;
    }();
    return names[FindKey(kTypesOfNumber, ton)][FindKey(kNumberingPlans, npi)];
}

QString PidName(QStringView pair) {
    const int v = HexPairValue(pair);
    if (v >= 0x01 && v <= 0x1F) return NumberedName(u"SM-AL Protocol Type ", v);
    if (v >= 0x41 && v <= 0x47) return NumberedName(u"Replace SM Type ", v - 0x40);
    for (const RangeName &entry : kProtocolIdentifiers) {
        if (v >= entry.first && v <= entry.last) return Static(entry.name);
    }
    return {};
}

QString StatusName(int status) {
    if (status < 0 || status >= 0x80) return QStringLiteral("Reserved");
    const StatusClass &c = kStatusClasses[status >> 5];
    const int offset = status & 0x1F;
    const bool named = offset < int(c.names.size());
    if (named && !c.namesPrefixed) return c.names.begin()[offset].toString();
    QString text = c.name.toString();
    text += u": ";
    text += named ? c.names.begin()[offset] : offset < 0x10 ? u"Reserved" : u"SC specific";
    return text;
}

bool DcsName(QStringView pair, QString &name) {
    const int v = HexPairValue(pair);
    const DcsEntry *found = &kReservedDcs;
    for (const DcsEntry &entry : kDataCodingSchemes) {
        if (entry.value == v) {
            found = &entry;
            break;
        }
    }
    name = Static(found->name);
    return found->defaultAlphabet;
}

}  // namespace vantel
