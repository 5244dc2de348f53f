// Fuzzer bytes as the text the parsers see: one character per byte, any byte at all (hex
// digits, other ASCII, and 8-bit characters).
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

namespace vantel {

inline QString FuzzText(const uint8_t *data, size_t size) {
    return QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
}

}  // namespace vantel
