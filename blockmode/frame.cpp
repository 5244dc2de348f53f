#include "blockmode/frame.h"

#include "pdu/primitives.h"

namespace vantel {

namespace {

constexpr char kDle = 0x10;
constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;

const QString kShortText = QStringLiteral("Syntax error: PDU has insufficient length");
const QString kNoStxText = QStringLiteral("Syntax error: DLE/STX missing");
const QString kNoEtxText = QStringLiteral("Syntax error: DLE/ETX missing");
const QString kStuffingText = QStringLiteral("Syntax error: Missing stuffing octet(s)");
const QString kChecksumText = QStringLiteral("Syntax error: Checksum incorrect");

// The octet starting at 0-based digit `at`: the digits that exist, possibly none.
QStringView OctetAt(QStringView hex, qsizetype at) {
    if (at < 0 || at >= hex.size()) return {};
    return hex.sliced(at, qMin<qsizetype>(2, hex.size() - at));
}

// HexPairValue of the octet at 0-based digit `at`, quick for the usual hex digits.
int PairValue(QStringView hex, qsizetype at) {
    const auto digit = [&hex](qsizetype i) {
        if (i >= hex.size()) return 0;
        const char16_t c = hex[i].unicode();
        if (c >= u'0' && c <= u'9') return c - u'0';
        if (c >= u'A' && c <= u'F') return c - u'A' + 10;
        return HexDigitValue(hex.sliced(i, 1));
    };
    return 16 * digit(at) + digit(at + 1);
}

bool OctetIs(QStringView hex, qsizetype at, char high, char low) {
    return at >= 0 && at + 1 < hex.size() && hex[at] == QLatin1Char(high) &&
           hex[at + 1] == QLatin1Char(low);
}

// 0-based start of the first marker DLE `second` at an octet boundary whose four digits end
// at or before `lastEnd`; -1 when there is none.
qsizetype FindMarker(QStringView hex, char second, qsizetype lastEnd) {
    for (qsizetype at = 0; at + 4 <= lastEnd; at += 2) {
        if (OctetIs(hex, at, '1', '0') && OctetIs(hex, at + 2, '0', second)) return at;
    }
    return -1;
}

// The stuffed checksum octets with every missing stuffing octet after a 0x10 put back, when
// the two octets end the frame and at least one stuffing octet is missing; a null text when
// there is nothing to put back.
QString RestoreChecksumStuffing(QStringView checksum) {
    qsizetype at = 0;
    bool missing = false;
    const auto skipStuffing = [&](QStringView octet) {
        if (octet != u"10") return;
        if (OctetIs(checksum, at, '0', '0')) {
            at += 2;
        } else {
            missing = true;
        }
    };
    const QStringView high = OctetAt(checksum, at);
    at += 2;
    skipStuffing(high);
    const QStringView low = OctetAt(checksum, at);
    at += 2;
    skipStuffing(low);
    if (!missing || low.size() != 2 || at < checksum.size()) return {};

    QString fixed;
    fixed.reserve(8);
    for (const QStringView octet : {high, low}) {
        fixed.append(octet);
        if (octet == u"10") fixed.append(u"00");
    }
    return fixed;
}

void AppendStuffed(QByteArray &out, char octet) {
    out.append(octet);
    if (octet == kDle) out.append('\0');
}

}  // namespace

QByteArray BuildFrame(QByteArrayView content) {
    QByteArray out;
    out.reserve(2 * content.size() + 8);
    out.append(kDle).append(kStx);
    quint16 sum = 0;
    for (const char c : content) {
        sum = quint16(sum + quint8(c));
        AppendStuffed(out, c);
    }
    out.append(kDle).append(kEtx);
    const quint16 check = quint16(-sum);
    AppendStuffed(out, char(check >> 8));
    AppendStuffed(out, char(check & 0xFF));
    return out;
}

ExtractedFrame ExtractFrame(QStringView captured) {
    ExtractedFrame result;
    qsizetype p = -1;
    for (qsizetype at = captured.indexOf(u"1003"); at >= 0;
         at = captured.indexOf(u"1003", at + 1)) {
        if (at % 2 == 0) {
            p = at;
            break;
        }
    }
    if (p < 0) return result;

    // The checksum octets follow DLE ETX; each 0x10 among them must carry its stuffing octet.
    QString b = captured.toString();
    qsizetype q = p + 4;
    for (int octet = 0; octet < 2; ++octet) {
        if (OctetIs(b, q, '1', '0')) {
            if (!OctetIs(b, q + 2, '0', '0')) {
                b.insert(qMin(q + 2, b.size()), u"00");
                ++result.repairs;
            }
            q += 4;
        } else {
            q += 2;
        }
    }
    result.found = true;
    // A frame begins at its DLE STX, which can stand at an octet boundary nowhere in a frame
    // but at its start: the last one before the DLE ETX. Whatever came before it (the octets
    // left over from the previous match, an echo, noise) is not part of it. Without one, the
    // first two octets are taken for leftovers.
    qsizetype start = 4;
    for (qsizetype at = p - 4; at >= 0; at -= 2) {
        if (OctetIs(b, at, '1', '0') && OctetIs(b, at + 2, '0', '2')) {
            start = at;
            break;
        }
    }
    result.frame = b.mid(start, q - start);
    return result;
}

bool ValidateFrame(QString &frame) {
    const QStringView f = frame;
    if (f.size() < 12) {
        frame = kShortText;
        return false;
    }

    // DLE STX at an octet boundary; everything before it is skipped.
    const qsizetype stx = FindMarker(f, '2', f.size());
    if (stx < 0) {
        frame = kNoStxText;
        return false;
    }
    const QStringView r = f.sliced(stx + 4);

    // DLE ETX at an octet boundary: right at the start, or followed by at least two digits.
    const qsizetype etx =
        OctetIs(r, 0, '1', '0') && OctetIs(r, 2, '0', '3') ? 0 : FindMarker(r, '3', r.size() - 2);
    if (etx < 0) {
        frame = kNoEtxText;
        return false;
    }

    // Content and checksum without the DLE ETX, the checksum with every stuffing octet that
    // is missing at its end put back silently.
    const QStringView content = r.first(etx);
    const QStringView sent = r.sliced(etx + 4);
    const QString repaired = RestoreChecksumStuffing(sent);
    const QStringView checksum = repaired.isNull() ? sent : QStringView(repaired);
    QString octets(content.size() + checksum.size(), Qt::Uninitialized);
    char16_t *const digits = reinterpret_cast<char16_t *>(octets.data());
    std::copy(content.utf16(), content.utf16() + content.size(), digits);
    std::copy(checksum.utf16(), checksum.utf16() + checksum.size(), digits + content.size());

    // Every 0x10 must be followed by its stuffing octet 0x00, which goes (unstuffed in place).
    const qsizetype stuffedSize = octets.size();
    qsizetype kept = 0;
    for (qsizetype at = 0; at < stuffedSize; at += 2) {
        const bool whole = at + 1 < stuffedSize;
        const bool dle = whole && digits[at] == u'1' && digits[at + 1] == u'0';
        digits[kept++] = digits[at];
        if (whole) digits[kept++] = digits[at + 1];
        if (dle) {
            if (at + 3 >= stuffedSize || digits[at + 2] != u'0' || digits[at + 3] != u'0') {
                frame = kStuffingText;
                return false;
            }
            at += 2;
        }
    }
    octets.truncate(kept);

    // The content octets and the checksum, high octet first, add up to 0 modulo 65536.
    if (kept < 4) {
        frame = kChecksumText;
        return false;
    }
    const qsizetype contentSize = kept - 4;
    quint32 sum = 0;
    for (qsizetype at = 0; at < contentSize; at += 2)
        sum += quint32(PairValue(octets, at));
    sum += 256 * quint32(PairValue(octets, contentSize)) + quint32(PairValue(octets, kept - 2));
    if ((sum & 0xFFFF) != 0) {
        frame = kChecksumText;
        return false;
    }
    octets.truncate(contentSize);
    frame = std::move(octets);
    return true;
}

QString FrameKey(QStringView frame) {
    QString key;
    key.reserve(12);
    key.append(frame.first(qMin<qsizetype>(6, frame.size())));
    if (frame.size() > 8) key.append(frame.sliced(8, qMin<qsizetype>(6, frame.size() - 8)));
    return key;
}

}  // namespace vantel
