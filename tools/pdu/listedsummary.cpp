#include "listedsummary.h"

#include <array>
#include <cstring>

#include "app/listline.h"

namespace vantel {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// The value of a hex digit of either case, -1 for any other octet.
constexpr std::array<qint8, 256> kNibbles = [] {
    std::array<qint8, 256> table{};
    table.fill(-1);
    for (int c = '0'; c <= '9'; ++c)
        table[c] = qint8(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) {
        table[c] = qint8(c - 'A' + 10);
        table[c + 32] = qint8(c - 'A' + 10);
    }
    return table;
}();

// The two upper-case digits of each octet.
constexpr std::array<std::array<char, 2>, 256> kOctetDigits = [] {
    std::array<std::array<char, 2>, 256> table{};
    for (int octet = 0; octet < 256; ++octet)
        table[octet] = {kHex[octet >> 4], kHex[octet & 0xF]};
    return table;
}();

// Writes into room made beforehand: every call below writes at most three octets for each
// character it is given.
class Writer {
public:
    explicit Writer(char *at) : p_(at) {}
    char *end() const { return p_; }
    void put(char c) { *p_++ = c; }
    void blanks(qsizetype n) {
        std::memset(p_, ' ', size_t(n));
        p_ += n;
    }
    void latin1(QStringView ascii) {
        const char16_t *from = ascii.utf16();
        for (qsizetype i = 0; i < ascii.size(); ++i)
            p_[i] = char(from[i]);
        p_ += ascii.size();
    }
    void octet(quint8 octet) {
        std::memcpy(p_, kOctetDigits[octet].data(), 2);
        p_ += 2;
    }
    // `text` as UTF-8 with each CR LF as a line feed.
    void printed(QStringView text) {
        const char16_t *chars = text.utf16();
        const qsizetype n = text.size();
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t c = chars[i];
            if (c < 0x80 && c != u'\r') {
                *p_++ = char(c);
                continue;
            }
            if (c == u'\r' && i + 1 < n && chars[i + 1] == u'\n') continue;
            if (c < 0x80) {
                *p_++ = char(c);
            } else if (c < 0x800) {
                *p_++ = char(0xC0 | c >> 6);
                *p_++ = char(0x80 | (c & 0x3F));
            } else if (QChar::isSurrogate(c)) {
                // Rare: Qt encodes the rest (pairs joined, a lone half as Qt writes it).
                QString rest = text.sliced(i).toString();
                rest.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
                const QByteArray utf8 = rest.toUtf8();
                std::memcpy(p_, utf8.constData(), size_t(utf8.size()));
                p_ += utf8.size();
                return;
            } else {
                *p_++ = char(0xE0 | c >> 12);
                *p_++ = char(0x80 | ((c >> 6) & 0x3F));
                *p_++ = char(0x80 | (c & 0x3F));
            }
        }
    }
    // `text` (or `fallback` when it is empty) cut or padded with blanks to `width` characters.
    void column(const QString &text, QStringView fallback, qsizetype width) {
        const QStringView shown = text.isEmpty() ? fallback : QStringView(text);
        const qsizetype used = qMin(width, shown.size());
        printed(shown.first(used));
        blanks(width - used);
    }

private:
    char *p_;
};

}  // namespace

ListedSummary::ListedSummary(bool noSca) {
    // The stored MESSAGE: IEI 06, LENGTH 7E, REF 02, STATUS 01, then the listed PDU; without its
    // service-centre field, an empty one (00) goes in front of the TPDU.
    content_ = noSca ? QByteArray::fromHex("21067E020100") : QByteArray::fromHex("21067E0201");
    headerSize_ = content_.size();
    contentHex_ = QString::fromLatin1(content_.toHex().toUpper());
    headerSum_ = 0;
    for (const char c : std::as_const(content_))
        headerSum_ = quint16(headerSum_ + quint8(c));
}

bool ListedSummary::append(QByteArrayView pdu, QByteArray &out) {
    // A lone last digit is no octet, as when the retrieval converts the listing.
    const qsizetype octets = pdu.size() / 2;
    content_.resize(headerSize_ + octets);
    contentHex_.resize(2 * (headerSize_ + octets));
    char *octet = content_.data() + headerSize_;
    char16_t *hex = reinterpret_cast<char16_t *>(contentHex_.data()) + 2 * headerSize_;
    const uchar *digit = reinterpret_cast<const uchar *>(pdu.data());
    int bad = 0;
    bool dle = false;
    quint16 sum = headerSum_;
    for (qsizetype i = 0; i < octets; ++i, digit += 2) {
        const int high = kNibbles[digit[0]];
        const int low = kNibbles[digit[1]];
        bad |= high | low;
        const quint8 value = quint8(high << 4 | (low & 0xF));
        octet[i] = char(value);
        sum = quint16(sum + value);
        dle |= value == 0x10;
    }
    // The digits again, upper case: the compiler makes vector code of this loop.
    for (qsizetype i = 0; i < 2 * octets; ++i) {
        const uchar c = reinterpret_cast<const uchar *>(pdu.data())[i];
        hex[i] = char16_t(c >= 'a' ? c - 32 : c);
    }
    if (bad < 0 || (pdu.size() % 2 && kNibbles[digit[0]] < 0)) return false;
    // No more of the text need be exact than its column shows.
    DecodeListColumns(contentHex_, fields_, kListColumns[2].width);

    const qsizetype start = out.size();
    out.resize(start + 3 * kFrameColumn + 4 * content_.size() + 32);
    Writer w(out.data() + start);
    for (const ListColumn &c : kListColumns) {
        w.column(fields_.*c.field, c.fallback, c.width);
        w.put(' ');
    }
    // The stored frame (GSM 07.05 Block mode, as BuildFrame makes it): DLE STX, the content
    // with each DLE stuffed by 00, DLE ETX and the two's complement of the content's sum, its
    // octets stuffed as well.
    w.octet(0x10);
    w.octet(0x02);
    if (dle) {
        for (const char c : std::as_const(content_)) {
            w.octet(quint8(c));
            if (quint8(c) == 0x10) w.octet(0x00);
        }
    } else {
        w.latin1(contentHex_);
    }
    w.octet(0x10);
    w.octet(0x03);
    const quint16 check = quint16(-sum);
    for (const quint8 octet : {quint8(check >> 8), quint8(check & 0xFF)}) {
        w.octet(octet);
        if (octet == 0x10) w.octet(0x00);
    }
    w.put('\n');
    out.truncate(w.end() - out.constData());
    return true;
}

}  // namespace vantel
