// A cursor over a hex string that never reads outside it: a read past the end yields the part
// that exists (possibly an empty view), while the position itself may run past the end, so that
// later reads keep yielding empty views just as fields of a short PDU read as empty texts.
#pragma once

#include <QStringView>

#include "pdu/primitives.h"

namespace vantel {

// The characters [from, from + n) of `s` that exist; negative or huge values are safe.
constexpr QStringView Slice(QStringView s, qsizetype from, qsizetype n) {
    if (from < 0) {
        n += from;
        from = 0;
    }
    if (n <= 0 || from >= s.size()) return {};
    return s.sliced(from, qMin(n, s.size() - from));
}

// The character at `at` as a one-character view, or an empty view.
constexpr QStringView CharAt(QStringView s, qsizetype at) {
    return Slice(s, at, 1);
}

class HexReader {
public:
    constexpr explicit HexReader(QStringView hex, qsizetype pos = 0) : hex_(hex), pos_(pos) {}

    constexpr qsizetype pos() const { return pos_; }
    constexpr void seek(qsizetype pos) { pos_ = pos < 0 ? 0 : pos; }
    constexpr void skip(qsizetype n) { seek(pos_ + n); }

    // The next n characters (those that exist), then advance by n.
    constexpr QStringView take(qsizetype n) {
        const QStringView part = Slice(hex_, pos_, n);
        skip(n);
        return part;
    }
    constexpr QStringView pair() { return take(2); }
    int pairValue() { return HexPairValue(pair()); }

    // Characters relative to the position, without moving.
    constexpr QStringView peek(qsizetype offset, qsizetype n) const {
        return Slice(hex_, pos_ + offset, n);
    }
    constexpr QStringView charAt(qsizetype offset) const { return CharAt(hex_, pos_ + offset); }
    constexpr QStringView rest() const { return Slice(hex_, pos_, hex_.size()); }
    constexpr QStringView text() const { return hex_; }

private:
    QStringView hex_;
    qsizetype pos_;
};

}  // namespace vantel
