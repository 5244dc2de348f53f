#include "app/listrecords.h"

#include <algorithm>

#include "app/listline.h"
#include "blockmode/frame.h"
#include "compose/encoder.h"
#include "pdu/primitives.h"

namespace vantel {

MessageFields DecodeListLine(QStringView line) {
    MessageFields fields;
    QString frame = FrameOfLine(line).toString();
    if (ValidateFrame(frame)) {
        DecodeMessage(frame, fields);
    } else {
        fields.text = QStringLiteral("<invalid message>");
    }
    return fields;
}

Concatenation PartOf(const MessageFields &fields) {
    return FindConcatenation(fields.userData, HexPairValue(fields.firstOctet) & 0x40);
}

QString PartPlace(const Concatenation &part) {
    if (!part.valid()) return {};
    return QStringLiteral("(%1/%2) ").arg(part.part).arg(part.total);
}

QString ConcatenatedTexts::Key(const MessageFields &fields, const Concatenation &part) {
    return fields.address + u'\x1F' + fields.addressType + u'\x1F' +
           QString::number(part.reference) + u'\x1F' + QString::number(part.total);
}

void ConcatenatedTexts::add(const MessageFields &fields, const Concatenation &part) {
    if (!part.valid()) return;
    QMap<int, QString> &texts = parts_[Key(fields, part)];
    if (!texts.contains(part.part)) texts.insert(part.part, fields.text);
}

namespace {

// Whether a MESSAGE content's TPDU may hold a user-data header: its first octet has TP-UDHI set
// (or cannot be read). The content is "21", IEI, LENGTH, MESSAGE REF, STATUS, then the
// service-centre address field, its length octet first.
bool MayHoldHeader(QStringView content) {
    if (!content.startsWith(u"21")) return false;
    const int scLength = HexOctetAt(content, 5);
    const int firstOctet = HexOctetAt(content, 6 + std::max(scLength, 0));
    return scLength < 0 || firstOctet < 0 || (firstOctet & 0x40);
}

}  // namespace

void ConcatenatedTexts::addLines(const QStringList &lines) {
    // One set of fields decoded into again and again, and only for the messages that may be
    // parts: a long list is gone through quickly.
    MessageFields fields;
    QString frame;
    for (const QString &line : lines) {
        frame = FrameOfLine(line).toString();
        if (ValidateFrame(frame) && MayHoldHeader(frame) && DecodeMessage(frame, fields))
            add(fields, PartOf(fields));
    }
}

QString ConcatenatedTexts::joined(const MessageFields &fields, const Concatenation &part) const {
    const auto found = parts_.constFind(Key(fields, part));
    if (found == parts_.cend() || found->size() != part.total) return {};
    QString text;
    for (const QString &partText : *found)
        text += partText;
    return text;
}

namespace {

// The digits a number goes to, country code first, read by the send form's rules ("+44 (0)20",
// "0044 20", "020" with country code 44 are one number); "" for what is not a phone number.
QString DialledDigits(QStringView number, QStringView countryCode) {
    const NumberReading read = ReadNumber(number, countryCode, u"destination");
    if (!read.refusal.isEmpty()) return {};
    QString digits;
    for (const QChar c : read.sendsTo)
        if (c.isDigit()) digits += c;
    return digits;
}

}  // namespace

NameBook::NameBook(const QStringList &historyEntries, QStringView countryCode)
    : country_(countryCode.toString()) {
    for (const QString &entry : historyEntries) {
        const qsizetype equals = entry.indexOf(u'=');
        if (equals <= 0) continue;
        QStringView number = QStringView(entry).mid(equals + 1);
        if (const qsizetype comma = number.indexOf(u','); comma >= 0) number = number.left(comma);
        const QString digits = DialledDigits(number, country_);
        const QString name = entry.left(equals).trimmed();
        // Of two entries for one number, the first in the history's order names it.
        if (!digits.isEmpty() && !name.isEmpty() && !names_.contains(digits))
            names_.insert(digits, name);
    }
}

QString NameBook::nameOf(const QString &address, const QString &addressType) const {
    if (names_.isEmpty() || address.isEmpty() || addressType.startsWith(u"Alphanumeric")) return {};
    // An international number is dialled with its "+"; a national one without its trunk "0"
    // gets it back, so that it goes to the country code like a national number typed.
    QString number = address;
    if (addressType.startsWith(u"International"))
        number.prepend(u'+');
    else if (addressType.startsWith(u"National") && !address.startsWith(u'0'))
        number.prepend(u'0');
    return names_.value(DialledDigits(number, country_));
}

}  // namespace vantel
