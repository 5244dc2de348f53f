#include "compose/encoder.h"

#include <QList>
#include <QTextBoundaryFinder>

#include <cctype>

#include "pdu/primitives.h"

namespace vantel {

namespace {

// GSM 03.40 9.2.3.16: a message carries 140 octets of user data, which is 160 septets, 70 UCS2
// characters or 280 hex digits typed in 8-bit mode. A part of a concatenated series gives six
// of them to its header (9.2.3.24.1): 153 septets or 67 UCS2 characters are left.
constexpr qsizetype kMaxSeptets = 160;
constexpr qsizetype kMaxUcs2Units = 70;
constexpr qsizetype kMaxHexDigits = 280;
constexpr qsizetype kPartSeptets = 153;
constexpr qsizetype kPartUcs2Units = 67;

constexpr qsizetype kMaxAddressDigits = 20;

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendOctet(QString &out, int octet) {
    out.append(QLatin1Char(kHexDigits[(octet >> 4) & 0xF]));
    out.append(QLatin1Char(kHexDigits[octet & 0xF]));
}

// What follows the first "=" of a combo box text that names an address-book entry.
QString AfterFirstEquals(const QString &text, QString *history) {
    const qsizetype equals = text.indexOf(u'=');
    if (equals < 0) return text;
    *history = text;
    return text.sliced(equals + 1);
}

// The separators people type inside a number; they are no part of it.
bool IsSeparator(QChar c) {
    return c.isSpace() || c == u'-' || c == u'(' || c == u')' || c == u'.';
}

// A data coding scheme as typed: two hex digits, else -1.
int DcsValue(QStringView dcs) {
    return dcs.size() == 2 ? HexOctetAt(dcs, 0) : -1;
}

EncodedEntry Refusal(QString error) {
    EncodedEntry refused;
    refused.error = std::move(error);
    return refused;
}

// The septets (7-bit) or UTF-16 units (UCS2) of a text, with the index of the character each
// unit belongs to; a unit whose character is that of the unit before continues it (the septet
// after an escape, the low surrogate of a pair) and is never cut from it.
struct Units {
    QList<int> values;
    QList<bool> continues;
    QString missing;  // the first character the alphabet lacks (a surrogate pair whole)
};

// "20AC", "1F600".
QString CodePointText(QStringView character) {
    const char32_t code = character.size() == 2 && character[0].isHighSurrogate()
                              ? QChar::surrogateToUcs4(character[0], character[1])
                          : character.isEmpty() ? 0
                                                : character[0].unicode();
    return QString::number(code, 16).toUpper().rightJustified(4, u'0');
}

Units TextUnits(QStringView text, Alphabet alphabet) {
    Units units;
    units.values.reserve(text.size());
    units.continues.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (alphabet == Alphabet::Ucs2) {
            units.values.append(c.unicode());
            units.continues.append(c.isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate());
            continue;
        }
        const int septets = ToGsmSeptets(c);
        if (septets < 0) {
            if (units.missing.isEmpty()) {
                const bool pair =
                    c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
                units.missing = text.sliced(i, pair ? 2 : 1).toString();
            }
            units.values.append('?');
            units.continues.append(false);
        } else if (septets > 0x7F) {
            units.values.append(kGsmEscape);
            units.continues.append(false);
            units.values.append(septets & 0x7F);
            units.continues.append(true);
        } else {
            units.values.append(septets);
            units.continues.append(false);
        }
    }
    return units;
}

// Where each part of `units` begins: one part when it fits `single`, else parts of at most
// `perPart` units that never cut a character.
QList<qsizetype> PartStarts(const Units &units, qsizetype single, qsizetype perPart) {
    QList<qsizetype> starts{0};
    if (units.values.size() <= single) return starts;
    qsizetype start = 0;
    while (units.values.size() - start > perPart) {
        qsizetype next = start + perPart;
        while (next > start + 1 && units.continues[next])
            --next;
        starts.append(next);
        start = next;
    }
    return starts;
}

// GSM 03.38 6.1.2.1.1: septets laid least significant bit first into consecutive octets, after
// `fillBits` zero bits.
QString PackSeptetValues(const int *septets, qsizetype count, int fillBits) {
    QString out;
    out.reserve((7 * count + fillBits + 7) / 8 * 2);
    quint32 bits = 0;
    int pending = fillBits;
    for (qsizetype i = 0; i < count; ++i) {
        bits |= quint32(septets[i] & 0x7F) << pending;
        pending += 7;
        while (pending >= 8) {
            AppendOctet(out, int(bits & 0xFF));
            bits >>= 8;
            pending -= 8;
        }
    }
    if (pending > 0 && count > 0) AppendOctet(out, int(bits & 0xFF));
    return out;
}

// GSM 03.40 9.2.3.1-9.2.3.5: TP-MTI SMS-SUBMIT and TP-VPF relative, with TP-RP, TP-SRR and
// TP-UDHI; a user-data header typed in 8-bit mode with DCS F5 sets TP-UDHI alone.
int FirstOctet(const SendFields &fields, QStringView dcs, bool header) {
    if (dcs == u"F5") return 0x51;
    return 0x11 | (fields.replyPath ? 0x80 : 0) | (fields.statusReport ? 0x20 : 0) |
           (header ? 0x40 : 0);
}

int DerivedReference(QStringView text) {
    const QByteArray utf8 = text.toUtf8();
    return qChecksum(utf8) & 0xFF;
}

}  // namespace

NumberReading ReadNumber(QStringView typed, QStringView countryCode, QStringView what) {
    NumberReading r;
    const auto refuse = [&](const QString &why) {
        r.refusal = QStringLiteral("The %1 \"%2\" is not a phone number: %3").arg(what, typed, why);
        return r;
    };
    // "+44 (0)171 ...": the national "0" in brackets is not dialled from abroad.
    QString number = typed.trimmed().toString();
    if (number.startsWith(u'+') || number.startsWith(u"00")) number.remove(u"(0)"_qs);

    QStringList groups;  // the digit runs between separators
    bool separated = true;
    QString kept;
    for (const QChar c : std::as_const(number)) {
        if (c >= u'0' && c <= u'9') {
            if (separated) groups << QString();
            groups.last() += c;
            kept += c;
            separated = false;
        } else if (IsSeparator(c)) {
            separated = true;
            if (c == u' ') kept += c;
        } else if (c == u'+' && kept.isEmpty()) {
            kept += c;
        } else {
            const QString character = c.isSurrogate() ? number.mid(number.indexOf(c), 2) : c;
            return refuse(c == u'+' ? u"\"+\" stands only in front"_qs
                                    : QStringLiteral("\"%1\" is not a digit (a number is digits, "
                                                     "a \"+\" in front, blanks and - ( ) .)")
                                          .arg(character));
        }
    }
    // The same prefixes as NormaliseNumber: "00" goes, a national "0" becomes the country code.
    const QString digits = groups.join(QString());
    const qsizetype prefix = digits.startsWith(u"00") ? 2 : digits.startsWith(u'0') ? 1 : 0;
    if (digits.size() <= prefix && prefix != 1) return refuse(u"it has no digit to send"_qs);
    // GSM 03.40 9.1.2.5, GSM 04.11 8.2.5.2: an address field holds at most 20 digits.
    const qsizetype sent = digits.size() - prefix + (prefix == 1 ? countryCode.size() : 0);
    if (sent > kMaxAddressDigits) {
        return refuse(QStringLiteral("it would be sent as %1 digits, at most %2 fit a message")
                          .arg(sent)
                          .arg(kMaxAddressDigits));
    }
    r.number = kept.trimmed();
    // The international number with the groups as typed.
    r.sendsTo = u"+"_qs;
    if (prefix == 1) r.sendsTo += countryCode;
    qsizetype at = 0;
    for (const QString &group : std::as_const(groups)) {
        const qsizetype from = qMax(at, prefix);
        const qsizetype until = at + group.size();
        if (until > from) {
            if (r.sendsTo.size() > 1) r.sendsTo += u' ';
            r.sendsTo += QStringView(digits).sliced(from, until - from);
        }
        at = until;
    }
    return r;
}

QString SendsToText(QStringView toText, QStringView countryCode) {
    QString ignored;
    QString destination = AfterFirstEquals(toText.toString(), &ignored);
    const qsizetype comma = destination.indexOf(u',');
    if (comma >= 0) destination.truncate(comma);
    if (destination.trimmed().isEmpty()) return {};
    const NumberReading r = ReadNumber(destination, countryCode, u"destination");
    return r.refusal.isEmpty() ? u"Sends to "_qs + r.sendsTo : r.refusal;
}

QString EncodeAddress(QStringView number, bool countOctets, QStringView countryCode) {
    const QString digits = NormaliseNumber(number, countryCode);
    const qsizetype n = digits.size();
    const qsizetype length = countOctets ? (n + 1) / 2 + 1 : n;

    QString field;
    field.reserve(4 + n + 1);
    AppendOctet(field, int(length & 0xFF));
    field.append(u"91");
    // GSM 03.40 9.1.2.3: semi-octets, the first digit in the low nibble, 'F' filling the last.
    for (qsizetype i = 0; i < n; i += 2) {
        field.append(i + 1 < n ? digits[i + 1] : QChar(u'F'));
        field.append(digits[i]);
    }
    return field;
}

QString PackSeptets(QStringView text) {
    const Units units = TextUnits(text, Alphabet::Gsm7);
    return PackSeptetValues(units.values.constData(), units.values.size(), 0);
}

TextSize MeasureText(QStringView text, QStringView dcs) {
    TextSize size;
    size.alphabet = DataCodingScheme(DcsValue(dcs.left(2))).alphabet;
    // Characters as the user sees them (grapheme clusters); in the 7-bit alphabet each costs
    // the septets it is sent as, one for a character the alphabet lacks.
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text.data(), text.size());
    for (qsizetype from = 0, to = 0; (to = clusters.toNextBoundary()) >= 0; from = to) {
        if (size.alphabet != Alphabet::Gsm7) {
            ++size.characters;
            continue;
        }
        const Units cost = TextUnits(text.sliced(from, to - from), Alphabet::Gsm7);
        size.characters += cost.missing.isEmpty() ? cost.values.size() : 1;
    }
    if (size.alphabet == Alphabet::EightBit) return size;
    const Units units = TextUnits(text, size.alphabet);
    const bool ucs2 = size.alphabet == Alphabet::Ucs2;
    size.parts =
        PartStarts(units, ucs2 ? kMaxUcs2Units : kMaxSeptets, ucs2 ? kPartUcs2Units : kPartSeptets)
            .size();
    size.missing = units.missing;
    return size;
}

EncodedEntry BuildQueueEntry(const SendFields &fields, LinkMode mode, QStringView countryCode) {
    const QString dcs = fields.dcs.left(2);
    const qsizetype length = fields.message.size();

    if (fields.dcs.startsWith(u"00") && fields.message.isEmpty()) {
        return Refusal(u"No text to send"_qs);
    }
    const int dcsValue = DcsValue(dcs);
    if (dcsValue < 0) {
        return Refusal(
            QStringLiteral("The data coding scheme \"%1\" is not two hex digits").arg(dcs));
    }
    const CodingScheme scheme = DataCodingScheme(dcsValue);
    if (scheme.compressed) {
        return Refusal(QStringLiteral("Compressed data (DCS %1) cannot be sent: choose a coding "
                                      "without compression")
                           .arg(dcs));
    }
    const bool eightBit = scheme.alphabet == Alphabet::EightBit;
    if (eightBit && length > kMaxHexDigits) {
        return Refusal(QStringLiteral("8-bit data too long to send: %1 hex digits, at most %2")
                           .arg(length)
                           .arg(kMaxHexDigits));
    }
    if (eightBit) {
        // The transmission takes hex digits only: anything else would be dropped there.
        for (const QChar c : fields.message) {
            if (!isxdigit(c.toLatin1())) {
                return Refusal(
                    QStringLiteral("8-bit data must be hex digits: \"%1\" is not one").arg(c));
            }
        }
    }
    if (eightBit && length % 2 != 0) {
        return Refusal(
            QStringLiteral("8-bit data must be whole octets: %1 hex digits is odd").arg(length));
    }

    QString history, scHistory;
    QString destination = AfterFirstEquals(fields.to, &history);
    QString serviceCentre = AfterFirstEquals(fields.sc, &scHistory);
    const qsizetype comma = destination.indexOf(u',');
    if (comma >= 0) {
        serviceCentre = destination.sliced(comma + 1);
        destination.truncate(comma);
    }
    // The histories are Windows-1252 files: a name they cannot hold is refused, not mangled.
    for (const auto &[kept, file] :
         {std::pair{history, u"smsaddr.dat"_qs}, std::pair{scHistory, u"smscaddr.dat"_qs}}) {
        if (const QString lacking = FirstNonAnsiChar(kept); !lacking.isEmpty()) {
            return Refusal(
                QStringLiteral("The name \"%1\" cannot be kept in %2: it holds \"%3\" "
                               "(U+%4), which the file's character set (Windows-1252) "
                               "lacks. Write the name without it.")
                    .arg(kept.left(kept.indexOf(u'=')), file, lacking, CodePointText(lacking)));
        }
    }
    // The separators go; what cannot be sent is refused by name rather than turned into
    // semi-octets that mean something else.
    const NumberReading to = ReadNumber(destination, countryCode, u"destination");
    if (!to.refusal.isEmpty()) return Refusal(to.refusal);
    destination = to.number;
    if (!serviceCentre.trimmed().isEmpty()) {
        const NumberReading sc = ReadNumber(serviceCentre, countryCode, u"service centre");
        if (!sc.refusal.isEmpty()) return Refusal(sc.refusal);
        serviceCentre = sc.number;
    }

    // The user data of each part (header included) and its TP-UDL.
    QStringList userData;
    QList<int> userDataLengths;
    bool header = false;
    if (eightBit) {
        userData << fields.message;
        userDataLengths << int(length / 2);
    } else {
        const bool ucs2 = scheme.alphabet == Alphabet::Ucs2;
        const Units units = TextUnits(fields.message, scheme.alphabet);
        if (!units.missing.isEmpty()) {
            return Refusal(QStringLiteral("The character \"%1\" (U+%2) is not in the GSM "
                                          "alphabet: choose a UCS2 coding (DCS 08) to send it")
                               .arg(units.missing, CodePointText(units.missing)));
        }
        const QList<qsizetype> starts = PartStarts(units, ucs2 ? kMaxUcs2Units : kMaxSeptets,
                                                   ucs2 ? kPartUcs2Units : kPartSeptets);
        if (starts.size() > kMaxParts) {
            return Refusal(QStringLiteral("Text too long to send: %1 parts, at most %2")
                               .arg(starts.size())
                               .arg(kMaxParts));
        }
        header = starts.size() > 1;
        const int reference =
            fields.reference >= 0 ? fields.reference & 0xFF : DerivedReference(fields.message);
        for (qsizetype p = 0; p < starts.size(); ++p) {
            const qsizetype from = starts[p];
            const qsizetype to = p + 1 < starts.size() ? starts[p + 1] : units.values.size();
            QString ud;
            int udl = 0;
            if (header) {
                // IEI 00: concatenated short message, 8-bit reference; total; sequence number.
                ud = u"050003"_qs;
                AppendOctet(ud, reference);
                AppendOctet(ud, int(starts.size()));
                AppendOctet(ud, int(p + 1));
            }
            if (ucs2) {
                for (qsizetype i = from; i < to; ++i) {
                    AppendOctet(ud, units.values[i] >> 8);
                    AppendOctet(ud, units.values[i] & 0xFF);
                }
                udl = int(ud.size() / 2);
            } else {
                // The first septet after the six header octets starts on a septet boundary.
                const int fill = header ? 1 : 0;
                ud += PackSeptetValues(units.values.constData() + from, to - from, fill);
                udl = int((header ? 7 : 0) + to - from);
            }
            userData << ud;
            userDataLengths << udl;
        }
    }

    QString prefix;
    if (mode == LinkMode::Block) prefix = u"0702"_qs;
    if (mode != LinkMode::PduSkipSca) prefix += EncodeAddress(serviceCentre, true, countryCode);
    const QString address = EncodeAddress(destination, false, countryCode);
    const QStringView pid = QStringView(fields.pid).left(2);

    EncodedEntry result;
    result.addToAddressList = history;
    result.addToSCList = scHistory;
    for (qsizetype p = 0; p < userData.size(); ++p) {
        QString tpdu;
        tpdu.reserve(32 + address.size() + userData[p].size());
        AppendOctet(tpdu, FirstOctet(fields, dcs, header));
        tpdu.append(u"00");
        tpdu.append(address);
        tpdu.append(pid);
        tpdu.append(dcs);
        tpdu.append(u"A7");
        AppendOctet(tpdu, userDataLengths[p]);
        tpdu.append(userData[p]);
        result.entries << QString::number(tpdu.size() / 2) + u',' + destination + u',' +
                              serviceCentre + u',' + prefix + tpdu;
    }
    result.ok = true;
    return result;
}

}  // namespace vantel
